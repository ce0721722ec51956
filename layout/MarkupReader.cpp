#include "MarkupReader.h"

#include "PluckerCodes.h"

#include <QRegularExpression>

namespace {
// Only the start of a tag or entity decides what it means; the rest is skipped, not kept.
constexpr qsizetype MaxMarkupKept = 64;

void appendChar(QString &text, char32_t c)
{
    if (c <= 0xFFFF) {
        text.append(QChar(char16_t(c)));
    } else {
        text.append(QChar(QChar::highSurrogate(c)));
        text.append(QChar(QChar::lowSurrogate(c)));
    }
}
} // namespace

// Reads raw characters up to `terminator` (dropped) or the end of the file and returns the first
// few of them.
QString MarkupReader::collect(char32_t terminator)
{
    PositionedReader &file = m_document.reader();
    QString kept;
    while (!file.atEnd()) {
        const char32_t c = file.readChar();
        if (c == terminator)
            break;
        if (kept.size() < MaxMarkupKept)
            appendChar(kept, c);
    }
    return kept;
}

MarkupReader::Char MarkupReader::readMarkup(char32_t c, TextStyle &style, uint8_t &lineFontIncrement)
{
    Char out;
    if (m_document.kind() == SourceKind::Plucker) {
        if (c == 0) {
            c = PluckerCodes::pluckerDecode(m_document.reader(), style, lineFontIncrement);
            if (c == 0)
                return Char{0, false, false};
        }
        if (c == U'\n')
            out.endsParagraph = true;  // in Plucker text every line feed ends a paragraph
    }
    if (m_document.isHtml()) {
        if (m_stripNewlines && (c == U'\n' || c == U'\r')) {
            c = U' ';
        } else if (c == U'<') {
            static const QRegularExpression edges(QStringLiteral("^\\s+|\\s+$"),
                                                  QRegularExpression::UseUnicodePropertiesOption);
            const QString tag = collect(U'>').remove(edges).toLower();
            if (tag == QLatin1String("br")) {
                c = U'\n';
            } else if (tag == QLatin1String("p")) {
                c = U'\n';
                out.endsParagraph = true;
            } else {
                return Char{0, false, false};  // every other tag is dropped whole
            }
        } else if (c == U'&') {
            const QString entity = collect(U';').toLower();
            if (entity == QLatin1String("quot"))
                c = U'"';
            else if (entity == QLatin1String("lt"))
                c = U'<';
            else if (entity == QLatin1String("gt"))
                c = U'>';
            else if (entity == QLatin1String("amp"))
                c = U'&';
            else
                c = U' ';  // nbsp and every entity not known here
        }
    }
    out.value = c;
    return out;
}
