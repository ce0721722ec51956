#pragma once

#include <QtGlobal>
#include <array>
#include <cstddef>
#include <cstdint>

// A set of byte values, with the few members listed so that a vector scan can look for them.
class ByteSet
{
public:
    static constexpr int MaxListed = 6;  // more members make scans go through the table

    void add(uint8_t byte);
    void addRange(uint8_t first, uint8_t last);
    bool contains(uint8_t byte) const { return m_table[byte]; }
    // The members, when there are at most MaxListed; otherwise count() > MaxListed.
    int count() const { return m_count; }
    uint8_t member(int i) const { return m_members[size_t(i)]; }

private:
    std::array<bool, 256> m_table{};
    std::array<uint8_t, MaxListed> m_members{};
    int m_count = 0;
};

namespace bytescan {

// The first byte of [from, end) in `set`, or `end`.
const uint8_t *findAny(const uint8_t *from, const uint8_t *end, const ByteSet &set);

// Where a query's first character and its k-th may stand, for the scan of text without markup:
// `first` holds the bytes the first character may begin with, `kth` those that may stand k bytes
// later, and `wild` those that break the fixed distance (a character of several bytes, a byte that
// is not shown), so that a place with one of them within the k bytes after it is never ruled out.
struct PairFilter
{
    ByteSet first;
    ByteSet kth;
    ByteSet wild;
    int k = 0;  // 0: the first byte alone decides
};

// Calls take(offset) for every offset i in [0, count) where data[i] is in `first` and either k is
// 0, data[i + k] is in `kth`, or a byte of data[i + 1 .. i + k] is wild; in order. Reads up to
// data[count + 31]: the caller makes sure those bytes are there. Stops when take returns false;
// returns false then.
template <typename Take>
bool scanPairs(const uint8_t *data, size_t count, const PairFilter &filter, Take &&take);

} // namespace bytescan

// Where a scan must stop in a range, found 64 bytes at a time: at any byte of `always`, and at a
// byte of `first` followed by one of `second`. A scan that jumps ahead (over a tag, say) keeps the
// work done for the bytes it jumps to.
class StopMask
{
public:
    StopMask(const ByteSet &always, const ByteSet &first, const ByteSet &second);
    ~StopMask();
    StopMask(const StopMask &) = delete;
    StopMask &operator=(const StopMask &) = delete;

    // Scans [data, data + length), data being the byte at `base`; data[length] is read when there.
    void reset(const uint8_t *data, qint64 base, qint64 length, bool moreAfter);
    qint64 end() const { return m_base + m_length; }
    bool covers(qint64 position) const { return position >= m_base && position < end(); }
    // The first stop at or after `position` (inside the range); end() when there is none.
    qint64 next(qint64 position)
    {
        if (position < m_block || position >= m_block + 64)
            fill(position);
        else
            m_mask &= ~uint64_t(0) << (position - m_block);
        while (!m_mask) {
            if (m_block + 64 >= end())
                return end();
            fill(m_block + 64);
        }
        return m_block + __builtin_ctzll(m_mask);
    }

private:
    struct Vectors;
    void fill(qint64 start);

    ByteSet m_always, m_first, m_second;
    Vectors *m_vectors = nullptr;  // null: the sets have no vector form
    const uint8_t *m_data = nullptr;
    qint64 m_base = 0;
    qint64 m_length = 0;
    bool m_moreAfter = false;  // data[length] can be read
    qint64 m_block = 0;        // the 64 bytes from here are in m_mask
    uint64_t m_mask = 0;
};

#include "ByteScanImpl.h"
