#include "ByteWindow.h"

#include "FileIo.h"

#include <QFile>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

ByteWindow::~ByteWindow()
{
    close();
}

bool ByteWindow::open(const QString &path)
{
    close();
    m_fd = fileio::openRegularForReading(QFile::encodeName(path).constData());
    if (m_fd < 0)
        return false;
    struct stat st;
    if (::fstat(m_fd, &st) != 0) {
        close();
        return false;
    }
    m_size = st.st_size;
    return true;
}

void ByteWindow::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_size = 0;
    m_base = m_length = 0;
}

bool ByteWindow::load(qint64 position)
{
    if (m_fd < 0 || position < 0 || position >= m_size)
        return false;
    const qint64 start = position - std::min<qint64>(position, BackReach);
    const qint64 length = std::min(WindowSize, m_size - start);
    m_buffer.resize(size_t(WindowSize));
    ++m_generation;
    const ssize_t got = fileio::readAt(m_fd, quint64(start), m_buffer.data(), size_t(length));
    if (got <= 0 || start + got <= position) {
        m_base = m_length = 0;
        return false;
    }
    m_base = start;
    m_length = got;
    return true;
}

int ByteWindow::slowAt(qint64 position)
{
    if (!load(position))
        return -1;
    return m_buffer[size_t(position - m_base)];
}

const uchar *ByteWindow::slowSpan(qint64 position, qint64 wanted, qint64 *available)
{
    *available = 0;
    if (position < 0 || position >= m_size)
        return nullptr;
    const qint64 held = m_base + m_length - position;
    const bool inside = position >= m_base && held > 0;
    if (!inside || (held < wanted && m_base + m_length < m_size)) {
        if (!load(position))
            return nullptr;
    }
    *available = m_base + m_length - position;
    return m_buffer.data() + (position - m_base);
}
