#pragma once
// MOBI books for tests, written as Palm databases (type "BOOK", creator "MOBI"): record 0 with
// the PalmDoc and MOBI headers, EXTH metadata and the full name, then the text records (stored,
// PalmDoc- or Huffman/dictionary-compressed, with trailing entries when asked), then any other
// records. Every header field can be set to a lie to make a hostile book.
#include <QByteArray>
#include <QList>
#include <QPair>

#include <cstdint>

namespace MobiBuilder {

constexpr uint32_t None = 0xFFFFFFFF;

struct Book
{
    QByteArray text;            // the book's HTML, in its encoding
    unsigned compression = 2;   // 1 stored, 2 PalmDoc, 17480 Huffman/dictionary
    uint32_t encoding = 65001;  // or 1252
    QByteArray fullName = "Full Name";
    QList<QPair<uint32_t, QByteArray>> exth;  // type, data
    // Trailing entries after each text record: bit 0 the multibyte overlap, bits 1..15 a size
    // entry each.
    uint32_t extraFlags = 0;
    unsigned encryption = 0;
    int recordSize = 4096;
    QList<QByteArray> moreRecords;  // after the text (and the Huffman records); numbered from
                                    // firstMoreRecord()
    uint32_t ncxIndex = None;       // a record number, relative to record 0

    // Overrides for hostile books (None: the true value).
    uint32_t textLengthOverride = None;
    uint32_t textRecordsOverride = None;
    uint32_t headerLengthOverride = None;
    uint32_t firstNonTextOverride = None;

    // The record number the first of moreRecords gets.
    int firstMoreRecord() const;
};

// `book` as a whole database file.
QByteArray build(const Book &book);
// Its records, record 0 first, for tests that damage one.
QList<QByteArray> records(const Book &book);

// Huffman/dictionary compression made only for tests: the phrase dictionary holds every byte,
// the text's frequent words (stored plain) and pairs of them (stored compressed with the same
// codes, so expanding them nests); codes are Huffman codes over the phrases' use.
struct HuffCdicEncoded
{
    QByteArray huff;
    QList<QByteArray> cdics;
    QList<QByteArray> records;  // one per input record
};
HuffCdicEncoded huffCdicCompress(const QList<QByteArray> &records);

// An NCX index of at least one entry (label, filepos, depth): the primary INDX record with the
// TAGX, one data record and the CNCX record of the labels.
QList<QByteArray> ncxIndex(const QList<std::tuple<QByteArray, uint32_t, uint32_t>> &entries);

} // namespace MobiBuilder
