#include "WordPainter.h"

#include <QGlyphRun>
#include <QPainter>

void WordPainter::begin(QPainter *painter)
{
    m_painter = painter;
    m_painterFace = nullptr;
}

void WordPainter::end()
{
    flush();
    m_painter = nullptr;
    m_painterFace = nullptr;
}

int WordPainter::draw(const QString &text, int x, int y, const WordFonts::Face &face, const QColor &color)
{
    int width = 0;
    const QList<uint> chars = text.toUcs4();
    for (const char32_t c : chars)
        width += face.width(c);
    if (!m_painter || text.isEmpty())
        return width;
    if (!queue(text, chars, x, y, face, color)) {
        flush();
        if (m_painterFace != &face) {
            m_painter->setFont(face.font());
            m_painterFace = &face;
        }
        m_painter->setPen(color);
        m_painter->drawText(x, y, text);
    }
    return width;
}

// Scripts up to Cyrillic and Armenian need no shaping. A character the font lacks needs a
// fallback font, which only the text layout finds.
bool WordPainter::queue(const QString &text, const QList<uint> &chars, int x, int y, const WordFonts::Face &face,
                        const QColor &color)
{
    for (const uint c : chars) {
        if (c < 0x20 || c >= 0x0590)
            return false;
    }
    // A glyph run draws its underline from the run's origin, not under the words: leave
    // underlined words to the text layout.
    if (face.font().underline())
        return false;
    const QRawFont &raw = face.rawFont();
    if (!raw.isValid())
        return false;
    QVector<quint32> glyphs = raw.glyphIndexesForString(text);
    if (glyphs.size() != chars.size() || glyphs.contains(0u))
        return false;
    if (m_glyphFace != &face || m_glyphColor != color)
        flush();
    m_glyphFace = &face;
    m_glyphColor = color;
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        m_glyphs.append(glyphs[i]);
        m_positions.append(QPointF(x, y));
        x += face.width(chars[i]);
    }
    return true;
}

void WordPainter::flush()
{
    if (m_glyphs.isEmpty() || !m_painter)
        return;
    QGlyphRun run;
    run.setRawFont(m_glyphFace->rawFont());
    run.setGlyphIndexes(m_glyphs);
    run.setPositions(m_positions);
    m_painter->setPen(m_glyphColor);
    m_painter->drawGlyphRun(QPointF(0, 0), run);
    m_glyphs.clear();
    m_positions.clear();
}
