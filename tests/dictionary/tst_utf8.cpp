#include "utf8.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

namespace {

std::string up(const std::string &s, int *ret = nullptr)
{
    std::string d = "junk";
    int r = Utf8::toupper(s, d);
    if (ret)
        *ret = r;
    return d;
}

// Independent reading of 1- to 3-byte UTF-8: the rune and its length, or 0 length when
// the bytes are not a shortest-form sequence.
std::pair<uint32_t, int> modelDecode(const unsigned char *s)
{
    if (s[0] < 0x80)
        return {s[0], 1};
    auto cont = [](unsigned char c) { return (c & 0xC0) == 0x80; };
    if ((s[0] & 0xE0) == 0xC0 && cont(s[1])) {
        uint32_t r = (uint32_t(s[0] & 0x1F) << 6) | (s[1] & 0x3F);
        return r >= 0x80 ? std::make_pair(r, 2) : std::make_pair(0u, 0);
    }
    if ((s[0] & 0xF0) == 0xE0 && cont(s[1]) && cont(s[2])) {
        uint32_t r = (uint32_t(s[0] & 0x0F) << 12) | (uint32_t(s[1] & 0x3F) << 6) | (s[2] & 0x3F);
        return r >= 0x800 ? std::make_pair(r, 3) : std::make_pair(0u, 0);
    }
    return {0, 0};
}

} // namespace

TEST(Utf8, TablesHaveTheListedRowCounts)
{
    EXPECT_EQ(Utf8::tableRows(0), 35);
    EXPECT_EQ(Utf8::tableRows(1), 340);
    EXPECT_EQ(Utf8::tableRows(2), 36);
    EXPECT_EQ(Utf8::tableRows(3), 333);
}

struct RuneCase {
    uint32_t in, upper, lower;
};

class RuneMapping : public ::testing::TestWithParam<RuneCase> {};

TEST_P(RuneMapping, MapsAsListed)
{
    const RuneCase c = GetParam();
    EXPECT_EQ(Utf8::toupper(c.in), c.upper) << std::hex << c.in;
    EXPECT_EQ(Utf8::tolower(c.in), c.lower) << std::hex << c.in;
}

// Range ends, single rows and the asymmetries between the upper and lower tables.
INSTANTIATE_TEST_SUITE_P(Rows, RuneMapping, ::testing::Values(
    RuneCase{'a', 'A', 'a'}, RuneCase{'z', 'Z', 'z'}, RuneCase{'A', 'A', 'a'}, RuneCase{'5', '5', '5'},
    RuneCase{0x00DF, 0x00DF, 0x00DF},                 // sharp s has no row
    RuneCase{0x00F7, 0x00F7, 0x00F7},                 // division sign between two ranges
    RuneCase{0x00FF, 0x0178, 0x00FF}, RuneCase{0x0178, 0x0178, 0x00FF},
    RuneCase{0x0131, 0x0049, 0x0131},                 // dotless i -> I, no way back
    RuneCase{0x0130, 0x0130, 0x0069},                 // dotted I -> i, no way back
    RuneCase{0x017F, 0x0053, 0x017F},                 // long s
    RuneCase{0x01C5, 0x01C4, 0x01C6},                 // title-case digraph goes both ways
    RuneCase{0x10A0, 0x10A0, 0x10D0}, RuneCase{0x10D0, 0x10D0, 0x10D0}, // Georgian: lower only
    RuneCase{0x0451, 0x0401, 0x0451}, RuneCase{0x0401, 0x0401, 0x0451},
    RuneCase{0x1E95, 0x1E94, 0x1E95}, RuneCase{0x1E96, 0x1E96, 0x1E96},
    RuneCase{0x1FB3, 0x1FBC, 0x1FB3}, RuneCase{0x1FBC, 0x1FBC, 0x1FB3},
    RuneCase{0x24D0, 0x24B6, 0x24D0}, RuneCase{0xFF5A, 0xFF3A, 0xFF5A}, RuneCase{0xFF3A, 0xFF3A, 0xFF5A},
    RuneCase{0x4E2D, 0x4E2D, 0x4E2D}, RuneCase{0xFFFF, 0xFFFF, 0xFFFF}, RuneCase{0, 0, 0}));

struct StringCase {
    const char *name;
    std::string in;
    std::string upper;
    int ret;
};

class StringMapping : public ::testing::TestWithParam<StringCase> {};

TEST_P(StringMapping, UpperCases)
{
    const StringCase c = GetParam();
    int ret = -1;
    EXPECT_EQ(up(c.in, &ret), c.upper);
    EXPECT_EQ(ret, c.ret);

    // The buffer form agrees when the room suffices.
    std::vector<char> buf(c.in.size() * 3 + 8, 'x');
    int n = Utf8::toupper(c.in.c_str(), buf.data(), int(buf.size()));
    EXPECT_EQ(n, c.ret);
    if (c.ret > 0)
        EXPECT_EQ(std::string(buf.data()), c.upper);
}

