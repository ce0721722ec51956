// The importers behind folium-dict: a dictd index and text read in offset order against reading
// the whole text in index order, and every bound and damage failing on the right file and line.
#include "import.h"
#include "testfiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <zlib.h>

namespace {
std::string repeated(const std::string &s, int n)
{
    std::string out;
    while (n-- > 0)
        out += s;
    return out;
}

// `bytes` in a new file at `path` (gzip-compressed when `gzip`), open for reading and writing.
int fileWith(const std::string &path, const std::string &bytes, bool gzip = false)
{
    if (gzFile f = gzip ? gzopen(path.c_str(), "wb1") : nullptr)
        gzwrite(f, bytes.data(), unsigned(bytes.size())), gzclose(f);
    else
        writeFile(path, bytes);
    return ::open(path.c_str(), O_RDWR | O_CLOEXEC);
}

struct Imported {
    dictimport::Outcome outcome;
    Entries entries;
    std::string name;
};

Imported importDictd(const TempDir &tmp, const std::string &index, const std::string &body, bool gzip,
                     const std::string &id = "", const dictimport::Limits &limits = {})
{
    const int in = fileWith(tmp.file("index"), index), text = fileWith(tmp.file("body"), body, gzip);
    const int scratch = fileWith(tmp.file("scratch"), ""), out = fileWith(tmp.file("out"), "");
    Imported r{dictimport::importDictd(in, text, scratch, id, out, limits), {}, {}};
    for (int fd : {in, text, scratch, out})
        ::close(fd);
    r.entries = entriesOf(tmp.file("out"), &r.name);
    return r;
}

Imported importTsv(const TempDir &tmp, const std::string &tsv, const dictimport::Limits &limits = {})
{
    const int in = fileWith(tmp.file("tsv"), tsv), out = fileWith(tmp.file("out"), "");
    Imported r{dictimport::importTsv(in, "", out, limits), {}, {}};
    ::close(in), ::close(out);
    r.entries = entriesOf(tmp.file("out"));
    return r;
}
} // namespace

