// findEntry and the entry walk against a linear scan of random sorted entries.
#include "dictionary.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>

namespace {

// Canonical form for the alphabet used here, written without the engine: hyphen and full
// stop removed, ASCII and the few accented letters upper-cased.
std::string modelCanon(const std::string &w)
{
    std::string s;
    for (size_t i = 0; i < w.size(); ++i) {
        char c = w[i];
        if (c == '-' || c == '.')
            continue;
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
        if (c == '\xc3' && i + 1 < w.size()) { // U+00E0..U+00FE (except U+00F7) -> minus 32
            unsigned char n = static_cast<unsigned char>(w[++i]);
            if (n >= 0xA0 && n <= 0xBE && n != 0xB7)
                n = static_cast<unsigned char>(n - 0x20);
            s += c;
            s += char(n);
            continue;
        }
        s += c;
    }
    return s;
}

struct Model {
    std::vector<std::pair<std::string, std::string>> entries; // in file order
    std::vector<std::string> canon;
};

Model randomModel(std::mt19937 &rng, size_t count)
{
    const std::vector<std::string> letters = {"a", "b", "c", "A", "B", "-", ".", "\xc3\xa9", "\xc3\x89", "z"};
    std::vector<std::pair<std::string, std::string>> e;
    for (size_t i = 0; i < count; ++i) {
        std::string w;
        int len = 1 + int(rng() % 6);
        for (int k = 0; k < len; ++k)
            w += letters[rng() % letters.size()];
        e.push_back({w, "sense " + std::to_string(i) + "\nline two"});
    }
    std::stable_sort(e.begin(), e.end(), [](const auto &a, const auto &b) { return modelCanon(a.first) < modelCanon(b.first); });
    Model m;
    m.entries = e;
    for (const auto &x : e)
        m.canon.push_back(modelCanon(x.first));
    return m;
}

// every = 0: no index; otherwise a record every `every` entries, plus the last one when asked.
std::string fileFor(const Model &m, size_t every, bool indexLast)
{
    RawDict d;
    d.entries = m.entries;
    std::vector<long> off = d.offsets();
    std::string idx;
    if (every) {
        for (size_t i = 0; i < m.entries.size(); ++i)
            if (i % every == 0 || (indexLast && i + 1 == m.entries.size()))
                idx += indexRecord(m.canon[i], off[i]);
        d.header.push_back({"index", idx});
    }
    d.header.push_back({"id", "model"});
    return d.bytes();
}

void checkQuery(DictImpl &d, const Model &m, const std::string &query)
{
    const std::string q = modelCanon(query);
    bool prefix = false;
    bool exact = d.findEntry(query, prefix);
    ASSERT_EQ(d.getError(), "") << query;
    const std::string cur = modelCanon(d.getWord());
    const size_t n = m.canon.size();
    bool inBody = std::find(m.canon.begin(), m.canon.end() - 1, q) != m.canon.end() - 1;
    if (exact) {
        ASSERT_EQ(cur, q) << query;
    } else {
        // Only the last entry may match without being reported.
        ASSERT_FALSE(inBody) << query;
        auto after = std::upper_bound(m.canon.begin(), m.canon.end(), q);
        std::string expected = after == m.canon.end() ? m.canon[n - 1] : *after;
        if (after == m.canon.end() || (q == m.canon[n - 1]))
            expected = m.canon[n - 1];
        ASSERT_EQ(cur, expected) << query;
    }
    ASSERT_EQ(prefix, cur.compare(0, q.size(), q) == 0) << query;
    // The sense belongs to the word found.
    auto it = std::find_if(m.entries.begin(), m.entries.end(), [&](const auto &e) { return e.first == d.getWord(); });
    ASSERT_NE(it, m.entries.end());
    bool senseMatches = false;
    for (const auto &e : m.entries)
        senseMatches |= e.first == d.getWord() && e.second == d.getSense();
    ASSERT_TRUE(senseMatches);
}

} // namespace

struct Layout {
    size_t count, every;
    bool indexLast, compressed;
};

class Search : public ::testing::TestWithParam<Layout> {};

