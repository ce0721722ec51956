#include "shc.h"

#include <algorithm>
#include <cstring>

namespace {

int bitsFor(uint32_t v)
{
    int b = 0;
    while (v) {
        ++b;
        v >>= 1;
    }
    return b;
}

// Writes fields into 32-bit words from the most significant bit down.
struct BitWriter {
    uint32_t *words;
    int bitPos = 0; // bits written so far
    void put(uint32_t value, int width)
    {
        for (int i = width - 1; i >= 0; --i) {
            int w = bitPos >> 5;
            if (w >= 256)
                return; // cannot happen: a table needs at most 16 + 256 * 15 bits
            if ((bitPos & 31) == 0)
                words[w] = 0;
            if ((value >> i) & 1u)
                words[w] |= 0x80000000u >> (bitPos & 31);
            ++bitPos;
        }
    }
};

struct BitReader {
    const uint32_t *words;
    int total; // bits available
    int bitPos = 0;
    bool get(int width, uint32_t &value)
    {
        if (width > total - bitPos)
            return false;
        value = 0;
        for (int i = 0; i < width; ++i, ++bitPos)
            value = (value << 1) | ((words[bitPos >> 5] >> (31 - (bitPos & 31))) & 1u);
        return true;
    }
};

} // namespace

int sh_SortFreq(const uint32_t *freq, uint8_t *symbols)
{
    int n = 0;
    for (int v = 0; v < 256; ++v)
        if (freq[v])
            symbols[n++] = uint8_t(v);
    std::stable_sort(symbols, symbols + n,
                     [freq](uint8_t a, uint8_t b) { return freq[a] < freq[b]; });
    return n;
}

// Minimum-redundancy lengths computed in place (Moffat and Katajainen), with a cut of the
// deepest subtrees when a code would exceed maxLength bits.
void sh_CalcLen(uint32_t *freq, const uint8_t *symbols, uint8_t *lengths, int n, int maxLength)
{
    std::memset(lengths, 0, 256);
    if (n <= 0)
        return;
    if (n <= 2) {
        for (int i = 0; i < n; ++i)
            lengths[symbols[i]] = 1;
        return;
    }
    // 64-bit work space: the sum of all frequencies may exceed 32 bits.
    uint64_t A[256];
    for (int i = 0; i < n; ++i)
        A[i] = freq[symbols[i]];

    // Tree: internal node positions 0..n-2, root n-2; A[i] becomes the parent pointer,
    // plus n for a second child.
    A[0] += A[1];
    int root = 0, leaf = 2;
    for (int next = 1; next < n - 1; ++next) {
        if (leaf < n && A[root] >= A[leaf]) {
            A[next] = A[leaf++];
        } else {
            A[next] = A[root];
            A[root] = uint64_t(next);
            ++root;
        }
        if (leaf < n && (root >= next || A[root] >= A[leaf])) {
            A[next] += A[leaf++];
        } else {
            A[next] += A[root];
            A[root] = uint64_t(next + n);
            ++root;
        }
    }
    auto parent = [&](int i) { return int(A[i] % uint64_t(n)); };

    // Internal nodes at depth maxLength - 1 or more: their children would be too long.
    int top = n - 3;
    for (int d = 1; d < maxLength - 1;) {
        int b = -1;
        for (int i = top; i >= 0; --i) {
            if (parent(i) <= top) {
                b = i;
                break;
            }
        }
        top = b;
        ++d;
        if (b < 0)
            break;
    }
    int cnt = top + 1;
    int cut = 0;
    if (cnt > 0 && parent(0) < cnt) {
        int k = 0;
        while ((1 << k) < cnt)
            ++k;
        cut = maxLength - k;
    } else {
        cnt = 0;
    }

    int d = 1, avail = 2, taken = 0;
    top = n - 3;
    if (cut == 1) {
        d = 2;
        avail = 4;
        taken = 2;
    }
    int nextLeaf = n - 1; // most frequent symbol still without a depth
    while (avail > 0 && d <= maxLength) {
        int low = top + 1;
        if (top >= cnt) {
            for (int i = cnt; i <= top; ++i) {
                if (parent(i) > top) {
                    low = i;
                    break;
                }
            }
        }
        int m = top - low + 1;
        int leaves = avail - m;
        int extra = 0;
        if (cut && d >= cut) {
            extra = std::min(1 << std::min(d - cut, 30), cnt - taken);
            taken += extra;
            leaves -= extra;
        } else if (cut && d == cut - 1) {
            extra = 1;
            taken += 1;
            if (low <= top && A[low] == uint64_t(top + 1)) {
                ++low;
                --m;
            } else {
                --leaves;
            }
        }
        for (; leaves > 0 && nextLeaf >= 0; --leaves)
            lengths[symbols[nextLeaf--]] = uint8_t(d);
        avail = 2 * (m + extra);
        top = low - 1;
        ++d;
    }
}

