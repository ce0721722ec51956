#include "dictionary.h"

#include "FileIo.h"

#include "shcm.h"
#include "utf8.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int DefaultEntryBuffer = 16384;
constexpr int ScanChunk = 256;          // findPrev/findNext read size
constexpr int FirstEntryRead = 1024;    // most entries fit; longer ones read on
constexpr int64_t IndexSpacing = 32768; // bytes of entries between index records
constexpr size_t IntegrityStride = 80;  // every 80th index record is checked on opening
constexpr int64_t MaxWindow = 256 * 1024; // largest search span read in one go
constexpr int32_t ReadAheadGap = 64 * 1024; // an entry this little after the last one read is "next"
constexpr int32_t ReadAheadSpan = int32_t(MaxWindow) - ScanChunk - FirstEntryRead; // what loadWindow takes

// strtol with base 0 that counts only when the whole value parses and fits a long.
bool parseNumber(const std::string &s, long &out)
{
    if (s.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    long v = std::strtol(s.c_str(), &end, 0);
    if (errno != 0 || end != s.c_str() + s.size())
        return false;
    out = v;
    return true;
}

// pread until n bytes or end of file; -1 on a read error (errno set).
ssize_t readFull(int fd, int64_t offset, char *buf, size_t n) { return fileio::readAt(fd, uint64_t(offset), buf, n); }
using fileio::writeAll;

} // namespace

Dictionary::~Dictionary() = default;

Dictionary *Dictionary::create(const char *path)
{
    return new DictImpl(path);
}

DictImpl::DictImpl(const char *path)
{
    try {
        openFile(path ? path : "");
    } catch (const std::bad_alloc &) { // a header or entry length past what memory holds
        index.clear();
        setSystemError(ENOMEM);
    }
}

void DictImpl::openFile(const char *path)
{
    fd = fileio::openRegularForReading(path); // a FIFO or device would block or never end
    if (fd < 0) {
        setSystemError(errno);
        return;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        setSystemError(errno);
        ::close(fd);
        fd = -1;
        return;
    }
    fileSize = st.st_size;
    if (fileSize > INT32_MAX) { // offsets in the file and its index are signed 32-bit
        setError("Integrity failure");
        return;
    }

    dataStart = 0;
    lastEntryPos = int32_t(fileSize) - 2;
    if (lastEntryPos > 0)
        lastEntryPos = findPrev(lastEntryPos);
    else
        lastEntryPos = 0;

    readOffset = 0;
    readProperties();

    dataStart = int32_t(std::min<int64_t>(readOffset, INT32_MAX));
    currentPos = dataStart;

    // An entry cannot be longer than the data area, so neither need the buffer be.
    int64_t cap = std::max<int64_t>(1, fileSize - dataStart);
    buffer.resize(size_t(std::min<int64_t>(maxEntryLength, cap)));

    for (IndexEntry &e : index)
        e.pos = int32_t(std::min<int64_t>(int64_t(e.pos) + dataStart, INT32_MAX));

    bool sound = checkIntegrity();
    // A record outside the data area or out of file order would let the search wander
    // outside its span; such an index is dropped whatever the caller does next.
    int32_t prev = dataStart;
    for (const IndexEntry &e : index) {
        if (e.pos < prev || e.pos > lastEntryPos) {
            index.clear();
            sound = false;
            break;
        }
        prev = e.pos;
    }
    if (!sound)
        setError("Integrity failure");
    nextPos = -1;
}

DictImpl::~DictImpl()
{
    if (fd >= 0)
        ::close(fd);
}

ssize_t DictImpl::readAt(int64_t offset, char *buf, size_t n)
{
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    if (windowStart >= 0 && offset >= windowStart
        && offset + int64_t(n) <= windowStart + int64_t(window.size())) {
        std::memcpy(buf, window.data() + (offset - windowStart), n);
        return ssize_t(n);
    }
    return readFull(fd, offset, buf, n);
}

