// Opening a dictionary: properties, index, integrity, and damaged files.
#include "dictionary.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace {

std::unique_ptr<DictImpl> open(const std::string &path)
{
    return std::unique_ptr<DictImpl>(static_cast<DictImpl *>(Dictionary::create(path.c_str())));
}

RawDict tiny()
{
    RawDict d;
    d.entries = {{"apple", "fruit"}, {"pear", "fruit2"}};
    d.header = {{"id", "tiny"}, {"dict-size", "24"},
                {"index", indexRecord("APPLE", 0) + indexRecord("PEAR", 12)}};
    return d;
}

} // namespace

TEST(Dictionary, OpensTheTwoEntryExample)
{
    TempDir tmp;
    writeFile(tmp.file("d"), tiny().bytes());
    auto d = open(tmp.file("d"));
    ASSERT_EQ(d->getError(), "");
    EXPECT_EQ(d->getName(), "tiny");
    ASSERT_EQ(d->getIndex().size(), 2u);
    EXPECT_EQ(d->getIndex()[1].word, "PEAR");
    EXPECT_EQ(d->getIndex()[1].pos, d->getDataStart() + 12);
    EXPECT_EQ(d->getLastEntryPos(), d->getDataStart() + 12);
    EXPECT_EQ(d->getProperties().count("index"), 0u);
    // Looking properties up creates them empty.
    for (const char *p : {"max-word-length", "max-entry-length", "compression-method", "dict-size"})
        EXPECT_EQ(d->getProperties().count(p), 1u) << p;
    EXPECT_EQ(d->getProperties().at("search-ignore-chars"), "-.");
    ASSERT_TRUE(d->firstEntry());
    EXPECT_EQ(d->getWord(), "apple");
    EXPECT_EQ(d->getSense(), "fruit");
    ASSERT_TRUE(d->nextEntry());
    EXPECT_EQ(d->getSense(), "fruit2");
    EXPECT_FALSE(d->nextEntry());
    EXPECT_EQ(d->getWord(), "pear");
}

struct HeaderCase {
    const char *name;
    std::string headerText; // raw bytes before the NUL
    std::string property, value;
    int maxEntryLength;
};

class Header : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(Header, IsReadAsItsLinesSay)
{
    const HeaderCase c = GetParam();
    TempDir tmp;
    writeFile(tmp.file("d"), c.headerText + std::string(1, '\0') + "w\ns" + std::string(1, '\0'));
    auto d = open(tmp.file("d"));
    ASSERT_EQ(d->getError(), "");
    if (!c.property.empty()) {
        auto it = d->getProperties().find(c.property);
        ASSERT_NE(it, d->getProperties().end());
        EXPECT_EQ(it->second, c.value);
    }
    EXPECT_EQ(d->getMaxEntryLength(), c.maxEntryLength);
    ASSERT_TRUE(d->firstEntry());
    EXPECT_EQ(d->getWord(), "w");
}

INSTANTIATE_TEST_SUITE_P(Lines, Header, ::testing::Values(
    HeaderCase{"no_id", "x=1\n", "id", "", 16384},
    HeaderCase{"first_equals_splits", "a=b=c\n", "a", "b=c", 16384},
    HeaderCase{"escaped", "n\x1bnm=v\x1b" "0\x1b" "e\n", std::string("n\nm"), std::string("v\0\x1b", 3), 16384},
    HeaderCase{"later_wins", "a=1\na=2\n", "a", "2", 16384},
    HeaderCase{"no_equals_ignored", "junk\nb=3\n", "b", "3", 16384},
    HeaderCase{"empty_ignore_chars", "search-ignore-chars=\n", "search-ignore-chars", "-.", 16384},
    HeaderCase{"entry_length_100", "max-entry-length=100\n", "", "", 110},
    HeaderCase{"entry_length_hex", "max-entry-length=0x10\n", "", "", 26},
    HeaderCase{"entry_length_abc", "max-entry-length=abc\n", "", "", 16384},
    HeaderCase{"entry_length_100k", "max-entry-length=100k\n", "", "", 16384},
    HeaderCase{"entry_length_negative", "max-entry-length=-50\n", "", "", 16384},
    HeaderCase{"entry_length_huge", "max-entry-length=99999999999999\n", "", "", 16384},
    HeaderCase{"partial_line_before_nul", "a=1\nb=2", "a", "1", 16384},
    HeaderCase{"megabyte_line", "big=" + std::string(3 << 20, 'v') + "\n", "big", std::string(3 << 20, 'v'), 16384}),
    [](const ::testing::TestParamInfo<HeaderCase> &i) { return std::string(i.param.name); });

