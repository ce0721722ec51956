// Opening a dictionary (header, escaping, integrity, damaged files) and rewriting one.
#include "testfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>

namespace {
const std::string NUL(1, '\0'), E = "\x1b";

std::string tinyWith(const std::vector<std::pair<std::string, std::string>> &header)
{
    return RawDict{header, {{"apple", "fruit"}, {"pear", "fruit2"}}}.bytes(); // pear at 12, data size 24
}
} // namespace

// The first '=' splits; escapes are decoded, unknown and final ones dropped; lines without
// '=', after an empty line or cut by the NUL are no properties; max-entry-length counts only
// when it parses whole.
TEST(Dictionary, HeaderIsReadAsItsLinesSay)
{
    const struct { std::string text, property, value; int maxEntry; std::string firstWord; } cases[] = {
        {"a=b=c\n", "a", "b=c", 16384, "w"},
        {"n" + E + "nm=v" + E + "0" + E + "e" + E + "x" + E + "\n", "n\nm", std::string("v\0\x1b", 3), 16384, "w"},
        {"junk\na=1\nb=2", "b", "<none>", 16384, "w"},
        {"a=1\n\nb=2\n", "b", "<none>", 16384, "b=2"}, {"search-ignore-chars=\n", "search-ignore-chars", "-.", 16384, "w"},
        {"max-entry-length=0x10\n", "a", "<none>", 26, "w"}, {"max-entry-length=100k\n", "a", "<none>", 16384, "w"},
        {"max-entry-length=-50\n", "a", "<none>", 16384, "w"}, {"max-entry-length=99999999999999\n", "a", "<none>", 16384, "w"},
        {"big=" + std::string(3 << 20, 'v') + "\n", "big", std::string(3 << 20, 'v'), 16384, "w"}};
    TempDir tmp;
    for (const auto &c : cases) {
        writeFile(tmp.file("d"), c.text + NUL + "w\ns" + NUL);
        auto d = openDict(tmp.file("d"));
        auto it = d->getProperties().find(c.property);
        EXPECT_EQ(it == d->getProperties().end() ? "<none>" : it->second, c.value) << c.property;
        EXPECT_EQ(d->getMaxEntryLength(), c.maxEntry) << c.text.substr(0, 40);
        ASSERT_TRUE(d->getError() == "" && d->firstEntry());
        EXPECT_EQ(d->getWord(), c.firstWord);
    }
}

TEST(Dictionary, IntegrityIsCheckedOnOpening)
{
    const std::string sound = tinyWith({{"dict-size", "24"}, {"index", indexRecord("APPLE", 0) + indexRecord("PEAR", 12)}});
    const std::pair<std::string, bool> cases[] = {
        {sound, true}, {sound.substr(0, sound.size() - 1), false}, {NUL, false},
        {tinyWith({{"dict-size", "0x18"}}), true}, {tinyWith({{"dict-size", "25"}}), false},
        {tinyWith({{"dict-size", "99 "}}), true}, // not a whole number: not checked
        {tinyWith({{"index", indexRecord("APPLE", 1) + indexRecord("PEAR", 12)}}), false}, // not at an entry
        // Indexes pointing outside the data area, backwards or unparsable are dropped.
        {tinyWith({{"index", indexRecord("APPLE", 0) + indexRecord("PEAR", 400)}}), false},
        {tinyWith({{"index", indexRecord("APPLE", 12) + indexRecord("PEAR", 0)}}), false},
        {tinyWith({{"index", indexRecord("APPLE", 0) + NUL + "PEAR\n12x"}}), true}};
    TempDir tmp;
    for (const auto &c : cases) {
        writeFile(tmp.file("d"), c.first);
        auto d = openDict(tmp.file("d"));
        EXPECT_EQ(d->getError(), c.second ? "" : "Integrity failure") << DictImpl::escape(c.first.substr(0, 60));
        bool prefix = false;
        EXPECT_TRUE(&c < &cases[7] || (d->getIndex().empty() && d->findEntry("apple", prefix) && d->getSense() == "fruit"));
    }
}

