#pragma once

// Builds Palm databases in memory for tests: PalmDoc books (stored or compressed by a small
// compressor that exists only here) and Plucker documents (text records raw, zlib- or
// PalmDoc-compressed, with function codes for links and styles).

#include <QByteArray>
#include <QList>
#include <QVector>

#include <cstdint>
#include <vector>

namespace PalmBuilder {

inline void putBe16(QByteArray &out, unsigned v) { out.append(char(v >> 8)).append(char(v)); }

// PalmDoc compression of one record: back-references of 3 to 10 bytes up to 2047 bytes back
// (found through a hash of the next three bytes), space + letter pairs, literal runs of up to
// 8 bytes for 0x01..0x08 and 0x80..0xFF, everything else as itself.
inline QByteArray palmDocCompress(const QByteArray &plainText)
{
    const auto *in = reinterpret_cast<const uint8_t *>(plainText.constData());
    const int n = int(plainText.size());
    QByteArray out;
    std::vector<int> head(1 << 12, -1), prev(size_t(n), -1);
    auto hash = [&](int i) { return ((in[i] << 7) ^ (in[i + 1] << 4) ^ in[i + 2]) & 0xFFF; };
    auto remember = [&](int from, int count) {
        for (int i = from; i < from + count; ++i) {
            if (i + 2 < n) {
                prev[size_t(i)] = head[size_t(hash(i))];
                head[size_t(hash(i))] = i;
            }
        }
    };
    auto needsRun = [&](int i) { return (in[i] >= 0x01 && in[i] <= 0x08) || in[i] >= 0x80; };
    for (int i = 0; i < n;) {
        int bestLength = 0, bestDistance = 0;
        int candidate = i + 2 < n ? head[size_t(hash(i))] : -1;
        for (int tries = 0; candidate >= 0 && i - candidate <= 2047 && tries < 32; ++tries) {
            int length = 0;
            while (length < 10 && i + length < n && in[candidate + length] == in[i + length])
                ++length;
            if (length > bestLength)
                bestLength = length, bestDistance = i - candidate;
            candidate = prev[size_t(candidate)];
        }
        int used = 1;
        if (bestLength >= 3) {
            putBe16(out, 0x8000 | unsigned(bestDistance) << 3 | unsigned(bestLength - 3));
            used = bestLength;
        } else if (in[i] == ' ' && i + 1 < n && in[i + 1] >= 0x40 && in[i + 1] <= 0x7F) {
            out.append(char(in[i + 1] ^ 0x80));
            used = 2;
        } else if (needsRun(i)) {
            while (used < 8 && i + used < n && needsRun(i + used))
                ++used;
            out.append(char(used));
            out.append(plainText.mid(i, used));
        } else {
            out.append(char(in[i]));
        }
        remember(i, used);
        i += used;
    }
    return out;
}

// A zlib stream: qCompress without its 4-byte length prefix.
inline QByteArray zlibCompress(const QByteArray &plainText) { return qCompress(plainText, 9).mid(4); }

// A database of `records` with the 8-byte type and creator, e.g. "TEXtREAd" or "DataPlkr".
// Record data follow the record list (and the customary 2 zero bytes) in order.
inline QByteArray database(const QByteArray &typeCreator, const QList<QByteArray> &records)
{
    QByteArray out("test book");
    out.resize(60, '\0');
    out.append(typeCreator.left(8).leftJustified(8, ' '));
    out.append(QByteArray(8, '\0'));
    putBe16(out, unsigned(records.size()));
    uint32_t offset = uint32_t(78 + 8 * records.size() + 2);
    for (int k = 0; k < records.size(); ++k) {
        for (uint32_t v : {offset >> 16, offset & 0xFFFF, 0u, uint32_t(k)})
            putBe16(out, v);
        offset += uint32_t(records[k].size());
    }
    out.append(QByteArray(2, '\0'));
    for (const QByteArray &r : records)
        out.append(r);
    return out;
}

// PalmDoc record 0: compression (1 stored, 2 compressed), unused, text length, text record
// count, record size, current position.
inline QByteArray palmDocHeader(unsigned compression, uint32_t textLength, unsigned textRecords,
                                unsigned recordSize = 4096)
{
    QByteArray out;
    for (unsigned v : {compression, 0u, textLength >> 16, textLength & 0xFFFF, textRecords, recordSize, 0u, 0u})
        putBe16(out, v);
    return out;
}

// `text` in records of `recordSize` bytes, stored (1) or compressed (2), then `trailing`
// records that are not text (stored bookmarks, metadata).
inline QByteArray palmDocBook(const QByteArray &text, unsigned compression, int recordSize = 4096,
                              const QList<QByteArray> &trailing = {})
{
    QList<QByteArray> records{QByteArray()};
    for (int at = 0; at < text.size(); at += recordSize)
        records.append(compression == 2 ? palmDocCompress(text.mid(at, recordSize)) : text.mid(at, recordSize));
    records[0] = palmDocHeader(compression, uint32_t(text.size()), unsigned(records.size() - 1), unsigned(recordSize));
    return database("TEXtREAd", records + trailing);
}

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
inline QByteArray pluckerRecord(unsigned id, unsigned type, const QVector<unsigned> &paragraphSizes,
                                unsigned declaredSize, const QByteArray &data)
{
    QByteArray out;
    for (unsigned v : {id, unsigned(paragraphSizes.size()), declaredSize, type << 8})
        putBe16(out, v);
    for (unsigned s : paragraphSizes) {
        putBe16(out, s);
        putBe16(out, 0);
    }
    return out + data;
}

inline QByteArray pluckerTextRecord(unsigned id, const QList<QByteArray> &paragraphs, Packing packing)
{
    QVector<unsigned> sizes;
    for (const QByteArray &p : paragraphs)
        sizes.append(unsigned(p.size()));
    const QByteArray text = paragraphs.join();
    const QByteArray data = packing == Packing::Raw    ? text
                            : packing == Packing::Zlib ? zlibCompress(text)
                                                       : palmDocCompress(text);
    return pluckerRecord(id, packing == Packing::Raw ? 0 : 1, sizes, unsigned(text.size()), data);
}

// A whole Plucker database: an index record (uid 1, text compression 1 PalmDoc or 2 zlib, one
// reserved entry), then `records`.
inline QByteArray pluckerDocument(unsigned compression, const QList<QByteArray> &records)
{
    QByteArray index;
    for (unsigned v : {1u, compression, 1u, 0u, 1u})
        putBe16(index, v);
    return database("DataPlkr", QList<QByteArray>{index} + records);
}

} // namespace PalmBuilder
