#include "PositionedReader.h"

#include "FileIo.h"

#include <QTextCodec>
#include <QTextDecoder>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {
constexpr qint64 WindowSize = 64 * 1024;
// When a read falls before the window, most of the new window is put before the target, since
// such reads come from scans running backwards.
constexpr qint64 BackwardReach = 48 * 1024;
constexpr char32_t ReplacementChar = 0xFFFD;
} // namespace

PositionedReader::PositionedReader() = default;
PositionedReader::~PositionedReader() = default;

Status PositionedReader::open(const QString &path)
{
    close();
    const int fd = fileio::openRegularForReading(QFile::encodeName(path).constData());
    if (fd < 0) {
        const int error = errno;
        const std::string detail = std::strerror(error);
        if (error == EISDIR)
            return Status::error(Status::Code::NotRegularFile, "the document is a folder, not a file",
                                 detail);
        if (error == ENXIO)
            return Status::error(Status::Code::NotRegularFile, "the document is a FIFO or device, not a file",
                                 detail);
        if (error == ENOENT || error == ENOTDIR)
            return Status::error(Status::Code::NotFound, "the document does not exist", detail);
        return Status::error(Status::Code::Unreadable, "the document cannot be opened", detail);
    }
    if (!m_file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Status::error(Status::Code::Unreadable, "the document cannot be opened",
                             m_file.errorString().toStdString());
    }
    m_path = path;
    m_size = m_file.size();
    const qint64 head = fileio::readAt(fd, 0, m_head, sizeof m_head);
    std::fill(m_head + std::max<qint64>(head, 0), m_head + sizeof m_head, 0);
    return Status::ok();
}

void PositionedReader::close()
{
    m_file.close();
    m_path.clear();
    std::fill(std::begin(m_head), std::end(m_head), 0);
    m_size = 0;
    m_pos = 0;
    m_windowStart = m_windowEnd = 0;
    m_window.clear();
    m_decoder.reset();
    m_decoderPos = -1;
    m_pending.clear();
}

void PositionedReader::setMode(Mode mode)
{
    m_mode = mode;
    m_directBelow = mode == Mode::Utf8 ? 0x80 : mode == Mode::Bytes ? 0x100 : 0;
    if (mode != Mode::Codec)
        m_codec = nullptr;
    m_decoder.reset();
    m_decoderPos = -1;
    m_pending.clear();
    seek(m_pos);  // onto a code-unit boundary
}

qint64 PositionedReader::bomLength() const
{
    const unsigned char *h = m_head;
    switch (m_mode) {
    case Mode::Utf8:
        return h[0] == 0xEF && h[1] == 0xBB && h[2] == 0xBF ? 3 : 0;
    case Mode::Utf16LE:
        return h[0] == 0xFF && h[1] == 0xFE ? 2 : 0;
    case Mode::Utf16BE:
        return h[0] == 0xFE && h[1] == 0xFF ? 2 : 0;
    case Mode::Bytes:
    case Mode::Codec:
        break;
    }
    return 0;
}

void PositionedReader::setCodec(QTextCodec *codec)
{
    setMode(codec ? Mode::Codec : Mode::Bytes);
    m_codec = codec;
}

void PositionedReader::seek(qint64 position)
{
    m_pos = std::clamp<qint64>(position, 0, m_size);
    // The end of a file of odd length is the one odd position a UTF-16 read can stop at.
    if (m_pos < m_size && codeUnitBytes() == 2)
        m_pos &= ~qint64(1);
}

bool PositionedReader::loadWindowAround(qint64 position)
{
    if (position < 0 || position >= m_size)
        return false;
    qint64 start = position;
    if (position < m_windowStart && m_windowEnd > m_windowStart)
        start = std::max<qint64>(0, position - BackwardReach);
    const qint64 length = std::min(WindowSize, m_size - start);
    m_window.resize(size_t(length));
    if (!m_file.seek(start))
        return false;
    ++m_fileReads;
    const qint64 got = m_file.read(reinterpret_cast<char *>(m_window.data()), length);
    if (got <= 0 || start + got <= position) {
        m_windowStart = m_windowEnd = 0;
        return false;
    }
    m_windowStart = start;
    m_windowEnd = start + got;
    return true;
}

