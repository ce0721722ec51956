// folium-dict: a command-line front end to the dictionary engine.
//
//   folium-dict lookup DICT WORD...
//   folium-dict info DICT
//   folium-dict rewrite IN OUT [--method shcm|none] [--sort]
//   folium-dict build TSV OUT [--method shcm|none] [--id NAME]
//   folium-dict import-dictd INDEX DICT OUT [--method shcm|none] [--id NAME]
//
// build and import write a plain, unsorted dictionary to a temporary file beside OUT and
// let the engine's writer sort, compress and index it.

#include "dictionary.h"
#include "FileIo.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

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

std::unique_ptr<DictImpl> openDict(const std::string &path)
{
    return std::unique_ptr<DictImpl>(static_cast<DictImpl *>(Dictionary::create(path.c_str())));
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
    if (!d->getError().empty())
        return fail(o.args[0], d->getError());
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
    if (!d->getError().empty())
        return fail(o.args[0], d->getError());
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
    if (!d->getError().empty())
        return fail(o.args[0], d->getError());
    std::string method = o.method;
    if (method.empty())
        method = d->isCompressed() ? "shcm" : "none";
    if (!d->xerox(o.args[1], method, o.sort))
        return fail(o.args[1], d->getError());
    return 0;
}

// Writes the entries as a plain dictionary to a temporary file beside out, then rewrites
// it sorted into out.
int writeSorted(const Entries &entries, const std::string &id, const std::string &method, const std::string &out)
{
    if (entries.empty())
        return fail(out, "no entries");
    std::string tmpl = out + ".tmp-XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        return fail(out, std::strerror(errno));
    const std::string tmp(name.data());
    size_t longest = 0;
    for (const auto &e : entries)
        longest = std::max(longest, e.first.size() + e.second.size() + 2);
    std::string data;
    if (!id.empty())
        data += "id=" + DictImpl::escape(id) + "\n";
    data += "max-entry-length=" + std::to_string(longest) + "\n";
    data += '\0';
    for (const auto &e : entries) {
        data += e.first;
        data += '\n';
        data += e.second;
        data += '\0';
    }
    bool ok = fileio::writeAll(fd, data.data(), data.size());
    if (::close(fd) != 0)
        ok = false;
    if (!ok) {
        ::unlink(tmp.c_str());
        return fail(tmp, std::strerror(errno));
    }
    auto d = openDict(tmp);
    int rc = 0;
    if (!d->getError().empty())
        rc = fail(tmp, d->getError());
    else if (!d->xerox(out, method.empty() ? "shcm" : method, true))
        rc = fail(out, d->getError());
    d.reset();
    ::unlink(tmp.c_str());
    return rc;
}

bool storable(const std::string &word, const std::string &sense)
{
    return word.find('\n') == std::string::npos && word.find('\0') == std::string::npos
        && sense.find('\0') == std::string::npos;
}

int build(const Options &o)
{
    if (o.args.size() != 2)
        return usage();
    std::ifstream in(o.args[0], std::ios::binary);
    if (!in)
        return fail(o.args[0], std::strerror(errno));
    Entries entries;
    std::string line;
    long lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        size_t tab = line.find('\t');
        if (tab == std::string::npos)
            return fail(o.args[0] + ":" + std::to_string(lineNo), "no tab between word and sense");
        std::string word = line.substr(0, tab), sense;
        for (size_t i = tab + 1; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == 'n' || line[i + 1] == '\\')) {
                sense += line[i + 1] == 'n' ? '\n' : '\\';
                ++i;
            } else {
                sense += line[i];
            }
        }
        if (!storable(word, sense))
            return fail(o.args[0] + ":" + std::to_string(lineNo), "NUL byte in word or sense");
        entries.push_back({word, sense});
    }
    return writeSorted(entries, o.id, o.method, o.args[1]);
}

// dictd index numbers: base-64 digits A-Z a-z 0-9 + /, most significant first.
bool decodeB64(const std::string &s, unsigned long long &v)
{
    static const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (s.empty() || s.size() > 10)
        return false;
    v = 0;
    for (char c : s) {
        size_t d = digits.find(c);
        if (d == std::string::npos)
            return false;
        v = v * 64 + d;
    }
    return true;
}

bool readAll(const std::string &path, std::string &out)
{
    gzFile f = gzopen(path.c_str(), "rb"); // reads plain and gzip (dictzip) alike
    if (!f)
        return false;
    char buf[1 << 16];
    int n;
    while ((n = gzread(f, buf, sizeof buf)) > 0)
        out.append(buf, size_t(n));
    bool ok = n == 0;
    gzclose(f);
    return ok;
}

