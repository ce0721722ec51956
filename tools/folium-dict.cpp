// folium-dict: a command-line front end to the dictionary engine.
//
//   folium-dict lookup DICT WORD...
//   folium-dict info DICT
//   folium-dict rewrite IN OUT [--method shcm|none] [--sort]
//   folium-dict build TSV OUT [--method shcm|none] [--id NAME]
//   folium-dict import-dictd INDEX DICT OUT [--method shcm|none] [--id NAME]
//
// build and import read their inputs through the importers (dictionary/import.h) into a
// plain, unsorted dictionary in a temporary file beside OUT and let the engine's writer sort,
// compress and index it. Inputs are opened only when they are regular files.

#include "FileIo.h"
#include "dictionary.h"
#include "import.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

int usage()
{
    std::cerr << "usage: folium-dict lookup DICT WORD...\n"
                 "       folium-dict info DICT\n"
                 "       folium-dict rewrite IN OUT [--method shcm|none] [--sort]\n"
                 "       folium-dict build TSV OUT [--method shcm|none] [--id NAME]\n"
                 "       folium-dict import-dictd INDEX DICT OUT [--method shcm|none] [--id NAME]\n"
                 "TSV lines are word<TAB>sense; in a sense \\n stands for a line feed and \\\\ for a backslash.\n";
    return 2;
}

int fail(const std::string &what, const std::string &message)
{
    std::cerr << "folium-dict: " << what << ": " << message << "\n";
    return 1;
}

std::string openFailure(int err)
{
    return err == ENXIO || err == EISDIR ? "not a regular file" : std::strerror(err);
}

// The dictionary at path, or null after printing why it cannot be used. The engine reports a
// FIFO or device by the system's text for ENXIO; checking first says it in words.
std::unique_ptr<DictImpl> openDict(const std::string &path)
{
    const int fd = fileio::openRegularForReading(path.c_str());
    if (fd < 0) {
        fail(path, openFailure(errno));
        return nullptr;
    }
    ::close(fd);
    std::unique_ptr<DictImpl> d(static_cast<DictImpl *>(Dictionary::create(path.c_str())));
    if (!d->getError().empty()) {
        fail(path, d->getError());
        return nullptr;
    }
    return d;
}

struct Options {
    std::vector<std::string> args;
    std::string method;
    std::string id;
    bool sort = false;
    bool bad = false;
};

Options parse(int argc, char **argv, int first)
{
    Options o;
    for (int i = first; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--sort") {
            o.sort = true;
        } else if ((a == "--method" || a == "--id") && i + 1 < argc) {
            (a == "--method" ? o.method : o.id) = argv[++i];
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            o.bad = true;
        } else {
            o.args.push_back(a);
        }
    }
    if (!o.method.empty() && o.method != "shcm" && o.method != "none")
        o.bad = true;
    return o;
}

