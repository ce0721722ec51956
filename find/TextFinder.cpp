#include "TextFinder.h"

#include "ByteScan.h"
#include "ByteWindow.h"
#include "Document.h"
#include "HtmlEntities.h"
#include "HitMatcher.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr qint64 CheckpointSpacing = 64 * 1024;
constexpr qint64 FirstBackwardChunk = 16 * 1024;
constexpr qint64 BackwardChunk = 1 << 20;
constexpr qint64 ReportEvery = 1 << 20;
constexpr qint64 LocalReach = 64;       // a plain text is read from this far before a place
constexpr qint64 AnchorReach = 64;      // how far back a shown character is looked for in a run
constexpr int MaxFilterDistance = 15;   // the pair scan's vectors see 32 bytes
constexpr int MaxTagName = 15;          // as the markup reader: longer names are no element
constexpr int MaxUnitsAtOnePlace = 8;   // characters one place may give (a reference gives two)
constexpr size_t MaxCheckedTokens = 32;  // query tokens the byte check compares
constexpr qint64 MayMatchReach = 256;    // bytes it looks at

// A place where reading may start as forward reading from the file's start reaches it.
struct Checkpoint
{
    qint64 position = 0;
    bool preformatted = false;
    bool previousWord = false;  // the character shown before it continues a word
};

// The markup reader's white space inside tags.
bool isTagSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isAsciiLetter(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Elements whose content the markup reader skips; their start tags are left to it.
bool hidesContent(const char *name, int length)
{
    switch (length) {
    case 5: return !std::memcmp(name, "style", 5) || !std::memcmp(name, "title", 5);
    case 6: return !std::memcmp(name, "script", 6);
    case 8: return !std::memcmp(name, "template", 8);
    default: return false;
    }
}

// Where an ordinary tag starting at `lt` (p points at its "<") ends, as the markup reader reads it:
// a name of letters and digits that is none of those with a meaning here (pre, the hidden
// elements), no quote before its ">", all before `end`. 0 for any other tag.
inline qint64 ordinaryTagEnd(const uint8_t *p, const uint8_t *end, qint64 lt)
{
    const uint8_t *q = p + 1;
    if (end - q < 2)
        return 0;
    const bool closing = *q == '/';
    q += closing;
    if (!isAsciiLetter(*q))
        return 0;
    const uint8_t first = *q | 0x20;
    const uint8_t *name = q;
    while (q < end && (isAsciiLetter(*q) || (*q >= '0' && *q <= '9')))
        ++q;
    if (q >= end || !(*q == '>' || *q == '/' || isTagSpace(*q)))
        return 0;
    const qint64 length = q - name;
    if (length > MaxTagName || ((first == 's' || first == 't') && (length == 5 || length == 6 || length == 8))
        || (first == 'p' && length == 3))
        return 0;
    while (q < end && *q != '>' && *q != '"' && *q != '\'')
        ++q;
    if (q >= end || *q != '>')
        return 0;
    return lt + (q - p) + 1;
}

// Elements the markup reader hides without a trace: tags that only change the look of text.
bool isInlineOnly(const uint8_t *name, qint64 length)
{
    static const char *const names[] = {
        "a", "abbr", "b", "big", "cite", "code", "em", "font", "i", "img", "kbd", "mark",
        "q", "s", "samp", "small", "span", "strike", "strong", "sub", "sup", "tt", "u", "var",
    };
    if (length > 6)
        return false;
    char lower[7];
    for (qint64 i = 0; i < length; ++i)
        lower[i] = char(name[i] | 0x20);
    for (const char *n : names) {
        if (qint64(std::strlen(n)) == length && !std::memcmp(n, lower, size_t(length)))
            return true;
    }
    return false;
}

// Past the tag at p when it is one of an element that only changes the look of text (so the markup
// reader hides it and nothing else), read as the markup reader reads it; null for any other tag or
// one that does not end before `end`.
const uint8_t *inlineTagEnd(const uint8_t *p, const uint8_t *end)
{
    const uint8_t *q = p + 1;
    if (q < end && *q == '/')
        ++q;
    const uint8_t *name = q;
    while (q < end && isAsciiLetter(*q))
        ++q;
    if (q >= end || q == name || !(*q == '>' || *q == '/' || isTagSpace(*q)) || !isInlineOnly(name, q - name))
        return nullptr;
    int quote = 0;
    bool valueStarts = false;
    for (; q < end; ++q) {
        const uint8_t c = *q;
        if (c == '>' && !quote)
            return q + 1;
        if (quote)
            quote = c == quote ? 0 : quote;
        else if (valueStarts && (c == '"' || c == '\''))
            quote = c;
        else if (!isTagSpace(c))
            valueStarts = c == '=';
    }
    return nullptr;
}

// The lead byte of `c` in UTF-8.
uint8_t utf8Lead(char32_t c)
{
    if (c < 0x80)
        return uint8_t(c);
    if (c < 0x800)
        return uint8_t(0xC0 | (c >> 6));
    if (c < 0x10000)
        return uint8_t(0xE0 | (c >> 12));
    return uint8_t(0xF0 | (c >> 18));
}

} // namespace

