#include "PalmDatabase.h"

#include "FileIo.h"

#include <cstring>

namespace palm {

bool Header::is(const char typeCreator[8]) const { return std::memcmp(bytes + 60, typeCreator, 8) == 0; }

bool readHeader(int fd, Header &header) { return fileio::readExactlyAt(fd, 0, header.bytes, HeaderSize); }

bool Database::readRecordList(const Header &header)
{
    // Per record: data offset (4), attributes and unique id (4).
    const unsigned count = header.recordCount();
    std::vector<unsigned char> entries(8 * size_t(count));
    if (count && !fileio::readExactlyAt(m_fd, HeaderSize, entries.data(), entries.size()))
        return false;
    m_offsets.resize(count);
    for (unsigned k = 0; k < count; ++k)
        m_offsets[k] = be32(&entries[8 * k]);
    return true;
}

bool Database::span(unsigned k, uint64_t &start, uint64_t &length) const
{
    if (k >= m_offsets.size())
        return false;
    start = m_offsets[k];
    const uint64_t end = offset(k + 1);
    if (start > m_size || end > m_size || end < start)
        return false;
    length = end - start;
    return true;
}

bool Database::read(unsigned k, std::vector<unsigned char> &data, uint64_t maxLength) const
{
    uint64_t start, length;
    if (!span(k, start, length) || length > maxLength)
        return false;
    data.resize(size_t(length));
    return length == 0 || fileio::readExactlyAt(m_fd, start, data.data(), data.size());
}

} // namespace palm
