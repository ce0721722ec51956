// Rewriting dictionaries: the written file read back against what went in.
#include "dictionary.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <memory>
#include <random>
#include <unistd.h>

namespace {

std::unique_ptr<DictImpl> open(const std::string &path)
{
    return std::unique_ptr<DictImpl>(static_cast<DictImpl *>(Dictionary::create(path.c_str())));
}

std::vector<std::pair<std::string, std::string>> walk(Dictionary &d)
{
    std::vector<std::pair<std::string, std::string>> out;
    if (!d.firstEntry())
        return out;
    do
        out.push_back({d.getWord(), d.getSense()});
    while (d.nextEntry());
    return out;
}

RawDict unsortedSample(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    RawDict d;
    d.header = {{"id", "sample"}, {"custom", "kept=as is\nwith LF"}};
    for (size_t i = 0; i < n; ++i) {
        std::string w;
        for (int k = 0, len = 1 + int(rng() % 9); k < len; ++k)
            w += char('a' + rng() % 26);
        std::string s;
        for (int k = 0, len = int(rng() % 200); k < len; ++k)
            s += char(rng() % 5 == 0 ? '\n' : rng() % 3 == 0 ? '\x1b' : 'a' + rng() % 26);
        d.entries.push_back({w, s});
    }
    return d;
}

} // namespace

struct Rewrite {
    const char *name;
    std::string firstMethod, secondMethod;
    bool sort;
};

class Xerox : public ::testing::TestWithParam<Rewrite> {};

TEST_P(Xerox, RoundTripsThroughBothMethods)
{
    const Rewrite r = GetParam();
    TempDir tmp;
    RawDict src = unsortedSample(3000, 17);
    writeFile(tmp.file("src"), src.bytes());
    auto a = open(tmp.file("src"));
    ASSERT_EQ(a->getError(), "");
    ASSERT_TRUE(a->xerox(tmp.file("one"), r.firstMethod, r.sort));
    auto b = open(tmp.file("one"));
    ASSERT_EQ(b->getError(), "");
    EXPECT_EQ(b->isCompressed(), r.firstMethod == "shcm");
    ASSERT_TRUE(b->xerox(tmp.file("two"), r.secondMethod, false));
    auto c = open(tmp.file("two"));
    ASSERT_EQ(c->getError(), "");
    EXPECT_EQ(c->getProperties().count("shcm-tree"), r.secondMethod == "shcm" ? 1u : 0u);
    EXPECT_EQ(c->getProperties().at("custom"), "kept=as is\nwith LF");
    EXPECT_EQ(c->getName(), "sample");

    auto expected = src.entries;
    if (r.sort) {
        std::stable_sort(expected.begin(), expected.end(), [&](const auto &x, const auto &y) {
            return a->canonizeWord(x.first) < a->canonizeWord(y.first);
        });
    }
    EXPECT_EQ(walk(*b), expected);
    EXPECT_EQ(walk(*c), expected);

    // The written size and index: dict-size is the data area, index records point at
    // entry starts and the first and last entries are indexed.
    const std::string bytes = readFile(tmp.file("two"));
    EXPECT_EQ(std::stol(c->getProperties().at("dict-size")), long(bytes.size()) - c->getDataStart());
    const auto &idx = c->getIndex();
    ASSERT_GE(idx.size(), 2u);
    EXPECT_EQ(idx.front().pos, c->getDataStart());
    EXPECT_EQ(idx.back().pos, c->getLastEntryPos());
    for (const auto &e : idx)
        EXPECT_EQ(bytes[size_t(e.pos) - 1], '\0');
}

INSTANTIATE_TEST_SUITE_P(Methods, Xerox, ::testing::Values(
    Rewrite{"none_then_shcm_sorted", "none", "shcm", true},
    Rewrite{"shcm_then_none_sorted", "shcm", "none", true},
    Rewrite{"shcm_keeps_order", "shcm", "shcm", false},
    Rewrite{"none_keeps_order", "none", "none", false}),
    [](const ::testing::TestParamInfo<Rewrite> &i) { return std::string(i.param.name); });