bool FindSource::operator==(const FindSource &o) const
{
    return path == o.path && encoding == o.encoding && readAsHtml == o.readAsHtml
        && rules.crIsLineFeed == o.rules.crIsLineFeed && rules.stripNewlines == o.rules.stripNewlines;
}

struct TextFinder::Private
{
    using Take = std::function<bool(const Hit &)>;

    // Progress and cancelling of one call; `base` is added to what a pass reports.
    struct Pass
    {
        const FindControl &control;
        qint64 total = 0;
        qint64 base = 0;
        qint64 nextReport = 0;
        bool cancelled = false;

        bool check(qint64 done)
        {
            done += base;
            if (done < nextReport)
                return true;
            nextReport = done + ReportEvery;
            if (control.cancelled && control.cancelled()) {
                cancelled = true;
                return false;
            }
            if (control.progress)
                control.progress(std::clamp<qint64>(done, 0, total), total);
            return true;
        }
    };

    // One scan: hits that start in [from, limit) go to take until it says stop.
    struct Scan
    {
        qint64 from = 0;
        qint64 limit = 0;
        const Take &take;
        Pass &pass;
        bool stopped = false;  // take asked to stop
        qint64 lastFirst = -1;  // the first byte of the hit handed on last
    };

    // A place known to show a character, from which reading reaches the current position.
    struct Anchor
    {
        qint64 position = 0;
        bool preformatted = false;
        bool isCheckpoint = true;  // no character shown since: the checkpoint says what came before
    };

    struct Verified
    {
        bool sawBefore = false;  // a shown character lies between the start of reading and the place
        bool unitThere = false;  // a shown character starts at the place
    };

    std::unique_ptr<Document> document;
    std::unique_ptr<ShownReader> shown;
    ByteWindow bytes;
    FindSource source;
    FindQuery query;
    std::unique_ptr<HitMatcher> matcher;
    Way way = Way::Decoding;
    bool localSync = false;  // any place can be read from after a short step back
    bool utf8 = false;
    std::vector<Checkpoint> checkpoints;
    bytescan::PairFilter filter;
    std::array<ByteSet, MaxFilterDistance + 1> prefix;  // bytes that may stand j bytes into a hit
    std::vector<ByteSet> tokenBytes;  // the single bytes that show each of the first query tokens
    // The markup scan stops at "<" and "&", and at a byte of the query's first character followed
    // by one of its second (or a wild one).
    ByteSet stopAlways, stopFirst, stopSecond;
    std::vector<Hit> found;

    qint64 size() const { return document ? document->size() : 0; }
    void buildFilter();
    bool deliver(Scan &scan);

    Result scan(qint64 from, qint64 limit, const Take &take, Pass &pass);
    Result scanBytes(Scan &scan);
    Result scanMarkup(Scan &scan);
    Result scanDecoded(Scan &scan);
    Checkpoint syncPoint(qint64 position);

    bool mayMatchAt(qint64 at);
    Verified verifyAt(qint64 from, bool preformatted, qint64 at, bool previousWord);
    bool matchFrom(const ShownChar &first, bool previousWord, qint64 at, Hit *hit, bool *another);
    void verifyPlain(qint64 at);
    bool charShownAt(qint64 at, bool preformatted);
    qint64 shownCharBefore(qint64 runStart, qint64 end, bool preformatted);
    char32_t secondCodePoint(qint64 amp, qint64 end);
    void verifyInMarkup(qint64 at, qint64 runStart, bool preformatted, const Anchor &anchor, bool checkpointWord);

