#include "HuffCdic.h"

#include <cstring>

namespace {

uint32_t be32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return uint32_t(u[0]) << 24 | uint32_t(u[1]) << 16 | uint32_t(u[2]) << 8 | u[3];
}
unsigned be16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return unsigned(u[0]) << 8 | u[1];
}

} // namespace

bool HuffCdic::fail(const QString &why)
{
    m_error = why;
    return false;
}

bool HuffCdic::load(const QByteArray &huff, const QList<QByteArray> &cdics)
{
    // HUFF: "HUFF", header length, offset of the 256 first-byte entries, offset of the 32 pairs
    // of lowest and highest code per code length.
    if (huff.size() < 16 || !huff.startsWith("HUFF"))
        return fail(QStringLiteral("the HUFF record is missing or cut short"));
    const uint32_t prefixAt = be32(huff.constData() + 8);
    const uint32_t rangesAt = be32(huff.constData() + 12);
    if (prefixAt > uint32_t(huff.size()) || huff.size() - prefixAt < 256 * 4 || rangesAt > uint32_t(huff.size())
        || huff.size() - rangesAt < 64 * 4)
        return fail(QStringLiteral("the HUFF tables lie outside their record"));
    for (int i = 0; i < 256; ++i) {
        m_prefix[i] = be32(huff.constData() + prefixAt + 4 * i);
        if ((m_prefix[i] & 0x1F) == 0)
            return fail(QStringLiteral("the HUFF record has a code of length 0"));
    }
    for (int length = 1; length <= 32; ++length) {
        const uint64_t low = be32(huff.constData() + rangesAt + 8 * (length - 1));
        const uint64_t high = be32(huff.constData() + rangesAt + 8 * (length - 1) + 4);
        m_minCode[length] = low << (32 - length);
        m_maxCode[length] = ((high + 1) << (32 - length)) - 1;
    }

    // CDIC: "CDIC", header length (16), phrases in all CDIC records, bits: each record holds
    // up to 2^bits of them as 16-bit offsets (from the end of the header) to a 16-bit length,
    // whose top bit says the phrase is stored plain, and the phrase's bytes.
    m_phrases.clear();
    m_source.clear();
    m_expanded.clear();
    for (const QByteArray &cdic : cdics) {
        if (cdic.size() < 16 || !cdic.startsWith("CDIC") || be32(cdic.constData() + 4) != 16)
            return fail(QStringLiteral("a CDIC record is damaged"));
        const uint32_t total = be32(cdic.constData() + 8);
        const uint32_t bits = be32(cdic.constData() + 12);
        if (total > uint32_t(MaxPhrases) || bits > 16 || uint32_t(m_phrases.size()) >= total)
            return fail(QStringLiteral("a CDIC record has too many phrases"));
        const int here = int(std::min<uint32_t>(uint32_t(1) << bits, total - uint32_t(m_phrases.size())));
        const char *body = cdic.constData() + 16;
        const int bodySize = int(cdic.size()) - 16;
        if (2 * here > bodySize)
            return fail(QStringLiteral("a CDIC record's phrase list runs past it"));
        const int base = int(m_source.size());
        m_source.append(body, bodySize);
        for (int i = 0; i < here; ++i) {
            const unsigned at = be16(body + 2 * i);
            if (int(at) + 2 > bodySize)
                return fail(QStringLiteral("a CDIC phrase lies outside its record"));
            const unsigned word = be16(body + at);
            Phrase phrase;
            phrase.offset = base + int(at) + 2;
            phrase.length = int(word & 0x7FFF);
            phrase.state = word & 0x8000 ? Phrase::State::Plain : Phrase::State::Compressed;
            if (phrase.length > bodySize - int(at) - 2)
                return fail(QStringLiteral("a CDIC phrase runs past its record"));
            m_phrases.append(phrase);
        }
    }
    return true;
}

bool HuffCdic::decompress(const QByteArray &record, QByteArray &out, int maxOutput)
{
    return unpack(record.constData(), int(record.size()), out, maxOutput, 0);
}

bool HuffCdic::unpack(const char *data, int size, QByteArray &out, int maxOutput, int depth)
{
    if (depth > MaxDepth)
        return fail(QStringLiteral("the phrases nest too deep"));
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    // Written through a pointer into room made at once; cut to what was produced on the way out.
    const qsizetype start = out.size();
    out.resize(start + maxOutput);
    char *const to = out.data() + start;
    int used = 0;
    struct Cut
    {
        QByteArray &out;
        const qsizetype &start;
        const int &used;
        ~Cut() { out.resize(start + used); }
    } cut{out, start, used};
    int64_t bitsLeft = int64_t(size) * 8;
    // A 64-bit window over the input; `bits` of it, from the top, are not yet consumed.
    uint64_t window = 0;
    int byte = 0;
    int filled = 0;  // bits loaded into the window
    auto refill = [&] {
        while (filled <= 56) {
            window |= uint64_t(byte < size ? bytes[byte] : 0) << (56 - filled);
            ++byte;
            filled += 8;
        }
    };
    refill();
    while (true) {
        const uint64_t code = window >> 32;
        const uint32_t entry = m_prefix[code >> 24];
        int length = int(entry & 0x1F);
        uint64_t maxCode = entry >> 8;
        if (entry & 0x80) {
            maxCode = ((maxCode + 1) << (32 - length)) - 1;
        } else {
            while (length < 32 && code < m_minCode[length])
                ++length;
            maxCode = m_maxCode[length];
        }
        bitsLeft -= length;
        if (bitsLeft < 0)
            break;
        window <<= length;
        filled -= length;
        refill();
        const uint64_t index = (maxCode - code) >> (32 - length);
        if (index >= uint64_t(m_phrases.size()))
            return fail(QStringLiteral("a code stands for no phrase"));
        Phrase &phrase = m_phrases[int(index)];
        if (phrase.state == Phrase::State::Expanding)
            return fail(QStringLiteral("a phrase contains itself"));
        if (phrase.state == Phrase::State::Compressed) {
            phrase.state = Phrase::State::Expanding;
            QByteArray expansion;
            if (!unpack(m_source.constData() + phrase.offset, phrase.length, expansion, MaxPhrase, depth + 1))
                return false;
            if (m_expanded.size() + expansion.size() > MaxExpanded)
                return fail(QStringLiteral("the phrases expand too much"));
            phrase.offset = int(m_expanded.size());
            phrase.length = int(expansion.size());
            phrase.expanded = true;
            m_expanded.append(expansion);
            phrase.state = Phrase::State::Plain;
        }
        if (phrase.length > maxOutput - used)
            return fail(QStringLiteral("a record decompresses past its size"));
        std::memcpy(to + used, (phrase.expanded ? m_expanded.constData() : m_source.constData()) + phrase.offset,
                    size_t(phrase.length));
        used += phrase.length;
    }
    return true;
}
