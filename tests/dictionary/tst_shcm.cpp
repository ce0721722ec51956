#include "shc.h"
#include "shcm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <queue>
#include <random>

static std::unique_ptr<SHCM> build(const std::string &sample, std::string &tree)
{
    std::unique_ptr<SHCM> s(SHCM::create());
    s->startPreEncode();
    s->preencode(sample);
    tree = s->endPreEncode();
    return s;
}

static std::unique_ptr<SHCM> decoder(const std::string &tree, bool ok = true)
{
    std::unique_ptr<SHCM> d(SHCM::create());
    EXPECT_EQ(d->startDecode(tree), ok);
    return d;
}

// A reader of the packed length table and an encoder of the bit stream, written from the
// file format alone: 32-bit little-endian words read from their top bit.
static std::string modelEncode(const std::string &tree, const std::string &text)
{
    size_t bit = 0;
    auto get = [&](int width) {
        uint32_t v = 0;
        for (int i = 0; i < width; ++i, ++bit)
            v = v << 1 | ((uint8_t(tree.at(bit / 32 * 4 + 3 - bit % 32 / 8)) >> (7 - bit % 8)) & 1);
        return int(v);
    };
    const int L = get(4), R = get(4), E = get(8);
    std::vector<int> len(256, 0), order;
    for (int v = 0, f; v < 256; v += E && f == E ? get(R) : (len[size_t(v)] = f, 1))
        f = get(L);
    for (int v = 0; v < 256; ++v) // canonical order: longest first, byte value ascending
        if (len[size_t(v)])
            order.push_back(v);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return len[size_t(a)] > len[size_t(b)]; });
    std::vector<uint32_t> code(256, 0);
    for (size_t i = 1; i < order.size(); ++i)
        code[size_t(order[i])] = (code[size_t(order[i - 1])] + 1) >> (len[size_t(order[i - 1])] - len[size_t(order[i])]);
    std::vector<bool> bits(1, false); // the first word's top bit is unused
    for (unsigned char b : text)
        for (int i = len[b] - 1; i >= 0; --i)
            bits.push_back((code[b] >> i) & 1);
    const size_t rest = (bits.size() - 1) % 32 + 1, full = (bits.size() - rest) / 32; // final word never empty
    std::string out(1, char(32 - rest));
    for (size_t k = 0; k <= full; ++k) {
        uint32_t w = 0;
        for (size_t i = 0; i < (k < full ? 32 : rest); ++i)
            w = w << 1 | bits[k * 32 + i];
        for (size_t i = 0; i < (k < full ? 4 : (rest + 7) / 8); ++i)
            out += char(w >> (8 * i));
    }
    return out;
}

static std::string randomText(std::mt19937 &rng, int kind, size_t n)
{
    std::string s(n, '\0');
    std::geometric_distribution<int> geo(kind == 0 ? 0.05 : 0.5);
    for (char &c : s) // skewed; separators and ESC; all byte values; very skewed (long codes)
        c = kind == 0 ? char(geo(rng) % 256) : kind == 1 ? "\0\n\x1b" "abc"[rng() % 6]
          : kind == 2 ? char(rng()) : char(std::min(geo(rng), 40));
    return s;
}

TEST(Shcm, RoundTripsAndDecodesAnIndependentEncoder)
{
    std::mt19937 rng(5);
    std::string all(256, '\0');
    std::iota(all.begin(), all.end(), '\0');
    std::vector<std::string> samples = {"q", "qqqq", all + all + "x"}; // one symbol; no escape or runs
    for (int i = 0; i < 120; ++i)
        samples.push_back(randomText(rng, i % 4, 1 + rng() % 2000));
    for (const std::string &sample : samples) {
        std::string tree;
        auto enc = build(sample, tree);
        auto dec = decoder(tree);
        for (size_t cut : {size_t(0), size_t(1), sample.size() / 3, sample.size()}) {
            const std::string t = sample.substr(0, cut);
            ASSERT_EQ(dec->decode(enc->encode(t)), t);
            ASSERT_EQ(dec->decode(modelEncode(tree, t)), t);
        }
    }
}