    struct TagEnd
    {
        qint64 end = 0;
        bool preformatted = false;
        bool literal = false;  // a "<" that starts no tag: shown as itself
    };
    TagEnd skimTag(qint64 lt, bool preformatted);
    TagEnd delegate(qint64 at, bool preformatted);
};

TextFinder::TextFinder() : d(std::make_unique<Private>()) {}

TextFinder::~TextFinder() = default;

Status TextFinder::open(const FindSource &source)
{
    // A finder never closes its document: closing would delete a prepared copy the view reads.
    d->shown.reset();
    d->document = std::make_unique<Document>();
    d->bytes.close();
    d->checkpoints.clear();
    d->source = source;
    const Status status = d->document->open(source.path);
    if (!status.isOk())
        return status;
    if (!d->document->isOpen())
        return Status::error(Status::Code::Unreadable, "the document cannot be opened");
    d->document->setReadAsHtml(source.readAsHtml);
    d->document->setEncoding(source.encoding);
    if (!d->bytes.open(d->document->reader().fileName()))
        return Status::error(Status::Code::Unreadable, "the document cannot be opened");
    d->shown = std::make_unique<ShownReader>(*d->document, source.rules);

    const PositionedReader::Mode mode = d->document->reader().mode();
    const bool plucker = d->document->kind() == SourceKind::Plucker;
    const bool html = d->document->isHtml();
    d->utf8 = mode == PositionedReader::Mode::Utf8;
    const bool bytewise = d->utf8 || mode == PositionedReader::Mode::Bytes;
    d->way = plucker || !bytewise ? Way::Decoding : html ? Way::MarkupScan : Way::ByteScan;
    d->localSync = !html && !plucker && mode != PositionedReader::Mode::Codec;
    d->checkpoints.push_back(Checkpoint{});
    d->buildFilter();
    return Status::ok();
}

bool TextFinder::isOpen() const
{
    return d->shown != nullptr;
}

void TextFinder::addReadingPlace(qint64 position, bool preformatted)
{
    if (!isOpen() || d->localSync || position <= 0 || position >= size())
        return;
    auto it = std::lower_bound(d->checkpoints.begin(), d->checkpoints.end(), position,
                               [](const Checkpoint &c, qint64 p) { return c.position < p; });
    if (it == d->checkpoints.end() || it->position != position)
        d->checkpoints.insert(it, Checkpoint{position, preformatted, false});
}

const FindSource &TextFinder::source() const
{
    return d->source;
}

qint64 TextFinder::size() const
{
    return d->size();
}

TextFinder::Way TextFinder::way() const
{
    return d->way;
}

void TextFinder::setQuery(const FindQuery &query)
{
    d->query = query;
    d->matcher = std::make_unique<HitMatcher>(query);
    d->buildFilter();
}

const FindQuery &TextFinder::query() const
{
    return d->query;
}

TextFinder::Result TextFinder::findForward(qint64 from, qint64 limit, Hit *hit, const FindControl &control)
{
    Private::Pass pass{control, std::max<qint64>(0, std::min(limit, size()) - from)};
    return d->scan(from, limit, [hit](const Hit &h) {
        *hit = h;
        return false;
    }, pass);
}

TextFinder::Result TextFinder::findAll(qint64 from, qint64 limit, const std::function<bool(const Hit &)> &take,
                                       const FindControl &control)
{
    Private::Pass pass{control, std::max<qint64>(0, std::min(limit, size()) - from)};
    return d->scan(from, limit, take, pass);
}

TextFinder::Result TextFinder::findBackward(qint64 before, qint64 floor, Hit *hit, const FindControl &control)
{
    before = std::min(before, size());
    floor = std::max<qint64>(floor, 0);
    Private::Pass pass{control, std::max<qint64>(0, before - floor)};
    Hit last;
    const Private::Take keepLast = [&last](const Hit &h) {
        last = h;
        return true;
    };
    // Chunks from the end back, each read forward from a place reading may start at; they grow
    // from a few kilobytes, so that stepping back through close hits stays cheap.
    qint64 chunk = FirstBackwardChunk;
    for (qint64 end = before; end > floor; chunk = std::min(chunk * 4, BackwardChunk)) {
        qint64 start;
        if (d->localSync) {
            start = std::max(floor, end - chunk);
        } else {
            const qint64 wanted = end - chunk;
            auto it = std::upper_bound(d->checkpoints.begin(), d->checkpoints.end(), wanted,
                                       [](qint64 p, const Checkpoint &c) { return p < c.position; });
            start = it == d->checkpoints.begin() ? 0 : std::prev(it)->position;
            start = std::max(start, floor);
        }
        pass.base = before - end;
        const Result result = d->scan(start, end, keepLast, pass);
        if (result == Result::Cancelled)
            return result;
        if (last.isValid()) {
            *hit = last;
            return Result::Found;
        }
        end = start;
    }
    return Result::NotFound;
}

