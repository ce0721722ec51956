#pragma once

#include "MarkupReader.h"

#include <optional>

class Document;

// How the page treats characters that the markup leaves in the text.
struct ShownRules
{
    bool crIsLineFeed = false;   // a carriage return breaks the line (else it is not shown)
    bool stripNewlines = false;  // HTML outside pre: line feeds and carriage returns read as spaces
};

// One character as the page shows it, with the bytes it comes from: [start, end) of the file
// really read. The second code point of a reference that stands for two shares the reference's bytes.
struct ShownChar
{
    char32_t value = 0;
    qint64 start = 0;
    qint64 end = 0;
};

// Reads a document's characters exactly as the line fitter takes them from the markup reader:
// markup hidden, breaks as line feeds, byte-order marks dropped, carriage returns as the rules say.
// Reading must start where the fitter could start a read: the file's start, a line or page start,
// or a place found by reading forward from one (after a tag, outside any reference).
class ShownReader
{
public:
    ShownReader(Document &document, const ShownRules &rules);

    void seek(qint64 position, bool preformatted);
    // The next shown character; false at the end of the file.
    bool next(ShownChar &out);
    // One read of the markup reader as it comes, hidden markup included: how far a tag or a
    // reference reaches. Updates preformatted().
    MarkupReader::Char step();

    // Whether a character read by step() is shown (next() gives it).
    bool shows(const MarkupReader::Char &c) const;

    qint64 position() const;
    bool atEnd() const;
    bool preformatted() const { return m_style.preformatted; }
    // The last read ended after markup, a code or a line feed: nothing decoded ahead is pending,
    // so reading may later start here again.
    bool atCleanBoundary() const { return m_clean; }

private:
    Document &m_document;
    std::optional<MarkupReader> m_markup;  // made anew at each seek: nothing decoded ahead carries over
    ShownRules m_rules;
    TextStyle m_style;
    uint8_t m_increment = 0;
    qint64 m_lastStart = 0;  // start of the last character read
    bool m_clean = true;
};
