#pragma once
// Temporary folders and hand-laid dictionary files for the engine's tests.
#include "dictionary.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <unistd.h>

using Entries = std::vector<std::pair<std::string, std::string>>;

struct TempDir {
    std::string path;
    TempDir() { char t[] = "/tmp/folium-dict-test-XXXXXX"; path = mkdtemp(t) ? t : (std::abort(), ""); }
    ~TempDir() { std::error_code e; std::filesystem::remove_all(path, e); }
    std::string file(const std::string &name) const { return path + "/" + name; }
};

inline void writeFile(const std::string &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }
inline std::string readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}
inline std::unique_ptr<DictImpl> openDict(const std::string &path)
{
    return std::unique_ptr<DictImpl>(static_cast<DictImpl *>(Dictionary::create(path.c_str())));
}
// Every entry of the file in its order; none when it does not open.
inline Entries entriesOf(const std::string &path, std::string *name = nullptr)
{
    auto d = openDict(path);
    Entries out;
    for (bool ok = d->getError().empty() && d->firstEntry(); ok; ok = d->nextEntry())
        out.push_back({d->getWord(), d->getSense()});
    if (name)
        *name = d->getName();
    return out;
}
inline std::string b64(uint64_t v) // dictd's base-64 numbers, most significant digit first
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    return (v >= 64 ? b64(v / 64) : "") + digits[v % 64];
}
inline std::string indexRecord(const std::string &canon, long offset) { return '\0' + canon + "\n" + std::to_string(offset); }

// An uncompressed dictionary: escaped "name=value" lines, NUL, then "word LF sense NUL"...
struct RawDict {
    std::vector<std::pair<std::string, std::string>> header;
    Entries entries;
    std::string bytes() const
    {
        std::string s;
        for (const auto &p : header)
            s += DictImpl::escape(p.first) + "=" + DictImpl::escape(p.second) + "\n";
        for (const auto &e : entries)
            s += '\0' + e.first + "\n" + e.second;
        return s + '\0';
    }
};
