#pragma once

// Temporary folders and raw dictionary files for the engine's tests.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/folium-dict-test-XXXXXX";
        const char *d = mkdtemp(tmpl);
        path_ = d ? d : "/tmp";
    }
    ~TempDir()
    {
        std::string cmd = "rm -rf '" + path_ + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// The escaping of dictionary headers, written independently of the engine.
inline std::string esc(const std::string &s)
{
    std::string o;
    for (char c : s) {
        if (c == '\0')
            o += "\x1b" "0";
        else if (c == '\n')
            o += "\x1b" "n";
        else if (c == '\x1b')
            o += "\x1b" "e";
        else
            o += c;
    }
    return o;
}

// An uncompressed dictionary laid out by hand: header lines, NUL, "word LF sense NUL"...
// indexEvery > 0 adds an index record for every indexEvery-th entry (and the last when
// indexLast), with canonical words given by canon.
struct RawDict {
    std::vector<std::pair<std::string, std::string>> header; // name, value (unescaped)
    std::vector<std::pair<std::string, std::string>> entries;
    std::string data() const
    {
        std::string d;
        for (const auto &e : entries)
            d += e.first + "\n" + e.second + std::string(1, '\0');
        return d;
    }
    std::string bytes() const
    {
        std::string h;
        for (const auto &p : header)
            h += esc(p.first) + "=" + esc(p.second) + "\n";
        return h + std::string(1, '\0') + data();
    }
    // Offsets of the entries relative to the data area.
    std::vector<long> offsets() const
    {
        std::vector<long> o;
        long at = 0;
        for (const auto &e : entries) {
            o.push_back(at);
            at += long(e.first.size() + e.second.size() + 2);
        }
        return o;
    }
};

inline std::string indexRecord(const std::string &canon, long offset)
{
    return std::string(1, '\0') + canon + "\n" + std::to_string(offset);
}
