#include "shcm.h"

#include "shc.h"

#include <cstring>

SHCM *SHCM::create()
{
    return new SHCMImpl;
}

SHCMImpl::SHCMImpl()
{
    std::memset(freq, 0, sizeof freq);
    std::memset(symbols, 0, sizeof symbols);
    std::memset(lengths, 0, sizeof lengths);
    std::memset(codes, 0, sizeof codes);
    std::memset(zeroRuns, 0, sizeof zeroRuns);
    std::memset(firstCode, 0, sizeof firstCode);
    std::memset(firstIndex, 0, sizeof firstIndex);
    std::memset(minLength, 0, sizeof minLength);
    std::memset(packedTree, 0, sizeof packedTree);
    std::memset(countOfLength, 0, sizeof countOfLength);
    symbolCount = 0;
    maxLength = 0;
}

bool SHCMImpl::buildDecodeTables(int n)
{
    // Only a complete code (Kraft sum exactly 1) fits every bit string; the one other code a
    // writer makes is a single symbol of length 1. An empty or incomplete table would decode
    // every text to nothing, and an over-subscribed one (sum above 1) cannot be decoded and its
    // code values would not fit the byte-wide tables.
    uint64_t kraft = 0;
    std::memset(countOfLength, 0, sizeof countOfLength);
    int longest = 0;
    for (int v = 0; v < 256; ++v) {
        if (lengths[v]) {
            kraft += uint64_t(1) << (SH_MAX_LENGTH - lengths[v]);
            ++countOfLength[lengths[v]];
            if (lengths[v] > longest)
                longest = lengths[v];
        }
    }
    if (kraft != uint64_t(1) << SH_MAX_LENGTH && !(n == 1 && longest == 1)) {
        std::memset(lengths, 0, sizeof lengths);
        std::memset(countOfLength, 0, sizeof countOfLength);
        symbolCount = 0;
        maxLength = 0;
        return false;
    }
    sh_SortLen(lengths, symbols, n);
    sh_CalcDecode(lengths, symbols, firstCode, firstIndex, minLength, n);
    sh_CalcCode(lengths, symbols, codes, n);
    symbolCount = n;
    maxLength = longest;
    return true;
}

bool SHCMImpl::startDecode(const std::string &tree)
{
    if (tree.size() > size_t(SH_MAX_TREE_BYTES))
        return false;
    // Trailing bytes short of a whole word are taken as a zero-padded word.
    int words = int((tree.size() + 3) / 4);
    std::memset(packedTree, 0, sizeof packedTree);
    const unsigned char *b = reinterpret_cast<const unsigned char *>(tree.data());
    for (size_t i = 0; i < tree.size(); ++i)
        packedTree[i / 4] |= uint32_t(b[i]) << (8 * (i % 4));
    std::memset(codes, 0, sizeof codes);
    int n = sh_ExpandTree(lengths, symbols, packedTree, words);
    if (n < 0) {
        std::memset(lengths, 0, sizeof lengths);
        std::memset(countOfLength, 0, sizeof countOfLength);
        symbolCount = 0;
        maxLength = 0;
        return false;
    }
    return buildDecodeTables(n);
}

void SHCMImpl::endDecode()
{
}

void SHCMImpl::startPreEncode()
{
    std::memset(freq, 0, sizeof freq);
}

void SHCMImpl::preencode(const std::string &text)
{
    for (unsigned char c : text)
        ++freq[c];
}

std::string SHCMImpl::endPreEncode()
{
    int n = sh_SortFreq(freq, symbols);
    if (n == 0) { // nothing counted: a code of one symbol still loads, an empty one would not
        freq[0] = 1;
        n = sh_SortFreq(freq, symbols);
    }
    sh_CalcLen(freq, symbols, lengths, n, SH_MAX_LENGTH);
    std::memset(codes, 0, sizeof codes);
    buildDecodeTables(n); // sorts symbols by length and assigns the codes
    int size = sh_PackTree(lengths, symbols, zeroRuns, packedTree, n);
    std::string out(size_t(size), '\0');
    for (int i = 0; i < size; ++i)
        out[size_t(i)] = char((packedTree[i / 4] >> (8 * (i % 4))) & 0xFF);
    return out;
}

std::string SHCMImpl::encode(const std::string &text)
{
    std::string out;
    out.reserve(text.size() + 6);
    out.push_back('\0'); // F, set below
    uint32_t acc = 0;
    int f = 31; // the first word holds 31 bits
    for (unsigned char b : text) {
        int l = lengths[b];
        uint32_t c = codes[b];
        if (l == 0)
            continue;
        if (l <= f) {
            acc = (acc << l) | c;
            f -= l;
        } else {
            uint32_t word = (acc << f) | (c >> (l - f));
            for (int i = 0; i < 4; ++i)
                out.push_back(char((word >> (8 * i)) & 0xFF));
            acc = c;
            f += 32 - l;
        }
    }
    out[0] = char(f);
    out.push_back(char(acc & 0xFF));
    if (f <= 23)
        out.push_back(char((acc >> 8) & 0xFF));
    if (f <= 15)
        out.push_back(char((acc >> 16) & 0xFF));
    if (f <= 7)
        out.push_back(char((acc >> 24) & 0xFF));
    return out;
}

std::string SHCMImpl::decode(const std::string &text)
{
    std::string out;
    // Fewer than 2 bytes cannot hold F and a final word; F above 31 cannot come from encode.
    if (text.size() < 2 || symbolCount == 0)
        return out;
    const unsigned char *t = reinterpret_cast<const unsigned char *>(text.data());
    const uint32_t F = t[0];
    if (F > 31)
        return out;
    const size_t W = (text.size() - 2) / 4;
    const unsigned char *fin = t + 1 + 4 * W;
    const size_t finBytes = text.size() - 1 - 4 * W; // 1..4
    uint32_t finalWord = 0;
    for (size_t i = 0; i < finBytes; ++i)
        finalWord |= uint32_t(fin[i]) << (8 * i);
    finalWord <<= F;
    const size_t S = W + 1; // the sentinel's position
    auto word = [&](size_t k) -> uint32_t {
        if (k < W) {
            const unsigned char *p = t + 1 + 4 * k;
            return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        }
        return k == W ? finalWord : 0;
    };
    out.reserve(text.size() * 2);

    uint32_t b = 31;
    uint32_t cur = word(0);
    size_t p = 1;
    uint32_t next = word(p);
    while (p <= S && !(p == S && b == F)) {
        uint32_t window = b > 0 ? (next >> b) | (cur << (32 - b)) : next;
        int j = minLength[window >> 24];
        if (j > 8) {
            while (j <= maxLength && firstCode[j] > (window >> (32 - j)))
                ++j;
        }
        if (j > maxLength)
            break; // no code matches: damaged text
        uint32_t idx = (window >> (32 - j)) - firstCode[j];
        if (idx >= countOfLength[j])
            break; // a prefix the code does not use: damaged text
        out.push_back(char(symbols[firstIndex[j] + idx]));
        if (uint32_t(j) <= b) {
            b -= uint32_t(j);
        } else {
            b = b + 32 - uint32_t(j);
            cur = next;
            ++p;
            next = word(p);
        }
    }
    return out;
}
