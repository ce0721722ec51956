#include "ByteScan.h"

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
