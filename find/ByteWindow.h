#pragma once

#include <QString>
#include <QtGlobal>
#include <vector>

// The bytes of a file through a window of a megabyte, read with pread: byte access for the
// markup skimmer and spans for the vector scans. Positions are offsets into the file.
class ByteWindow
{
public:
    static constexpr qint64 WindowSize = 1 << 20;
    static constexpr qint64 BackReach = 4096;  // kept before a position a new window is read for

    ByteWindow() = default;
    ~ByteWindow();
    ByteWindow(const ByteWindow &) = delete;
    ByteWindow &operator=(const ByteWindow &) = delete;

    // Opens `path` (a regular file); false when it cannot be.
    bool open(const QString &path);
    void close();
    qint64 size() const { return m_size; }
    // Changes whenever the window moves: pointers from span() are good while it stays.
    quint64 generation() const { return m_generation; }

    // The byte at `position`, -1 outside the file (or when reading fails).
    int at(qint64 position)
    {
        if (quint64(position - m_base) < quint64(m_length))
            return m_buffer[size_t(position - m_base)];
        return slowAt(position);
    }
    // The bytes from `position` on that the window holds, at least `wanted` of them unless the file
    // ends first; *available says how many. Null past the end.
    const uchar *span(qint64 position, qint64 wanted, qint64 *available)
    {
        const qint64 offset = position - m_base;
        if (quint64(offset) < quint64(m_length) && (m_length - offset >= wanted || m_base + m_length >= m_size)) {
            *available = m_length - offset;
            return m_buffer.data() + offset;
        }
        return slowSpan(position, wanted, available);
    }

private:
    int slowAt(qint64 position);
    const uchar *slowSpan(qint64 position, qint64 wanted, qint64 *available);
    bool load(qint64 position);

    int m_fd = -1;
    qint64 m_size = 0;
    std::vector<uchar> m_buffer;
    qint64 m_base = 0;    // file offset of m_buffer[0]
    qint64 m_length = 0;  // bytes held
    quint64 m_generation = 0;
};
