#pragma once
// The templates of ByteScan.h: a vector version for SSE2 and a plain one.

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace bytescan {

namespace detail {

inline bool scalarPair(const uint8_t *data, size_t i, const PairFilter &f)
{
    if (f.k == 0)
        return true;
    for (int j = 1; j < f.k; ++j) {
        if (f.wild.contains(data[i + size_t(j)]))
            return true;
    }
    const uint8_t last = data[i + size_t(f.k)];
    return f.kth.contains(last) || f.wild.contains(last);
}

#if defined(__SSE2__)
// Lanes equal to any listed member of `set` (which lists all its members).
inline __m128i matchListed(__m128i v, const ByteSet &set)
{
    __m128i m = _mm_setzero_si128();
    for (int i = 0; i < set.count(); ++i)
        m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(char(set.member(i)))));
    return m;
}

// A byte set as vectors test it: up to six listed bytes, plus optionally every byte from 0x80 up
// and the ASCII white space bytes (09-0D and 20). usable is false for sets of another shape.
struct Lanes
{
    bool usable = false;
    bool none = true;
    bool high = false;
    bool space = false;
    __m128i bytes[ByteSet::MaxListed];

    explicit Lanes(const ByteSet &set)
    {
        bool allHigh = true;
        for (int b = 0x80; b < 256 && allHigh; ++b)
            allHigh = set.contains(uint8_t(b));
        bool allSpace = true;
        for (int b : {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20})
            allSpace = allSpace && set.contains(uint8_t(b));
        ByteSet listed;
        for (int b = 0; b < 256; ++b) {
            if (!set.contains(uint8_t(b)) || (allHigh && b >= 0x80))
                continue;
            if (allSpace && (b == 0x20 || (b >= 0x09 && b <= 0x0D)))
                continue;
            listed.add(uint8_t(b));
        }
        high = allHigh;
        space = allSpace;
        if (listed.count() > ByteSet::MaxListed)
            return;
        usable = true;
        none = listed.count() == 0;
        for (int i = 0; i < ByteSet::MaxListed; ++i)
            bytes[i] = _mm_set1_epi8(char(listed.member(none ? 0 : i < listed.count() ? i : 0)));
    }

    __m128i match(__m128i v) const
    {
        __m128i m = _mm_setzero_si128();
        if (!none) {
            m = _mm_or_si128(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, bytes[0]), _mm_cmpeq_epi8(v, bytes[1])),
                                          _mm_or_si128(_mm_cmpeq_epi8(v, bytes[2]), _mm_cmpeq_epi8(v, bytes[3]))),
                             _mm_or_si128(_mm_cmpeq_epi8(v, bytes[4]), _mm_cmpeq_epi8(v, bytes[5])));
        }
        if (high)
            m = _mm_or_si128(m, _mm_cmplt_epi8(v, _mm_setzero_si128()));
        if (space) {
            const __m128i atLeast9 = _mm_cmpeq_epi8(_mm_max_epu8(v, _mm_set1_epi8(0x09)), v);
            const __m128i atMost13 = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x0D)), v);
            m = _mm_or_si128(m, _mm_and_si128(atLeast9, atMost13));
            m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(0x20)));
        }
        return m;
    }
};
#endif

} // namespace detail

template <typename Take>
bool scanPairs(const uint8_t *data, size_t count, const PairFilter &f, Take &&take)
{
    size_t i = 0;
#if defined(__SSE2__)
    // Wild bytes as vectors see them: every byte from 0x80 up or none of them, and up to two others.
    const bool high = f.wild.contains(0x80);
    ByteSet wildListed;
    bool wildOk = true;
    for (int b = 0; b < 256; ++b) {
        if (b >= 0x80)
            wildOk = wildOk && f.wild.contains(uint8_t(b)) == high;
        else if (f.wild.contains(uint8_t(b)))
            wildListed.add(uint8_t(b));
    }
    wildOk = wildOk && wildListed.count() <= 2;
    const detail::Lanes first(f.first);
    const detail::Lanes kth(f.kth);
    if (wildOk && first.usable && !first.space && !first.high && kth.usable && f.k <= 16) {
        const __m128i wild0 = _mm_set1_epi8(char(wildListed.count() > 0 ? wildListed.member(0) : 0x80));
        const __m128i wild1 = _mm_set1_epi8(char(wildListed.count() > 1 ? wildListed.member(1) : 0x80));
        const __m128i highBits = _mm_set1_epi8(char(high ? 0x80 : 0));
        for (; i + 16 <= count; i += 16) {
            const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
            const __m128i m0 = first.match(v0);
            unsigned candidates = unsigned(_mm_movemask_epi8(m0));
            if (!candidates)
                continue;
            if (f.k > 0) {
                // data[i + k .. i + k + 15]: with v0 it covers every byte a place here depends on.
                const __m128i vk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i + size_t(f.k)));
                const __m128i either = _mm_or_si128(v0, vk);
                const __m128i wild = _mm_or_si128(
                    _mm_and_si128(either, highBits),
                    _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v0, wild0), _mm_cmpeq_epi8(v0, wild1)),
                                 _mm_or_si128(_mm_cmpeq_epi8(vk, wild0), _mm_cmpeq_epi8(vk, wild1))));
                if (_mm_movemask_epi8(wild)) {
                    unsigned exact = 0;
                    for (unsigned rest = candidates; rest; rest &= rest - 1) {
                        const int bit = __builtin_ctz(rest);
                        if (detail::scalarPair(data, i + size_t(bit), f))
                            exact |= 1u << bit;
                    }
                    candidates = exact;
                } else {
                    candidates &= unsigned(_mm_movemask_epi8(kth.match(vk)));
                }
            }
            while (candidates) {
                const int bit = __builtin_ctz(candidates);
                candidates &= candidates - 1;
                if (!take(i + size_t(bit)))
                    return false;
            }
        }
    }
#endif
    for (; i < count; ++i) {
        if (f.first.contains(data[i]) && detail::scalarPair(data, i, f) && !take(i))
            return false;
    }
    return true;
}

} // namespace bytescan