// Random index lines, out of offset order, overlapping, past the end, malformed or naming a NUL,
// over a text longer than one read: the result must be what reading the whole text and taking the
// lines in index order gives. Texts are lines of "ab" and blanks, whose mark-up is just the
// trimmed lines in {s}{ss}...{/ss}{/s}.
TEST(DictdImport, AgreesWithReadingTheWholeTextInIndexOrder)
{
    std::mt19937 rng(11);
    const std::string title = "00-database-short\n  Random Words \n";
    std::string body = title;
    while (body.size() < 300000)
        body += "ab \n"[rng() % 4];
    for (int i = 0; i < 20; ++i)
        body[title.size() + rng() % (body.size() - title.size())] = '\0';
    auto markup = [](const std::string &text) {
        std::string lines;
        for (size_t at = 0, end; at <= text.size(); at = end + 1) {
            end = std::min(text.find('\n', at), text.size());
            const size_t b = text.find_first_not_of(' ', at);
            const size_t e = text.find_last_not_of(' ', end - 1);
            if (b < end)
                lines += (lines.empty() ? "" : "\n") + text.substr(b, e + 1 - b);
        }
        return "{s}{ss}" + lines + "{/ss}{/s}";
    };
    std::string index = "00-database-short\tA\t" + b64(title.size()) + "\n00-database-info\tB\tC\n";
    Entries expected;
    long skipped = 0;
    for (int i = 0; i < 600; ++i) {
        const std::string word = "W" + std::to_string(rng() % 400);
        const uint64_t off = rng() % (body.size() + 100), len = rng() % 6000;
        if (rng() % 10 == 0) {
            index += word + (rng() % 2 ? "\t" + b64(off) + "\n" : "\t*\tB\n");
            ++skipped;
            continue;
        }
        index += word + "\t" + b64(off) + "\t" + b64(len) + (rng() % 5 ? "\n" : "\textra\n");
        const std::string text = off + len <= body.size() ? body.substr(off, len) : std::string(1, '\0');
        if (text.find('\0') != std::string::npos)
            ++skipped;
        else
            expected.push_back({word, markup(text)});
    }
    TempDir tmp;
    for (bool gzip : {false, true}) {
        const Imported r = importDictd(tmp, index, body, gzip);
        ASSERT_TRUE(r.outcome.status.isOk()) << r.outcome.status.message();
        EXPECT_EQ(r.outcome.skipped, skipped);
        EXPECT_EQ(r.name, "Random Words");
        ASSERT_EQ(r.entries.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_TRUE(r.entries[i] == expected[i]) << "entry " << i << ": " << r.entries[i].first;
    }
    EXPECT_EQ(importDictd(tmp, index, body, true, "Given").name, "Given");
}

// Lines with a final CR, empty lines, escapes and a last line without LF become entries in file
// order.
TEST(TsvImport, LinesBecomeEntriesInFileOrder)
{
    TempDir tmp;
    const Imported good = importTsv(tmp, "pear\tfruit\r\n\nApple\ta\\nb\\\\c\\x\r\nz\t");
    ASSERT_TRUE(good.outcome.status.isOk());
    EXPECT_EQ(good.entries, (Entries{{"pear", "fruit"}, {"Apple", "a\nb\\c\\x"}, {"z", ""}}));
}

// Every bound and damage fails naming the file and line at fault: a dictd index or text past a
// limit or not gzip after all; a TSV line without a tab, with a NUL or too long.
TEST(Import, BoundsAndDamageFailOnTheRightFileAndLine)
{
    using dictimport::Source;
    const dictimport::Limits small{4096, 10000, 1 << 20}, tsv{64, 10000, 1000};
    const std::string gzipJunk = std::string("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10) + "not deflate at all";
    const struct {
        std::string index, body; // body "TSV": the index is a word list
        dictimport::Limits limits;
        Source source;
        long line;
        std::string message;
    } cases[] = {
        {"a\tA\tB\nbig\tA\tBAB\n", "x", small, Source::List, 2,
         "the entry for \"big\" is longer than 4096 bytes"},
        {"a\tA\t+A\nb\tA\t+A\nc\tA\t+A\n", "x", small, Source::List, 3,
         "the index names more than 10000 bytes of text"},
        {"a\tA\t" + b64(3000) + "\n", repeated("{x}", 1000), {4096, 5000, 1 << 20}, Source::Body, 0,
         "the dictionary would be larger than 5000 bytes"}, // each {x} becomes {sa}x{/sa}
        {"a\tA\tB\n" + std::string(200, 'w') + "\tA\tB\n", "x", {4096, 10000, 250}, Source::List, 2,
         "more headwords than 250 bytes of memory hold"},
        {"a\tA\tB\n", gzipJunk, small, Source::Body, 0, "cannot read"},
        {"a\tA\n\tB\tB\n" + std::string(70000, 'w') + "\tA\tB\nfar\tBAAA\tB\n", "x", small, Source::List, 0,
         "no entries"},
        {"a\tb\nno tab\n", "TSV", tsv, Source::List, 2, "no tab between word and sense"},
        {std::string("a\tb\0c\n", 6), "TSV", tsv, Source::List, 1, "NUL byte in word or sense"},
        {"a\tb\n\n" + std::string(65, 'x') + "\n", "TSV", tsv, Source::List, 3, "line longer than 64 bytes"},
        {"\r\n\n", "TSV", tsv, Source::List, 0, "no entries"},
        {repeated("w\tx\n", 30), "TSV", tsv, Source::List, 21, // 49 bytes held a word
         "more words than 1000 bytes of memory hold"},
    };
    TempDir tmp;
    for (const auto &c : cases) {
        const dictimport::Outcome o = c.body == "TSV" ? importTsv(tmp, c.index, c.limits).outcome
                                                      : importDictd(tmp, c.index, c.body, false, "", c.limits).outcome;
        EXPECT_EQ(o.status.message().compare(0, c.message.size(), c.message) ? o.status.message() : c.message,
                  c.message);
        EXPECT_TRUE(o.faultIn == c.source && o.line == c.line) << c.message << " at line " << o.line;
    }
}