std::string shownSense(const std::string &s)
{
    std::string out;
    for (char c : s) {
        if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

int lookup(const Options &o)
{
    if (o.args.size() < 2)
        return usage();
    auto d = openDict(o.args[0]);
    if (!d)
        return 1;
    for (size_t i = 1; i < o.args.size(); ++i) {
        bool prefix = false;
        bool exact = d->findEntry(o.args[i], prefix);
        std::string sense = d->getSense();
        if (!d->getError().empty())
            return fail(o.args[0], d->getError());
        std::cout << (exact ? "exact" : "closest") << '\t' << d->getWord() << '\t' << shownSense(sense) << '\n';
    }
    return 0;
}

int info(const Options &o)
{
    if (o.args.size() != 1)
        return usage();
    auto d = openDict(o.args[0]);
    if (!d)
        return 1;
    struct stat st;
    long long dataSize = ::stat(o.args[0].c_str(), &st) == 0 ? (long long)st.st_size - d->getDataStart() : -1;
    long long entries = 0;
    if (d->firstEntry()) {
        do
            ++entries;
        while (d->nextEntry());
    }
    if (!d->getError().empty())
        return fail(o.args[0], d->getError());
    auto method = d->getProperties().find("compression-method");
    std::cout << "name\t" << d->getName() << "\n"
              << "compression\t" << (method == d->getProperties().end() || method->second.empty() ? "none" : method->second) << "\n"
              << "data size\t" << dataSize << "\n"
              << "index records\t" << d->getIndex().size() << "\n"
              << "entries\t" << entries << "\n";
    return 0;
}

int rewrite(const Options &o)
{
    if (o.args.size() != 2)
        return usage();
    auto d = openDict(o.args[0]);
    if (!d)
        return 1;
    std::string method = o.method;
    if (method.empty())
        method = d->isCompressed() ? "shcm" : "none";
    if (!d->xerox(o.args[1], method, o.sort))
        return fail(d->failedWriting() ? o.args[1] : o.args[0], d->getError());
    return 0;
}

// A file made beside `near` and removed again when this goes out of scope.
class TempFile
{
public:
    explicit TempFile(const std::string &near)
    {
        std::string name = near + ".tmp-XXXXXX";
        m_fd = ::mkstemp(&name[0]);
        if (m_fd >= 0)
            m_path = name;
    }
    ~TempFile()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
            ::unlink(m_path.c_str());
        }
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;

    int fd() const { return m_fd; }
    const std::string &path() const { return m_path; }

private:
    int m_fd = -1;
    std::string m_path;
};

// The inputs of build and import-dictd, opened only when they are regular files.
class InputFile
{
public:
    explicit InputFile(const std::string &path)
        : m_fd(fileio::openRegularForReading(path.c_str())), m_error(errno)
    {
    }
    ~InputFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    int fd() const { return m_fd; }
    std::string error() const { return openFailure(m_error); }

private:
    int m_fd;
    int m_error;
};

// Sorts, compresses and indexes the plain dictionary an importer wrote into `out`. A failure
// that is not in writing `out` lies in what the importer read, named by `input`.
int writeSorted(const TempFile &plain, const Options &o, const std::string &input, const std::string &out)
{
    auto d = openDict(plain.path());
    if (!d)
        return 1;
    if (!d->xerox(out, o.method.empty() ? "shcm" : o.method, true))
        return fail(d->failedWriting() ? out : input, d->getError());
    return 0;
}

// Names the file an importer's failure is about: the list (TSV or index), the dictd text or OUT.
int importFailure(const dictimport::Outcome &r, const std::string &list, const std::string &body,
                  const std::string &out)
{
    using dictimport::Source;
    const std::string &file = r.faultIn == Source::Output ? out : r.faultIn == Source::Body ? body : list;
    return fail(r.line > 0 ? file + ":" + std::to_string(r.line) : file, r.status.message());
}

int build(const Options &o)
{
    if (o.args.size() != 2)
        return usage();
    const std::string &tsv = o.args[0], &out = o.args[1];
    InputFile in(tsv);
    if (in.fd() < 0)
        return fail(tsv, in.error());
    TempFile plain(out);
    if (plain.fd() < 0)
        return fail(out, std::strerror(errno));
    const dictimport::Outcome r = dictimport::importTsv(in.fd(), o.id, plain.fd());
    if (!r.status.isOk())
        return importFailure(r, tsv, tsv, out);
    return writeSorted(plain, o, tsv, out);
}

int importDictd(const Options &o)
{
    if (o.args.size() != 3)
        return usage();
    const std::string &indexPath = o.args[0], &bodyPath = o.args[1], &out = o.args[2];
    InputFile index(indexPath), body(bodyPath);
    if (index.fd() < 0)
        return fail(indexPath, index.error());
    if (body.fd() < 0)
        return fail(bodyPath, body.error());
    TempFile plain(out), scratch(out);
    if (plain.fd() < 0 || scratch.fd() < 0)
        return fail(out, std::strerror(errno));
    const dictimport::Outcome r =
        dictimport::importDictd(index.fd(), body.fd(), scratch.fd(), o.id, plain.fd());
    if (r.skipped)
        std::cerr << "folium-dict: " << indexPath << ": " << r.skipped << " index lines skipped\n";
    if (!r.status.isOk())
        return importFailure(r, indexPath, bodyPath, out);
    return writeSorted(plain, o, indexPath, out);
}

int run(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    const std::string cmd = argv[1];
    Options o = parse(argc, argv, 2);
    if (o.bad)
        return usage();
    if (cmd == "lookup")
        return lookup(o);
    if (cmd == "info")
        return info(o);
    if (cmd == "rewrite")
        return rewrite(o);
    if (cmd == "build")
        return build(o);
    if (cmd == "import-dictd")
        return importDictd(o);
    return usage();
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        std::cerr << "folium-dict: out of memory\n";
        return 1;
    }
}
