#include "shc.h"
#include "shcm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <queue>
#include <random>

namespace {

std::unique_ptr<SHCMImpl> build(const std::string &sample, std::string *tree = nullptr)
{
    std::unique_ptr<SHCMImpl> s(new SHCMImpl);
    s->startPreEncode();
    s->preencode(sample);
    std::string t = s->endPreEncode();
    if (tree)
        *tree = t;
    return s;
}

std::unique_ptr<SHCM> decoderFor(const std::string &tree)
{
    std::unique_ptr<SHCM> d(SHCM::create());
    EXPECT_TRUE(d->startDecode(tree));
    return d;
}

// --- A tiny reader of the packed table and encoder of the bit stream, for the tests only.

std::vector<uint32_t> words(const std::string &tree)
{
    std::vector<uint32_t> w((tree.size() + 3) / 4, 0);
    for (size_t i = 0; i < tree.size(); ++i)
        w[i / 4] |= uint32_t(uint8_t(tree[i])) << (8 * (i % 4));
    return w;
}

std::vector<int> modelLengths(const std::string &tree)
{
    std::vector<uint32_t> w = words(tree);
    size_t bit = 0;
    auto get = [&](int width) {
        uint32_t v = 0;
        for (int i = 0; i < width; ++i, ++bit)
            v = v << 1 | ((w.at(bit / 32) >> (31 - bit % 32)) & 1);
        return v;
    };
    int L = int(get(4)), R = int(get(4)), E = int(get(8));
    std::vector<int> len(256, 0);
    for (int v = 0; v < 256;) {
        int f = int(get(L));
        if (E && f == E)
            v += int(get(R));
        else
            len[size_t(v++)] = f;
    }
    return len;
}

std::string modelEncode(const std::vector<int> &len, const std::string &text)
{
    // Canonical code: longest first, byte value ascending within a length.
    std::vector<int> order;
    for (int v = 0; v < 256; ++v)
        if (len[size_t(v)])
            order.push_back(v);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return len[size_t(a)] > len[size_t(b)]; });
    std::vector<uint32_t> code(256, 0);
    uint32_t c = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0)
            c = (c + 1) >> (len[size_t(order[i - 1])] - len[size_t(order[i])]);
        code[size_t(order[i])] = c;
    }
    std::vector<bool> bits(1, false); // the first word's top bit is unused
    for (unsigned char b : text)
        for (int i = len[b] - 1; i >= 0; --i)
            bits.push_back((code[b] >> i) & 1);
    size_t full = bits.size() / 32;
    size_t rest = bits.size() % 32;
    if (rest == 0 && full > 0) { // the final word is never empty unless the stream is
        --full;
        rest = 32;
    }
    std::string out(1, char(32 - rest));
    auto word = [&](size_t k, size_t nbits) {
        uint32_t w = 0;
        for (size_t i = 0; i < nbits; ++i)
            w = w << 1 | bits[k * 32 + i];
        return w;
    };
    for (size_t k = 0; k < full; ++k) {
        uint32_t w = word(k, 32);
        for (int i = 0; i < 4; ++i)
            out += char(w >> (8 * i));
    }
    uint32_t fin = word(full, rest);
    size_t nbytes = (rest + 7) / 8;
    for (size_t i = 0; i < std::max<size_t>(nbytes, 1); ++i)
        out += char(fin >> (8 * i));
    return out;
}

std::string randomText(std::mt19937 &rng, int kind, size_t n)
{
    std::string s(n, '\0');
    std::geometric_distribution<int> geo(kind == 0 ? 0.05 : 0.5);
    for (char &c : s) {
        switch (kind) {
        case 0: c = char(geo(rng) % 256); break;               // skewed, many symbols
        case 1: c = char("\0\n\x1b" "abc"[rng() % 6]); break;  // separators and ESC
        case 2: c = char(rng() % 256); break;                  // all byte values
        default: c = char(std::min(geo(rng), 40)); break;      // very skewed: long codes
        }
    }
    return s;
}

uint64_t huffmanCost(const std::vector<uint32_t> &freq)
{
    std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<uint64_t>> q;
    for (uint32_t f : freq)
        if (f)
            q.push(f);
    if (q.size() == 1)
        return q.top();
    uint64_t cost = 0;
    while (q.size() > 1) {
        uint64_t a = q.top();
        q.pop();
        uint64_t b = q.top();
        q.pop();
        cost += a + b;
        q.push(a + b);
    }
    return cost;
}

} // namespace

