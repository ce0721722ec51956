#include "MobiHeader.h"

#include "BookInfo.h"

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

// windows-1252's 0x80..0x9F; the rest of the code page is Latin-1.
const char16_t Cp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

// Reads EXTH records: type (4), length (4, with these 8 bytes), data. Stops at the first one that
// does not fit.
void readExth(const QByteArray &r0, qsizetype at, MobiHeader &h, QString &exthTitle)
{
    if (at < 0 || r0.size() - at < 12 || r0.mid(at, 4) != "EXTH")
        return;
    const qsizetype end = at + std::min<qsizetype>(be32(r0, at + 4), r0.size() - at);
    const uint32_t count = be32(r0, at + 8);
    qsizetype p = at + 12;
    QStringList authors;
    for (uint32_t i = 0; i < count && end - p >= 8; ++i) {
        const uint32_t type = be32(r0, p);
        const uint32_t length = be32(r0, p + 4);
        if (length < 8 || length > uint64_t(end - p))
            break;
        const QByteArray data = r0.mid(p + 8, length - 8);
        if (type == 100 && authors.size() < 16)
            authors.append(BookInfo::clean(h.decode(data)));
        else if (type == 503)
            exthTitle = BookInfo::clean(h.decode(data));
        else if (type == 524)
            h.language = BookInfo::clean(h.decode(data));
        else if (type == 121 && data.size() == 4)
            h.kf8Boundary = be32(data, 0);
        p += length;
    }
    authors.removeAll(QString());
    h.author = BookInfo::clean(authors.join(QStringLiteral(" & ")));
}

} // namespace

QString MobiHeader::decode(const QByteArray &bytes) const
{
    if (utf8())
        return QString::fromUtf8(bytes);
    QString s(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const unsigned char c = uchar(bytes[i]);
        s[i] = QChar(c >= 0x80 && c < 0xA0 ? Cp1252High[c - 0x80] : char16_t(c));
    }
    return s;
}

Status mobi::damaged(const std::string &detail)
{
    return Status::error(Status::Code::Damaged, "The book cannot be opened: it is damaged.", detail);
}

Status mobi::parseHeader(const QByteArray &r0, MobiHeader &h)
{
    // PalmDoc header: compression (2), unused (2), text length (4), text records (2), record
    // size (2), encryption (2), unused (2).
    if (r0.size() < 16)
        return damaged("record 0 is shorter than its header");
    h.compression = be16(r0, 0);
    h.textLength = be32(r0, 4);
    h.textRecords = be16(r0, 8);
    h.encryption = be16(r0, 12);
    if (r0.size() < 24 || r0.mid(16, 4) != "MOBI")
        return damaged("record 0 has no MOBI header");
    h.headerLength = be32(r0, 20);
    if (h.headerLength < 24 || h.headerLength > uint64_t(r0.size() - 16))
        return damaged("the MOBI header's length lies");
    const qsizetype end = 16 + qsizetype(h.headerLength);
    auto field = [&](qsizetype at, uint32_t fallback) { return at + 4 <= end ? be32(r0, at) : fallback; };
    h.encoding = field(28, 1252);
    h.version = field(36, 0);
    h.firstNonText = field(80, MobiHeader::None);
    const uint32_t nameOffset = field(84, 0);
    const uint32_t nameLength = field(88, 0);
    h.huffRecord = field(112, MobiHeader::None);
    h.huffCount = field(116, 0);
    const uint32_t exthFlags = field(128, 0);
    h.extraFlags = field(240, 0) & 0xFFFF;
    h.ncxIndex = field(244, MobiHeader::None);
    if (h.version >= 8) {
        h.fdst = field(192, MobiHeader::None);
        h.fragIndex = field(248, MobiHeader::None);
        h.skelIndex = field(252, MobiHeader::None);
    }

    QString exthTitle;
    if (exthFlags & 0x40)
        readExth(r0, end, h, exthTitle);
    QString fullName;
    if (nameOffset < uint64_t(r0.size()) && nameLength > 0)
        fullName = BookInfo::clean(h.decode(r0.mid(nameOffset, std::min<qsizetype>(nameLength, r0.size() - nameOffset))));
    h.title = exthTitle.isEmpty() ? fullName : exthTitle;
    return Status::ok();
}

int mobi::textLength(const QByteArray &record, uint32_t extraFlags)
{
    qsizetype size = record.size();
    const auto *u = reinterpret_cast<const unsigned char *>(record.constData());
    for (int bit = 15; bit >= 1; --bit) {
        if (!(extraFlags & (1u << bit)))
            continue;
        // A size read backwards from the end, 7 bits a byte; the byte with the top bit set is its
        // first. The size counts its own bytes.
        uint32_t entry = 0;
        int shift = 0;
        qsizetype p = size;
        while (p > 0 && shift < 28) {
            const unsigned char c = u[--p];
            entry |= uint32_t(c & 0x7F) << shift;
            shift += 7;
            if (c & 0x80)
                break;
        }
        if (entry > uint64_t(size))
            return -1;
        size -= entry;
    }
    if (extraFlags & 1) {
        if (size == 0)
            return -1;
        const int overlap = (u[size - 1] & 3) + 1;
        if (overlap > size)
            return -1;
        size -= overlap;
    }
    return int(size);
}