TEST(Dictionary, HeaderEndsAtAnEmptyLineOrBeforeAPartialLine)
{
    TempDir tmp;
    // After an empty line the data area begins, header lines and all.
    writeFile(tmp.file("d"), std::string("a=1\n\nb=2\n") + std::string(1, '\0') + "w\ns" + std::string(1, '\0'));
    auto d = open(tmp.file("d"));
    ASSERT_EQ(d->getError(), "");
    EXPECT_EQ(d->getProperties().count("b"), 0u);
    ASSERT_TRUE(d->firstEntry());
    EXPECT_EQ(d->getWord(), "b=2");

    writeFile(tmp.file("e"), std::string("a=1\nb=2") + std::string(1, '\0') + "w\ns" + std::string(1, '\0'));
    d = open(tmp.file("e"));
    EXPECT_EQ(d->getProperties().count("b"), 0u);
    ASSERT_TRUE(d->firstEntry());
    EXPECT_EQ(d->getWord(), "w");
}

struct IntegrityCase {
    const char *name;
    std::string bytes;
    bool ok;
};

class Integrity : public ::testing::TestWithParam<IntegrityCase> {};

TEST_P(Integrity, IsCheckedOnOpening)
{
    TempDir tmp;
    writeFile(tmp.file("d"), GetParam().bytes);
    auto d = open(tmp.file("d"));
    EXPECT_EQ(d->getError(), GetParam().ok ? "" : "Integrity failure");
}