void sh_SortLen(const uint8_t *lengths, uint8_t *symbols, int n)
{
    std::sort(symbols, symbols + n, [lengths](uint8_t a, uint8_t b) {
        if (lengths[a] != lengths[b])
            return lengths[a] > lengths[b];
        return a < b;
    });
}

void sh_CalcCode(const uint8_t *lengths, const uint8_t *symbols, uint8_t *codes, int n)
{
    if (n <= 0)
        return;
    unsigned code = 0;
    codes[symbols[0]] = 0;
    for (int i = 1; i < n; ++i) {
        int shift = lengths[symbols[i - 1]] - lengths[symbols[i]];
        code = (code + 1) >> shift;
        codes[symbols[i]] = uint8_t(code);
    }
}

int sh_PackTree(const uint8_t *lengths, const uint8_t *symbols, uint8_t *zeroRuns,
                uint32_t *packedTree, int n)
{
    (void)symbols;
    int maxLen = 0;
    for (int v = 0; v < 256; ++v)
        maxLen = std::max(maxLen, int(lengths[v]));

    // Runs of absent values, indexed by the run's first value (0 elsewhere). A run can
    // span all 256 values, which does not fit the byte array zeroRuns.
    int runs[256] = {};
    int longestRun = 0;
    for (int v = 0; v < 256;) {
        if (lengths[v]) {
            ++v;
            continue;
        }
        int r = 0;
        while (v + r < 256 && !lengths[v + r])
            ++r;
        runs[v] = r;
        longestRun = std::max(longestRun, r);
        v += r;
    }
    for (int v = 0; v < 256; ++v)
        zeroRuns[v] = uint8_t(std::min(runs[v], 255));

    int L = bitsFor(uint32_t(maxLen));
    int E = 0, R = 0;
    if (n < 256) {
        E = maxLen + 1;
        if ((E & (E - 1)) == 0)
            ++L;
        R = bitsFor(uint32_t(longestRun));
    }

    BitWriter w{packedTree};
    w.put(uint32_t(L), 4);
    w.put(uint32_t(R), 4);
    w.put(uint32_t(E), 8);
    for (int v = 0; v < 256;) {
        if (lengths[v]) {
            w.put(lengths[v], L);
            ++v;
            continue;
        }
        int r = runs[v];
        if (R < L * (r - 1)) {
            w.put(uint32_t(E), L);
            w.put(uint32_t(r), R);
        } else {
            for (int i = 0; i < r; ++i)
                w.put(0, L);
        }
        v += r;
    }
    int words = (w.bitPos + 31) / 32;
    if (words == 0)
        words = 1;
    return words * 4;
}

int sh_ExpandTree(uint8_t *lengths, uint8_t *symbols, const uint32_t *packedTree, int words)
{
    std::memset(lengths, 0, 256);
    BitReader r{packedTree, words * 32};
    uint32_t L, R, E;
    if (!r.get(4, L) || !r.get(4, R) || !r.get(8, E))
        return -1;
    for (int v = 0; v < 256;) {
        uint32_t field;
        if (!r.get(int(L), field))
            return -1;
        if (E != 0 && field == E) {
            uint32_t run;
            if (!r.get(int(R), run) || run == 0 || v + int(run) > 256)
                return -1;
            v += int(run);
            continue;
        }
        if (field > uint32_t(SH_MAX_LENGTH))
            return -1;
        lengths[v++] = uint8_t(field);
    }
    int n = 0;
    for (int v = 0; v < 256; ++v)
        if (lengths[v])
            symbols[n++] = uint8_t(v);
    return n;
}

void sh_CalcDecode(const uint8_t *lengths, const uint8_t *symbols, uint8_t *firstCode,
                   uint8_t *firstIndex, uint8_t *minLength, int n)
{
    std::memset(firstCode, 0, 32);
    std::memset(firstIndex, 0, 32);
    int maxLen = n > 0 ? lengths[symbols[0]] : 0;
    unsigned v = 0;
    int i = 0;
    for (int len = maxLen; len >= 0; --len) {
        int k = 0;
        while (i + k < n && lengths[symbols[i + k]] == len)
            ++k;
        firstCode[len] = uint8_t(v);
        if (k > 0)
            firstIndex[len] = uint8_t(i);
        i += k;
        v = (v + unsigned(k)) >> 1;
    }
    for (int x = 0; x < 256; ++x) {
        int j = 1;
        while (j <= 8 && unsigned(x >> (8 - j)) < firstCode[j])
            ++j;
        minLength[x] = uint8_t(j);
    }
}