// One read of the span a search probes (plus the bytes findPrev and readEntry look at
// around it) instead of two reads per probe. Spans too wide for that are read per probe.
void DictImpl::loadWindow(int32_t from, int32_t to)
{
    const int64_t start = std::max<int64_t>(dataStart, int64_t(from) - ScanChunk);
    const int64_t end = std::min<int64_t>(fileSize, int64_t(to) + FirstEntryRead);
    if (fd < 0 || end <= start || end - start > MaxWindow)
        return;
    if (windowStart >= 0 && start >= windowStart && end <= windowStart + int64_t(window.size()))
        return; // already held
    window.resize(size_t(end - start));
    ssize_t got = readFull(fd, start, window.data(), window.size());
    if (got < 0) {
        window.clear();
        windowStart = -1;
        return;
    }
    window.resize(size_t(got));
    windowStart = start;
}

void DictImpl::setSystemError(int err)
{
    error = std::strerror(err ? err : EIO);
}

std::string DictImpl::getName() const
{
    return name;
}

std::string DictImpl::getError() const
{
    return error;
}

std::string DictImpl::getWord() const
{
    return word;
}

std::string DictImpl::getSense() const
{
    if (senseEncoded) {
        sense = decodeStored(sense);
        senseEncoded = false;
    }
    return sense;
}

std::string DictImpl::decodeStored(const std::string &stored) const
{
    return compressor ? compressor->decode(unescape(stored)) : stored;
}

// Reads one header line at readOffset. Returns its length; 0 for an empty line, at the
// header's NUL (readOffset then just after it), at the end of the file or on a read error.
int DictImpl::getLine(std::string &line)
{
    line.clear();
    const int64_t start = readOffset;
    char chunk[4096];
    for (;;) {
        ssize_t r = readFull(fd, start + int64_t(line.size()), chunk, sizeof chunk);
        if (r < 0) {
            setSystemError(errno);
            return 0;
        }
        if (r == 0)
            break;
        for (ssize_t i = 0; i < r; ++i) {
            if (chunk[i] == DATA_DELIMITER) {
                // A partial line before the NUL is not a property.
                readOffset = start + int64_t(line.size()) + i + 1;
                line.clear();
                return 0;
            }
            if (chunk[i] == WORD_DELIMITER) {
                line.append(chunk, size_t(i));
                readOffset = start + int64_t(line.size()) + 1;
                return int(std::min<size_t>(line.size(), INT_MAX));
            }
        }
        line.append(chunk, size_t(r));
    }
    readOffset = start + int64_t(line.size()) + 1;
    return int(std::min<size_t>(line.size(), INT_MAX));
}

bool DictImpl::readProperties()
{
    properties.clear();
    std::string line;
    while (getLine(line) > 0) {
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        properties[unescape(line.substr(0, eq))] = unescape(line.substr(eq + 1));
    }

    name = property("id");

    std::string &ignore = property("search-ignore-chars");
    if (ignore.empty())
        ignore = "-.";
    ignoreChars.clear();
    const char *p = ignore.c_str();
    while (*p) {
        const char *start = p;
        if (Utf8::chartorune(&p) == Utf8::ErrorRune)
            break;
        ignoreChars.emplace_back(start, size_t(p - start));
    }

    property("max-word-length");
    long len;
    maxEntryLength = DefaultEntryBuffer;
    if (parseNumber(property("max-entry-length"), len) && len >= 0 && len <= INT_MAX - 10)
        maxEntryLength = int(len) + 10;

    std::string method = property("compression-method");
    if (method.empty())
        method = "none";
    if (method == "shcm") {
        compressor.reset(SHCM::create());
        const std::string &tree = property("shcm-tree");
        if (tree.empty()) {
            setError("no shcm tree");
            return false;
        }
        if (!compressor->startDecode(unescape(tree)))
            setError("invalid format"); // words and senses could not be decoded
    }

    index.clear();
    auto it = properties.find("index");
    if (it != properties.end()) {
        const std::string &v = it->second;
        size_t at = 0; // at the NUL that opens a record
        while (at < v.size()) {
            size_t begin = at + 1;
            size_t end = v.find(DATA_DELIMITER, begin);
            if (end == std::string::npos)
                end = v.size();
            size_t lf = v.find(WORD_DELIMITER, begin);
            long offset;
            if (lf == std::string::npos || lf > end
                || !parseNumber(v.substr(lf + 1, end - lf - 1), offset) || offset < 0
                || offset > INT32_MAX) {
                index.clear();
                break;
            }
            index.push_back({v.substr(begin, lf - begin), int32_t(offset)});
            at = end;
        }
        properties.erase(it);
    }
    return error.empty();
}

