#pragma once

#include "BookInfo.h"
#include "CopyMeter.h"
#include "EncodingDetector.h"
#include "PluckerIndex.h"
#include "PositionedReader.h"
#include "SourcePreparer.h"
#include "Status.h"
#include "toUnicode.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <cstdint>
#include <memory>

// What the view reads a document as.
enum class SourceKind : uint8_t {
    PlainText,  // text (read as HTML too when the settings say every document is)
    Html,       // a file named .html or .htm: always read with tags and entities
    Plucker,    // a converted Plucker book: text carrying function codes
};

// The open document: the file really read (the document itself or its prepared copy), its
// decoding and its kind. Positions are byte offsets into the file really read.
class Document
{
public:
    static constexpr qint64 NominalPageBytes = 2000;

    Document();
    ~Document();
    Document(const Document &) = delete;
    Document &operator=(const Document &) = delete;

    // Whether `path` is read through a prepared copy (an archive, a Palm database, an e-book).
    static bool needsPreparing(const QString &path);
    // Prepares `path` for open() (archives unpacked, Palm books converted), leaving what is open
    // untouched, so it may run on a worker thread while the open document is read on this one, as
    // long as nothing else calls into the document meanwhile but its reading. `progress` may stop it.
    SourcePreparer::Result prepare(const QString &path, const PrepareProgress &progress = {});
    // The largest prepared copy, in bytes; past it preparing fails with TooLarge.
    void setLargestCopy(quint64 bytes);

    // Closes the source read so far (deleting it if it was a prepared copy), then opens `path` at
    // position 0, through `prepared` when given (what prepare() returned for the same path), else
    // preparing it here. On failure nothing is open; the status carries the message to show, or
    // is Ok with nothing open when the file itself could not be opened afterwards.
    Status open(const QString &path, const SourcePreparer::Result *prepared = nullptr);
    // Closes the source; a prepared copy is deleted, unless it is `kept` (about to be read again).
    void close(const QString &kept = QString());
    bool isOpen() const { return m_open; }

    // "UTF-8", "UTF-16LE", "UTF-16BE", one of the built-in code pages, a platform codec's name,
    // or "Automatic": chosen from the first 64 KiB of the file really read (a byte-order mark, a
    // charset the markup declares, valid UTF-8, the detector's guess, the locale's code page).
    // Any other name reads each byte as the character of the same value.
    // A book prepared as HTML is always read as UTF-8, whatever is asked.
    void setEncoding(const QString &name);
    // The encoding in use, for people: the name set, or for "Automatic" what was found
    // ("windows-1251").
    const QString &encodingShown() const { return m_encodingShown; }
    static const QString Automatic;
    // Whether the text is read with HTML tags and entities: always for an HTML file, for any
    // other when `everyDocument` (the strip-HTML setting) is on.
    void setReadAsHtml(bool everyDocument) { m_html = everyDocument || m_kind == SourceKind::Html; }
    bool isHtml() const { return m_html; }
    SourceKind kind() const { return m_kind; }

    // The next character, mapped through the selected code page.
    char32_t readDecodedChar()
    {
        const char32_t c = m_reader.readChar();
        if (m_codePage.index() < 0)
            return c;
        return m_codePage.getQChar(c <= 0xFF ? static_cast<unsigned char>(c) : 0).unicode();
    }
    PositionedReader &reader() { return m_reader; }
    const PositionedReader &reader() const { return m_reader; }
    qint64 position() const { return m_reader.pos(); }
    const toUnicode &codePage() const { return m_codePage; }

    qint64 size() const { return m_size; }
    // The file counted in nominal pages of 2000 bytes, so page numbers do not depend on layout.
    qint64 virtualPageCount() const { return m_size / NominalPageBytes; }
    // position x virtualPageCount / size + 1, without overflow; 1 for an empty file.
    qint64 pageNumberOf(qint64 position) const { return pageNumber(position, m_size); }
    static qint64 pageNumber(qint64 position, qint64 size);

    // The title a book gives itself, else the text of an HTML document's title element
    // (references decoded, white space collapsed); empty when it has none or is no HTML file.
    // Found in the first 64 KiB.
    QString title();
    // The author a book names; empty for other documents.
    QString author() const { return m_book.author; }

    // What an e-book (EPUB) says about itself: title, author, language, chapters and its own
    // contents, at positions of the copy read. Empty for other documents.
    const BookInfo &book() const { return m_book; }
    bool isBook() const { return m_isBook; }

    // The addresses of the HTML links read so far, numbered from 1 in the order first met; an
    // address keeps its number while the document is open. 0 for an empty address, or once
    // MaxLinks different ones are known (those are then no links).
    static constexpr int MaxLinks = 65535;
    uint16_t linkNumber(const QString &address);
    // The address of link `number`; empty for 0 or a number never given.
    QString linkAddress(uint16_t number) const;

    // Where each paragraph of a Plucker book starts; empty for other documents.
    const QVector<PluckerIndexEntry> &pluckerIndex() const { return m_pluckerIndex; }

private:
    QByteArray firstBytes(qint64 count);

    PositionedReader m_reader;
    toUnicode m_codePage;
    std::unique_ptr<SourcePreparer> m_preparer;
    QVector<PluckerIndexEntry> m_pluckerIndex;
    BookInfo m_book;
    QStringList m_links;
    QHash<QString, uint16_t> m_linkNumbers;
    bool m_isBook = false;
    SourceKind m_kind = SourceKind::PlainText;
    bool m_html = false;
    QString m_encodingShown;
    EncodingDetector::Result m_detected;  // what "Automatic" found for the document open
    bool m_open = false;
    qint64 m_size = 0;
};
