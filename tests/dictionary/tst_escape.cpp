#include "dictionary.h"

#include <gtest/gtest.h>

#include <random>

namespace {
std::string bytes(std::initializer_list<int> b)
{
    std::string s;
    for (int c : b)
        s += char(c);
    return s;
}
} // namespace

struct UnescapeCase {
    const char *name;
    std::string in, out;
};

class Unescape : public ::testing::TestWithParam<UnescapeCase> {};

TEST_P(Unescape, Decodes)
{
    EXPECT_EQ(DictImpl::unescape(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Sequences, Unescape, ::testing::Values(
    UnescapeCase{"three_pairs", bytes({0x1b, '0', 0x1b, 'n', 0x1b, 'e'}), bytes({0, 0x0a, 0x1b})},
    UnescapeCase{"unknown_pair_dropped", bytes({'a', 0x1b, 'x', 'b'}), "ab"},
    UnescapeCase{"trailing_esc_dropped", bytes({'a', 'b', 0x1b}), "ab"},
    UnescapeCase{"esc_before_nul", bytes({'a', 0x1b, 0, 'b'}), "ab"},
    UnescapeCase{"lone_esc", bytes({0x1b}), ""},
    UnescapeCase{"plain", "plain text", "plain text"}),
    [](const ::testing::TestParamInfo<UnescapeCase> &i) { return std::string(i.param.name); });

TEST(Escape, SeparatorsBecomePairs)
{
    EXPECT_EQ(DictImpl::escape(bytes({0, 0x0a, 0x1b})), bytes({0x1b, 0x30, 0x1b, 0x6e, 0x1b, 0x65}));
    EXPECT_EQ(DictImpl::escape("nothing special"), "nothing special");
}

TEST(Escape, RandomBytesRoundTripWithoutSeparators)
{
    std::mt19937 rng(3);
    for (int i = 0; i < 2000; ++i) {
        std::string s(rng() % 64, '\0');
        for (char &c : s)
            c = char(rng() % 4 == 0 ? "\0\n\x1b"[rng() % 3] : rng() % 256);
        std::string e = DictImpl::escape(s);
        ASSERT_EQ(e.find('\0'), std::string::npos);
        ASSERT_EQ(e.find('\n'), std::string::npos);
        ASSERT_EQ(DictImpl::unescape(e), s);
    }
}
