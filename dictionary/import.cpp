#include "import.h"

#include "FileIo.h"
#include "dictionary.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <numeric>
#include <unistd.h>
#include <vector>

namespace dictimport {
namespace {

using Code = Status::Code;

constexpr size_t Chunk = 64 * 1024;        // one read of a list or of the dictd text
constexpr size_t FlushAt = 1 << 20;        // bytes gathered before one write
constexpr size_t MaxIndexLine = 64 * 1024; // a longer dictd index line is skipped
constexpr uint64_t SortItemBytes = 48;     // what the sorting writer holds per entry besides its word

std::string sizeText(uint64_t n)
{
    if (n + 1 >= (1u << 30) && (n + 1) % (1u << 30) == 0) // the engine's limit, 2 GiB less a byte
        return std::to_string((n + 1) >> 30) + " GiB";
    if (n >= (1u << 30) && n % (1u << 30) == 0)
        return std::to_string(n >> 30) + " GiB";
    if (n >= (1u << 20) && n % (1u << 20) == 0)
        return std::to_string(n >> 20) + " MiB";
    return std::to_string(n) + " bytes";
}

// A headword for a message: quoted, control bytes shown as '?', long ones cut.
std::string quoted(const std::string &word)
{
    std::string shown = word.substr(0, 60);
    for (char &c : shown)
        if (uint8_t(c) < 0x20)
            c = '?';
    return "\"" + shown + (word.size() > 60 ? "...\"" : "\"");
}

Outcome failure(Code code, const std::string &message, Source source, long line = 0)
{
    Outcome o;
    o.status = Status::error(code, message);
    o.faultIn = source;
    o.line = line;
    return o;
}

bool storable(const std::string &word, const std::string &sense)
{
    return word.find('\n') == std::string::npos && word.find('\0') == std::string::npos
        && sense.find('\0') == std::string::npos;
}

// Lines of a descriptor, front to back.
class LineReader
{
public:
    enum Result { Line, TooLong, End, Failed };

    explicit LineReader(int fd) : m_fd(fd), m_buffer(Chunk) {}

    // The next line without its LF (the last one needs none). A line longer than maxLength is
    // consumed whole and reported as TooLong; Failed leaves the reason in error().
    Result next(std::string &line, size_t maxLength);
    int error() const { return m_error; }

private:
    bool fill(); // false at the end of the input or on a read error