bool DictImpl::checkIntegrity()
{
    if (fd < 0 || fileSize < 1)
        return false;
    // The data area holds at least one entry and lastEntryPos lies inside it.
    if (dataStart >= fileSize || lastEntryPos < dataStart)
        return false;

    char c = 1;
    if (readFull(fd, fileSize - 1, &c, 1) != 1 || c != DATA_DELIMITER)
        return false;

    long size;
    if (parseNumber(property("dict-size"), size) && size != fileSize - dataStart)
        return false;

    for (size_t i = 0; i < index.size(); i += IntegrityStride) {
        int64_t pos = index[i].pos;
        c = 1;
        if (pos < 1 || readFull(fd, pos - 1, &c, 1) != 1 || c != DATA_DELIMITER)
            return false;
    }
    return true;
}

std::string DictImpl::escape(const std::string &text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
        case '\0': out += "\x1b" "0"; break;
        case '\n': out += "\x1b" "n"; break;
        case '\x1b': out += "\x1b" "e"; break;
        default: out += c;
        }
    }
    return out;
}

std::string DictImpl::unescape(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c != '\x1b') {
            out += c;
            continue;
        }
        if (i + 1 >= n)
            break; // a final ESC is dropped
        switch (text[++i]) {
        case 'e': out += '\x1b'; break;
        case '0': out += '\0'; break;
        case 'n': out += '\n'; break;
        default: break; // unknown pair dropped
        }
    }
    return out;
}

int DictImpl::compare(const std::string &a, const std::string &b)
{
    return a.compare(b); // char_traits<char> compares as unsigned bytes
}

std::string DictImpl::canonizeWord(const std::string &w) const
{
    std::string s = w;
    for (const std::string &ic : ignoreChars) {
        size_t at = s.find(ic);
        if (at == std::string::npos)
            continue;
        std::string kept;
        kept.reserve(s.size());
        size_t from = 0;
        while (at != std::string::npos) {
            kept.append(s, from, at - from);
            from = at + ic.size();
            at = s.find(ic, from);
        }
        kept.append(s, from, std::string::npos);
        s.swap(kept);
    }
    std::string out;
    Utf8::toupper(s, out);
    return out;
}

bool DictImpl::readEntry(int32_t pos)
{
    nextPos = -1;
    if (pos >= lastEntryPos)
        pos = lastEntryPos;
    currentPos = pos;
    if (fd < 0 || pos < dataStart || buffer.empty()) {
        setError("internal error");
        return false;
    }

    char *buf = buffer.data();
    const size_t room = buffer.size();
    size_t want = std::min<size_t>(room, FirstEntryRead);
    ssize_t got = readAt(pos, buf, want);
    if (got < 0) {
        setSystemError(errno);
        return false;
    }
    const char *lf = static_cast<const char *>(std::memchr(buf, WORD_DELIMITER, size_t(got)));
    const char *nul = lf ? static_cast<const char *>(
                               std::memchr(lf + 1, DATA_DELIMITER, size_t(buf + got - lf - 1)))
                         : nullptr;
    if (!nul && size_t(got) == want && want < room) {
        ssize_t more = readAt(int64_t(pos) + int64_t(want), buf + want, room - want);
        if (more < 0) {
            setSystemError(errno);
            return false;
        }
        got += more;
        lf = static_cast<const char *>(std::memchr(buf, WORD_DELIMITER, size_t(got)));
        nul = lf ? static_cast<const char *>(
                       std::memchr(lf + 1, DATA_DELIMITER, size_t(buf + got - lf - 1)))
                 : nullptr;
    }
    if (!lf) {
        setError("invalid format");
        return false;
    }
    const char *wordEnd = static_cast<const char *>(std::memchr(buf, DATA_DELIMITER, size_t(lf - buf)));
    std::string w(buf, size_t((wordEnd ? wordEnd : lf) - buf));
    if (compressor)
        w = compressor->decode(unescape(w));
    word.swap(w);
    if (!nul) {
        setError("entry too long");
        return false;
    }
    nextPos = currentPos + int32_t(nul - buf) + 1;
    sense.assign(lf + 1, size_t(nul - lf - 1));
    senseEncoded = compressor != nullptr;
    return true;
}

