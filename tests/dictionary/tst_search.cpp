// findEntry and the entry walk against a linear scan of random sorted entries.
#include "testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

// Canonical form for the alphabet used here: '-' and '.' dropped, ASCII and U+00E0..U+00FE
// (but U+00F7) upper-cased.
static std::string modelCanon(const std::string &w)
{
    std::string s;
    for (size_t i = 0; i < w.size(); ++i) {
        unsigned char c = uint8_t(w[i]);
        if (c != '-' && c != '.')
            s += char(c >= 'a' && c <= 'z' ? c - 32 : c);
        if (c == 0xC3 && ++i < w.size())
            s += char(uint8_t(w[i]) - (w[i] >= '\xa0' && w[i] <= '\xbe' && w[i] != '\xb7' ? 0x20 : 0));
    }
    return s;
}

static std::string randomWord(std::mt19937 &rng, const std::vector<std::string> &letters) // may be empty
{
    std::string w;
    for (unsigned k = 0, len = rng() % 7; k < len; ++k)
        w += letters[rng() % letters.size()];
    return w;
}

struct Layout {
    size_t count, every; // every: an index record every that many entries, 0 for none
    bool indexLast, compressed;
};
class Search : public ::testing::TestWithParam<Layout> {};

TEST_P(Search, AgreesWithALinearScan)
{
    const Layout l = GetParam();
    std::mt19937 rng(unsigned(l.count * 31 + l.every));
    RawDict d;
    for (size_t i = 0; i < l.count; ++i)
        d.entries.push_back({randomWord(rng, {"a", "b", "c", "A", "B", "-", ".", "\xc3\xa9", "\xc3\x89", "z"}),
                             "sense " + std::to_string(i) + "\nline two"});
    std::stable_sort(d.entries.begin(), d.entries.end(),
                     [](const auto &a, const auto &b) { return modelCanon(a.first) < modelCanon(b.first); });
    std::vector<std::string> canon;
    std::string idx;
    for (size_t i = 0, at = 0; i < l.count; at += d.entries[i].first.size() + d.entries[i].second.size() + 2, ++i) {
        canon.push_back(modelCanon(d.entries[i].first));
        if (l.every && (i % l.every == 0 || (l.indexLast && i + 1 == l.count)))
            idx += indexRecord(canon[i], long(at));
    }
    if (l.every)
        d.header = {{"index", idx}};
    TempDir tmp;
    writeFile(tmp.file("d"), d.bytes());
    ASSERT_TRUE(!l.compressed || openDict(tmp.file("d"))->xerox(tmp.file("c"), "shcm", false)); // it indexes on its own
    auto dict = openDict(tmp.file(l.compressed ? "c" : "d"));
    ASSERT_EQ(dict->getError(), "");
    auto current = [&] { return std::find(d.entries.begin(), d.entries.end(), std::make_pair(dict->getWord(), dict->getSense())); };

    std::vector<std::string> queries = {"", "\xef\xbf\xbf"};
    for (size_t i = 0; i < l.count + 300; ++i)
        queries.push_back(i < l.count ? d.entries[i].first : randomWord(rng, {"a", "b", "c", "d", "-", "\xc3\xa9", "Z", "zz"}));
    for (const std::string &query : queries) {
        const std::string q = modelCanon(query);
        bool prefix = false, exact = dict->findEntry(query, prefix);
        ASSERT_EQ(dict->getError(), "") << query;
        const std::string cur = modelCanon(dict->getWord());
        // The first entry with q, else the first after it, else the last; only a match in
        // the last entry may go unreported.
        auto at = std::lower_bound(canon.begin(), canon.end(), q);
        ASSERT_TRUE(exact ? cur == q
                          : at == canon.end() ? cur == canon.back() : cur == *at && (q != *at || at + 1 == canon.end()))
            << query << " found " << dict->getWord();
        ASSERT_TRUE(prefix == (cur.compare(0, q.size(), q) == 0) && current() != d.entries.end()) << query;
    }

    // The walk visits every entry once, in file order; random entries are entries.
    size_t i = 0;
    for (bool ok = dict->firstEntry(); ok; ok = dict->nextEntry(), ++i)
        ASSERT_EQ(current() - d.entries.begin(), i);
    EXPECT_EQ(i, l.count);
    for (int k = 0; k < 50; ++k)
        ASSERT_TRUE(dict->randomEntry() && current() != d.entries.end());
}

INSTANTIATE_TEST_SUITE_P(Layouts, Search, ::testing::Values(
    Layout{1, 0, false, true}, Layout{2, 1, true, false}, Layout{300, 0, false, false}, Layout{300, 7, false, false},
    Layout{300, 7, true, false}, Layout{2000, 64, false, false}, Layout{3000, 1, false, true}));