INSTANTIATE_TEST_SUITE_P(Words, StringMapping, ::testing::Values(
    StringCase{"sharp_s", "stra\xc3\x9f" "e", "STRA\xc3\x9f" "E", 7},
    StringCase{"cyrillic", "\xd1\x91\xd0\xbb\xd0\xba\xd0\xb0", "\xd0\x81\xd0\x9b\xd0\x9a\xd0\x90", 8},
    StringCase{"four_byte_form", "ab\xf0\x9f\x98\x80" "c", "AB", 0},
    StringCase{"latin1_byte", "caf\xe9" "s", "CAF", 0},
    StringCase{"overlong_nul", "x\xc0\x80", "X", 0},
    StringCase{"c2_80_reads_as_error", "y\xc2\x80z", "Y", 0},
    StringCase{"truncated_three_byte", "q\xe2\x82", "Q", 0},
    StringCase{"embedded_nul_ends", std::string("ab\0cd", 5), "AB", 2},
    StringCase{"empty", "", "", 0}),
    [](const ::testing::TestParamInfo<StringCase> &i) { return std::string(i.param.name); });

TEST(Utf8, DecodingAgreesWithModelOverAllShortSequences)
{
    unsigned char s[4] = {0, 0, 0, 0};
    for (int b0 = 1; b0 < 256; ++b0) {
        for (int b1 = 0; b1 < 256; ++b1) {
            // Third bytes: a continuation, a non-continuation and the terminator.
            for (int b2 : {0x80, 0xBF, 0x41, 0x00}) {
                s[0] = uint8_t(b0), s[1] = uint8_t(b1), s[2] = uint8_t(b2);
                auto [rune, len] = modelDecode(s);
                const char *p = reinterpret_cast<const char *>(s);
                uint32_t got = Utf8::chartorune(&p);
                int adv = int(p - reinterpret_cast<const char *>(s));
                if (len == 0) {
                    ASSERT_EQ(got, Utf8::ErrorRune) << b0 << " " << b1 << " " << b2;
                    ASSERT_EQ(adv, 0);
                } else {
                    ASSERT_EQ(got, rune);
                    ASSERT_EQ(adv, len);
                }
                if (b0 < 0x80)
                    break;
            }
            if (b0 < 0x80)
                break;
        }
    }
}

TEST(Utf8, EveryRuneRoundTrips)
{
    for (int r = 0; r <= 0xFFFF; ++r) {
        char buf[4] = {0, 0, 0, 0};
        int n = Utf8::runetochar(buf, r);
        ASSERT_EQ(n, r < 0x80 ? 1 : r < 0x800 ? 2 : 3);
        if (r == 0)
            continue;
        const char *p = buf;
        ASSERT_EQ(Utf8::chartorune(&p), uint32_t(r));
        ASSERT_EQ(p - buf, n);
    }
    char buf[3];
    EXPECT_EQ(Utf8::runetochar(buf, 0x10000), 3); // out of range: written as U+FFFD
    EXPECT_EQ(std::string(buf, 3), "\xef\xbf\xbd");
    EXPECT_EQ(Utf8::runetochar(buf, -5), 3);
}

TEST(Utf8, MappedRunesStayEncodableAndMostRangesMirror)
{
    for (uint32_t r = 0; r <= 0xFFFF; ++r) {
        ASSERT_LE(Utf8::toupper(r), 0xFFFFu);
        ASSERT_LE(Utf8::tolower(r), 0xFFFFu);
    }
    // ASCII and Cyrillic letters go both ways.
    for (uint32_t r = 'a'; r <= 'z'; ++r)
        EXPECT_EQ(Utf8::tolower(Utf8::toupper(r)), r);
    for (uint32_t r = 0x430; r <= 0x44F; ++r)
        EXPECT_EQ(Utf8::tolower(Utf8::toupper(r)), r);
}

// The buffer form never writes past n bytes, and what it writes is a prefix of the string
// form cut at a rune boundary.
TEST(Utf8, BufferFormStaysInsideItsRoom)
{
    std::mt19937 rng(7);
    const std::vector<std::string> pieces = {"a", "Z", "\xc3\xa9", "\xd1\x91", "\xe1\xb8\x81", "-", "\xef\xbd\x81"};
    for (int iter = 0; iter < 400; ++iter) {
        std::string s;
        int k = int(rng() % 12);
        for (int i = 0; i < k; ++i)
            s += pieces[rng() % pieces.size()];
        std::string full;
        Utf8::toupper(s, full);
        for (int n = 0; n <= int(s.size()) * 3 + 4; ++n) {
            std::unique_ptr<char[]> buf(new char[size_t(n > 0 ? n : 1)]);
            int w = Utf8::toupper(s.c_str(), n > 0 ? buf.get() : nullptr, n);
            if (n < 1) {
                ASSERT_EQ(w, 0);
                continue;
            }
            ASSERT_LT(w, n);
            ASSERT_EQ(buf[size_t(w)], '\0');
            ASSERT_EQ(full.compare(0, size_t(w), buf.get()), 0);
            if (n >= int(full.size()) + 4)
                ASSERT_EQ(w, int(full.size()));
        }
    }
}