int32_t DictImpl::findPrev(int32_t pos)
{
    if (pos < dataStart)
        return dataStart;
    if (pos > lastEntryPos)
        return lastEntryPos;
    if (pos == dataStart)
        return dataStart;
    char buf[ScanChunk];
    for (;;) {
        int32_t n = ScanChunk;
        if (pos - dataStart + 1 < n)
            n = pos - dataStart + 1;
        pos -= n;
        ssize_t got = readAt(int64_t(pos) + 1, buf, size_t(n));
        if (got != n) {
            setSystemError(got < 0 ? errno : EIO);
            return -1;
        }
        for (int32_t i = n - 1; i >= 0; --i)
            if (buf[i] == DATA_DELIMITER)
                return pos + 1 + i + 1;
        if (pos < dataStart)
            return dataStart;
    }
}

int32_t DictImpl::findNext(int32_t pos)
{
    if (pos < dataStart)
        return dataStart;
    if (pos > lastEntryPos)
        return lastEntryPos;
    char buf[ScanChunk];
    for (;;) {
        ssize_t got = readAt(pos, buf, sizeof buf);
        if (got < 0) {
            setSystemError(errno);
            return -1;
        }
        if (got == 0) {
            setError("internal error");
            return -1;
        }
        const void *nul = std::memchr(buf, DATA_DELIMITER, size_t(got));
        if (nul)
            return pos + int32_t(static_cast<const char *>(nul) - buf) + 1;
        pos += int32_t(got);
    }
}

bool DictImpl::nextEntry()
{
    int32_t p = nextPos;
    if (p < 1) {
        p = findNext(currentPos + 1);
        if (p < 0)
            return false;
    }
    if (p >= lastEntryPos)
        p = lastEntryPos;
    if (p == currentPos)
        return false;
    return readEntry(p);
}

bool DictImpl::firstEntry()
{
    return readEntry(dataStart);
}

bool DictImpl::lastEntry()
{
    return readEntry(lastEntryPos);
}

bool DictImpl::randomEntry()
{
    int r = std::rand();
    double off = std::trunc(double(lastEntryPos) * double(r) / (double(dataStart) + 2147483647.0));
    int64_t offset = int64_t(dataStart) + int64_t(off);
    int32_t p = findNext(int32_t(std::min<int64_t>(offset, INT32_MAX)));
    if (p < 0)
        return false;
    return readEntry(p);
}

void DictImpl::bsearchIndex(const std::string &canon, int32_t &from, int32_t &to) const
{
    const int count = int(index.size());
    if (count < 2)
        return;
    int lo = 0, hi = count - 1, mid = 0;
    while (lo < hi) {
        mid = (lo + hi) / 2;
        int c = compare(canon, index[size_t(mid)].word);
        if (c == 0)
            break;
        if (c < 0) {
            hi = mid;
        } else {
            mid = mid + 1;
            lo = mid;
        }
    }
    if (compare(canon, index[size_t(mid)].word) < 0 && mid > 0)
        --mid;
    from = index[size_t(mid)].pos;
    to = mid == count - 1 ? lastEntryPos : index[size_t(mid) + 1].pos;
}

