// The folium-dict tool end to end: build, lookup and import-dictd in a temporary folder.
#include "testfiles.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

namespace {
int status = -1;

std::string run(const std::string &args)
{
    FILE *p = popen((std::string(FOLIUM_DICT_TOOL) + " " + args + " 2>/dev/null").c_str(), "r");
    std::string out;
    char buf[4096];
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    const int st = p ? pclose(p) : -1;
    status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

std::string b64(size_t v) // dictd's base-64 numbers
{
    return (v >= 64 ? b64(v / 64) : "") + "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"[v % 64];
}
} // namespace

TEST(Tool, BuildsLooksUpAndImportsDictd)
{
    TempDir tmp;
    writeFile(tmp.file("w.tsv"), "pear\tfruit of the pear tree\nApple\tfruit\\nsecond line\n\ne-mail\tmail\nzebra\tstriped\\\\n animal\n");
    run("build " + tmp.file("w.tsv") + " " + tmp.file("d") + " --method shcm --id Test");
    ASSERT_EQ(status, 0);
    EXPECT_EQ(run("lookup " + tmp.file("d") + " apple email app zzz"), "exact\tApple\tfruit\\nsecond line\nexact\te-mail\tmail\n"
                                                                      "closest\tApple\tfruit\\nsecond line\nclosest\tzebra\tstriped\\n animal\n");
    EXPECT_EQ(status, 0);

    const std::string body = "00-database-short\n   Test Dictionary\nhaus /haus/\n  house <neut>\n  see: {heim}, {x\nbaum\n  tree\n";
    const size_t h = body.find("haus"), t = body.find("baum");
    writeFile(tmp.file("t.dict"), body);
    writeFile(tmp.file("t.index"), "00-database-short\tA\t" + b64(h) + "\nbaum\t" + b64(t) + "\t" + b64(body.size() - t)
                                       + "\nbroken\t" + b64(90000) + "\tB\nhaus\t" + b64(h) + "\t" + b64(t - h) + "\n");
    run("import-dictd " + tmp.file("t.index") + " " + tmp.file("t.dict") + " " + tmp.file("o"));
    ASSERT_EQ(status, 0);
    // Pronunciation, translations as lines of one sub-sense, cross-references, stray brackets as parentheses.
    EXPECT_EQ(run("lookup " + tmp.file("o") + " Haus"), "exact\thaus\t{pr}haus{/pr}{s}{ss}house (neut)\\nsee: {sa}heim{/sa}, (x{/ss}{/s}\n");
    EXPECT_NE(run("info " + tmp.file("o")).find("name\tTest Dictionary\n"), std::string::npos);
}
