#include "MobiIndex.h"

namespace {

uint32_t be32(const QByteArray &b, qsizetype at)
{
    const auto *u = reinterpret_cast<const unsigned char *>(b.constData() + at);
    return uint32_t(u[0]) << 24 | uint32_t(u[1]) << 16 | uint32_t(u[2]) << 8 | u[3];
}
unsigned be16(const QByteArray &b, qsizetype at)
{
    const auto *u = reinterpret_cast<const unsigned char *>(b.constData() + at);
    return unsigned(u[0]) << 8 | u[1];
}

// A number of 7 bits a byte, most significant first; the top bit marks the last byte.
bool forwardNumber(const QByteArray &b, qsizetype &p, qsizetype end, uint32_t &value)
{
    value = 0;
    for (int n = 0; n < 5 && p < end; ++n) {
        const unsigned char c = uchar(b[p++]);
        value = value << 7 | (c & 0x7F);
        if (c & 0x80)
            return true;
    }
    return false;
}

struct Tag
{
    int tag;
    int valuesPerEntry;
    unsigned mask;
    bool endOfControlByte;
};

int trailingZeros(unsigned mask)
{
    int n = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++n;
    }
    return n;
}

bool readEntry(const QByteArray &r, qsizetype p, qsizetype end, const QVector<Tag> &tags, int controlBytes,
               mobi::IndexEntry &entry)
{
    if (p >= end)
        return false;
    const int keyLength = uchar(r[p++]);
    if (keyLength > end - p)
        return false;
    entry.key = r.mid(p, keyLength);
    p += keyLength;
    if (controlBytes > end - p)
        return false;
    const qsizetype control = p;
    p += controlBytes;
    struct Wanted
    {
        int tag, count, bytes, perEntry;
    };
    QVector<Wanted> wanted;
    int controlIndex = 0;
    for (const Tag &t : tags) {
        if (t.endOfControlByte) {
            ++controlIndex;
            continue;
        }
        if (controlIndex >= controlBytes)
            return false;
        const unsigned value = uchar(r[control + controlIndex]) & t.mask;
        if (value == 0)
            continue;
        if (value == t.mask && (t.mask & (t.mask - 1))) {
            uint32_t bytes;
            if (!forwardNumber(r, p, end, bytes))
                return false;
            wanted.append({t.tag, -1, int(std::min<uint32_t>(bytes, 1 << 16)), t.valuesPerEntry});
        } else {
            wanted.append({t.tag, int(value >> trailingZeros(t.mask)), 0, t.valuesPerEntry});
        }
    }
    for (const Wanted &w : std::as_const(wanted)) {
        QVector<uint32_t> &values = entry.tags[w.tag];
        if (w.count >= 0) {
            for (int i = 0; i < w.count * w.perEntry; ++i) {
                uint32_t v;
                if (!forwardNumber(r, p, end, v))
                    return false;
                values.append(v);
            }
        } else {
            const qsizetype stop = p + std::min<qsizetype>(w.bytes, end - p);
            while (p < stop) {
                uint32_t v;
                if (!forwardNumber(r, p, stop, v))
                    return false;
                values.append(v);
            }
        }
    }
    return true;
}

} // namespace

bool mobi::readIndex(const RecordSource &record, uint32_t first, Index &index)
{
    index = Index();
    // Primary INDX: "INDX", header length (4), ..., data records (4 at 24), ..., CNCX records
    // (4 at 52); the TAGX table follows the header: "TAGX", its length, control bytes per
    // entry, then 4 bytes a tag: tag, values per entry, mask, end of a control byte.
    const QByteArray primary = record(first);
    if (primary.size() < 56 || !primary.startsWith("INDX"))
        return false;
    const uint32_t headerLength = be32(primary, 4);
    const uint32_t dataRecords = be32(primary, 24);
    const uint32_t cncxRecords = be32(primary, 52);
    if (headerLength > uint64_t(primary.size()) - 12 || dataRecords > 4096 || cncxRecords > 4096)
        return false;
    const qsizetype tagx = headerLength;
    if (primary.mid(tagx, 4) != "TAGX")
        return false;
    const uint32_t tagxLength = be32(primary, tagx + 4);
    const uint32_t controlBytes = be32(primary, tagx + 8);
    if (tagxLength < 12 || tagxLength > uint64_t(primary.size() - tagx) || controlBytes > 16)
        return false;
    QVector<Tag> tags;
    for (qsizetype p = tagx + 12; p + 4 <= tagx + qsizetype(tagxLength); p += 4)
        tags.append({uchar(primary[p]), uchar(primary[p + 1]), uchar(primary[p + 2]), uchar(primary[p + 3]) == 1});

    for (uint32_t k = 1; k <= dataRecords; ++k) {
        // Data INDX: IDXT offset (4 at 20), entries (4 at 24); the IDXT: "IDXT", 2 bytes an entry.
        const QByteArray r = record(first + k);
        if (r.size() < 28 || !r.startsWith("INDX"))
            return false;
        const uint32_t idxt = be32(r, 20);
        const uint32_t count = be32(r, 24);
        if (idxt > uint64_t(r.size()) || count > uint64_t(r.size() - idxt) / 2 || r.mid(idxt, 4) != "IDXT"
            || uint64_t(idxt) + 4 + 2 * uint64_t(count) > uint64_t(r.size()))
            return false;
        for (uint32_t i = 0; i < count; ++i) {
            if (index.entries.size() >= Index::MaxEntries)
                return false;
            const qsizetype start = be16(r, idxt + 4 + 2 * i);
            const qsizetype end = i + 1 < count ? qsizetype(be16(r, idxt + 4 + 2 * (i + 1))) : qsizetype(idxt);
            IndexEntry entry;
            if (end > qsizetype(idxt) || !readEntry(r, start, end, tags, int(controlBytes), entry))
                return false;
            index.entries.append(entry);
        }
    }
    // CNCX: strings, each a forward number (its length) and the bytes; an offset is the CNCX
    // record's place in the high 16 bits and the position in it in the low 16.
    for (uint32_t c = 0; c < cncxRecords; ++c) {
        const QByteArray r = record(first + dataRecords + 1 + c);
        qsizetype p = 0;
        while (p < r.size() && index.cncx.size() < Index::MaxEntries) {
            const qsizetype at = p;
            uint32_t length;
            if (!forwardNumber(r, p, r.size(), length) || length > uint64_t(r.size() - p))
                break;
            index.cncx.insert(c << 16 | uint32_t(at), r.mid(p, length));
            p += length;
        }
    }
    return true;
}
