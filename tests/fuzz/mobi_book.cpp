// MOBI parsing: the first byte picks what the rest of the input is taken for: record 0 (the MOBI
// header and EXTH), a Huffman/dictionary set (the lengths of a HUFF and a CDIC record, 2 bytes
// each, the two records, then a text record), or a whole book converted to HTML under a small size limit.
// Whatever comes in, nothing crashes, every output stays within its bound, and a book that
// converts describes itself within those bounds.
#include "FuzzBook.h"
#include "HuffCdic.h"
#include "MobiBook.h"
#include "MobiHeader.h"

#include <QByteArray>
#include <QList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > (1 << 22))
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    switch (data[0] % 3) {
    case 0: {
        MobiHeader header;
        if (mobi::parseHeader(bytes, header).isOk())
            check(header.title.size() <= BookInfo::MaxText && header.author.size() <= BookInfo::MaxText);
        for (const uint32_t flags : {0u, 1u, 0xFFFFu}) {
            const int length = mobi::textLength(bytes, flags);
            check(length >= -1 && length <= bytes.size());
        }
        break;
    }
    case 1: {
        if (bytes.size() < 4)
            break;
        const int huffSize = uchar(bytes[0]) << 8 | uchar(bytes[1]);
        const int cdicSize = uchar(bytes[2]) << 8 | uchar(bytes[3]);
        const QByteArray rest = bytes.mid(4);
        const QList<QByteArray> parts{rest.left(huffSize), rest.mid(huffSize, cdicSize), rest.mid(huffSize + cdicSize)};
        HuffCdic decoder;
        if (!decoder.load(parts[0], {parts[1]}))
            break;
        for (const int limit : {0, 100, 1 << 16}) {
            QByteArray out;
            decoder.decompress(parts[2], out, limit);
            check(out.size() <= limit);
        }
        break;
    }
    default:
        convertBook(data + 1, size - 1, false, MobiBook::convert);
    }
    return 0;
}