// ---- Scanning ------------------------------------------------------------------------------------

TextFinder::Result TextFinder::Private::scan(qint64 from, qint64 limit, const Take &take, Pass &pass)
{
    from = std::max<qint64>(from, 0);
    limit = std::min(limit, size());
    if (!shown || query.isEmpty() || from >= limit)
        return Result::NotFound;
    Scan s{from, limit, take, pass};
    found.clear();
    // Any byte of broken UTF-8 shows as the replacement character, also one in the middle of a
    // character to a scan that starts there: a query starting with it is matched on decoded text.
    const bool replacementFirst = utf8 && !query.tokens().empty()
                               && query.tokenOf(QChar::ReplacementCharacter) == query.tokens().front();
    switch (replacementFirst ? Way::Decoding : way) {
    case Way::ByteScan: return scanBytes(s);
    case Way::MarkupScan: return scanMarkup(s);
    case Way::Decoding: return scanDecoded(s);
    }
    return Result::NotFound;
}

// Hands the hits found to take, in order; false once it asked to stop.
bool TextFinder::Private::deliver(Scan &scan)
{
    for (const Hit &h : found) {
        // Characters a codec decoded from the same bytes (broken multi-byte text) share their
        // range: a hit there is handed on once.
        if (h.first < scan.from || h.first >= scan.limit || h.first == scan.lastFirst)
            continue;
        scan.lastFirst = h.first;
        if (!scan.take(h)) {
            scan.stopped = true;
            break;
        }
    }
    found.clear();
    return !scan.stopped;
}

Checkpoint TextFinder::Private::syncPoint(qint64 position)
{
    if (localSync) {
        PositionedReader &file = document->reader();
        qint64 p = std::max<qint64>(0, position - LocalReach);
        if (file.codeUnitBytes() == 2)
            p &= ~qint64(1);
        return Checkpoint{p, false, false};
    }
    auto it = std::upper_bound(checkpoints.begin(), checkpoints.end(), position,
                               [](qint64 p, const Checkpoint &c) { return p < c.position; });
    return it == checkpoints.begin() ? Checkpoint{} : *std::prev(it);
}

// Reads shown characters and matches them one by one: any encoding, Plucker codes, any markup.
TextFinder::Result TextFinder::Private::scanDecoded(Scan &scan)
{
    const Checkpoint start = syncPoint(scan.from);
    shown->seek(start.position, start.preformatted);
    matcher->reset(start.previousWord);
    ShownChar c;
    qint64 count = 0;
    while (shown->next(c)) {
        if ((++count & 0xFFF) == 0 && !scan.pass.check(c.start - scan.from))
            return Result::Cancelled;
        matcher->feed(c, found);
        if (!localSync && shown->atCleanBoundary() && c.end >= checkpoints.back().position + CheckpointSpacing)
            checkpoints.push_back(Checkpoint{c.end, shown->preformatted(), false});
        if (!found.empty() && !deliver(scan))
            return Result::Found;
        if (c.start >= scan.limit && matcher->pendingStart() >= scan.limit)
            return Result::NotFound;
    }
    matcher->finish(found);
    return deliver(scan) ? Result::NotFound : Result::Found;
}

