#pragma once

// Builds Palm databases in memory for tests: PalmDoc books (stored or compressed by a small
// compressor that exists only here) and Plucker documents (text records raw, zlib- or
// PalmDoc-compressed, with function codes for links and styles).

#include <QByteArray>
#include <QList>
#include <QVector>

#include <cstdint>

namespace PalmBuilder {

inline void putBe16(QByteArray &out, unsigned v) { out.append(char(v >> 8)).append(char(v)); }

// PalmDoc compression of one record: back-references of 3 to 10 bytes up to 2047 bytes back
// (found through a hash of the next three bytes), space + letter pairs, literal runs of up to
// 8 bytes for 0x01..0x08 and 0x80..0xFF, everything else as itself.
QByteArray palmDocCompress(const QByteArray &plainText);

// A zlib stream: qCompress without its 4-byte length prefix.
inline QByteArray zlibCompress(const QByteArray &plainText) { return qCompress(plainText, 9).mid(4); }

// A database of `records` with the 8-byte type and creator, e.g. "TEXtREAd" or "DataPlkr".
// Record data follow the record list (and the customary 2 zero bytes) in order.
QByteArray database(const QByteArray &typeCreator, const QList<QByteArray> &records);

// PalmDoc record 0: compression (1 stored, 2 compressed), unused, text length, text record
// count, record size, current position.
QByteArray palmDocHeader(unsigned compression, uint32_t textLength, unsigned textRecords,
                         unsigned recordSize = 4096);

// `text` in records of `recordSize` bytes, stored (1) or compressed (2), then `trailing`
// records that are not text (stored bookmarks, metadata).
QByteArray palmDocBook(const QByteArray &text, unsigned compression, int recordSize = 4096,
                       const QList<QByteArray> &trailing = {});

// Function codes embedded in Plucker text: a 0x00 byte, the code, its argument bytes.
namespace Code {
inline QByteArray make(std::initializer_list<unsigned> bytes)
{
    QByteArray out(1, '\0');
    for (unsigned b : bytes)
        out.append(char(b));
    return out;
}
inline QByteArray endLink() { return make({0x08}); }
inline QByteArray linkToRecord(unsigned record) { return make({0x0A, record >> 8, record & 0xFF}); }
inline QByteArray linkToParagraph(unsigned r, unsigned p) { return make({0x0C, r >> 8, r & 0xFF, p >> 8, p & 0xFF}); }
inline QByteArray style(unsigned s) { return make({0x11, s}); }
inline QByteArray lineBreak() { return make({0x38}); }
inline QByteArray italicOn() { return make({0x40}); }
inline QByteArray italicOff() { return make({0x48}); }
inline QByteArray underlineOn() { return make({0x60}); }
} // namespace Code

// What the converter writes after every paragraph.
inline QByteArray endOfParagraph() { return QByteArray("\x0A\x00\x08\x00\x48\x00\x68\x00\x11\x00", 10); }

enum class Packing { Raw, Zlib, PalmDoc };

// A Plucker record with every header field given: id, paragraph sizes (the table), declared
// text size, type (0 text, 1 compressed text, 2 image), then `data` as it stands.
QByteArray pluckerRecord(unsigned id, unsigned type, const QVector<unsigned> &paragraphSizes,
                                unsigned declaredSize, const QByteArray &data);

QByteArray pluckerTextRecord(unsigned id, const QList<QByteArray> &paragraphs, Packing packing);

// A whole Plucker database: an index record (uid 1, text compression 1 PalmDoc or 2 zlib, one
// reserved entry), then `records`.
QByteArray pluckerDocument(unsigned compression, const QList<QByteArray> &records);

} // namespace PalmBuilder
