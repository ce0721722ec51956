#pragma once

#include "FindQuery.h"
#include "ShownReader.h"
#include "Status.h"

#include <QString>
#include <functional>
#include <memory>

// The document a search reads, opened the way the view opens it, and how the page shows it.
struct FindSource
{
    QString path;  // the document as the user opened it; an archive's prepared copy is reused
    QString encoding = QStringLiteral("UTF-8");  // as the settings name it, "Automatic" included
    bool readAsHtml = false;  // the strip-HTML setting: every document read with tags and references
    ShownRules rules;

    bool operator==(const FindSource &o) const;
    bool operator!=(const FindSource &o) const { return !(*this == o); }
};

// What a long search asks now and then (about once a megabyte); either may be empty.
struct FindControl
{
    std::function<bool()> cancelled;                          // true: stop at once
    std::function<void(qint64 done, qint64 total)> progress;  // bytes gone through of those to go
};

// Finds a query in the text a document shows, the way the view reads it: references decoded,
// tags, hidden elements and Plucker codes skipped, in any encoding. Hits are byte ranges of the
// file really read. The finder opens the document itself, so it may work on a thread of its own
// while the view reads its copy; one finder is used by one thread at a time.
//
// Text in UTF-8 or a single-byte encoding is not decoded whole: a byte scan (SSE2 where there is
// one) finds the places where the query's first characters may stand, and each is verified by
// reading from there with the markup reader. In HTML the scan also steps over tags itself, handing
// comments, declarations, hidden elements and anything unusual to the markup reader. Other
// encodings and Plucker books are decoded character by character. Where a place cannot be read
// from without knowing what comes before (HTML, multi-byte code pages, Plucker codes), searches
// resume from places recorded by earlier passes, about every 64 KB.
class TextFinder
{
public:
    enum class Result { Found, NotFound, Cancelled };
    enum class Way { ByteScan, MarkupScan, Decoding };

    TextFinder();
    ~TextFinder();
    TextFinder(const TextFinder &) = delete;
    TextFinder &operator=(const TextFinder &) = delete;

    // Opens the document as the view does (prepared when an archive or Palm book); the status
    // says why it cannot be.
    Status open(const FindSource &source);
    bool isOpen() const;
    const FindSource &source() const;
    // Of the file really read.
    qint64 size() const;
    Way way() const;

    // Reading may start at `position` (a page start the view reads from; `preformatted`: inside
    // pre), so searches from there need not read from an earlier place that forward reading left.
    void addReadingPlace(qint64 position, bool preformatted);

    void setQuery(const FindQuery &query);
    const FindQuery &query() const;

    // The first hit that starts in [from, limit).
    Result findForward(qint64 from, qint64 limit, Hit *hit, const FindControl &control = {});
    // The last hit that starts in [floor, before). Reads forward a megabyte at a time from there back.
    Result findBackward(qint64 before, qint64 floor, Hit *hit, const FindControl &control = {});
    // Every hit that starts in [from, limit), in order, until `take` returns false (Found then).
    Result findAll(qint64 from, qint64 limit, const std::function<bool(const Hit &)> &take,
                   const FindControl &control = {});

private:
    struct Private;
    std::unique_ptr<Private> d;
};
