#include "MarkupReader.h"

#include "HtmlEntities.h"
#include "PluckerCodes.h"

#include <cstring>

namespace {

constexpr int MaxTagName = 15;        // longer names are no element this reader knows
constexpr int MaxLinkTagText = 4096;  // characters of an a tag read for its address
constexpr int MaxReferenceLength = 32;  // characters between "&" and ";"
constexpr char32_t NoBreakSpace = 0xA0;

bool isAsciiLetter(char32_t c) { return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z'); }
bool isAsciiDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
bool isSpace(char32_t c) { return c == U' ' || c == U'\t' || c == U'\n' || c == U'\r' || c == U'\f'; }
char lower(char32_t c) { return char(c >= U'A' && c <= U'Z' ? c + 32 : c); }

// Elements whose start and end tags end a paragraph, as p does.
bool isBlock(const char *name)
{
    static const char *const blocks[] = {
        "address", "article", "aside", "blockquote", "caption", "dd",      "div",    "dl",
        "dt",      "figcaption", "figure", "footer", "h1",       "h2",      "h3",     "h4",
        "h5",      "h6",      "header", "hr",     "li",         "main",    "nav",    "ol",
        "p",       "pre",     "section", "table", "tr",         "ul",
    };
    for (const char *block : blocks) {
        if (std::strcmp(name, block) == 0)
            return true;
    }
    return false;
}

// Elements whose content is never shown.
bool hidesContent(const char *name)
{
    return !std::strcmp(name, "script") || !std::strcmp(name, "style") || !std::strcmp(name, "template")
        || !std::strcmp(name, "title");
}

} // namespace

QString htmlAttribute(QStringView tagText, QLatin1StringView name)
{
    // Past the element's name, attributes are name, optional "=" and value, quoted or not.
    qsizetype i = 0;
    const qsizetype n = tagText.size();
    while (i < n && !isSpace(tagText[i].unicode()) && tagText[i] != u'/')
        ++i;
    while (i < n) {
        while (i < n && (isSpace(tagText[i].unicode()) || tagText[i] == u'/'))
            ++i;
        const qsizetype nameStart = i;
        while (i < n && tagText[i] != u'=' && !isSpace(tagText[i].unicode()) && tagText[i] != u'/')
            ++i;
        const QStringView attribute = tagText.mid(nameStart, i - nameStart);
        while (i < n && isSpace(tagText[i].unicode()))
            ++i;
        if (i >= n || tagText[i] != u'=') {
            if (attribute.isEmpty())
                ++i;
            continue;  // an attribute without a value
        }
        ++i;
        while (i < n && isSpace(tagText[i].unicode()))
            ++i;
        qsizetype valueStart = i, valueEnd;
        if (i < n && (tagText[i] == u'"' || tagText[i] == u'\'')) {
            const QChar quote = tagText[i];
            valueStart = ++i;
            while (i < n && tagText[i] != quote)
                ++i;
            valueEnd = i++;
        } else {
            while (i < n && !isSpace(tagText[i].unicode()))
                ++i;
            valueEnd = i;
        }
        if (attribute.compare(name, Qt::CaseInsensitive) == 0)
            return decodeHtmlReferences(tagText.mid(valueStart, valueEnd - valueStart)).trimmed();
    }
    return QString();
}

MarkupReader::Char MarkupReader::readMarkup(char32_t c, TextStyle &style, uint8_t &lineFontIncrement)
{
    Kind kind = Kind::Text;
    if (m_document.kind() == SourceKind::Plucker) {
        if (c == 0) {
            c = PluckerCodes::pluckerDecode(m_document.reader(), style, lineFontIncrement);
            if (c == 0)
                return Char{0, Kind::Hidden};
        }
        if (c == U'\n')
            kind = Kind::ParagraphEnd;  // in Plucker text every line feed ends a paragraph
    }
    if (!m_document.isHtml())
        return Char{c, kind};
    if (m_keepTagText)
        m_tagText.clear();  // what follows is no tag, or a new one
    if (c == U'<')
        return readTag(style);
    if (c == U'&')
        return readReference();
    if (style.preformatted) {
        // Inside pre the source's lines and spaces are kept: a line feed breaks the line and a
        // space is as wide as it is, never a place to break.
        if (c == U'\n')
            return Char{c, Kind::LineBreak};
        if (c == U'\r')
            return Char{0, Kind::Hidden};
        if (c == U' ' || c == U'\t')
            return Char{NoBreakSpace, Kind::Text};
    } else if (m_stripNewlines && (c == U'\n' || c == U'\r')) {
        c = U' ';
    }
    return Char{c, kind};
}

// Just after "<": a tag when a letter, "/", "!" or "?" follows; otherwise a literal "<".
MarkupReader::Char MarkupReader::readTag(TextStyle &style)
{
    PositionedReader &file = m_document.reader();
    const qint64 afterLt = file.pos();
    char32_t c = file.readChar();
    if (c == U'!' || c == U'?') {
        if (c == U'!' && file.readChar() == U'-' && file.readChar() == U'-') {
            skipComment();
        } else {
            file.seek(afterLt);  // a declaration or processing instruction ends at ">"
            skipPast(U'>');
        }
        return Char{0, Kind::Hidden};
    }
    const bool closing = c == U'/';
    if (closing)
        c = file.readChar();
    if (!isAsciiLetter(c)) {
        if (!closing) {
            file.seek(afterLt);
            return Char{U'<', Kind::Text};
        }
        if (c != U'>')
            skipPast(U'>');  // "</" and no name: dropped up to ">"
        return Char{0, Kind::Hidden};
    }

    if (m_keepTagText && closing)
        m_tagText += QLatin1Char('/');
    char name[MaxTagName + 1];
    int length = 0;
    bool tooLong = false;
    char32_t last = 0;
    for (; c != U'>' && !isSpace(c) && c != U'/'; c = file.readChar()) {
        if (file.atEnd() && c == 0)
            break;
        keepTagChar(c);
        if (length < MaxTagName)
            name[length++] = lower(c);
        else
            tooLong = true;
    }
    name[length] = '\0';
    // A link's start tag is kept for its address.
    const bool link = !closing && !tooLong && length == 1 && name[0] == 'a';
    QString linkTag;
    if (link)
        linkTag = QStringLiteral("a");
    // The rest of the tag up to ">" outside quoted attribute values; a "/" just before it closes
    // the element at once.
    char32_t quote = 0;
    bool valueStarts = false;  // after "=": a quote here opens a quoted value
    while ((c != U'>' || quote) && !(c == 0 && file.atEnd())) {
        keepTagChar(c);
        if (link && linkTag.size() < MaxLinkTagText && c <= 0xFFFF)
            linkTag.append(QChar(char16_t(c)));
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (valueStarts && (c == U'"' || c == U'\'')) {
            quote = c;
        } else if (!isSpace(c)) {
            valueStarts = c == U'=';
        }
        last = c;
        c = file.readChar();
    }
    const bool selfClosing = last == U'/';
    if (tooLong)
        return Char{0, Kind::Hidden};

    if (length == 1 && name[0] == 'a') {
        // A link runs from its start tag to its end tag; an anchor without an address is none.
        style.htmlLink = link && !selfClosing ? m_document.linkNumber(htmlAttribute(linkTag, QLatin1StringView("href"))) : 0;
        return Char{0, Kind::Hidden};
    }
    if (!std::strcmp(name, "br"))
        return Char{U'\n', Kind::LineBreak};
    if (!std::strcmp(name, "pre"))
        style.preformatted = !closing;
    if (isBlock(name))
        return Char{U'\n', Kind::BlockBreak};
    if (!std::strcmp(name, "td") || !std::strcmp(name, "th"))
        return closing ? Char{0, Kind::Hidden} : Char{U' ', Kind::Text};
    if (!closing && !selfClosing && hidesContent(name))
        skipElementContent(name);
    return Char{0, Kind::Hidden};
}

// Just after "&": a reference is 1 to 32 letters, digits or "#" and then ";"; anything else
// leaves the "&" a literal one, and reading goes on right after it.
MarkupReader::Char MarkupReader::readReference()
{
    PositionedReader &file = m_document.reader();
    const qint64 afterAmp = file.pos();
    char16_t body[MaxReferenceLength];
    int length = 0;
    char32_t c = 0;
    while (length <= MaxReferenceLength && !file.atEnd()) {
        c = file.readChar();
        if (c == U';' || !(isAsciiLetter(c) || isAsciiDigit(c) || c == U'#'))
            break;
        if (length == MaxReferenceLength) {
            length = MaxReferenceLength + 1;
            break;
        }
        body[length++] = char16_t(c);
    }
    if (c != U';' || length == 0 || length > MaxReferenceLength) {
        file.seek(afterAmp);
        return Char{U'&', Kind::Text};
    }
    const QStringView text(body, length);
    if (body[0] == u'#') {
        const char32_t value = numericCharacterReference(text.mid(1));
        if (value == 0) {
            file.seek(afterAmp);
            return Char{U'&', Kind::Text};
        }
        return Char{value, Kind::Text};
    }
    char32_t first = 0, second = 0;
    if (!lookupHtmlEntity(text, first, second))
        return Char{U' ', Kind::Text};  // an unknown name stands for a space
    m_pending = second;
    m_pendingAt = file.pos();
    return Char{first, Kind::Text};
}

void MarkupReader::keepTagChar(char32_t c)
{
    if (!m_keepTagText || m_tagText.size() >= MaxTagText)
        return;
    if (c <= 0xFFFF) {
        m_tagText.append(QChar(char16_t(c)));
    } else {
        m_tagText.append(QChar(QChar::highSurrogate(c)));
        m_tagText.append(QChar(QChar::lowSurrogate(c)));
    }
}

bool MarkupReader::skipToTag()
{
    PositionedReader &file = m_document.reader();
    m_pending = 0;
    if (file.canSkipBytes()) {
        if (!file.skipPast('<'))
            return false;
        file.seek(file.pos() - 1);
        return true;
    }
    while (!file.atEnd()) {
        const qint64 at = file.pos();
        if (file.readChar() == U'<') {
            file.seek(at);
            return true;
        }
    }
    return false;
}

void MarkupReader::skipPast(char32_t terminator)
{
    PositionedReader &file = m_document.reader();
    if (file.canSkipBytes() && terminator < 0x80) {
        file.skipPast(static_cast<unsigned char>(terminator));
        return;
    }
    while (!file.atEnd() && file.readChar() != terminator) {
    }
}

// Just after "<!--": everything up to and including "-->".
void MarkupReader::skipComment()
{
    PositionedReader &file = m_document.reader();
    int dashes = 0;
    while (!file.atEnd()) {
        if (dashes == 0 && file.canSkipBytes()) {
            if (!file.skipPast('-'))
                return;
            dashes = 1;
            continue;
        }
        const char32_t c = file.readChar();
        if (c == U'>' && dashes >= 2)
            return;
        dashes = c == U'-' ? dashes + 1 : 0;
    }
}

// Just after the start tag of `name`: everything up to and including its end tag.
void MarkupReader::skipElementContent(const char *name)
{
    PositionedReader &file = m_document.reader();
    const size_t length = std::strlen(name);
    while (!file.atEnd()) {
        skipPast(U'<');
        if (file.readChar() != U'/')
            continue;
        size_t matched = 0;
        char32_t c = 0;
        while (matched < length && !file.atEnd()) {
            c = file.readChar();
            if (lower(c) != name[matched])
                break;
            ++matched;
        }
        if (matched < length)
            continue;
        c = file.readChar();
        if (c == U'>' || isSpace(c) || c == U'/') {
            if (c != U'>')
                skipPast(U'>');
            return;
        }
    }
}

std::vector<MarkupReader::Mark> MarkupReader::paragraphMarks(qint64 from, qint64 to)
{
    PositionedReader &file = m_document.reader();
    file.seek(from);
    m_pending = 0;
    TextStyle style;
    uint8_t increment = 0;
    std::vector<Mark> marks;
    while (!file.atEnd() && file.pos() < to) {
        const Mark at{file.pos(), style.preformatted};
        if (read(style, increment).kind == Kind::BlockBreak)
            marks.push_back(at);
    }
    m_pending = 0;
    return marks;
}