std::string trimmed(const std::string &s)
{
    size_t b = s.find_first_not_of("\n\r\t ");
    if (b == std::string::npos)
        return "";
    size_t e = s.find_last_not_of("\n\r\t ");
    return s.substr(b, e - b + 1);
}

// A dictd entry is plain text: the headword line (often with a /pronunciation/), then the
// translations, with {word} marking cross-references. It becomes this format's sense mark-up:
// {pr} for the pronunciation, one {s}{ss} section whose lines are the translations, {sa} for the
// cross-references. Stray braces, and the angle brackets of grammar notes such as <pl>, become
// parentheses so the mark-up stays well formed and nothing is taken for a page tag.
std::string dictdToMarkup(const std::string &word, const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string l = trimmed(text.substr(start, end - start));
        if (!l.empty())
            lines.push_back(l);
        start = end + 1;
    }
    std::string pronunciation;
    if (!lines.empty() && lines.front().compare(0, word.size(), word) == 0) {
        const std::string rest = trimmed(lines.front().substr(word.size()));
        if (rest.size() >= 2 && rest.front() == '/' && rest.back() == '/')
            pronunciation = rest.substr(1, rest.size() - 2);
        lines.erase(lines.begin());
    }
    auto convert = [](const std::string &l) {
        std::string out;
        for (size_t i = 0; i < l.size(); ++i) {
            if (l[i] == '{') {
                const size_t close = l.find('}', i + 1);
                const size_t nested = l.find('{', i + 1);
                if (close != std::string::npos && (nested == std::string::npos || nested > close) && close > i + 1) {
                    out += "{sa}" + l.substr(i + 1, close - i - 1) + "{/sa}";
                    i = close;
                    continue;
                }
                out += '(';
            } else if (l[i] == '}') {
                out += ')';
            } else if (l[i] == '<' || l[i] == '>') {
                out += l[i] == '<' ? '(' : ')';  // angle brackets are tags on the page
            } else {
                out += l[i];
            }
        }
        return out;
    };
    std::string out;
    if (!pronunciation.empty())
        out += "{pr}" + convert(pronunciation) + "{/pr}";
    out += "{s}{ss}";
    for (size_t i = 0; i < lines.size(); ++i)
        out += (i ? "\n" : "") + convert(lines[i]);
    out += "{/ss}{/s}";
    return out;
}

int importDictd(const Options &o)
{
    if (o.args.size() != 3)
        return usage();
    std::ifstream index(o.args[0], std::ios::binary);
    if (!index)
        return fail(o.args[0], std::strerror(errno));
    std::string body;
    if (!readAll(o.args[1], body))
        return fail(o.args[1], "cannot read");
    Entries entries;
    std::string id = o.id;
    std::string line;
    long lineNo = 0, skipped = 0;
    while (std::getline(index, line)) {
        ++lineNo;
        size_t t1 = line.find('\t');
        size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
        if (t2 == std::string::npos) {
            ++skipped;
            continue;
        }
        size_t t3 = line.find('\t', t2 + 1);
        std::string word = line.substr(0, t1);
        unsigned long long off, len;
        if (!decodeB64(line.substr(t1 + 1, t2 - t1 - 1), off)
            || !decodeB64(line.substr(t2 + 1, t3 == std::string::npos ? std::string::npos : t3 - t2 - 1), len)
            || off > body.size() || len > body.size() - off) {
            ++skipped;
            continue;
        }
        std::string sense = trimmed(body.substr(size_t(off), size_t(len)));
        if (word.compare(0, 11, "00-database") == 0 || word.compare(0, 10, "00database") == 0) {
            if (id.empty() && (word == "00-database-short" || word == "00databaseshort")) {
                std::string first = sense.substr(0, sense.find('\n'));
                if (first.compare(0, word.size(), word) == 0) // the headword line comes first
                    first = trimmed(sense.substr(std::min(sense.size(), first.size() + 1)));
                id = trimmed(first.substr(0, first.find('\n')));
            }
            continue;
        }
        if (!storable(word, sense)) {
            ++skipped;
            continue;
        }
        entries.push_back({word, dictdToMarkup(word, sense)});
    }
    if (skipped)
        std::cerr << "folium-dict: " << o.args[0] << ": " << skipped << " index lines skipped\n";
    return writeSorted(entries, id, o.method, o.args[2]);
}

} // namespace

int main(int argc, char **argv)
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