    int m_fd;
    std::vector<char> m_buffer;
    size_t m_head = 0, m_tail = 0; // unread bytes
    int m_error = 0;
};

bool LineReader::fill()
{
    ssize_t got;
    do {
        got = ::read(m_fd, m_buffer.data(), m_buffer.size());
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        m_error = errno;
    m_head = 0;
    m_tail = got > 0 ? size_t(got) : 0;
    return got > 0;
}

LineReader::Result LineReader::next(std::string &line, size_t maxLength)
{
    line.clear();
    bool any = false, tooLong = false;
    for (;;) {
        if (m_head == m_tail && !fill()) {
            if (m_error)
                return Failed;
            return !any ? End : tooLong ? TooLong : Line;
        }
        any = true;
        const char *start = m_buffer.data() + m_head;
        const char *lf = static_cast<const char *>(std::memchr(start, '\n', m_tail - m_head));
        const size_t n = lf ? size_t(lf - start) : m_tail - m_head;
        if (!tooLong && line.size() + n <= maxLength) {
            line.append(start, n);
        } else {
            tooLong = true;
            line.clear();
        }
        m_head += n + (lf ? 1 : 0);
        if (lf)
            return tooLong ? TooLong : Line;
    }
}

// Writes through a buffer of about FlushAt bytes and counts what it was given.
class BufferedOut
{
public:
    explicit BufferedOut(int fd) : m_fd(fd) {}
    bool add(const std::string &bytes)
    {
        m_pending += bytes;
        m_size += bytes.size();
        return m_pending.size() < FlushAt || flush();
    }
    bool flush() // false with errno set
    {
        const bool ok = fileio::writeAll(m_fd, m_pending.data(), m_pending.size());
        m_pending.clear();
        return ok;
    }
    uint64_t size() const { return m_size; }

private:
    int m_fd;
    std::string m_pending;
    uint64_t m_size = 0;
};

// The plain dictionary the importers hand to the sorting writer: a header with the id and an
// entry length that covers every entry this writer accepts, then "word LF sense NUL".
class PlainWriter
{
public:
    PlainWriter(int fd, uint64_t maxOutput, size_t maxEntryLength)
        : m_out(fd), m_maxOutput(maxOutput), m_maxEntry(maxEntryLength)
    {
    }
    Status begin(const std::string &id)
    {
        std::string header;
        if (!id.empty())
            header += "id=" + DictImpl::escape(id) + "\n";
        header += "max-entry-length=" + std::to_string(m_maxEntry) + "\n";
        header += '\0';
        return put(header);
    }
    Status add(const std::string &word, const std::string &sense)
    {
        if (!storable(word, sense))
            return Status::error(Code::Damaged, "NUL byte in word or sense");
        if (word.size() + sense.size() + 2 > m_maxEntry)
            return Status::error(Code::TooLarge, "entry longer than " + sizeText(m_maxEntry));
        ++m_entries;
        return put(word + '\n' + sense + '\0');
    }
    Status finish()
    {
        return m_out.flush() ? Status::ok() : Status::error(Code::WriteFailed, std::strerror(errno));
    }
    uint64_t entries() const { return m_entries; }

private:
    Status put(const std::string &bytes)
    {
        if (m_out.size() + bytes.size() > m_maxOutput)
            return Status::error(Code::TooLarge,
                                 "the dictionary would be larger than " + sizeText(m_maxOutput));
        if (!m_out.add(bytes))
            return Status::error(Code::WriteFailed, std::strerror(errno));
        return Status::ok();
    }

    BufferedOut m_out;
    uint64_t m_maxOutput;
    size_t m_maxEntry;
    uint64_t m_entries = 0;
};

// The dictd text, plain or gzip, read once from front to back. It holds the bytes from the
// offset last asked for to the end of what has been read: one entry and a chunk, and at most
// as much again of bytes already dropped.
class BodyStream
{
public:
    explicit BodyStream(int fd)
    {
        const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0); // gzclose closes what gzdopen took
        if (own >= 0)
            m_file = gzdopen(own, "rb");
        if (!m_file) {
            if (own >= 0)
                ::close(own);
            m_status = Status::error(Code::Unreadable, "cannot read");
            return;
        }
        gzbuffer(m_file, unsigned(Chunk));
    }
    ~BodyStream()
    {
        if (m_file)
            gzclose(m_file);
    }
    BodyStream(const BodyStream &) = delete;
    BodyStream &operator=(const BodyStream &) = delete;

    // Makes the bytes [from, to) readable at data() and drops those before `from`; later calls
    // must not ask for less than `from`. False when the text ends first or cannot be read.
    bool reach(uint64_t from, uint64_t to);
    const char *data() const { return m_buffer.data() + m_head; }
    const Status &status() const { return m_status; }

private:
    void drop(uint64_t from)
    {
        if (from > m_start) {
            const uint64_t n = std::min<uint64_t>(from - m_start, m_buffer.size() - m_head);
            m_head += size_t(n);
            m_start += n;
        }
    }

    gzFile m_file = nullptr;
    std::vector<char> m_buffer;
    size_t m_head = 0;    // m_buffer[m_head] is the text's byte at m_start
    uint64_t m_start = 0;
    bool m_ended = false;
    Status m_status;
};

bool BodyStream::reach(uint64_t from, uint64_t to)
{
    if (!m_file)
        return false;
    drop(from);
    while (m_start + (m_buffer.size() - m_head) < to) {
        if (m_ended)
            return false;
        if (m_head > 0 && m_head >= m_buffer.size() - m_head) { // moves no more than was dropped
            m_buffer.erase(m_buffer.begin(), m_buffer.begin() + std::ptrdiff_t(m_head));
            m_head = 0;
        }
        const size_t held = m_buffer.size();
        m_buffer.resize(held + Chunk);
        const int got = gzread(m_file, m_buffer.data() + held, unsigned(Chunk));
        m_buffer.resize(held + size_t(std::max(got, 0)));
        if (got < 0) {
            int code = Z_OK;
            const char *why = gzerror(m_file, &code);
            const std::string reason = code == Z_ERRNO ? std::strerror(errno) : why;
            m_status = Status::error(Code::Unreadable, "cannot read: " + reason);
            m_ended = true;
            return false;
        }
        m_ended = got == 0;
        drop(from);
    }
    return true;
}

// dictd index numbers: base-64 digits A-Z a-z 0-9 + /, most significant first.
bool decodeBase64(const std::string &s, uint64_t &v)
{
    static const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (s.empty() || s.size() > 10)
        return false;
    v = 0;
    for (char c : s) {
        const size_t d = digits.find(c);
        if (d == std::string::npos)
            return false;
        v = v * 64 + d;
    }
    return true;
}

std::string trimmed(const std::string &s)
{
    const size_t b = s.find_first_not_of("\n\r\t ");
    if (b == std::string::npos)
        return "";
    const size_t e = s.find_last_not_of("\n\r\t ");
    return s.substr(b, e - b + 1);
}

// A dictd entry is plain text: the headword line (often with a /pronunciation/), then the
// translations, with {word} marking cross-references. It becomes this format's sense mark-up:
// {pr} for the pronunciation, one {s}{ss} section whose lines are the translations, {sa} for the
// cross-references. Stray braces, and the angle brackets of grammar notes such as <pl>, become
// parentheses so the mark-up stays well formed and nothing is taken for a page tag. The result
// is at most 10/3 of the text's length plus 25 bytes ("{x}" becomes "{sa}x{/sa}").
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
                if (close != std::string::npos && (nested == std::string::npos || nested > close)
                    && close > i + 1) {
                    out += "{sa}" + l.substr(i + 1, close - i - 1) + "{/sa}";
                    i = close;
                    continue;
                }
                out += '(';
            } else if (l[i] == '}') {
                out += ')';
            } else if (l[i] == '<' || l[i] == '>') {
                out += l[i] == '<' ? '(' : ')'; // angle brackets are tags on the page
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

// The dictionary's name in a 00-database-short text: its first line after the headword line.
std::string titleFrom(const std::string &word, const std::string &text)
{
    std::string first = text.substr(0, text.find('\n'));
    if (first.compare(0, word.size(), word) == 0)
        first = trimmed(text.substr(std::min(text.size(), first.size() + 1)));
    return trimmed(first.substr(0, first.find('\n')));
}

// One usable line of a dictd index.
struct Request {
    enum Kind : uint8_t {
        Entry,
        Title, // a 00-database-short text, read for the dictionary's name
        Other, // another 00-database text: not imported, but skipped when past the text's end
    };
    std::string word;
    uint64_t offset = 0, length = 0; // in the dictd text
    uint64_t storedAt = 0, storedSize = 0; // in the scratch file
    Kind kind = Entry;
    bool stored = false;
};

bool readStored(int scratchFd, const Request &q, std::string &text)
{
    errno = EIO; // what a short read reports
    text.resize(size_t(q.storedSize));
    return fileio::readExactlyAt(scratchFd, q.storedAt, &text[0], text.size());
}

} // namespace

Outcome importTsv(int tsvFd, const std::string &id, int outFd, const Limits &limits)
{
    PlainWriter out(outFd, limits.maxOutput, limits.maxEntry + 2);
    Status written = out.begin(id);
    if (!written.isOk())
        return failure(written.code(), written.message(), Source::Output);
    LineReader in(tsvFd);
    std::string line;
    long lineNo = 0;
    uint64_t held = 0;
    for (LineReader::Result r; (r = in.next(line, limits.maxEntry)) != LineReader::End;) {
        ++lineNo;
        if (r == LineReader::Failed)
            return failure(Code::Unreadable, std::strerror(in.error()), Source::List);
        if (r == LineReader::TooLong)
            return failure(Code::TooLarge, "line longer than " + sizeText(limits.maxEntry), Source::List,
                           lineNo);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos)
            return failure(Code::Damaged, "no tab between word and sense", Source::List, lineNo);
        const std::string word = line.substr(0, tab);
        std::string sense;
        for (size_t i = tab + 1; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == 'n' || line[i + 1] == '\\')) {
                sense += line[i + 1] == 'n' ? '\n' : '\\';
                ++i;
            } else {
                sense += line[i];
            }
        }
        held += word.size() + SortItemBytes;
        if (held > limits.maxHeld)
            return failure(Code::TooLarge, "more words than " + sizeText(limits.maxHeld) + " of memory hold",
                           Source::List, lineNo);
        written = out.add(word, sense);
        if (!written.isOk())
            return failure(written.code(), written.message(),
                           written.code() == Code::WriteFailed ? Source::Output : Source::List, lineNo);
    }
    if (out.entries() == 0)
        return failure(Code::Damaged, "no entries", Source::List);
    written = out.finish();
    if (!written.isOk())
        return failure(written.code(), written.message(), Source::Output);
    return {};
}

