#pragma once

#include "BookmarkFile.h"

#include <QList>
#include <QString>
#include <functional>

class Document;

// The contents a book gives itself, as contents-file records: titles indented four spaces a
// level, nominal page numbers, every entry starting a paragraph. Empty for other documents.
QList<BookmarkRecord> bookContents(const Document &document);

// Picks a document's headings for its table of contents in one pass: in a document read as
// HTML, the text of each named anchor; in any other, each short line that follows blank lines.
class ContentsScanner
{
public:
    explicit ContentsScanner(Document &document) : m_document(document) {}

    // Reads the document from byte 0 to its end and writes one record per heading. `progress` is
    // called with each new percentage and may let other work use the document meanwhile: the scan
    // keeps its own place. When it returns false the scan stops there.
    void scan(BookmarkFileWriter &writer, const std::function<bool(int percent)> &progress);

private:
    // The next named anchor's text and the position after its opening tag; false at the end.
    bool nextAnchor(QString &title, qint64 &position);
    // The next short line after blank lines and where it starts; false when this step found none.
    bool nextHeadingLine(QString &title, qint64 &position);

    Document &m_document;
};
