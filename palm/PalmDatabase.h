#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Palm databases: a 78-byte header (name and dates, type and creator, record count) and a list of
// record offsets; a record runs from its offset to the next one's, the last to the end of the file.
// Nothing here trusts the offsets: a record is only read through span(), which checks them against
// the size of the file.
namespace palm {

inline unsigned be16(const unsigned char *p) { return unsigned(p[0]) << 8 | p[1]; }
inline uint32_t be32(const unsigned char *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

constexpr size_t HeaderSize = 78;

struct Header
{
    unsigned char bytes[HeaderSize];
    // "TEXtREAd", "DataPlkr", "BOOKMOBI": type then creator.
    bool is(const char typeCreator[8]) const;
    unsigned recordCount() const { return be16(bytes + 76); }
};

// False when the file is shorter than a header.
bool readHeader(int fd, Header &header);

class Database
{
public:
    // The file's size, for span(); `fd` stays the caller's.
    Database(int fd, uint64_t fileSize) : m_fd(fd), m_size(fileSize) {}

    // Reads the record list that follows `header`; false when it is cut short.
    bool readRecordList(const Header &header);

    int fd() const { return m_fd; }
    uint64_t fileSize() const { return m_size; }
    unsigned count() const { return unsigned(m_offsets.size()); }
    // Where record k starts as the list says, or the end of the file past the last record.
    uint64_t offset(unsigned k) const { return k < m_offsets.size() ? m_offsets[k] : m_size; }

    // Record k's data: false when k is past the list or its offsets lie outside the file or run
    // backwards.
    bool span(unsigned k, uint64_t &start, uint64_t &length) const;
    // Reads record k whole when it is at most `maxLength` bytes; false otherwise.
    bool read(unsigned k, std::vector<unsigned char> &data, uint64_t maxLength) const;

private:
    int m_fd;
    uint64_t m_size;
    std::vector<uint32_t> m_offsets;
};

} // namespace palm