namespace {
std::string withHeader(const std::vector<std::pair<std::string, std::string>> &h)
{
    RawDict d = tiny();
    d.header = h;
    return d.bytes();
}

// 100 entries with a record for each; record 79 or 80 moved one byte into its entry.
std::string hundred(int shiftedRecord)
{
    RawDict d;
    for (int i = 0; i < 100; ++i) {
        char w[8];
        std::snprintf(w, sizeof w, "w%03d", i);
        d.entries.push_back({w, "sense"});
    }
    std::vector<long> off = d.offsets();
    std::string idx;
    for (int i = 0; i < 100; ++i) {
        char w[8];
        std::snprintf(w, sizeof w, "W%03d", i);
        idx += indexRecord(w, off[size_t(i)] + (i == shiftedRecord ? 1 : 0));
    }
    d.header = {{"index", idx}};
    return d.bytes();
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Files, Integrity, ::testing::Values(
    IntegrityCase{"sound", tiny().bytes(), true},
    IntegrityCase{"cut_by_one", tiny().bytes().substr(0, tiny().bytes().size() - 1), false},
    IntegrityCase{"size_hex_match", withHeader({{"dict-size", "0x18"}}), true},
    IntegrityCase{"size_mismatch", withHeader({{"dict-size", "25"}}), false},
    IntegrityCase{"size_with_space_skipped", withHeader({{"dict-size", "99 "}}), true},
    IntegrityCase{"no_index_no_size", withHeader({}), true},
    IntegrityCase{"record_80_shifted", hundred(80), false},
    IntegrityCase{"record_79_shifted_undetected", hundred(79), true},
    IntegrityCase{"index_beyond_data", withHeader({{"index", indexRecord("APPLE", 0) + indexRecord("PEAR", 400)}}), false},
    IntegrityCase{"index_out_of_order", withHeader({{"index", indexRecord("APPLE", 12) + indexRecord("PEAR", 0)}}), false},
    IntegrityCase{"empty_data_area", std::string("id=x\n") + std::string(1, '\0'), false},
    IntegrityCase{"no_header_nul", std::string("id=x\nsense") + std::string(1, '\0'), false},
    IntegrityCase{"empty_file", "", false},
    IntegrityCase{"one_nul", std::string(1, '\0'), false}),
    [](const ::testing::TestParamInfo<IntegrityCase> &i) { return std::string(i.param.name); });

TEST(Dictionary, UnparsableIndexOffsetDropsTheWholeIndex)
{
    RawDict d;
    for (int i = 0; i < 10; ++i)
        d.entries.push_back({std::string(1, char('a' + i)), "s"});
    std::vector<long> off = d.offsets();
    // The third record's offset is "12x".
    d.header = {{"index", indexRecord("A", off[0]) + indexRecord("C", off[2]) + std::string(1, '\0') + "E\n12x"}};
    TempDir tmp;
    writeFile(tmp.file("d"), d.bytes());
    auto dict = open(tmp.file("d"));
    ASSERT_EQ(dict->getError(), "");
    EXPECT_TRUE(dict->getIndex().empty());
    bool prefix = false;
    EXPECT_TRUE(dict->findEntry("g", prefix));
    EXPECT_EQ(dict->getWord(), "g");
}

TEST(Dictionary, MissingFileAndSpecialPaths)
{
    {
        auto d = open("/nonexistent/folium/dict");
        EXPECT_NE(d->getError(), "");
        bool prefix = false;
        EXPECT_FALSE(d->findEntry("x", prefix));
        EXPECT_FALSE(d->firstEntry());
        EXPECT_FALSE(d->nextEntry());
        EXPECT_FALSE(d->randomEntry());
        EXPECT_FALSE(d->xerox(std::string("/tmp/folium-never-written"), "none", false));
    }
    TempDir tmp;
    auto dir = open(tmp.file(""));
    EXPECT_NE(dir->getError(), "");
}

TEST(Dictionary, SingleEntryStartsTheDataArea)
{
    TempDir tmp;
    RawDict d;
    d.entries = {{"only", "one"}};
    writeFile(tmp.file("d"), d.bytes());
    auto dict = open(tmp.file("d"));
    ASSERT_EQ(dict->getError(), "");
    EXPECT_EQ(dict->getLastEntryPos(), dict->getDataStart());
    EXPECT_TRUE(dict->lastEntry());
    EXPECT_EQ(dict->getSense(), "one");
}

TEST(Dictionary, EntriesLongerThanTheBuffer)
{
    TempDir tmp;
    RawDict d;
    d.header = {{"max-entry-length", "20"}};
    d.entries = {{"short", "ok"}, {"longsense", std::string(40, 's')}, {std::string(40, 'w'), "x"}, {"z", "end"}};
    writeFile(tmp.file("d"), d.bytes());
    auto dict = open(tmp.file("d"));
    ASSERT_EQ(dict->getError(), "");
    ASSERT_TRUE(dict->firstEntry());
    EXPECT_FALSE(dict->nextEntry());
    EXPECT_EQ(dict->getError(), "entry too long");
    EXPECT_FALSE(dict->nextEntry()); // steps on from currentPos by scanning
    EXPECT_EQ(dict->getError(), "invalid format");
    EXPECT_TRUE(dict->nextEntry());
    EXPECT_EQ(dict->getWord(), "z");
}

// Cutting a file at every length and flipping every byte must fail cleanly (or read
// something) without reading outside any buffer; run under the sanitizers.
class Damage : public ::testing::TestWithParam<bool> {};

namespace {
void exercise(DictImpl &d)
{
    bool prefix = false;
    for (const char *w : {"apple", "m", "zzz", "", "PEAR", "\xc3\xa9t\xc3\xa9"})
        d.findEntry(w, prefix);
    d.getSense();
    int steps = 0;
    if (d.firstEntry())
        while (d.nextEntry() && ++steps < 1000)
            d.getSense();
    d.lastEntry();
    d.getSense();
    d.randomEntry();
    d.getSense();
}

std::string sampleFile(bool compressed)
{
    TempDir tmp;
    RawDict d;
    const char *words[] = {"apple", "banana", "cherry", "e-mail", "pear", "quince", "\xc3\xa9t\xc3\xa9", "zebra"};
    for (const char *w : words)
        d.entries.push_back({w, std::string("sense of ") + w + "\nsecond line"});
    d.header = {{"id", "sample"}};
    writeFile(tmp.file("src"), d.bytes());
    std::unique_ptr<DictImpl> src(static_cast<DictImpl *>(Dictionary::create(tmp.file("src").c_str())));
    EXPECT_TRUE(src->xerox(tmp.file("out"), compressed ? "shcm" : "none", true));
    return readFile(tmp.file("out"));
}
} // namespace

TEST_P(Damage, CutAndFlippedFilesFailCleanly)
{
    const std::string good = sampleFile(GetParam());
    ASSERT_FALSE(good.empty());
    TempDir tmp;
    const std::string path = tmp.file("d");
    for (size_t cut = 0; cut < good.size(); ++cut) {
        writeFile(path, good.substr(0, cut));
        auto d = open(path);
        EXPECT_NE(d->getError(), "") << "cut at " << cut;
        exercise(*d);
    }
    std::mt19937 rng(4);
    for (size_t at = 0; at < good.size(); ++at) {
        std::string bad = good;
        bad[at] = char(bad[at] ^ (1 << (rng() % 8)));
        writeFile(path, bad);
        auto d = open(path);
        exercise(*d);
        bad[at] = char(rng());
        writeFile(path, bad);
        auto d2 = open(path);
        exercise(*d2);
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, Damage, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &i) { return i.param ? "shcm" : "none"; });