TEST(Shcm, RoundTripsAnyCountedText)
{
    std::mt19937 rng(11);
    for (int kind = 0; kind < 4; ++kind) {
        for (int iter = 0; iter < 40; ++iter) {
            std::vector<std::string> texts;
            std::string all;
            for (int i = 0; i < 8; ++i) {
                texts.push_back(randomText(rng, kind, rng() % 300));
                all += texts.back();
            }
            std::string tree;
            auto enc = build(all, &tree);
            auto dec = decoderFor(tree);
            for (const std::string &t : texts)
                ASSERT_EQ(dec->decode(enc->encode(t)), t) << "kind " << kind;
        }
    }
}

// The packed table and the bit stream as read by an encoder written only from the format.
TEST(Shcm, DecodesStreamsOfAnIndependentEncoder)
{
    std::mt19937 rng(5);
    for (int kind = 0; kind < 4; ++kind) {
        for (int iter = 0; iter < 30; ++iter) {
            std::string sample = randomText(rng, kind, 1 + rng() % 2000);
            std::string tree;
            build(sample, &tree);
            std::vector<int> len = modelLengths(tree);
            auto dec = decoderFor(tree);
            for (size_t cut : {size_t(0), size_t(1), sample.size() / 3, sample.size()}) {
                std::string t = sample.substr(0, cut);
                ASSERT_EQ(dec->decode(modelEncode(len, t)), t);
            }
        }
    }
}

TEST(Shcm, CodeLengthsAreCompleteOptimalAndLimited)
{
    std::mt19937 rng(1);
    for (int iter = 0; iter < 300; ++iter) {
        std::vector<uint32_t> freq(256, 0);
        int n = 1 + int(rng() % 256);
        for (int i = 0; i < n; ++i)
            freq[rng() % 256] = 1 + rng() % (iter % 2 ? 5u : 100000u);
        uint32_t f[256];
        std::copy(freq.begin(), freq.end(), f);
        uint8_t symbols[256], lengths[256];
        int count = sh_SortFreq(f, symbols);
        sh_CalcLen(f, symbols, lengths, count, SH_MAX_LENGTH);
        uint64_t kraft = 0, cost = 0;
        for (int v = 0; v < 256; ++v) {
            ASSERT_EQ(lengths[v] != 0, freq[size_t(v)] != 0);
            ASSERT_LE(lengths[v], SH_MAX_LENGTH);
            if (lengths[v])
                kraft += uint64_t(1) << (SH_MAX_LENGTH - lengths[v]);
            cost += uint64_t(freq[size_t(v)]) * lengths[v];
        }
        if (count >= 2) {
            ASSERT_EQ(kraft, uint64_t(1) << SH_MAX_LENGTH);
            ASSERT_EQ(cost, huffmanCost(freq));
        }
    }
}

// Fibonacci frequencies make the unlimited code as deep as there are symbols.
TEST(Shcm, DeepCodesAreCutTo31BitsAndStillComplete)
{
    for (int n : {33, 34, 40, 45}) {
        uint32_t f[256] = {};
        uint32_t a = 1, b = 1;
        for (int i = 0; i < n; ++i) {
            f[i] = a;
            uint32_t c = a + b;
            a = b;
            b = c;
        }
        uint8_t symbols[256], lengths[256];
        int count = sh_SortFreq(f, symbols);
        sh_CalcLen(f, symbols, lengths, count, SH_MAX_LENGTH);
        uint64_t kraft = 0;
        int longest = 0;
        for (int v = 0; v < n; ++v) {
            ASSERT_GE(lengths[v], 1);
            kraft += uint64_t(1) << (SH_MAX_LENGTH - lengths[v]);
            longest = std::max(longest, int(lengths[v]));
        }
        EXPECT_EQ(kraft, uint64_t(1) << SH_MAX_LENGTH) << n;
        EXPECT_EQ(longest, SH_MAX_LENGTH) << n;
    }
    // And such a code round-trips, codes above 8 bits included.
    std::string sample;
    uint32_t a = 1, b = 1;
    for (int i = 0; i < 30; ++i) {
        sample += std::string(a, char('A' + i));
        uint32_t c = a + b;
        a = b;
        b = c;
        if (a > 20000)
            break;
    }
    std::string tree;
    auto enc = build(sample, &tree);
    EXPECT_GT(enc->codeLength('A'), 8);
    EXPECT_EQ(decoderFor(tree)->decode(enc->encode("ABCDEFGHIJKLMNOPQRSTUV")), "ABCDEFGHIJKLMNOPQRSTUV");
}

