#include "ByteScan.h"

#include <algorithm>
#include <cstring>

void ByteSet::add(uint8_t byte)
{
    if (m_table[byte])
        return;
    m_table[byte] = true;
    if (m_count < MaxListed)
        m_members[size_t(m_count)] = byte;
    ++m_count;
}

void ByteSet::addRange(uint8_t first, uint8_t last)
{
    for (int b = first; b <= last; ++b)
        add(uint8_t(b));
}

namespace bytescan {

const uint8_t *findAny(const uint8_t *from, const uint8_t *end, const ByteSet &set)
{
    if (set.count() == 1) {
        const void *hit = std::memchr(from, set.member(0), size_t(end - from));
        return hit ? static_cast<const uint8_t *>(hit) : end;
    }
#if defined(__SSE2__)
    if (set.count() <= ByteSet::MaxListed) {
        for (; from + 16 <= end; from += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
            const unsigned m = unsigned(_mm_movemask_epi8(detail::matchListed(v, set)));
            if (m)
                return from + __builtin_ctz(m);
        }
    }
#endif
    for (; from < end; ++from) {
        if (set.contains(*from))
            return from;
    }
    return end;
}

} // namespace bytescan

struct StopMask::Vectors
{
#if defined(__SSE2__)
    bytescan::detail::Lanes always, first, second;
    Vectors(const ByteSet &a, const ByteSet &f, const ByteSet &s) : always(a), first(f), second(s) {}
#endif
};

StopMask::StopMask(const ByteSet &always, const ByteSet &first, const ByteSet &second)
    : m_always(always), m_first(first), m_second(second)
{
#if defined(__SSE2__)
    m_vectors = new Vectors(always, first, second);
    if (!m_vectors->always.usable || !m_vectors->first.usable || !m_vectors->second.usable) {
        delete m_vectors;
        m_vectors = nullptr;
    }
#endif
}

StopMask::~StopMask()
{
    delete m_vectors;
}

void StopMask::reset(const uint8_t *data, qint64 base, qint64 length, bool moreAfter)
{
    m_data = data;
    m_base = base;
    m_length = std::max<qint64>(0, length);
    m_moreAfter = moreAfter;
    fill(base);
}

void StopMask::fill(qint64 start)
{
    m_block = start;
    m_mask = 0;
    const qint64 offset = start - m_base;
    const qint64 count = std::min<qint64>(64, m_length - offset);
    if (count <= 0)
        return;
    const uint8_t *p = m_data + offset;
#if defined(__SSE2__)
    // The byte after the block is read for the pairs: only when it is there.
    if (m_vectors && count == 64 && (offset + 64 < m_length || m_moreAfter)) {
        for (int i = 0; i < 4; ++i) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i + 1));
            const __m128i m = _mm_or_si128(m_vectors->always.match(v),
                                           _mm_and_si128(m_vectors->first.match(v), m_vectors->second.match(next)));
            m_mask |= uint64_t(unsigned(_mm_movemask_epi8(m))) << (16 * i);
        }
        return;
    }
#endif
    for (qint64 i = 0; i < count; ++i) {
        const bool nextThere = offset + i + 1 < m_length || m_moreAfter;
        if (m_always.contains(p[i]) || (m_first.contains(p[i]) && (!nextThere || m_second.contains(p[i + 1]))))
            m_mask |= uint64_t(1) << i;
    }
}