bool DictImpl::findEntry(const std::string &query, bool &prefix)
{
    const std::string canon = canonizeWord(query);
    std::string cur;
    int32_t from = dataStart, to = lastEntryPos;
    bool found = false;
    auto fail = [this] {
        word.clear();
        sense.clear();
        senseEncoded = false;
        currentPos = dataStart;
        nextPos = -1;
        return false;
    };
    bsearchIndex(canon, from, to);
    from = std::max(from, dataStart);
    to = std::min(to, lastEntryPos);
    loadWindow(from, to);

    if (from >= to) {
        if (!readEntry(from))
            return fail();
        cur = canonizeWord(word);
        found = canon == cur;
    }
    while (from < to) {
        int32_t mid = int32_t((int64_t(from) + int64_t(to)) / 2);
        int32_t p = findPrev(mid);
        // When the byte at mid ends an entry, findPrev lands after it, possibly at `to`;
        // probing the span's first entry instead keeps the span shrinking.
        if (p >= to)
            p = from;
        if (p < 0 || !readEntry(p))
            return fail();
        cur = canonizeWord(word);
        int c = compare(canon, cur);
        if (c == 0) {
            found = true;
            break;
        }
        if (c < 0) {
            to = currentPos;
        } else {
            int32_t next = findNext(p + 1);
            if (next < 0)
                return fail();
            if (next <= from)
                break; // no entry starts after the probe inside the span: it was the last
            from = next;
        }
    }
    if (!found && compare(canon, cur) > 0 && nextEntry())
        cur = canonizeWord(word);
    prefix = cur.compare(0, canon.size(), canon) == 0 && cur.size() >= canon.size();
    return found;
}

bool DictImpl::xerox(const std::string &fileName, const std::string &method, bool sort)
{
    writeFailed = false;
    if (fd < 0) {
        setError("internal error");
        return false;
    }
    // Truncating the very file being read would destroy it.
    struct stat in, out;
    if (::fstat(fd, &in) == 0 && ::stat(fileName.c_str(), &out) == 0 && in.st_dev == out.st_dev
        && in.st_ino == out.st_ino) {
        setError("cannot rewrite a dictionary onto itself");
        writeFailed = true;
        return false;
    }
    // As creat(), but a FIFO without a reader fails at once instead of waiting for one.
    int ofd;
    do {
        ofd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0600);
    } while (ofd < 0 && errno == EINTR);
    if (ofd < 0) {
        setSystemError(errno);
        writeFailed = true;
        return false;
    }
    const int flags = ::fcntl(ofd, F_GETFL);
    if (flags < 0 || ::fcntl(ofd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        setSystemError(errno);
        writeFailed = true;
        ::close(ofd);
        return false;
    }
    struct stat made;
    const bool regular = ::fstat(ofd, &made) == 0 && S_ISREG(made.st_mode);
    bool ok = xerox(ofd, method, sort);
    if (::close(ofd) != 0 && ok) {
        setSystemError(errno);
        writeFailed = true;
        ok = false;
    }
    if (!ok && regular) // never a device or FIFO given as the output
        ::unlink(fileName.c_str());
    return ok;
}

bool DictImpl::xerox(int ofd, const std::string &method, bool sort)
{
    writeFailed = false;
    try {
        return writeCopy(ofd, method, sort);
    } catch (const std::bad_alloc &) { // the canonical words of every entry are held for sorting
        setSystemError(ENOMEM);
        return false;
    }
}

