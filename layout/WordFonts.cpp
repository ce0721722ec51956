#include "WordFonts.h"

#include <QFontInfo>
#include <limits>

namespace {
constexpr size_t WidthTableSize = 0x10000;  // the Basic Multilingual Plane
}

WordFonts::Face::Face(const QFont &font) : m_font(font), m_metrics(font) {}

const QRawFont &WordFonts::Face::rawFont() const
{
    if (!m_raw.isValid())
        m_raw = QRawFont::fromFont(m_font);
    return m_raw;
}

int WordFonts::Face::measure(char32_t c) const
{
    const int w = c <= 0xFFFF ? m_metrics.horizontalAdvance(QChar(char16_t(c)))
                              : m_metrics.horizontalAdvance(QString::fromUcs4(&c, 1));
    if (c < WidthTableSize && w >= 0 && w <= std::numeric_limits<int16_t>::max()) {
        if (m_widths.empty())
            m_widths.assign(WidthTableSize, -1);
        m_widths[c] = int16_t(w);
    }
    return w;
}

void WordFonts::setBase(const QString &family, int pixelSize)
{
    m_family = family;
    // The font system refuses a size of zero or less and keeps the size it had (a settings file
    // without "Fontsize" gives -1): so does the reader, rather than a one-pixel font.
    m_requestedSize = pixelSize > 0 ? pixelSize : m_baseSize;
    m_faces.clear();
    QFont probe(m_family);
    probe.setPixelSize(m_requestedSize);
    probe.setWeight(m_baseBold ? QFont::Bold : QFont::Normal);
    probe.setItalic(m_baseItalic);
    const int got = QFontInfo(probe).pixelSize();
    m_baseSize = got > 0 ? got : m_requestedSize;
}

const WordFonts::Face &WordFonts::face(bool bold, bool italic, bool underline, uint8_t increment)
{
    const unsigned key = unsigned(bold) | unsigned(italic) << 1 | unsigned(underline) << 2 | unsigned(increment) << 3;
    auto &slot = m_faces[key];
    if (!slot) {
        QFont font(m_family);
        font.setPixelSize(m_baseSize + increment);
        font.setWeight(bold ? QFont::Bold : QFont::Normal);  // weights 75 and 50 of the old scale
        font.setItalic(italic);
        font.setUnderline(underline);
        slot = std::make_unique<Face>(font);
    }
    return *slot;
}
