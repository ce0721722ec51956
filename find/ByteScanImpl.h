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

// A set that vectors can test: at most MaxListed members, or the ASCII white space bytes with a
// few more (09-0D and 20), which a range test covers.
struct VectorSet
{
    bool usable = false;
    bool space = false;  // 09-0D and 20, plus the listed members not among them
    ByteSet extra;
};

inline VectorSet vectorSet(const ByteSet &set)
{
    VectorSet v;
    if (set.count() <= ByteSet::MaxListed) {
        v.usable = true;
        v.extra = set;
        return v;
    }
    for (int b : {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20}) {
        if (!set.contains(uint8_t(b)))
            return v;
    }
    int others = 0;
    for (int b = 0; b < 256; ++b) {
        if (set.contains(uint8_t(b)) && !(b == 0x20 || (b >= 0x09 && b <= 0x0D))) {
            if (++others > ByteSet::MaxListed)
                return v;
            v.extra.add(uint8_t(b));
        }
    }
    v.usable = v.space = true;
    return v;
}

inline __m128i matchVector(__m128i v, const VectorSet &set)
{
    __m128i m = matchListed(v, set.extra);
    if (set.space) {
        const __m128i atLeast9 = _mm_cmpeq_epi8(_mm_max_epu8(v, _mm_set1_epi8(0x09)), v);
        const __m128i atMost13 = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x0D)), v);
        m = _mm_or_si128(m, _mm_and_si128(atLeast9, atMost13));
        m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(0x20)));
    }
    return m;
}

// The wild bytes: high bit set when `high`, and up to MaxListed listed ones.
inline unsigned wildMask(__m128i v, bool high, const ByteSet &listed)
{
    unsigned m = unsigned(_mm_movemask_epi8(matchListed(v, listed)));
    if (high)
        m |= unsigned(_mm_movemask_epi8(v));
    return m;
}
#endif

} // namespace detail

template <typename Take>
bool scanPairs(const uint8_t *data, size_t count, const PairFilter &f, Take &&take)
{
    size_t i = 0;
#if defined(__SSE2__)
    const detail::VectorSet first = detail::vectorSet(f.first);
    const detail::VectorSet kth = detail::vectorSet(f.kth);
    // Wild bytes as vectors see them: all bytes from 0x80 up, or none of them, plus a few listed.
    bool high = f.wild.contains(0x80);
    ByteSet wildListed;
    bool wildOk = true;
    for (int b = 0; b < 256 && wildOk; ++b) {
        if (!f.wild.contains(uint8_t(b)))
            continue;
        if (b >= 0x80) {
            wildOk = high;
            continue;
        }
        wildListed.add(uint8_t(b));
        wildOk = wildListed.count() <= ByteSet::MaxListed;
    }
    for (int b = 0x80; b < 256 && wildOk && high; ++b)
        wildOk = f.wild.contains(uint8_t(b));
    if (first.usable && kth.usable && wildOk && !first.space) {
        const unsigned window = f.k == 0 ? 0u : (1u << f.k) - 1;
        for (; i + 16 <= count; i += 16) {
            const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
            unsigned candidates = unsigned(_mm_movemask_epi8(detail::matchVector(v0, first)));
            if (!candidates)
                continue;
            if (f.k > 0) {
                const __m128i vk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i + size_t(f.k)));
                const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i + 16));
                const unsigned pairs = candidates & unsigned(_mm_movemask_epi8(detail::matchVector(vk, kth)));
                // Wild bytes over data[i .. i + 31], bit j for data[i + j].
                const unsigned wild = detail::wildMask(v0, high, wildListed)
                                    | detail::wildMask(v1, high, wildListed) << 16;
                unsigned rest = candidates & ~pairs;
                candidates = pairs;
                while (rest) {
                    const int bit = __builtin_ctz(rest);
                    rest &= rest - 1;
                    if ((wild >> (bit + 1)) & window)
                        candidates |= 1u << bit;
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