// Whether a hit may start at `at`, judged from the bytes alone: false only when the bytes rule it
// out. Characters are compared while they are single bytes that stand for themselves, white space
// runs are stepped over, and in HTML so are tags of elements that only change the look of text
// (b, i, span, ...); anything else (a reference, another tag, a byte of a longer character, a
// carriage return) leaves the question to the markup reader.
bool TextFinder::Private::mayMatchAt(qint64 at)
{
    qint64 available = 0;
    const uint8_t *p = bytes.span(at, MayMatchReach, &available);
    if (!p)
        return true;
    const uint8_t *const end = p + std::min<qint64>(available, MayMatchReach);
    const bool html = way == Way::MarkupScan;
    for (size_t t = 0; t < tokenBytes.size(); ++t) {
        if (html) {
            while (p < end && *p == '<') {
                p = inlineTagEnd(p, end);
                if (!p)
                    return true;
            }
        }
        if (p >= end || filter.wild.contains(*p))
            return true;
        if (!tokenBytes[t].contains(*p))
            return false;
        ++p;
        if (query.tokens()[t] == FindQuery::Space) {
            // A run of white space: as much as there is, across tags that hide nothing.
            while (p < end) {
                if (html && *p == '<') {
                    p = inlineTagEnd(p, end);
                    if (!p)
                        return true;
                } else if (tokenBytes[t].contains(*p)) {
                    ++p;
                } else {
                    break;
                }
            }
        }
    }
    return true;
}

// Text without markup in UTF-8 or a single-byte encoding: a byte scan for the first character
// (and, k bytes on, the k-th), each place verified by reading it.
TextFinder::Result TextFinder::Private::scanBytes(Scan &scan)
{
    for (qint64 p = scan.from; p < scan.limit;) {
        if (!scan.pass.check(p - scan.from))
            return Result::Cancelled;
        qint64 available = 0;
        const uint8_t *data = bytes.span(p, 4096, &available);
        if (!data)
            break;
        // The vector scan reads 32 bytes past each place it looks at, mayMatchAt() 256: both within
        // the window, which must not move while the scan holds it.
        const qint64 tail = p + available < size() ? MayMatchReach : 0;
        qint64 count = std::min({scan.limit - p, available - tail, ReportEvery});
        bool stop = false;
        auto take = [&](size_t i) {
            const qint64 at = p + qint64(i);
            if (mayMatchAt(at))
                verifyPlain(at);
            stop = !found.empty() && !deliver(scan);
            return !stop;
        };
        if (count > 0) {
            bytescan::scanPairs(data, size_t(count), filter, take);
        } else {
            count = std::min(scan.limit - p, available);
            for (qint64 i = 0; i < count && !stop; ++i) {
                if (filter.first.contains(data[i]))
                    take(size_t(i));
            }
        }
        if (stop)
            return Result::Found;
        p += count;
    }
    return Result::NotFound;
}

// A place of a text without markup: read from a few characters before it when whole words need
// the character before.
void TextFinder::Private::verifyPlain(qint64 at)
{
    if (!query.options().wholeWords) {
        verifyAt(at, false, at, false);
        return;
    }
    // Read through the document's own reader: the byte scan's window stays where it is.
    PositionedReader &file = document->reader();
    for (qint64 reach = 16;; reach *= 16) {
        const bool fromStart = at <= reach;
        qint64 from = fromStart ? 0 : at - reach;
        // Stray continuation bytes belong to no character: start at the next lead byte. When
        // they run all the way back to the start, nothing shown comes before the place.
        while (utf8 && from < at) {
            file.seek(from);
            if ((file.readByte() & 0xC0) != 0x80)
                break;
            ++from;
        }
        if (verifyAt(from, false, at, false).sawBefore || fromStart)
            return;
    }
}

// Reads from `from` (where reading may start) to the shown characters that start at `at` and tries
// a hit from each; hits go to `found`.
TextFinder::Private::Verified TextFinder::Private::verifyAt(qint64 from, bool preformatted, qint64 at,
                                                            bool previousWord)
{
    Verified result;
    for (int n = 0; n < MaxUnitsAtOnePlace; ++n) {
        shown->seek(from, preformatted);
        bool previous = previousWord;
        bool there = false;
        int index = -1;
        ShownChar c;
        while (shown->next(c)) {
            if (c.start < at) {
                previous = findchars::isWordChar(c.value);
                result.sawBefore = true;
                continue;
            }
            if (c.start > at)
                break;
            if (++index == n) {
                there = true;
                break;
            }
            previous = findchars::isWordChar(c.value);
        }
        if (!there)
            break;
        result.unitThere = true;
        Hit hit;
        bool another = false;
        if (matchFrom(c, previous, at, &hit, &another))
            found.push_back(hit);
        if (!another)
            break;
    }
    return result;
}