Outcome importDictd(int indexFd, int bodyFd, int scratchFd, const std::string &id, int outFd,
                    const Limits &limits)
{
    Outcome result;
    auto fail = [&result](Code code, const std::string &message, Source source, long line = 0) {
        Outcome o = failure(code, message, source, line);
        o.skipped = result.skipped;
        return o;
    };

    // The index, in its own order; lines that name nothing usable are counted, not kept.
    std::vector<Request> requests;
    uint64_t named = 0, held = 0;
    long lineNo = 0;
    LineReader index(indexFd);
    std::string line;
    for (LineReader::Result r; (r = index.next(line, MaxIndexLine)) != LineReader::End;) {
        ++lineNo;
        if (r == LineReader::Failed)
            return fail(Code::Unreadable, std::strerror(index.error()), Source::List);
        const size_t t1 = line.find('\t');
        const size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
        Request q;
        if (r == LineReader::TooLong || t2 == std::string::npos
            || !decodeBase64(line.substr(t1 + 1, t2 - t1 - 1), q.offset)) {
            ++result.skipped;
            continue;
        }
        const size_t t3 = line.find('\t', t2 + 1);
        const size_t lengthEnd = t3 == std::string::npos ? std::string::npos : t3 - t2 - 1;
        if (!decodeBase64(line.substr(t2 + 1, lengthEnd), q.length)) {
            ++result.skipped;
            continue;
        }
        q.word = line.substr(0, t1);
        if (q.length > limits.maxEntry)
            return fail(Code::TooLarge,
                        "the entry for " + quoted(q.word) + " is longer than " + sizeText(limits.maxEntry),
                        Source::List, lineNo);
        named += q.length;
        if (named > limits.maxOutput)
            return fail(Code::TooLarge,
                        "the index names more than " + sizeText(limits.maxOutput) + " of text", Source::List,
                        lineNo);
        held += q.word.size() + sizeof(Request) + sizeof(size_t);
        if (held > limits.maxHeld)
            return fail(Code::TooLarge, "more headwords than " + sizeText(limits.maxHeld) + " of memory hold",
                        Source::List, lineNo);
        if (q.word.compare(0, 11, "00-database") == 0 || q.word.compare(0, 10, "00database") == 0) {
            const bool title = q.word == "00-database-short" || q.word == "00databaseshort";
            q.kind = title && id.empty() ? Request::Title : Request::Other;
        }
        requests.push_back(std::move(q));
    }

    // The text, read once in the order of the offsets; the entries go to the scratch file.
    std::vector<size_t> byOffset(requests.size());
    std::iota(byOffset.begin(), byOffset.end(), size_t(0));
    std::stable_sort(byOffset.begin(), byOffset.end(),
                     [&](size_t a, size_t b) { return requests[a].offset < requests[b].offset; });
    BodyStream body(bodyFd);
    BufferedOut scratch(scratchFd);
    uint64_t output = 0;
    for (size_t i : byOffset) {
        Request &q = requests[i];
        if (!body.reach(q.offset, q.offset + q.length)) {
            if (!body.status().isOk())
                return fail(body.status().code(), body.status().message(), Source::Body);
            ++result.skipped; // past the end of the text
            continue;
        }
        if (q.kind == Request::Other)
            continue;
        std::string text = trimmed(std::string(body.data(), size_t(q.length)));
        if (q.kind == Request::Entry) {
            if (!storable(q.word, text)) {
                ++result.skipped;
                continue;
            }
            text = dictdToMarkup(q.word, text);
            output += q.word.size() + text.size() + 2;
            if (output > limits.maxOutput) {
                const std::string limit = sizeText(limits.maxOutput);
                return fail(Code::TooLarge, "the dictionary would be larger than " + limit, Source::Body);
            }
        }
        q.storedAt = scratch.size();
        q.storedSize = text.size();
        q.stored = true;
        if (!scratch.add(text))
            return fail(Code::WriteFailed, std::strerror(errno), Source::Output);
    }
    if (!scratch.flush())
        return fail(Code::WriteFailed, std::strerror(errno), Source::Output);

    // The name, then the entries in index order.
    std::string title = id, text;
    for (size_t i = 0; i < requests.size() && title.empty(); ++i) {
        if (requests[i].kind != Request::Title || !requests[i].stored)
            continue;
        if (!readStored(scratchFd, requests[i], text))
            return fail(Code::Unreadable, std::strerror(errno), Source::Output);
        title = titleFrom(requests[i].word, text);
    }
    // A headword line of at most MaxIndexLine bytes, a text of at most 10/3 of maxEntry plus 25.
    PlainWriter out(outFd, limits.maxOutput, MaxIndexLine + 4 * limits.maxEntry + 64);
    Status written = out.begin(title);
    for (size_t i = 0; i < requests.size() && written.isOk(); ++i) {
        const Request &q = requests[i];
        if (q.kind != Request::Entry || !q.stored)
            continue;
        if (!readStored(scratchFd, q, text))
            return fail(Code::Unreadable, std::strerror(errno), Source::Output);
        written = out.add(q.word, text);
    }
    if (written.isOk() && out.entries() == 0)
        return fail(Code::Damaged, "no entries", Source::List);
    if (written.isOk())
        written = out.finish();
    if (!written.isOk())
        return fail(written.code(), written.message(),
                       written.code() == Code::WriteFailed ? Source::Output : Source::Body);
    return result;
}

} // namespace dictimport
