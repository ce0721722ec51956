#include "BookOutput.h"

#include "CopyMeter.h"
#include "FileIo.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {
constexpr qsizetype BufferSize = 1 << 16;
const char WriteMessage[] = "The book cannot be prepared: the copy cannot be written.";
} // namespace

BookOutput::BookOutput(int fd, CopyMeter &meter) : m_fd(fd), m_meter(meter)
{
    m_buffer.reserve(BufferSize);
}

bool BookOutput::fail(Status status)
{
    if (m_status.isOk())
        m_status = std::move(status);
    return false;
}

bool BookOutput::write(const char *data, size_t size)
{
    if (!m_status.isOk())
        return false;
    if (!m_meter.admit(size))
        return fail(m_meter.stopStatus());
    m_buffer.append(data, qsizetype(size));
    return m_buffer.size() < BufferSize || flush();
}

bool BookOutput::writeText(QStringView text, bool attribute, bool foldLineFeeds)
{
    QByteArray utf8 = text.toUtf8();
    // Everything to change is ASCII, so the UTF-8 bytes can be worked on directly.
    qsizetype specials = 0;
    for (const char c : std::as_const(utf8)) {
        if (c == '&' || c == '<' || c == '>' || (attribute && c == '"'))
            ++specials;
        else if (foldLineFeeds && (c == '\n' || c == '\r'))
            ++specials;
    }
    if (specials == 0)
        return write(utf8);
    QByteArray out;
    out.reserve(utf8.size() + 5 * specials);
    for (const char c : std::as_const(utf8)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += attribute ? "&quot;" : "\""; break;
        case '\n':
        case '\r': out += foldLineFeeds ? ' ' : c; break;
        default: out += c;
        }
    }
    return write(out);
}

bool BookOutput::flush()
{
    if (!m_status.isOk())
        return false;
    if (m_buffer.isEmpty())
        return true;
    if (!fileio::writeAll(m_fd, m_buffer.constData(), size_t(m_buffer.size())))
        return fail(Status::error(Status::Code::WriteFailed, WriteMessage, std::strerror(errno)));
    m_written += m_buffer.size();
    m_buffer.clear();
    return true;
}

bool BookOutput::truncateTo(qint64 offset)
{
    if (!m_status.isOk())
        return false;
    if (offset >= m_written) {
        m_buffer.truncate(offset - m_written);
        return true;
    }
    if (::ftruncate(m_fd, offset) != 0 || ::lseek(m_fd, offset, SEEK_SET) != offset)
        return fail(Status::error(Status::Code::WriteFailed, WriteMessage, std::strerror(errno)));
    m_written = offset;
    m_buffer.clear();
    return true;
}