// Matches the query against the shown characters from `first` on. *another: the character after
// `first` starts at `at` too (the second code point of a reference).
bool TextFinder::Private::matchFrom(const ShownChar &first, bool previousWord, qint64 at, Hit *hit, bool *another)
{
    ShownChar after;
    bool pending = shown->next(after);
    *another = pending && after.start == at;
    const bool wholeWords = query.options().wholeWords;
    if (wholeWords && previousWord && findchars::isWordChar(first.value))
        return false;
    ShownChar c = first;
    bool have = true;
    auto advance = [&] {
        if (pending) {
            c = after;
            pending = false;
            return true;
        }
        return shown->next(c);
    };
    qint64 lastEnd = first.end;
    bool lastWord = false;
    for (const char32_t token : query.tokens()) {
        if (!have)
            return false;
        const char32_t shownToken = query.tokenOf(c.value);
        if (token != shownToken)
            return false;
        if (token == FindQuery::Space) {
            do
                have = advance();
            while (have && query.tokenOf(c.value) == FindQuery::Space);
            continue;
        }
        lastEnd = c.end;
        lastWord = findchars::isWordChar(c.value);
        have = advance();
    }
    if (wholeWords && lastWord && have && findchars::isWordChar(c.value))
        return false;
    *hit = Hit{first.start, lastEnd};
    return true;
}

// ---- HTML ----------------------------------------------------------------------------------------

// The raw character at `at`, a character start inside a run of text, is shown.
bool TextFinder::Private::charShownAt(qint64 at, bool preformatted)
{
    const int b = bytes.at(at);
    if (b == '\r')
        return !preformatted && (source.rules.crIsLineFeed || source.rules.stripNewlines);
    if (utf8 && b == 0xEF)
        return !(bytes.at(at + 1) == 0xBB && bytes.at(at + 2) == 0xBF);  // a byte-order mark is not
    return b >= 0;
}

// The start of the last character of [runStart, end), a run of text, that is surely shown; -1 when
// none is found close to `end`.
qint64 TextFinder::Private::shownCharBefore(qint64 runStart, qint64 end, bool preformatted)
{
    for (qint64 q = end - 1; q >= runStart && q >= end - AnchorReach; --q) {
        if (utf8 && (bytes.at(q) & 0xC0) == 0x80)
            continue;
        if (charShownAt(q, preformatted))
            return q;
    }
    return -1;
}

void TextFinder::Private::verifyInMarkup(qint64 at, qint64 runStart, bool preformatted, const Anchor &anchor,
                                         bool checkpointWord)
{
    if (!query.options().wholeWords) {
        verifyAt(at, preformatted, at, false);
        return;
    }
    const qint64 before = at > runStart ? shownCharBefore(runStart, at, preformatted) : -1;
    if (before >= 0)
        verifyAt(before, preformatted, at, false);
    else
        verifyAt(anchor.position, anchor.preformatted, at, anchor.isCheckpoint && checkpointWord);
}

// The second code point of the reference [amp, end) when it stands for two, else 0.
char32_t TextFinder::Private::secondCodePoint(qint64 amp, qint64 end)
{
    const qint64 length = end - amp - 2;
    if (length < 1 || length > 32 || bytes.at(end - 1) != ';' || bytes.at(amp + 1) == '#')
        return 0;
    char16_t body[32];
    for (qint64 i = 0; i < length; ++i)
        body[i] = char16_t(bytes.at(amp + 1 + i));
    char32_t first = 0, second = 0;
    lookupHtmlEntity(QStringView(body, length), first, second);
    return second;
}

TextFinder::Private::TagEnd TextFinder::Private::delegate(qint64 at, bool preformatted)
{
    shown->seek(at, preformatted);
    const MarkupReader::Char c = shown->step();
    TagEnd end;
    end.end = shown->position();
    end.preformatted = shown->preformatted();
    end.literal = c.kind == MarkupReader::Kind::Text && c.value == U'<';
    return end;
}

