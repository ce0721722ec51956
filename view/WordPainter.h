#pragma once

#include "WordFonts.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QVector>

class QPainter;

// Draws words at the widths the line fitter measured, so a justified line ends exactly at the
// margin. Words in scripts that need no shaping are queued as glyphs and drawn a run at a time;
// anything else goes through the platform's text layout.
class WordPainter
{
public:
    // Draws onto `painter` until end(); without a painter, words are only measured.
    void begin(QPainter *painter);
    void end();
    bool isActive() const { return m_painter != nullptr; }
    // The painter words go to, for drawing under them; null when only measuring.
    QPainter *painter() const { return m_painter; }

    // Draws `text` with its baseline at (x, y) and returns its width.
    int draw(const QString &text, int x, int y, const WordFonts::Face &face, const QColor &color);
    // Draws what is queued; call before drawing anything else on the same painter.
    void flush();

private:
    bool queue(const QString &text, const QList<uint> &chars, int x, int y, const WordFonts::Face &face,
               const QColor &color);

    QPainter *m_painter = nullptr;
    const WordFonts::Face *m_painterFace = nullptr;  // the font set on the painter
    // Glyphs queued for one drawing call: same face, same colour.
    QVector<quint32> m_glyphs;
    QVector<QPointF> m_positions;
    const WordFonts::Face *m_glyphFace = nullptr;
    QColor m_glyphColor;
};