TEST(Xerox, SortedOutputIsSearchable)
{
    TempDir tmp;
    RawDict src = unsortedSample(5000, 3);
    writeFile(tmp.file("src"), src.bytes());
    auto a = open(tmp.file("src"));
    ASSERT_TRUE(a->xerox(tmp.file("out"), "shcm", true));
    auto d = open(tmp.file("out"));
    ASSERT_EQ(d->getError(), "");
    EXPECT_GT(d->getIndex().size(), 2u);
    for (const auto &e : src.entries) {
        bool prefix = false;
        ASSERT_TRUE(d->findEntry(e.first, prefix)) << e.first;
        EXPECT_EQ(d->canonizeWord(d->getWord()), d->canonizeWord(e.first));
        EXPECT_TRUE(prefix);
    }
}

TEST(Xerox, SingleEntryGetsTwoRecords)
{
    TempDir tmp;
    RawDict src;
    src.entries = {{"solo", "one"}};
    writeFile(tmp.file("src"), src.bytes());
    ASSERT_TRUE(open(tmp.file("src"))->xerox(tmp.file("out"), "none", false));
    auto d = open(tmp.file("out"));
    ASSERT_EQ(d->getError(), "");
    ASSERT_EQ(d->getIndex().size(), 2u);
    EXPECT_EQ(d->getIndex()[0].pos, d->getDataStart());
    EXPECT_EQ(d->getIndex()[1].pos, d->getDataStart());
    bool prefix = false;
    EXPECT_TRUE(d->findEntry("SOLO", prefix));
    EXPECT_EQ(d->getProperties().at("id"), ""); // created empty while opening, carried over
}

TEST(Xerox, StoredEntriesOfRareBytesStayReadable)
{
    // One entry made of bytes that occur once gets long codes; the written buffer size
    // must cover its stored form, not only the decoded one.
    TempDir tmp;
    RawDict src;
    for (int i = 0; i < 400; ++i)
        src.entries.push_back({"w" + std::to_string(1000 + i), std::string(300, 'e')});
    std::string rare;
    for (int v = 1; v < 256; ++v)
        if (v != '\n')
            rare += char(v);
    src.entries.push_back({"zz", rare});
    writeFile(tmp.file("src"), src.bytes());
    ASSERT_TRUE(open(tmp.file("src"))->xerox(tmp.file("out"), "shcm", false));
    auto d = open(tmp.file("out"));
    ASSERT_EQ(d->getError(), "");
    ASSERT_TRUE(d->lastEntry()) << d->getError();
    EXPECT_EQ(d->getSense(), rare);
}

TEST(Xerox, FailuresAreReportedAndLeaveNoFile)
{
    TempDir tmp;
    RawDict src = unsortedSample(200, 5);
    writeFile(tmp.file("src"), src.bytes());
    auto a = open(tmp.file("src"));

    EXPECT_FALSE(a->xerox(tmp.file("src"), "shcm", true)); // onto itself
    EXPECT_EQ(open(tmp.file("src"))->getError(), "");
    EXPECT_FALSE(a->xerox(tmp.file("no/such/dir/out"), "none", false));

    int full = ::open("/dev/full", O_WRONLY);
    if (full >= 0) {
        EXPECT_FALSE(a->xerox(full, "shcm", true));
        EXPECT_NE(a->getError(), "");
        ::close(full);
    }

    // A file whose middle cannot be read is not reported as rewritten.
    RawDict broken;
    broken.header = {{"max-entry-length", "30"}};
    broken.entries = {{"a", "1"}, {"b", std::string(100, 'x')}, {"c", "3"}};
    writeFile(tmp.file("broken"), broken.bytes());
    auto br = open(tmp.file("broken"));
    ASSERT_EQ(br->getError(), "");
    EXPECT_FALSE(br->xerox(tmp.file("brokenout"), "none", false));
    EXPECT_EQ(br->getError(), "entry too long");
    EXPECT_NE(access(tmp.file("brokenout").c_str(), F_OK), 0);
}