// Lengths are complete (Kraft sum 1), optimal (cost of a Huffman merge) and at most 31 bits,
// also where the unlimited code would be deeper.
TEST(Shcm, CodeLengthsAreCompleteOptimalAndLimited)
{
    std::mt19937 rng(1);
    for (int iter = 0; iter < 304; ++iter) {
        uint32_t freq[256] = {}, f[256];
        const bool fib = iter >= 300; // chains of 33 to 45 Fibonacci frequencies
        for (uint32_t i = 0, a = 1, b = 1, n = fib ? 33 + 4 * uint32_t(iter - 300) : 0; i < n; ++i, b += a, a = b - a)
            freq[i] = a;
        for (int i = 0, n = fib ? 0 : 1 + int(rng() % 256); i < n; ++i)
            freq[rng() % 256] = 1 + rng() % (iter % 2 ? 5u : 100000u);
        std::copy(freq, freq + 256, f);
        uint8_t symbols[256], lengths[256];
        const int count = sh_SortFreq(f, symbols);
        sh_CalcLen(f, symbols, lengths, count, SH_MAX_LENGTH);
        uint64_t kraft = 0, cost = 0, huffman = 0;
        std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<uint64_t>> q;
        for (int v = 0; v < 256; ++v) {
            ASSERT_TRUE((lengths[v] != 0) == (freq[v] != 0) && lengths[v] <= SH_MAX_LENGTH);
            cost += uint64_t(freq[v]) * lengths[v];
            if (freq[v])
                kraft += uint64_t(1) << (SH_MAX_LENGTH - lengths[v]), q.push(freq[v]);
        }
        for (uint64_t a = 0; q.size() > 1; huffman += a, q.push(a))
            a = q.top(), q.pop(), a += q.top(), q.pop();
        ASSERT_TRUE(count < 2 || kraft == uint64_t(1) << SH_MAX_LENGTH) << iter;
        ASSERT_TRUE(count < 2 || fib || cost == huffman) << iter;
        ASSERT_TRUE(!fib || *std::max_element(lengths, lengths + count) == SH_MAX_LENGTH);
    }
}

// Impossible tables (oversubscribed, a length above 31, cut short, a run past 256 values,
// empty) leave no code; one that is too long is ignored, one with padding is read; damaged
// streams (shorter than 2 bytes, padding above 31, junk) decode to nothing or a bounded output.
TEST(Shcm, DamagedTablesAndStreams)
{
    std::vector<std::vector<uint32_t>> tables = {std::vector<uint32_t>(17, 0x55555555u), std::vector<uint32_t>(49, 0u),
                                                 {0x20000000u}, {0x29020000u | (2u << 14) | (511u << 5)}, {}};
    tables[0][0] = 0x20005555u; // L=2, R=0, E=0, then 256 one-bit codes
    tables[1][0] = 0x6000A000u;
    std::mt19937 rng(2);
    std::string good;
    auto junk = [&] {
        std::string s(rng() % 64, '\0');
        return std::generate(s.begin(), s.end(), [&] { return char(rng()); }), s;
    };
    for (const auto &words : tables) {
        std::string tree;
        for (uint32_t w : words)
            tree += {char(w), char(w >> 8), char(w >> 16), char(w >> 24)};
        auto d = decoder(tree, false);
        for (int i = 0; i < 50; ++i)
            EXPECT_EQ(d->decode(junk()), "");
    }
    const std::string coded = build(randomText(rng, 3, 5000) + "hello", good)->encode("hello");
    auto d = decoder(good);
    EXPECT_FALSE(d->startDecode(std::string(SH_MAX_TREE_BYTES + 1, '\x7f')));
    EXPECT_TRUE(d->decode(coded) == "hello" && d->startDecode(good + "\x55\x66\x77\x01\x02") && d->decode(coded) == "hello");
    for (const std::string &s : {std::string(), std::string("\x05"), std::string("\x40\xff\xff", 3)})
        EXPECT_EQ(d->decode(s), "");
    for (int i = 0; i < 3000; ++i) {
        std::string bad = junk();
        ASSERT_LE(d->decode(bad).size(), 32 * (bad.size() / 4 + 2));
    }
    // Nothing counted: a code of the byte 0 alone, which loads and encodes other bytes to nothing.
    EXPECT_EQ(build("", good)->encode("abc"), std::string("\x1f\x00", 2));
    EXPECT_EQ(decoder(good)->decode(std::string("\x1f\x00", 2)), "");
}
