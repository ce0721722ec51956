// Fuzz target: any bytes as a document read through the positioned reader in every decoding,
// forwards to the end and then backwards one code unit at a time. Positions must stay within the
// file and grow with every read, characters must be Unicode scalar values, and outside Codec mode
// a character read again from where it started must come out the same.
// An odd first byte puts the rest of the input across the end of the reader's first window.
#include "FuzzInput.h"
#include "PositionedReader.h"
#include "toUnicode.h"

#include <QStringList>
#include <QTextCodec>
#include <vector>

namespace {

using Mode = PositionedReader::Mode;
constexpr qint64 WindowSize = 64 * 1024; // the reader's window
constexpr int MostCharactersPerByte = 8; // a codec's output for one byte, in a generous bound

struct Decoding
{
    Mode mode; // Bytes: through one of the built-in tables
    const char *codec; // for Codec mode
};

// One reader goes through all decodings in turn: a mode change must leave nothing behind.
void readThrough(PositionedReader &reader, const Decoding &decoding, qint64 from, unsigned char selector)
{
    static const QStringList tables = toUnicode::getCodecList().split(QLatin1Char(','));
    const qint64 size = reader.size();
    toUnicode table;
    if (decoding.codec)
        reader.setCodec(QTextCodec::codecForName(decoding.codec));
    else
        reader.setMode(decoding.mode);
    if (decoding.mode == Mode::Bytes)
        table.setCodec(tables.at(selector % tables.size()));
    const bool codec = reader.mode() == Mode::Codec;
    const int unit = reader.codeUnitBytes();

    // Forwards, remembering where each character started.
    struct Read
    {
        qint64 start, end;
        char32_t c;
    };
    std::vector<Read> reads;
    reader.seek(from);
    const qint64 first = reader.pos();
    check(first <= from && from - first < unit);
    int still = 0; // reads in a row that did not move
    while (!reader.atEnd()) {
        const qint64 start = reader.pos();
        char32_t c = reader.readChar();
        const qint64 end = reader.pos();
        check(end >= start && end <= size);
        still = end == start ? still + 1 : 0;
        check(still == 0 || (codec && still < MostCharactersPerByte && !reads.empty()));
        check(c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF)); // a scalar value
        if (reader.mode() == Mode::Bytes) {
            check(c <= 0xFF && end == start + 1);
            c = table.getQChar(uchar(c)).unicode();
        }
        reads.push_back({start, end, c});
        check(qint64(reads.size()) <= (size - first) * MostCharactersPerByte);
    }
    check(reader.pos() == size && reader.readChar() == 0 && reader.pos() == size);

    // Backwards: every position reads something and moves on; a character's start reads it again.
    size_t next = reads.size();
    for (qint64 p = size - 1; p >= first; p -= unit) {
        reader.seek(p);
        const qint64 at = reader.pos();
        check(at <= p && p - at < unit);
        const char32_t c = reader.readChar();
        check(reader.pos() > at && reader.pos() <= size);
        while (next > 0 && reads[next - 1].start > at)
            --next;
        if (!codec && next > 0 && reads[next - 1].start == at) {
            const char32_t mapped = table.index() >= 0 ? char32_t(table.getQChar(uchar(c)).unicode()) : c;
            check(mapped == reads[next - 1].c && reader.pos() == reads[next - 1].end);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const int file = memoryFile("document");
    if (size > 1 << 16)
        return 0;
    const unsigned char selector = size > 0 ? data[0] : 0;
    qint64 lead = 0; // filler before the input
    if (selector & 1) {
        lead = WindowSize - (selector >> 1);
        ++data;
        --size;
    }
    std::string bytes(size_t(lead), 'a');
    for (qint64 i = 63; i < lead; i += 64)
        bytes[size_t(i)] = '\n';
    bytes.append(reinterpret_cast<const char *>(data), size);
    refill(file, reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());

    PositionedReader reader;
    check(reader.open(QString::fromStdString(pathOf(file))).isOk() && reader.size() == qint64(bytes.size()));
    // Only the neighbourhood of the input is read when there is filler: the filler is plain ASCII.
    const qint64 from = lead > 16 ? lead - 16 : 0;
    for (const Decoding &decoding : {Decoding{Mode::Utf8, nullptr}, Decoding{Mode::Codec, "Shift_JIS"},
                                     Decoding{Mode::Utf16LE, nullptr}, Decoding{Mode::Bytes, nullptr},
                                     Decoding{Mode::Codec, "GB18030"}, Decoding{Mode::Utf16BE, nullptr}})
        readThrough(reader, decoding, from, selector);
    return 0;
}
