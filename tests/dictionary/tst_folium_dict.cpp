// The folium-dict tool end to end, in a temporary folder: build, lookup and import-dictd; inputs
// that are no regular files; hostile dictd inputs against its memory; which file a message names.
#include "testfiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <zlib.h>

namespace {
struct Result {
    int status; // -1 when killed, as after blocking for 30 s
    std::string out, err;
    long peakKb; // the run's peak resident memory
};

Result run(const TempDir &tmp, std::vector<std::string> args)
{
    const std::string out = tmp.file("stdout"), err = tmp.file("stderr");
    args.insert(args.begin(), FOLIUM_DICT_TOOL);
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(30);
        dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int st = 0;
    struct rusage usage = {};
    wait4(pid, &st, 0, &usage);
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, readFile(out), readFile(err), usage.ru_maxrss};
}
} // namespace

TEST(Tool, BuildsLooksUpAndImportsDictd)
{
    TempDir tmp;
    writeFile(tmp.file("w.tsv"), "pear\tfruit of the pear tree\nApple\tfruit\\nsecond line\n\ne-mail\tmail\nzebra\tstriped\\\\n animal\n");
    ASSERT_EQ(run(tmp, {"build", tmp.file("w.tsv"), tmp.file("d"), "--method", "shcm", "--id", "Test"}).status, 0);
    const Result found = run(tmp, {"lookup", tmp.file("d"), "apple", "email", "app", "zzz"});
    EXPECT_EQ(found.out, "exact\tApple\tfruit\\nsecond line\nexact\te-mail\tmail\n"
                         "closest\tApple\tfruit\\nsecond line\nclosest\tzebra\tstriped\\n animal\n");
    EXPECT_EQ(found.status, 0);

    const std::string body = "00-database-short\n   Test Dictionary\nhaus /haus/\n  house <neut>\n  see: {heim}, {x\nbaum\n  tree\n";
    const size_t h = body.find("haus"), t = body.find("baum");
    writeFile(tmp.file("t.dict"), body);
    writeFile(tmp.file("t.index"), "00-database-short\tA\t" + b64(h) + "\nbaum\t" + b64(t) + "\t" + b64(body.size() - t)
                                       + "\nbroken\t" + b64(90000) + "\tB\nhaus\t" + b64(h) + "\t" + b64(t - h) + "\n");
    const Result imported = run(tmp, {"import-dictd", tmp.file("t.index"), tmp.file("t.dict"), tmp.file("o")});
    ASSERT_EQ(imported.status, 0);
    EXPECT_EQ(imported.err, "folium-dict: " + tmp.file("t.index") + ": 1 index lines skipped\n");
    // Pronunciation, translations as lines of one sub-sense, cross-references, stray brackets as parentheses.
    EXPECT_EQ(run(tmp, {"lookup", tmp.file("o"), "Haus"}).out,
              "exact\thaus\t{pr}haus{/pr}{s}{ss}house (neut)\\nsee: {sa}heim{/sa}, (x{/ss}{/s}\n");
    EXPECT_NE(run(tmp, {"info", tmp.file("o")}).out.find("name\tTest Dictionary\n"), std::string::npos);
}

// A FIFO once blocked open() for ever: a folder or FIFO is refused at once, as input of every
// command. rewrite once named OUT for a fault in IN, and build named OUT for an empty list.
TEST(Tool, FailuresNameTheFileAtFaultWithoutBlocking)
{
    TempDir tmp;
    const std::string fifo = tmp.file("fifo"), folder = tmp.path, out = tmp.file("out"), body = tmp.file("body");
    const std::string notRegular = "not a regular file";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    writeFile(tmp.file("index"), "a\tA\tB\n");
    writeFile(body, "a");
    const RawDict tooLong{{{"max-entry-length", "20"}}, {{"short", "ok"}, {"long", std::string(40, 's')}}};
    writeFile(tmp.file("long.dic"), tooLong.bytes());
    writeFile(tmp.file("good.dic"), RawDict{{}, {{"a", "b"}}}.bytes());
    writeFile(tmp.file("empty.tsv"), "\n\n");
    const struct {
        std::vector<std::string> args;
        std::string named, message;
    } cases[] = {
        // lookup, info and rewrite open their dictionary alike; build and import-dictd their inputs.
        {{"lookup", fifo, "x"}, fifo, notRegular}, {{"build", fifo, out}, fifo, notRegular},
        {{"import-dictd", fifo, body, out}, fifo, notRegular},
        {{"import-dictd", tmp.file("index"), fifo, out}, fifo, notRegular},
        {{"build", folder, out}, folder, notRegular},
        {{"rewrite", tmp.file("long.dic"), out}, tmp.file("long.dic"), "entry too long"},
        {{"rewrite", tmp.file("good.dic"), tmp.file("no/out")}, tmp.file("no/out"), strerror(ENOENT)},
        {{"rewrite", tmp.file("good.dic"), tmp.file("good.dic")}, tmp.file("good.dic"),
         "cannot rewrite a dictionary onto itself"},
        {{"build", tmp.file("empty.tsv"), out}, tmp.file("empty.tsv"), "no entries"},
    };
    for (const auto &c : cases) {
        const Result r = run(tmp, c.args);
        EXPECT_EQ(r.err, "folium-dict: " + c.named + ": " + c.message + "\n") << c.args[0] << " " << c.args[1];
        EXPECT_EQ(r.status, 1);
    }
    EXPECT_NE(access(out.c_str(), F_OK), 0);
}

// An index naming a 1 MiB text 3000 times, a gzip text that inflates to 512 MiB and an entry
// over 1 MiB once ran out of memory or went through; memory now stays far below the text's size.
TEST(Tool, HostileDictdInputsStayInBoundedMemory)
{
    TempDir tmp;
    const size_t MiB = 1 << 20, inflated = 512 * MiB;
    std::string many;
    for (int i = 0; i < 3000; ++i)
        many += "w" + std::to_string(i) + "\tA\t" + b64(MiB) + "\n";
    writeFile(tmp.file("many.index"), many);
    writeFile(tmp.file("big.index"), "big\tA\t" + b64(MiB + 1) + "\n");
    writeFile(tmp.file("end.index"), "end\t" + b64(inflated - 100) + "\t" + b64(100) + "\n");
    writeFile(tmp.file("1mib"), std::string(MiB, 'a'));
    gzFile gz = gzopen(tmp.file("bomb.dz").c_str(), "wb1");
    const std::string chunk(MiB, 'a');
    for (size_t done = 0; done < inflated; done += MiB)
        gzwrite(gz, chunk.data(), unsigned(MiB));
    gzclose(gz);

    const struct {
        std::string index, body, err;
        int status;
    } cases[] = {
        {"many.index", "1mib", "many.index:2048: the index names more than 2 GiB of text", 1},
        {"big.index", "1mib", "big.index:1: the entry for \"big\" is longer than 1 MiB", 1},
        {"end.index", "bomb.dz", "", 0},
    };
    for (const auto &c : cases) {
        const Result r = run(tmp, {"import-dictd", tmp.file(c.index), tmp.file(c.body), tmp.file("out")});
        EXPECT_EQ(r.err, c.err.empty() ? "" : "folium-dict: " + tmp.file(c.err) + "\n");
        EXPECT_EQ(r.status, c.status);
        EXPECT_LT(r.peakKb, 256 * 1024) << c.index;
    }
    EXPECT_EQ(run(tmp, {"lookup", tmp.file("out"), "end"}).out,
              "exact\tend\t{s}{ss}" + std::string(100, 'a') + "{/ss}{/s}\n");
}
