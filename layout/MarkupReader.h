#pragma once

#include "Document.h"
#include "LayoutTypes.h"

// Reads a document's characters as the page shows them: in documents read as HTML, tags and
// entities are interpreted; in Plucker books, function codes change the running style. Every
// reader that must agree with the line fitter on characters reads through here.
class MarkupReader
{
public:
    struct Char
    {
        char32_t value = 0;
        bool shown = true;           // false: markup that stands for no character (a dropped tag, a code)
        bool endsParagraph = false;  // a paragraph tag, or a line feed in a Plucker book
    };

    explicit MarkupReader(Document &document) : m_document(document) {}

    // "Strip NL/CR from HTML": line feeds and carriage returns in HTML read as spaces.
    void setStripNewlines(bool strip) { m_stripNewlines = strip; }

    // The next character. Plucker codes read here change `style` and may raise `lineFontIncrement`.
    Char read(TextStyle &style, uint8_t &lineFontIncrement)
    {
        const char32_t c = m_document.readDecodedChar();
        if (m_document.kind() != SourceKind::Plucker && !m_document.isHtml())
            return Char{c, true, false};
        return readMarkup(c, style, lineFontIncrement);
    }

private:
    Char readMarkup(char32_t c, TextStyle &style, uint8_t &lineFontIncrement);
    QString collect(char32_t terminator);

    Document &m_document;
    bool m_stripNewlines = false;
};
