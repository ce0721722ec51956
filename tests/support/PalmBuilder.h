#pragma once

// Builds Palm databases in memory for tests: PalmDoc books (stored or compressed by a small
// compressor that exists only here) and Plucker documents (text records raw, zlib- or
// PalmDoc-compressed, with function codes for links and styles; image and other records).

#include <QByteArray>
#include <QList>
#include <QVector>

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace PalmBuilder {

inline void putBe16(QByteArray &out, unsigned v)
{
    out.append(char(v >> 8));
    out.append(char(v));
}

inline void putBe32(QByteArray &out, uint32_t v)
{
    putBe16(out, v >> 16);
    putBe16(out, v & 0xFFFF);
}

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
    auto remember = [&](int i) {
        if (i + 2 < n) {
            const int h = hash(i);
            prev[size_t(i)] = head[size_t(h)];
            head[size_t(h)] = i;
        }
    };
    int i = 0;
    while (i < n) {
        int bestLength = 0, bestDistance = 0;
        if (i + 2 < n) {
            int candidate = head[size_t(hash(i))];
            for (int tries = 0; candidate >= 0 && i - candidate <= 2047 && tries < 32; ++tries) {
                int length = 0;
                while (length < 10 && i + length < n && in[candidate + length] == in[i + length])
                    ++length;
                if (length > bestLength) {
                    bestLength = length;
                    bestDistance = i - candidate;
                }
                candidate = prev[size_t(candidate)];
            }
        }
        if (bestLength >= 3) {
            const unsigned v = 0x8000 | unsigned(bestDistance) << 3 | unsigned(bestLength - 3);
            putBe16(out, v);
            for (int k = 0; k < bestLength; ++k)
                remember(i + k);
            i += bestLength;
        } else if (in[i] == ' ' && i + 1 < n && in[i + 1] >= 0x40 && in[i + 1] <= 0x7F) {
            out.append(char(in[i + 1] ^ 0x80));
            remember(i);
            remember(i + 1);
            i += 2;
        } else if ((in[i] >= 0x01 && in[i] <= 0x08) || in[i] >= 0x80) {
            int run = 1;
            while (run < 8 && i + run < n && ((in[i + run] >= 0x01 && in[i + run] <= 0x08) || in[i + run] >= 0x80))
                ++run;
            out.append(char(run));
            out.append(plainText.mid(i, run));
            for (int k = 0; k < run; ++k)
                remember(i + k);
            i += run;
        } else {
            out.append(char(in[i]));
            remember(i);
            ++i;
        }
    }
    return out;
}

inline QByteArray zlibCompress(const QByteArray &plainText)
{
    uLongf size = compressBound(uLong(plainText.size()));
    QByteArray out(int(size), '\0');
    compress2(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(plainText.constData()),
              uLong(plainText.size()), 9);
    out.resize(int(size));
    return out;
}

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
        putBe32(out, offset);
        putBe32(out, uint32_t(k) & 0xFFFFFF);
        offset += uint32_t(records[k].size());
    }
    out.append(QByteArray(2, '\0'));
    for (const QByteArray &r : records)
        out.append(r);
    return out;
}

// ---- PalmDoc ----

// Record 0: compression (1 stored, 2 compressed), unused, text length, text record count,
// record size, current position.
inline QByteArray palmDocHeader(unsigned compression, uint32_t textLength, unsigned textRecords,
                                unsigned recordSize = 4096)
{
    QByteArray out;
    putBe16(out, compression);
    putBe16(out, 0);
    putBe32(out, textLength);
    putBe16(out, textRecords);
    putBe16(out, recordSize);
    putBe32(out, 0);
    return out;
}

