#pragma once

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

#include "ByteScanImpl.h"
