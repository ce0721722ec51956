#pragma once

#include "Document.h"
#include "LayoutTypes.h"

#include <QString>
#include <vector>

// The value of attribute `name` (any case) in a tag's text as the reader keeps it ("a href=x"),
// character references decoded; empty when the tag has none.
QString htmlAttribute(QStringView tagText, QLatin1StringView name);

// Reads a document's characters as the page shows them. In documents read as HTML it reads the
// markup as a browser does: tags and comments are dropped, block elements end paragraphs, br and
// line feeds inside pre break lines, the content of head, script, style and template is skipped,
// and character references give their characters. In Plucker books, function codes change the
// running style. Every reader that must agree with the line fitter on characters reads here.
class MarkupReader
{
public:
    enum class Kind : uint8_t {
        Text,          // a character to lay out
        Hidden,        // markup that stands for no character
        LineBreak,     // the line ends here; the paragraph goes on (br, a line feed in pre)
        BlockBreak,    // the paragraph ends here; several in a row count as one
        ParagraphEnd,  // the paragraph ends here (a line feed in a Plucker book)
    };
    struct Char
    {
        char32_t value = 0;
        Kind kind = Kind::Text;
    };

    explicit MarkupReader(Document &document) : m_document(document) {}

    // "Strip NL/CR from HTML": outside pre, line feeds and carriage returns in HTML read as spaces.
    void setStripNewlines(bool strip) { m_stripNewlines = strip; }

    // Keep the text of each tag read (between "<" and ">", at most MaxTagText characters), for
    // readers that look at attributes. Off for the line fitter.
    static constexpr qsizetype MaxTagText = 64 * 1024;
    void setKeepTagText(bool keep) { m_keepTagText = keep; }
    // The text of the last tag read, when kept.
    const QString &tagText() const { return m_tagText; }
    // Moves to the next "<" (or the end) without reading the text between, where the decoding
    // allows it, else character by character. False at the end.
    bool skipToTag();

    // The next character. Plucker codes read here change `style` and may raise
    // `lineFontIncrement`; HTML's pre elements switch `style.preformatted`.
    Char read(TextStyle &style, uint8_t &lineFontIncrement)
    {
        if (m_pending && m_document.position() == m_pendingAt) {
            const char32_t c = m_pending;
            m_pending = 0;
            return Char{c, Kind::Text};
        }
        const char32_t c = m_document.readDecodedChar();
        if (m_document.kind() != SourceKind::Plucker && !m_document.isHtml())
            return Char{c, Kind::Text};
        return readMarkup(c, style, lineFontIncrement);
    }

    // A place in an HTML document where forward reading ends a paragraph: the position of the
    // tag's "<", and whether pre was in force there.
    struct Mark
    {
        qint64 position = 0;
        bool preformatted = false;
    };
    // The paragraph marks from `from` (taken to be outside any element that hides its content)
    // up to but not including `to`, in order, found by reading forward exactly as the fitter
    // does. Leaves the file at `to` or past it.
    std::vector<Mark> paragraphMarks(qint64 from, qint64 to);

private:
    Char readMarkup(char32_t c, TextStyle &style, uint8_t &lineFontIncrement);
    Char readTag(TextStyle &style);
    Char readReference();
    void skipPast(char32_t terminator);
    void keepTagChar(char32_t c);
    void skipComment();
    void skipElementContent(const char *name);

    Document &m_document;
    bool m_stripNewlines = false;
    bool m_keepTagText = false;
    QString m_tagText;
    char32_t m_pending = 0;  // the second code point of a reference that stands for two,
    qint64 m_pendingAt = -1; // due when reading goes on from here (not after a seek elsewhere)
};