// `text` in records of `recordSize` bytes, stored (1) or compressed (2), then `trailing`
// records that are not text (stored bookmarks, metadata).
inline QByteArray palmDocBook(const QByteArray &text, unsigned compression, int recordSize = 4096,
                              const QList<QByteArray> &trailing = {})
{
    QList<QByteArray> records;
    QList<QByteArray> texts;
    for (int at = 0; at < text.size(); at += recordSize)
        texts.append(text.mid(at, recordSize));
    records.append(palmDocHeader(compression, uint32_t(text.size()), unsigned(texts.size()), unsigned(recordSize)));
    for (const QByteArray &t : texts)
        records.append(compression == 2 ? palmDocCompress(t) : t);
    records.append(trailing);
    return database("TEXtREAd", records);
}

// ---- Plucker ----

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
inline QByteArray linkToParagraph(unsigned record, unsigned paragraph)
{
    return make({0x0C, record >> 8, record & 0xFF, paragraph >> 8, paragraph & 0xFF});
}
inline QByteArray style(unsigned s) { return make({0x11, s}); }
inline QByteArray image(unsigned record) { return make({0x1A, record >> 8, record & 0xFF}); }
inline QByteArray lineBreak() { return make({0x38}); }
inline QByteArray italicOn() { return make({0x40}); }
inline QByteArray italicOff() { return make({0x48}); }
inline QByteArray underlineOn() { return make({0x60}); }
inline QByteArray underlineOff() { return make({0x68}); }
} // namespace Code

// What the converter writes after every paragraph.
inline QByteArray endOfParagraph() { return QByteArray("\x0A\x00\x08\x00\x48\x00\x68\x00\x11\x00", 10); }

enum class Packing { Raw, Zlib, PalmDoc };
enum : unsigned { StoredText = 0, CompressedText = 1, Image = 2 };

// Record 0: uid, compression of the text records (1 PalmDoc, 2 zlib), reserved-record entries.
inline QByteArray pluckerIndexRecord(unsigned compression, unsigned uid = 1)
{
    QByteArray out;
    putBe16(out, uid);
    putBe16(out, compression);
    putBe16(out, 1);
    putBe16(out, 0); // one reserved entry: name 0 -> record 1
    putBe16(out, 1);
    return out;
}

// A record with every header field given: id, paragraph sizes (the table), declared text size,
// type, then `data` as it stands.
inline QByteArray pluckerRecord(unsigned id, unsigned type, const QVector<unsigned> &paragraphSizes,
                                unsigned declaredSize, const QByteArray &data)
{
    QByteArray out;
    putBe16(out, id);
    putBe16(out, unsigned(paragraphSizes.size()));
    putBe16(out, declaredSize);
    out.append(char(type));
    out.append('\0');
    for (unsigned s : paragraphSizes) {
        putBe16(out, s);
        putBe16(out, 0);
    }
    out.append(data);
    return out;
}

// A text record holding `paragraphs`, raw (type 0) or compressed (type 1).
inline QByteArray pluckerTextRecord(unsigned id, const QList<QByteArray> &paragraphs, Packing packing)
{
    QByteArray text;
    QVector<unsigned> sizes;
    for (const QByteArray &p : paragraphs) {
        text += p;
        sizes.append(unsigned(p.size()));
    }
    switch (packing) {
    case Packing::Raw:
        return pluckerRecord(id, StoredText, sizes, unsigned(text.size()), text);
    case Packing::Zlib:
        return pluckerRecord(id, CompressedText, sizes, unsigned(text.size()), zlibCompress(text));
    case Packing::PalmDoc:
        break;
    }
    return pluckerRecord(id, CompressedText, sizes, unsigned(text.size()), palmDocCompress(text));
}

inline QByteArray pluckerImageRecord(unsigned id, const QByteArray &imageBytes)
{
    return pluckerRecord(id, Image, {}, unsigned(imageBytes.size()), imageBytes);
}

// A whole Plucker database: index record for `compression` (1 PalmDoc, 2 zlib), then `records`.
inline QByteArray pluckerDocument(unsigned compression, const QList<QByteArray> &records)
{
    QList<QByteArray> all{pluckerIndexRecord(compression)};
    all.append(records);
    return database("DataPlkr", all);
}

} // namespace PalmBuilder