TEST_P(Search, AgreesWithALinearScan)
{
    const Layout l = GetParam();
    std::mt19937 rng(unsigned(l.count * 31 + l.every));
    Model m = randomModel(rng, l.count);
    TempDir tmp;
    std::string path = tmp.file("d");
    writeFile(path, fileFor(m, l.every, l.indexLast));
    if (l.compressed) {
        // The writer indexes on its own; its file is searched the same way.
        std::unique_ptr<Dictionary> src(Dictionary::create(path.c_str()));
        ASSERT_TRUE(src->xerox(tmp.file("c"), "shcm", false));
        path = tmp.file("c");
    }
    std::unique_ptr<DictImpl> d(static_cast<DictImpl *>(Dictionary::create(path.c_str())));
    ASSERT_EQ(d->getError(), "");

    for (const auto &e : m.entries)
        checkQuery(*d, m, e.first);
    const std::vector<std::string> letters = {"a", "b", "c", "d", "-", "\xc3\xa9", "Z", "zz"};
    for (int i = 0; i < 300; ++i) {
        std::string q;
        int len = int(rng() % 7);
        for (int k = 0; k < len; ++k)
            q += letters[rng() % letters.size()];
        checkQuery(*d, m, q);
    }
    checkQuery(*d, m, "");
    checkQuery(*d, m, "\xef\xbf\xbf");

    // The walk visits every entry once, in file order.
    ASSERT_TRUE(d->firstEntry());
    size_t i = 0;
    do {
        ASSERT_LT(i, m.entries.size());
        EXPECT_EQ(d->getWord(), m.entries[i].first);
        EXPECT_EQ(d->getSense(), m.entries[i].second);
        EXPECT_EQ(d->getSense(), m.entries[i].second);
        ++i;
    } while (d->nextEntry());
    EXPECT_EQ(i, m.entries.size());
    EXPECT_EQ(d->getWord(), m.entries.back().first);
    for (int k = 0; k < 50; ++k) {
        ASSERT_TRUE(d->randomEntry());
        EXPECT_NE(std::find(m.entries.begin(), m.entries.end(), std::make_pair(d->getWord(), d->getSense())), m.entries.end());
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, Search, ::testing::Values(
    Layout{1, 0, false, false}, Layout{2, 1, true, false}, Layout{50, 0, false, false},
    Layout{300, 1, true, false}, Layout{300, 7, false, false}, Layout{300, 7, true, false},
    Layout{2000, 64, false, false}, Layout{2000, 1, false, true}, Layout{5000, 1, false, true}));

struct Known {
    const char *name;
    std::vector<std::string> words;
    std::string query;
    bool exact;
    std::string current;
    bool prefix;
};

class KnownSearch : public ::testing::TestWithParam<Known> {};

TEST_P(KnownSearch, FindsTheListedEntry)
{
    const Known k = GetParam();
    RawDict d;
    for (const auto &w : k.words)
        d.entries.push_back({w, "s"});
    TempDir tmp;
    writeFile(tmp.file("d"), d.bytes());
    std::unique_ptr<Dictionary> dict(Dictionary::create(tmp.file("d").c_str()));
    ASSERT_EQ(dict->getError(), "");
    bool prefix = !k.prefix;
    EXPECT_EQ(dict->findEntry(k.query, prefix), k.exact);
    EXPECT_EQ(dict->getWord(), k.current);
    EXPECT_EQ(prefix, k.prefix);
}

INSTANTIATE_TEST_SUITE_P(Cases, KnownSearch, ::testing::Values(
    Known{"case_folds", {"apple", "pear", "plum"}, "Apple", true, "apple", true},
    Known{"hyphen_ignored", {"apple", "email", "pear"}, "e-mail", true, "email", true},
    Known{"dots_ignored", {"apple", "U.S.A", "zoo"}, "USA", true, "U.S.A", true},
    Known{"prefix_closest", {"apple", "apply", "zoo"}, "app", false, "apple", true},
    Known{"after_all", {"apple", "pear"}, "zzz", false, "pear", false},
    Known{"before_all", {"bee", "cat"}, "ant", false, "bee", false},
    Known{"last_word_not_exact_without_index", {"apple", "pear", "plum"}, "plum", false, "plum", true},
    Known{"empty_words", {"", "", "a", "b"}, "a", true, "a", true},
    Known{"empty_word_before", {"", "b"}, "a", false, "b", false}),
    [](const ::testing::TestParamInfo<Known> &i) { return std::string(i.param.name); });