TEST(Shcm, EdgeCasesOfTheFormat)
{
    auto s = build("abcabc");
    EXPECT_EQ(s->encode(""), std::string("\x1f\x00", 2));
    EXPECT_EQ(s->decode(std::string("\x1f\x00", 2)), "");

    // One byte value: length 1, code 0; L = 2, E = 2; runs around it coded as E + length.
    std::string tree;
    auto one = build("qqqq", &tree);
    EXPECT_EQ(one->codeLength('q'), 1);
    EXPECT_EQ(one->codeValue('q'), 0);
    uint32_t w0 = words(tree)[0];
    EXPECT_EQ(w0 >> 28, 2u);          // L
    EXPECT_EQ((w0 >> 16) & 0xFF, 2u); // E
    EXPECT_EQ(tree.size(), 8u);       // 16 + (2+8) + 2 + (2+8) bits: two words
    EXPECT_EQ(decoderFor(tree)->decode(one->encode("qqq")), "qqq");

    // All byte values: no escape, no runs.
    std::string all;
    for (int v = 0; v < 256; ++v)
        all += char(v);
    auto full = build(all + all + "x", &tree);
    w0 = words(tree)[0];
    EXPECT_EQ((w0 >> 24) & 0xF, 0u); // R
    EXPECT_EQ((w0 >> 16) & 0xFF, 0u);

    // Uncounted bytes vanish.
    auto ab = build("abab");
    std::string t2;
    build("abab", &t2);
    EXPECT_EQ(decoderFor(t2)->decode(ab->encode("axbyz")), "ab");
}

TEST(Shcm, TablesThatAreTooLongOrPaddedOrEmpty)
{
    std::string tree;
    auto enc = build("hello world", &tree);
    std::string coded = enc->encode("hello");

    std::unique_ptr<SHCM> d(SHCM::create());
    ASSERT_TRUE(d->startDecode(tree));
    EXPECT_FALSE(d->startDecode(std::string(1025, '\x7f'))); // ignored: old code stays
    EXPECT_EQ(d->decode(coded), "hello");
    EXPECT_TRUE(d->startDecode(tree + "\x55\x66\x77\x01\x02"));
    EXPECT_EQ(d->decode(coded), "hello");

    // Nothing counted: a valid empty code; everything encodes to nothing.
    std::unique_ptr<SHCM> none(SHCM::create());
    none->startPreEncode();
    std::string emptyTree = none->endPreEncode();
    EXPECT_EQ(none->encode("abc"), std::string("\x1f\x00", 2));
    std::unique_ptr<SHCM> d2(SHCM::create());
    EXPECT_TRUE(d2->startDecode(emptyTree));
    EXPECT_EQ(d2->decode(std::string("\x1f\x00", 2)), "");
}

struct BadTable {
    const char *name;
    std::vector<uint32_t> words;
};

class ImpossibleTables : public ::testing::TestWithParam<BadTable> {};

TEST_P(ImpossibleTables, LeaveNoCodeAndDecodeNothing)
{
    std::string tree;
    for (uint32_t w : GetParam().words)
        for (int i = 0; i < 4; ++i)
            tree += char(w >> (8 * i));
    std::unique_ptr<SHCM> d(SHCM::create());
    EXPECT_FALSE(d->startDecode(tree));
    std::mt19937 rng(2);
    for (int i = 0; i < 50; ++i) {
        std::string junk(rng() % 40, '\0');
        for (char &c : junk)
            c = char(rng());
        EXPECT_EQ(d->decode(junk), "");
    }
}

// L=2, R=0, E=0 followed by 256 fields of 1: 256 one-bit codes.
std::vector<uint32_t> oversubscribed()
{
    std::vector<uint32_t> w(17, 0x55555555u);
    w[0] = 0x20005555u;
    return w;
}

INSTANTIATE_TEST_SUITE_P(Damaged, ImpossibleTables, ::testing::Values(
    BadTable{"oversubscribed", oversubscribed()},
    BadTable{"length_above_31", {0x6000A000u, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    BadTable{"cut_short", {0x20000000u}},
    BadTable{"run_past_256", {0x29020000u | (2u << 14) | (511u << 5)}},
    BadTable{"empty", {}}),
    [](const ::testing::TestParamInfo<BadTable> &i) { return std::string(i.param.name); });

TEST(Shcm, DamagedStreamsStayBounded)
{
    std::mt19937 rng(9);
    std::string tree;
    std::string sample = randomText(rng, 3, 5000);
    build(sample, &tree);
    auto d = decoderFor(tree);
    EXPECT_EQ(d->decode(""), "");
    EXPECT_EQ(d->decode("\x05"), "");
    EXPECT_EQ(d->decode(std::string("\x40\xff\xff", 3)), ""); // F above 31
    for (int i = 0; i < 3000; ++i) {
        std::string junk(rng() % 64, '\0');
        for (char &c : junk)
            c = char(rng());
        std::string out = d->decode(junk);
        ASSERT_LE(out.size(), 32 * (junk.size() / 4 + 2));
    }
}