int PositionedReader::byteAt(qint64 position)
{
    if (position < m_windowStart || position >= m_windowEnd) {
        if (!loadWindowAround(position))
            return -1;
    }
    return m_window[size_t(position - m_windowStart)];
}

bool PositionedReader::skipPast(unsigned char byte)
{
    m_pending.clear();
    while (m_pos < m_size) {
        if ((m_pos < m_windowStart || m_pos >= m_windowEnd) && !loadWindowAround(m_pos))
            break;
        const unsigned char *from = m_window.data() + (m_pos - m_windowStart);
        const size_t length = size_t(m_windowEnd - m_pos);
        if (const void *hit = std::memchr(from, byte, length)) {
            m_pos += static_cast<const unsigned char *>(hit) - from + 1;
            return true;
        }
        m_pos = m_windowEnd;
    }
    m_pos = m_size;
    return false;
}

int PositionedReader::readByteSlow()
{
    const int b = byteAt(m_pos);
    if (b >= 0)
        ++m_pos;
    return b;
}

char32_t PositionedReader::readCharSlow()
{
    if (m_pos >= m_size && !hasPendingHere())
        return 0;
    switch (m_mode) {
    case Mode::Bytes: {
        const int b = readByteSlow();
        return b < 0 ? 0 : char32_t(b);
    }
    case Mode::Utf8:
        return readUtf8();
    case Mode::Utf16LE:
    case Mode::Utf16BE:
        return readUtf16();
    case Mode::Codec:
        return readWithCodec();
    }
    return 0;
}

char32_t PositionedReader::readUtf8()
{
    const qint64 start = m_pos;
    const int lead = byteAt(start);
    if (lead < 0)
        return 0;
    int length;
    char32_t value;
    char32_t minimum;
    if (lead < 0x80) {
        m_pos = start + 1;
        return char32_t(lead);
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        m_pos = start + 1;
        return ReplacementChar;
    }
    for (int i = 1; i < length; ++i) {
        const int next = byteAt(start + i);
        if (next < 0 || (next & 0xC0) != 0x80) {
            m_pos = start + 1;
            return ReplacementChar;
        }
        value = (value << 6) | char32_t(next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        m_pos = start + 1;
        return ReplacementChar;
    }
    m_pos = start + length;
    return value;
}

int PositionedReader::unitAt(qint64 position)
{
    const int first = byteAt(position);
    const int second = first < 0 ? -1 : byteAt(position + 1);
    if (second < 0)
        return -1;
    return m_mode == Mode::Utf16LE ? first | second << 8 : first << 8 | second;
}

char32_t PositionedReader::readUtf16()
{
    const qint64 start = m_pos;
    const int unit = unitAt(start);
    if (unit < 0) {
        if (byteAt(start) < 0)
            return 0;
        m_pos = start + 1;  // an odd final byte
        return ReplacementChar;
    }
    m_pos = start + 2;
    if (unit < 0xD800 || unit > 0xDFFF)
        return char32_t(unit);
    if (unit <= 0xDBFF) {
        const int low = unitAt(start + 2);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            m_pos = start + 4;
            return 0x10000 + (char32_t(unit - 0xD800) << 10) + char32_t(low - 0xDC00);
        }
    }
    return ReplacementChar;
}

char32_t PositionedReader::readWithCodec()
{
    if (hasPendingHere()) {
        const char32_t c = m_pending.front();
        m_pending.erase(m_pending.begin());
        return c;
    }
    m_pending.clear();
    if (!m_decoder || m_decoderPos != m_pos)
        m_decoder.reset(m_codec->makeDecoder());
    // Feed single bytes until the codec gives out a character; a multi-byte character thus
    // starts at the position where its first byte was fed.
    QString out;
    const qint64 start = m_pos;
    while (out.isEmpty() && m_pos < m_size && m_pos - start < 8) {
        const int b = readByteSlow();
        if (b < 0)
            break;
        const char c = char(b);
        out = m_decoder->toUnicode(&c, 1);
    }
    m_decoderPos = m_pos;
    if (out.isEmpty())
        return m_pos > start ? ReplacementChar : 0;
    const QList<uint> units = out.toUcs4();
    for (qsizetype i = 1; i < units.size(); ++i)
        m_pending.push_back(units[i]);
    m_pendingEnd = m_pos;
    return units.isEmpty() ? ReplacementChar : units.front();
}