// Where the tag at `lt` ends, as the markup reader reads it. Ordinary tags are read here a byte at a
// time; comments, declarations, hidden elements and anything unusual go to the markup reader.
TextFinder::Private::TagEnd TextFinder::Private::skimTag(qint64 lt, bool preformatted)
{
    qint64 available = 0;
    const uint8_t *data = bytes.span(lt, 4096, &available);
    if (!data)
        return delegate(lt, preformatted);
    const uint8_t *const end = data + available;
    const uint8_t *p = data + 1;
    // The whole tag must lie in the window; a tag across its end is left to the markup reader.
    if (p >= end)
        return delegate(lt, preformatted);
    const bool closing = *p == '/';
    if (closing && ++p >= end)
        return delegate(lt, preformatted);
    if (!isAsciiLetter(*p))
        return delegate(lt, preformatted);  // "<!", "<?", a literal "<", "</" and no name
    char name[MaxTagName + 1];
    int length = 0;
    for (; p < end; ++p) {
        const uint8_t c = *p;
        if (c == '>' || c == '/' || isTagSpace(c))
            break;
        if (c >= 0x80 || c == 0)
            return delegate(lt, preformatted);  // names the markup reader cuts to bytes its own way
        if (length == MaxTagName)
            return delegate(lt, preformatted);  // too long to be an element: rare enough
        name[length++] = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    if (p >= end || (!closing && hidesContent(name, length)))
        return delegate(lt, preformatted);

    // Up to ">" outside a quoted value; a quote opens a value only just after "=".
    const uint8_t *q = p;
    while (q < end && *q != '>' && *q != '"' && *q != '\'')
        ++q;
    if (q < end && *q != '>') {
        int quote = 0;
        bool valueStarts = false;
        for (q = p; q < end; ++q) {
            const uint8_t c = *q;
            if (c == '>' && !quote)
                break;
            if (quote)
                quote = c == quote ? 0 : quote;
            else if (valueStarts && (c == '"' || c == '\''))
                quote = c;
            else if (!isTagSpace(c))
                valueStarts = c == '=';
        }
    }
    if (q >= end)
        return delegate(lt, preformatted);
    TagEnd tag;
    tag.end = lt + (q - data) + 1;
    tag.preformatted = length == 3 && !std::memcmp(name, "pre", 3) ? !closing : preformatted;
    return tag;
}

// HTML in UTF-8 or a single-byte encoding: runs of text are scanned for the query's first
// character, tags are stepped over, references and candidate places are read with the markup reader.
TextFinder::Result TextFinder::Private::scanMarkup(Scan &scan)
{
    const Checkpoint start = syncPoint(scan.from);
    const bool wholeWords = query.options().wholeWords;
    qint64 pos = start.position;
    bool preformatted = start.preformatted;
    qint64 runStart = pos;
    Anchor anchor{start.position, start.preformatted, true};
    const qint64 size = this->size();
    const char32_t firstToken = query.tokens().front();

    StopMask stopsAhead(stopAlways, stopFirst, stopSecond);
    quint64 generation = ~quint64(0);  // of the window the stops were found in
    const uint8_t *window = nullptr;
    qint64 windowBase = 0;
    qint64 windowLength = 0;
    while (pos < scan.limit) {
        if (!scan.pass.check(pos - scan.from))
            return Result::Cancelled;
        if (bytes.generation() != generation || !stopsAhead.covers(pos)) {
            qint64 available = 0;
            window = bytes.span(pos, 64, &available);
            if (!window)
                break;
            generation = bytes.generation();
            windowBase = pos;
            windowLength = available;
            const qint64 count = std::min(available, scan.limit - pos);
            stopsAhead.reset(window, pos, count, count < available);
        }
        const qint64 stop = stopsAhead.next(pos);
        if (stop >= stopsAhead.end()) {
            pos = stop;  // the run goes on past this window
            continue;
        }
        const uint8_t *at = window + (stop - windowBase);
        const uint8_t b = *at;
        if (b == '<') {
            if (!wholeWords && stop < checkpoints.back().position + CheckpointSpacing) {
                if (const qint64 end = ordinaryTagEnd(at, window + windowLength, stop)) {
                    pos = runStart = end;
                    continue;
                }
            }
            if (stop > runStart && stop >= checkpoints.back().position + CheckpointSpacing) {
                const int before = bytes.at(stop - 1);
                if (before < 0x80 && before != '\r')
                    checkpoints.push_back(Checkpoint{stop, preformatted, findchars::isWordChar(char32_t(before))});
            }
            if (wholeWords && stop > runStart) {
                const qint64 shownAt = shownCharBefore(runStart, stop, preformatted);
                if (shownAt >= 0)
                    anchor = Anchor{shownAt, preformatted, false};
            }
            const TagEnd tag = skimTag(stop, preformatted);
            if (tag.literal) {
                if (stop >= scan.from && filter.first.contains('<') && mayMatchAt(stop)) {
                    verifyInMarkup(stop, runStart, preformatted, anchor, start.previousWord);
                    if (!found.empty() && !deliver(scan))
                        return Result::Found;
                }
                pos = stop + 1;
                continue;
            }
            pos = runStart = tag.end;
            preformatted = tag.preformatted;
            continue;
        }
        if (b == '&') {
            if (wholeWords && stop > runStart) {
                const qint64 shownAt = shownCharBefore(runStart, stop, preformatted);
                if (shownAt >= 0)
                    anchor = Anchor{shownAt, preformatted, false};
            }
            // The reference's characters: one, or two with no move between them.
            shown->seek(stop, preformatted);
            const MarkupReader::Char first = shown->step();
            const qint64 end = shown->position();
            const char32_t second = secondCodePoint(stop, end);
            const bool starts = query.tokenOf(first.value) == firstToken
                             || (second && query.tokenOf(second) == firstToken);
            if (starts && stop >= scan.from) {
                verifyInMarkup(stop, runStart, preformatted, anchor, start.previousWord);
                if (!found.empty() && !deliver(scan))
                    return Result::Found;
            }
            if (wholeWords && shown->shows(first))
                anchor = Anchor{stop, preformatted, false};
            pos = runStart = end;
            continue;
        }
        if (stop >= scan.from && mayMatchAt(stop)) {
            verifyInMarkup(stop, runStart, preformatted, anchor, start.previousWord);
            if (!found.empty() && !deliver(scan))
                return Result::Found;
        }
        pos = stop + 1;
        if (pos >= size)
            break;
    }
    return Result::NotFound;
}

// ---- The filter ----------------------------------------------------------------------------------

void TextFinder::Private::buildFilter()
{
    filter = bytescan::PairFilter{};
    prefix = {};
    tokenBytes.clear();
    if (!document || !document->isOpen() || query.isEmpty() || way == Way::Decoding)
        return;
    const toUnicode &table = document->codePage();
    auto bytesOf = [&](char32_t token) {
        ByteSet set;
        const int last = utf8 ? 0x7F : 0xFF;
        for (int b = 0; b <= last; ++b) {
            const char32_t c = b < 0x80 || table.index() < 0 ? char32_t(b) : table.getQChar(uint8_t(b)).unicode();
            if (query.tokenOf(c) == token)
                set.add(uint8_t(b));
        }
        return set;
    };
    const std::vector<char32_t> &tokens = query.tokens();
    filter.first = bytesOf(tokens[0]);
    if (utf8) {
        const std::vector<char32_t> variants =
            query.options().matchCase ? std::vector<char32_t>{tokens[0]} : findchars::unfolded(tokens[0]);
        for (const char32_t c : variants) {
            if (c >= 0x80 && c <= 0x10FFFF)
                filter.first.add(utf8Lead(c));
        }
        filter.wild.addRange(0x80, 0xFF);
    }
    filter.wild.add('\r');
    if (way == Way::MarkupScan) {
        filter.wild.add('<');
        filter.wild.add('&');
    }
    // A run of white space has no fixed length: the filter looks no further than its first byte.
    int k = 0;
    while (k < MaxFilterDistance && k + 1 < int(tokens.size()) && tokens[size_t(k)] != FindQuery::Space) {
        ++k;
        prefix[size_t(k)] = bytesOf(tokens[size_t(k)]);
    }
    filter.k = k;
    filter.kth = prefix[size_t(k)];
    tokenBytes.clear();
    for (size_t t = 0; t < tokens.size() && t < MaxCheckedTokens; ++t)
        tokenBytes.push_back(bytesOf(tokens[t]));
    stopAlways = ByteSet{};
    stopAlways.add('<');
    stopAlways.add('&');
    stopFirst = filter.first;
    stopSecond = ByteSet{};
    if (tokens.size() > 1) {
        for (int b = 0; b < 256; ++b) {
            if (tokenBytes[1].contains(uint8_t(b)) || filter.wild.contains(uint8_t(b)))
                stopSecond.add(uint8_t(b));
        }
    } else {
        for (int b = 0; b < 256; ++b) {
            if (stopFirst.contains(uint8_t(b)))
                stopAlways.add(uint8_t(b));
        }
        stopFirst = ByteSet{};
    }
}