// Memory holds the canonical word and position of each entry, never the entries themselves:
// they are read once to collect words and byte counts, once to size their stored forms for the
// index, and once to write them.
bool DictImpl::writeCopy(int ofd, const std::string &method, bool sort)
{
    if (fd < 0) {
        setError("internal error");
        return false;
    }
    std::unique_ptr<SHCM> enc;
    if (method == "shcm") {
        enc.reset(SHCM::create());
        enc->startPreEncode();
    }

    // Entries read in nearly file order (the walk, or sorting what is sorted already) come from
    // one read of the bytes ahead instead of one read each.
    int32_t previous = -1;
    auto readAhead = [&](int32_t pos) {
        const bool held = windowStart >= 0 && pos >= windowStart
                          && int64_t(pos) + FirstEntryRead <= windowStart + int64_t(window.size());
        if (!held && previous >= 0 && pos > previous && pos - previous <= ReadAheadGap)
            loadWindow(pos, int32_t(std::min<int64_t>(lastEntryPos, int64_t(pos) + ReadAheadSpan)));
        previous = pos;
    };

    struct Item {
        std::string canon;
        int32_t pos;
    };
    std::vector<Item> items;
    size_t maxWord = 0, maxEntry = 0;
    const std::string errorBefore = error;
    if (!firstEntry())
        return false;
    error.clear(); // detect failures of the walk below
    do {
        const std::string s = getSense();
        // LF or NUL in a word, or NUL in a plain sense, cannot be stored in this format.
        if (word.find_first_of(std::string("\n\0", 2)) != std::string::npos
            || (!enc && s.find('\0') != std::string::npos)) {
            setError("invalid format");
            return false;
        }
        maxWord = std::max(maxWord, word.size());
        maxEntry = std::max(maxEntry, word.size() + s.size() + 2);
        items.push_back({canonizeWord(word), currentPos});
        if (enc) {
            enc->preencode(word);
            enc->preencode(s);
        }
        readAhead(nextPos);
    } while (nextEntry());
    if (!error.empty())
        return false; // a read failed before the last entry
    error = errorBefore;

    if (sort) {
        std::sort(items.begin(), items.end(), [](const Item &a, const Item &b) {
            int c = compare(a.canon, b.canon);
            return c != 0 ? c < 0 : a.pos < b.pos;
        });
    }
    const std::string tree = enc ? enc->endPreEncode() : std::string();
    auto stored = [&](const std::string &text) { return enc ? escape(enc->encode(text)) : text; };

    std::string indexText;
    int64_t offset = 0, since = 0;
    size_t maxStored = 0;
    const size_t count = items.size();
    auto addRecord = [&](size_t i) {
        indexText += DATA_DELIMITER;
        indexText += items[i].canon;
        indexText += WORD_DELIMITER;
        indexText += std::to_string(offset);
    };
    for (size_t i = 0; i < count; ++i) {
        readAhead(items[i].pos);
        if (!readEntry(items[i].pos))
            return false;
        const int64_t size = int64_t(stored(word).size() + stored(getSense()).size() + 2);
        maxStored = std::max(maxStored, size_t(size));
        if (i == 0) {
            addRecord(i);
        } else if (i + 1 < count && since > IndexSpacing) {
            addRecord(i);
            since = 0;
        }
        if (i + 1 == count)
            addRecord(i);
        since += size;
        offset += size;
    }
    const int64_t total = offset;

    std::map<std::string, std::string> props = properties;
    // Readers size their entry buffer from this: it must cover the stored form too, which
    // for rare bytes can be longer than the decoded text.
    props["max-entry-length"] = std::to_string(std::max(maxEntry, maxStored));
    props["max-word-length"] = std::to_string(maxWord);
    props["compression-method"] = method;
    if (enc)
        props["shcm-tree"] = escape(tree);
    else
        props.erase("shcm-tree");
    if (!indexText.empty())
        props["index"] = indexText;
    else
        props.erase("index");
    props["dict-size"] = std::to_string(total);

    std::string header;
    for (const auto &kv : props) {
        header += escape(kv.first);
        header += '=';
        header += escape(kv.second);
        header += WORD_DELIMITER;
    }
    header += DATA_DELIMITER;
    if (int64_t(header.size()) + total > INT32_MAX) {
        setError("entry too long"); // offsets would not fit the format's 32 bits
        return false;
    }
    if (!writeAll(ofd, header.data(), header.size())) {
        setSystemError(errno);
        writeFailed = true;
        return false;
    }

    std::string chunk;
    chunk.reserve(1 << 20);
    for (size_t i = 0; i < count; ++i) {
        readAhead(items[i].pos);
        if (!readEntry(items[i].pos))
            return false;
        chunk += stored(word);
        chunk += WORD_DELIMITER;
        chunk += stored(getSense());
        chunk += DATA_DELIMITER;
        if (chunk.size() >= (1u << 20) || i + 1 == count) {
            if (!writeAll(ofd, chunk.data(), chunk.size())) {
                setSystemError(errno);
                writeFailed = true;
                return false;
            }
            chunk.clear();
        }
    }
    return true;
}
