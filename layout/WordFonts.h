#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRawFont>
#include <QString>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

// The page font in each combination of word attributes, with its metrics and a table of
// character widths filled as characters are met. Measuring a line then costs one table look-up
// per character instead of a font-engine call.
class WordFonts
{
public:
    class Face
    {
    public:
        explicit Face(const QFont &font);
        const QFont &font() const { return m_font; }
        const QFontMetrics &metrics() const { return m_metrics; }
        // The font as raw glyphs, for drawing text that needs no shaping.
        const QRawFont &rawFont() const;
        int width(char32_t c) const
        {
            if (c < m_widths.size() && m_widths[c] >= 0)
                return m_widths[c];
            return measure(c);
        }

    private:
        int measure(char32_t c) const;
        QFont m_font;
        QFontMetrics m_metrics;
        mutable QRawFont m_raw;
        mutable std::vector<int16_t> m_widths;  // -1: not measured yet
    };

    // Sets the family and size (pixels, the size lines are laid out with) and forgets every face.
    // A size of zero or less keeps the size in use.
    void setBase(const QString &family, int pixelSize);
    // The pixel size the platform really gave the base font.
    int baseSize() const { return m_baseSize; }
    const Face &face(bool bold, bool italic, bool underline, uint8_t increment);
    const Face &base() { return face(m_baseBold, m_baseItalic, false, 0); }
    void setBaseStyle(bool bold, bool italic) { m_baseBold = bold, m_baseItalic = italic; }

private:
    QString m_family;
    int m_requestedSize = 12;
    int m_baseSize = 12;
    bool m_baseBold = true;
    bool m_baseItalic = false;
    std::unordered_map<unsigned, std::unique_ptr<Face>> m_faces;
};
