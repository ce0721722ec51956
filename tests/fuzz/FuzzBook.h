#pragma once
// What the book fuzz targets share: a book converted to HTML in memory under a 1 MiB limit. One
// that fails hands out nothing half-made; one that converts describes itself within its bounds:
// contents entries inside the copy, at most MaxLevel deep, and in the copy's order where the
// contents are found in one pass over the text (a book's own table of contents may go back).
#include "BookInfo.h"
#include "CopyMeter.h"
#include "FuzzInput.h"

// `convert(source, out, meter, info)` runs one converter over `size` bytes of `data`;
// `entriesInOrder` says whether its contents entries follow the copy.
template <typename Convert>
void convertBook(const uint8_t *data, size_t size, bool entriesInOrder, Convert convert)
{
    constexpr uint64_t Limit = 1 << 20;
    static const int source = memoryFile("book"), out = memoryFile("book.html");
    refill(source, data, size);
    refill(out, nullptr, 0);
    CopyMeter meter(Limit);
    meter.start(size);
    BookInfo info;
    if (!convert(source, out, meter, info).isOk()) {
        check(info == BookInfo());
        return;
    }
    check(info.contents.size() <= BookInfo::MaxEntries && info.title.size() <= BookInfo::MaxText
          && info.author.size() <= BookInfo::MaxText && info.language.size() <= BookInfo::MaxText);
    const off_t written = lseek(out, 0, SEEK_END);
    check(written > 0 && uint64_t(written) <= Limit);
    qint64 previous = 0;
    for (const BookInfo::Entry &entry : std::as_const(info.contents)) {
        check(entry.position >= previous && entry.position < written);
        check(entry.level >= 0 && entry.level <= BookInfo::MaxLevel);
        previous = entriesInOrder ? entry.position : 0;
    }
}
