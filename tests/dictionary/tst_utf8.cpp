#include "utf8.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

// Mappings that are not each other's inverse, and runes either way of a table's ends.
TEST(Utf8, CaseMappingKeepsItsAsymmetries)
{
    const uint32_t rows[][3] = { // rune, upper, lower
        {'a', 'A', 'a'}, {'A', 'A', 'a'}, {'5', '5', '5'}, {0xDF, 0xDF, 0xDF}, {0xF7, 0xF7, 0xF7}, {0xFF, 0x178, 0xFF},
        {0x178, 0x178, 0xFF}, {0x131, 0x49, 0x131}, {0x130, 0x130, 0x69}, {0x17F, 0x53, 0x17F}, {0x1C5, 0x1C4, 0x1C6},
        {0x10A0, 0x10A0, 0x10D0}, {0x10D0, 0x10D0, 0x10D0}, {0x1E96, 0x1E96, 0x1E96}, {0x1FB3, 0x1FBC, 0x1FB3},
        {0x1FBC, 0x1FBC, 0x1FB3}, {0xFF5A, 0xFF3A, 0xFF5A}};
    for (const auto &r : rows)
        EXPECT_TRUE(Utf8::toupper(r[0]) == r[1] && Utf8::tolower(r[0]) == r[2]) << std::hex << r[0];
}

// Against an independent reading of 1- to 3-byte shortest forms; runetochar writes the
// same bytes back, and no rune maps outside what it can write.
TEST(Utf8, DecodingAgreesWithAModelOverAllShortSequences)
{
    auto cont = [](int c) { return (c & 0xC0) == 0x80; };
    for (int b0 = 1; b0 < 256; ++b0)
        for (int b1 = 0; b1 < (b0 < 0x80 ? 1 : 256); ++b1)
            for (int b2 : {0x80, 0xBF, 0x41, 0x00}) {
                uint32_t rune = uint32_t(b0);
                int len = b0 < 0x80;
                if ((b0 & 0xE0) == 0xC0 && cont(b1))
                    rune = uint32_t(b0 & 0x1F) << 6 | (b1 & 0x3F), len = rune >= 0x80 ? 2 : 0;
                else if ((b0 & 0xF0) == 0xE0 && cont(b1) && cont(b2))
                    rune = uint32_t(b0 & 0x0F) << 12 | uint32_t(b1 & 0x3F) << 6 | (b2 & 0x3F), len = rune >= 0x800 ? 3 : 0;
                const char s[4] = {char(b0), char(b1), char(b2), 0}, *p = s;
                ASSERT_EQ(Utf8::chartorune(&p), len ? rune : Utf8::ErrorRune) << b0 << " " << b1 << " " << b2;
                ASSERT_EQ(p - s, len);
                char back[4] = {};
                ASSERT_EQ(len ? Utf8::runetochar(back, int(rune)) : 0, len);
                ASSERT_EQ(std::string(back, size_t(len)), std::string(s, size_t(len)));
            }
    for (uint32_t r = 0; r <= 0xFFFF; ++r)
        ASSERT_LE(std::max(Utf8::toupper(r), Utf8::tolower(r)), 0xFFFFu);
}

// The string form stops at invalid sequences (4-byte, overlong, C2 80, cut short) and at a
// NUL, keeping what was mapped before. The buffer form writes a rune-boundary prefix of it
// and never more than n bytes.
TEST(Utf8, StringAndBufferFormsStopAtInvalidSequencesAndStayInsideTheirRoom)
{
    const struct { std::string in, upper; int ret; } cases[] = {
        {"\xd1\x91\xd0\xbb\xd0\xba\xd0\xb0", "\xd0\x81\xd0\x9b\xd0\x9a\xd0\x90", 8}, {"ab\xf0\x9f\x98\x80" "c", "AB", 0},
        {"x\xc0\x80", "X", 0}, {"y\xc2\x80z", "Y", 0}, {"q\xe2\x82", "Q", 0}, {std::string("ab\0cd", 5), "AB", 2}};
    for (const auto &c : cases) {
        std::string out = "junk";
        EXPECT_EQ(Utf8::toupper(c.in, out), c.ret) << c.in;
        EXPECT_EQ(out, c.upper);
    }
    std::mt19937 rng(7);
    const char *pieces[] = {"a", "Z", "\xc3\xa9", "\xd1\x91", "\xe1\xb8\x81", "-", "\xef\xbd\x81"};
    for (int iter = 0; iter < 400; ++iter) {
        std::string s, full;
        for (unsigned i = 0, k = rng() % 12; i < k; ++i)
            s += pieces[rng() % 7];
        Utf8::toupper(s, full);
        ASSERT_EQ(Utf8::toupper(s.c_str(), nullptr, 0), 0);
        for (int n = 1; n <= int(s.size()) * 3 + 4; ++n) {
            std::unique_ptr<char[]> buf(new char[size_t(n)]); // exact size: overruns show
            int w = Utf8::toupper(s.c_str(), buf.get(), n);
            ASSERT_TRUE(w < n && buf[size_t(w)] == '\0' && full.compare(0, size_t(w), buf.get()) == 0);
            ASSERT_TRUE(n < int(full.size()) + 4 || w == int(full.size()));
        }
    }
}
