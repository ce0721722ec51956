// Fuzz target: any bytes as a document read through the positioned reader in every decoding,
// forwards to the end and then backwards one code unit at a time. Positions must stay within the
// file and grow with every read, characters must be Unicode scalar values, and outside Codec mode
// a character read again from where it started must come out the same.
// An odd first byte puts the rest of the input across the end of the reader's first window.
#include "FileIo.h"
#include "PositionedReader.h"
#include "toUnicode.h"

#include <QFile>
#include <QStringList>
#include <QTextCodec>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 WindowSize = 64 * 1024;  // the reader's window
constexpr int MostCharactersPerByte = 8;  // a codec's output for one byte, in a generous bound

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool isScalarValue(char32_t c)
{
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// Opens a reader on a new file holding `bytes`, in memory where the system has a place for it. The
// file is gone again once the reader has it open, so no run leaves files behind.
void openOn(PositionedReader &reader, const std::string &bytes)
{
    static const bool inMemory = ::access("/dev/shm", W_OK) == 0;
    std::string path = std::string(inMemory ? "/dev/shm" : "/tmp") + "/positioned_reader_fuzz_XXXXXX";
    const int fd = ::mkstemp(path.data());
    check(fd >= 0);
    const bool written = fileio::writeAll(fd, bytes.data(), bytes.size());
    ::close(fd);
    const bool opened = written && reader.open(QFile::decodeName(path.c_str())).isOk();
    ::unlink(path.c_str());
    check(opened && reader.size() == qint64(bytes.size()));
}

enum class Decoding { Utf8, Utf16LE, Utf16BE, CodePage, ShiftJis, Gb18030 };

// One reader goes through all decodings in turn: a mode change must leave nothing behind.
void readThrough(PositionedReader &reader, Decoding decoding, qint64 from, unsigned char selector)
{
    const qint64 size = reader.size();
    toUnicode table;
    switch (decoding) {
    case Decoding::Utf8:
        reader.setMode(PositionedReader::Mode::Utf8);
        break;
    case Decoding::Utf16LE:
        reader.setMode(PositionedReader::Mode::Utf16LE);
        break;
    case Decoding::Utf16BE:
        reader.setMode(PositionedReader::Mode::Utf16BE);
        break;
    case Decoding::CodePage:
        reader.setMode(PositionedReader::Mode::Bytes);
        static const QStringList tables = toUnicode::getCodecList().split(QLatin1Char(','));
        table.setCodec(tables.at(selector % tables.size()));
        check(table.index() >= 0);
        break;
    case Decoding::ShiftJis: {
        static QTextCodec *const shiftJis = QTextCodec::codecForName("Shift_JIS");
        reader.setCodec(shiftJis);
        break;
    }
    case Decoding::Gb18030: {
        static QTextCodec *const gb18030 = QTextCodec::codecForName("GB18030");
        reader.setCodec(gb18030);
        break;
    }
    }
    const bool codec = reader.mode() == PositionedReader::Mode::Codec;
    const int unit = reader.codeUnitBytes();
    check(unit == (decoding == Decoding::Utf16LE || decoding == Decoding::Utf16BE ? 2 : 1));
    check(reader.bomLength() >= 0 && reader.bomLength() <= std::min<qint64>(size, 3));

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
    int still = 0;  // reads in a row that did not move
    while (!reader.atEnd()) {
        const qint64 start = reader.pos();
        char32_t c = reader.readChar();
        const qint64 end = reader.pos();
        check(end >= start && end <= size);
        still = end == start ? still + 1 : 0;
        check(still == 0 || (codec && still < MostCharactersPerByte && !reads.empty()));
        check(isScalarValue(c));
        if (reader.mode() == PositionedReader::Mode::Bytes) {
            check(c <= 0xFF && end == start + 1);
            c = table.getQChar(uchar(c)).unicode();
        }
        reads.push_back({start, end, c});
        check(qint64(reads.size()) <= (size - first) * MostCharactersPerByte);
    }
    check(reader.pos() == size);
    check(reader.readChar() == 0 && reader.pos() == size);

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
            const Read &forward = reads[next - 1];
            const char32_t mapped = table.index() >= 0 ? char32_t(table.getQChar(uchar(c)).unicode()) : c;
            check(mapped == forward.c && reader.pos() == forward.end);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1 << 16)
        return 0;
    const unsigned char selector = size > 0 ? data[0] : 0;
    qint64 lead = 0;  // filler before the input
    if (selector & 1) {
        lead = WindowSize - (selector >> 1);
        ++data;
        --size;
    }
    std::string bytes(size_t(lead), 'a');
    for (qint64 i = 63; i < lead; i += 64)
        bytes[size_t(i)] = '\n';
    bytes.append(reinterpret_cast<const char *>(data), size);

    PositionedReader reader;
    openOn(reader, bytes);
    // Only the neighbourhood of the input is read when there is filler: the filler is plain ASCII.
    const qint64 from = lead > 16 ? lead - 16 : 0;
    for (const Decoding decoding : {Decoding::Utf8, Decoding::ShiftJis, Decoding::Utf16LE, Decoding::CodePage,
                                    Decoding::Gb18030, Decoding::Utf16BE})
        readThrough(reader, decoding, from, selector);
    return 0;
}