// A FIFO once blocked opening for ever. Nothing but a regular file opens, and what does not open
// fails every operation; rewriting into a FIFO without a reader fails at once, leaving it in place.
TEST(Dictionary, MissingAndNonRegularFilesFailWithoutBlocking)
{
    TempDir tmp;
    ASSERT_EQ(mkfifo(tmp.file("fifo").c_str(), 0600), 0);
    writeFile(tmp.file("d"), tinyWith({}));
    alarm(20); // a blocked open ends the test
    const std::pair<std::string, int> cases[] = {
        {tmp.file("fifo"), ENXIO}, {"/dev/null", ENXIO}, {tmp.path, EISDIR}, {tmp.file("missing"), ENOENT}};
    for (const auto &[path, error] : cases) {
        auto d = openDict(path);
        bool prefix = false;
        EXPECT_EQ(d->getError(), std::strerror(error)) << path;
        EXPECT_FALSE(d->findEntry("x", prefix) || d->firstEntry() || d->nextEntry() || d->randomEntry()
                     || d->xerox(tmp.file("out"), "none", false));
    }
    auto d = openDict(tmp.file("d"));
    EXPECT_TRUE(!d->xerox(tmp.file("fifo"), "none", false) && d->failedWriting());
    alarm(0);
    struct stat st;
    EXPECT_TRUE(::stat(tmp.file("fifo").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

// A code table with no symbols, an incomplete code (two symbols of length 2, or just one) or
// an over-subscribed one (three of length 1) decoded every entry to nothing; such a file is
// refused when opened. A writer makes complete codes, and one symbol of length 1 when a file
// holds a single byte value or none at all; those open and read back.
TEST(Dictionary, CodeTablesThatDescribeNoCompleteCodeAreRefused)
{
    auto table = [](std::vector<std::pair<int, int>> lengths) { // 5-bit fields for all 256 values
        std::vector<uint32_t> words(42, 0);
        words[0] = 5u << 28;
        for (const auto &[value, length] : lengths)
            for (int bit = 0, at = 16 + 5 * value; bit < 5; ++bit, ++at)
                words[size_t(at / 32)] |= uint32_t((length >> (4 - bit)) & 1) << (31 - at % 32);
        std::string bytes;
        for (uint32_t w : words)
            bytes += {char(w), char(w >> 8), char(w >> 16), char(w >> 24)};
        return bytes;
    };
    TempDir tmp;
    const std::vector<std::pair<int, int>> complete = {{'a', 1}, {'b', 2}, {'c', 2}};
    for (const auto &lengths : std::vector<std::vector<std::pair<int, int>>>{
             {}, {{'a', 2}, {'b', 2}}, {{'a', 2}}, {{'a', 1}, {'b', 1}, {'c', 1}}, complete}) {
        const std::string tree = DictImpl::escape(table(lengths));
        writeFile(tmp.file("d"), tinyWith({{"compression-method", "shcm"}, {"shcm-tree", tree}}));
        EXPECT_EQ(openDict(tmp.file("d"))->getError(), lengths == complete ? "" : "invalid format");
    }
    for (const RawDict &src : {RawDict{{}, {{"aa", "aaaa"}, {"a", ""}}}, RawDict{{}, {{"", ""}}}}) {
        writeFile(tmp.file("src"), src.bytes());
        ASSERT_TRUE(openDict(tmp.file("src"))->xerox(tmp.file("c"), "shcm", false));
        auto c = openDict(tmp.file("c"));
        ASSERT_TRUE(c->getError().empty() && c->firstEntry());
        EXPECT_EQ(c->getWord() + "|" + c->getSense(), src.entries[0].first + "|" + src.entries[0].second);
    }
}

// An entry longer than the buffer is reported and the walk steps on past it, but a rewrite
// fails and leaves no file. Nor is a dictionary rewritten onto itself or a full disk.
TEST(Dictionary, EntriesLongerThanTheBufferAndFailedRewrites)
{
    RawDict d{{{"max-entry-length", "20"}}, {{"short", "ok"}, {"long", std::string(40, 's')}, {std::string(40, 'w'), "x"}, {"z", "end"}}};
    TempDir tmp;
    writeFile(tmp.file("d"), d.bytes());
    auto dict = openDict(tmp.file("d"));
    EXPECT_FALSE(dict->xerox(tmp.file("d"), "shcm", true));
    EXPECT_EQ(readFile(tmp.file("d")), d.bytes());
    EXPECT_FALSE(dict->xerox(tmp.file("no/such/dir/out"), "none", false));
    EXPECT_TRUE(!dict->xerox(tmp.file("out"), "none", false) && dict->getError() == "entry too long");
    EXPECT_NE(access(tmp.file("out").c_str(), F_OK), 0);
    ASSERT_TRUE(dict->firstEntry());
    EXPECT_TRUE(!dict->nextEntry() && dict->getError() == "entry too long");
    EXPECT_TRUE(!dict->nextEntry() && dict->getError() == "invalid format");
    EXPECT_TRUE(dict->nextEntry() && dict->getWord() == "z");
    writeFile(tmp.file("t"), tinyWith({}));
    const int full = ::open("/dev/full", O_WRONLY);
    EXPECT_TRUE(full < 0 || !openDict(tmp.file("t"))->xerox(full, "shcm", true));
    ::close(full);
}

// Files cut at every length fail; cut or with any byte changed, nothing reads outside a
// buffer (run under the sanitizers).
class Damage : public ::testing::TestWithParam<const char *> {};

TEST_P(Damage, CutAndFlippedFilesFailCleanly)
{
    TempDir tmp;
    RawDict src;
    for (const char *w : {"apple", "banana", "e-mail", "pear", "quince", "\xc3\xa9t\xc3\xa9", "zebra"})
        src.entries.push_back({w, std::string("sense of ") + w + "\nsecond line"});
    writeFile(tmp.file("src"), src.bytes());
    ASSERT_TRUE(openDict(tmp.file("src"))->xerox(tmp.file("good"), GetParam(), true));
    const std::string good = readFile(tmp.file("good")), path = tmp.file("d");
    std::mt19937 rng(4);
    auto exercise = [&](const std::string &bytes, bool mustFail) { // what a reader would do
        writeFile(path, bytes);
        auto d = openDict(path);
        EXPECT_TRUE(!mustFail || d->getError() != "") << "cut at " << bytes.size();
        bool prefix = false;
        for (const char *w : {"apple", "m", "zzz", "", "PEAR", "\xc3\xa9t\xc3\xa9"})
            d->findEntry(w, prefix), d->getSense();
        for (int steps = 0; steps < 1000 && (steps ? d->nextEntry() : d->firstEntry()); ++steps)
            d->getSense();
        d->lastEntry(), d->getSense(), d->randomEntry(), d->getSense();
    };
    for (size_t at = 0; at < good.size(); ++at) {
        exercise(good.substr(0, at), true);
        std::string bad = good;
        bad[at] = char(bad[at] ^ (1 << (rng() % 8)));
        exercise(bad, false);
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, Damage, ::testing::Values("none", "shcm"));

// Unsorted entries with LF and ESC in their senses, rewritten twice through both methods.
// The last sense holds bytes that occur once: their long codes make its stored form longer
// than any decoded entry, and the written buffer size must cover that.
TEST(Xerox, RoundTripsThroughBothMethods)
{
    std::mt19937 rng(17);
    RawDict src{{{"id", "sample"}, {"custom", "kept=as is\nwith LF"}}, {}};
    for (int i = 0; i < 3000; ++i) {
        std::string w(1 + rng() % 9, 'a'), s(rng() % 200, 'a');
        std::generate(w.begin(), w.end(), [&] { return char('a' + rng() % 26); });
        std::generate(s.begin(), s.end(), [&] { return rng() % 5 == 0 ? '\n' : rng() % 3 == 0 ? '\x1b' : char('a' + rng() % 26); });
        src.entries.push_back({w, s});
    }
    src.entries.push_back({"zz", ""});
    for (int v = 1; v < 256; ++v)
        src.entries.back().second += char(v == '\n' ? 'x' : v);
    TempDir tmp;
    writeFile(tmp.file("src"), src.bytes());
    for (bool shcmFirst : {false, true}) {
        auto a = openDict(tmp.file("src"));
        ASSERT_TRUE(a->xerox(tmp.file("one"), shcmFirst ? "shcm" : "none", !shcmFirst));
        auto b = openDict(tmp.file("one"));
        ASSERT_TRUE(b->xerox(tmp.file("two"), shcmFirst ? "none" : "shcm", false));
        auto c = openDict(tmp.file("two"));
        ASSERT_EQ(b->getError() + c->getError(), "");
        EXPECT_EQ(c->getProperties().at("custom"), "kept=as is\nwith LF");
        auto expected = src.entries;
        std::stable_sort(expected.begin(), expected.end(), [&](const auto &x, const auto &y) {
            return !shcmFirst && a->canonizeWord(x.first) < a->canonizeWord(y.first);
        });
        EXPECT_TRUE(entriesOf(tmp.file("one")) == expected && entriesOf(tmp.file("two")) == expected);
        // Opening checked dict-size; the index covers the first and last entries.
        EXPECT_TRUE(c->getIndex().size() >= 2 && c->getIndex().front().pos == c->getDataStart() && c->getIndex().back().pos == c->getLastEntryPos());
    }
}
