// The folium-dict tool end to end: build, lookup, info, rewrite and import-dictd on files
// in a temporary folder.
#include "testfiles.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

namespace {

struct ToolRun {
    int status;
    std::string out;
};

ToolRun run(const std::string &args)
{
    std::string cmd = std::string(FOLIUM_DICT_TOOL) + " " + args + " 2>/dev/null";
    FILE *p = popen(cmd.c_str(), "r");
    ToolRun r{-1, ""};
    if (!p)
        return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

} // namespace

class Tool : public ::testing::TestWithParam<const char *> {};

TEST_P(Tool, BuildsLooksUpAndRewrites)
{
    const std::string method = GetParam();
    TempDir tmp;
    writeFile(tmp.file("words.tsv"), "pear\tfruit of the pear tree\n"
                                     "Apple\tfruit\\nsecond line\n"
                                     "\n"
                                     "e-mail\telectronic mail\n"
                                     "zebra\tstriped\\\\n animal\n");
    ASSERT_EQ(run("build " + tmp.file("words.tsv") + " " + tmp.file("d") + " --method " + method + " --id Test").status, 0);

    ToolRun r = run("lookup " + tmp.file("d") + " apple email app zzz");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "exact\tApple\tfruit\\nsecond line\n"
                     "exact\te-mail\telectronic mail\n"
                     "closest\tApple\tfruit\\nsecond line\n"
                     "closest\tzebra\tstriped\\n animal\n");

    r = run("info " + tmp.file("d"));
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("name\tTest\n"), std::string::npos);
    EXPECT_NE(r.out.find("compression\t" + method + "\n"), std::string::npos);
    EXPECT_NE(r.out.find("entries\t4\n"), std::string::npos);

    const std::string other = method == "shcm" ? "none" : "shcm";
    ASSERT_EQ(run("rewrite " + tmp.file("d") + " " + tmp.file("r") + " --method " + other + " --sort").status, 0);
    EXPECT_EQ(run("lookup " + tmp.file("r") + " PEAR").out, "exact\tpear\tfruit of the pear tree\n");
}

INSTANTIATE_TEST_SUITE_P(Methods, Tool, ::testing::Values("shcm", "none"));

TEST(ToolErrors, ReportOnStandardErrorWithStatusOne)
{
    TempDir tmp;
    EXPECT_EQ(run("lookup " + tmp.file("missing") + " word").status, 1);
    writeFile(tmp.file("bad"), "id=x\nnot a dictionary");
    EXPECT_EQ(run("lookup " + tmp.file("bad") + " word").status, 1);
    writeFile(tmp.file("notab.tsv"), "word without a tab\n");
    EXPECT_EQ(run("build " + tmp.file("notab.tsv") + " " + tmp.file("o")).status, 1);
    EXPECT_EQ(run("frobnicate").status, 2);
}

TEST(ToolImport, ReadsTheDictdFormat)
{
    TempDir tmp;
    // Entries as dictd stores them; offsets and lengths in its base-64 digits.
    std::string body = "00-database-short\n   Test Dictionary\nhaus /haus/\n  house <neut>\n  see: {heim}, {x\nbaum\n  tree\n";
    writeFile(tmp.file("t.dict"), body);
    auto b64 = [](size_t v) {
        const char *digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string s;
        do {
            s.insert(s.begin(), digits[v % 64]);
            v /= 64;
        } while (v);
        return s;
    };
    size_t h = body.find("haus"), t = body.find("baum");
    std::string index = "00-database-short\t" + b64(0) + "\t" + b64(h) + "\n"
                        "baum\t" + b64(t) + "\t" + b64(body.size() - t) + "\n"
                        "broken\t" + b64(90000) + "\tB\n"
                        "haus\t" + b64(h) + "\t" + b64(t - h) + "\n";
    writeFile(tmp.file("t.index"), index);
    ToolRun r = run("import-dictd " + tmp.file("t.index") + " " + tmp.file("t.dict") + " " + tmp.file("o"));
    ASSERT_EQ(r.status, 0);
    // The headword line's pronunciation, the translations as lines of one sub-sense, cross-references,
    // and brackets that would be mark-up turned into parentheses.
    EXPECT_EQ(run("lookup " + tmp.file("o") + " Haus").out,
              "exact\thaus\t{pr}haus{/pr}{s}{ss}house (neut)\\nsee: {sa}heim{/sa}, (x{/ss}{/s}\n");
    EXPECT_NE(run("info " + tmp.file("o")).out.find("name\tTest Dictionary\n"), std::string::npos);
    EXPECT_NE(run("info " + tmp.file("o")).out.find("entries\t2\n"), std::string::npos);
}
