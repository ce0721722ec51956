#include "PalmBuilder.h"

#include <vector>

namespace PalmBuilder {

QByteArray palmDocCompress(const QByteArray &plainText)
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

QByteArray database(const QByteArray &typeCreator, const QList<QByteArray> &records)
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

QByteArray palmDocHeader(unsigned compression, uint32_t textLength, unsigned textRecords,
                                unsigned recordSize)
{
    QByteArray out;
    for (unsigned v : {compression, 0u, textLength >> 16, textLength & 0xFFFF, textRecords, recordSize, 0u, 0u})
        putBe16(out, v);
    return out;
}

QByteArray palmDocBook(const QByteArray &text, unsigned compression, int recordSize,
                              const QList<QByteArray> &trailing)
{
    QList<QByteArray> records{QByteArray()};
    for (int at = 0; at < text.size(); at += recordSize)
        records.append(compression == 2 ? palmDocCompress(text.mid(at, recordSize)) : text.mid(at, recordSize));
    records[0] = palmDocHeader(compression, uint32_t(text.size()), unsigned(records.size() - 1), unsigned(recordSize));
    return database("TEXtREAd", records + trailing);
}

QByteArray pluckerRecord(unsigned id, unsigned type, const QVector<unsigned> &paragraphSizes,
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

QByteArray pluckerTextRecord(unsigned id, const QList<QByteArray> &paragraphs, Packing packing)
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

QByteArray pluckerDocument(unsigned compression, const QList<QByteArray> &records)
{
    QByteArray index;
    for (unsigned v : {1u, compression, 1u, 0u, 1u})
        putBe16(index, v);
    return database("DataPlkr", QList<QByteArray>{index} + records);
}

} // namespace PalmBuilder
