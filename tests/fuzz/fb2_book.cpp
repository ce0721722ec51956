// FictionBook parsing: the first byte says whether the rest is the .fb2 file itself (even) or a
// zip holding it (odd); it is converted to HTML under a small size limit. Whatever comes in,
// nothing crashes, and a book that converts describes itself within its bounds: contents entries
// inside the copy, in order, at most MaxLevel deep.
#include "CopyMeter.h"
#include "Fb2Book.h"
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const int source = memoryFile("book.fb2");
    static const int out = memoryFile("book.html");
    refill(source, data + 1, size - 1);
    refill(out, nullptr, 0);
    constexpr uint64_t limit = 1 << 20;
    CopyMeter meter(limit);
    meter.start(size - 1);
    BookInfo info;
    if (!Fb2Book::convert(source, (data[0] & 1) != 0, out, meter, info).isOk()) {
        check(info == BookInfo());  // nothing half-made is handed out
        return 0;
    }
    check(info.contents.size() <= BookInfo::MaxEntries && info.title.size() <= BookInfo::MaxText &&
          info.author.size() <= BookInfo::MaxText && info.language.size() <= BookInfo::MaxText);
    const off_t written = lseek(out, 0, SEEK_END);
    check(written > 0 && uint64_t(written) <= limit);
    qint64 previous = 0;
    for (const BookInfo::Entry &entry : std::as_const(info.contents)) {
        check(entry.position >= previous && entry.position < written);
        check(entry.level >= 0 && entry.level <= BookInfo::MaxLevel);
        previous = entry.position;
    }
    return 0;
}
