// FictionBook parsing: the first byte says whether the rest is the .fb2 file itself (even) or a
// zip holding it (odd); it is converted to HTML under a small size limit. Whatever comes in,
// nothing crashes, and a book that converts describes itself within its bounds: contents entries
// inside the copy, in order, at most MaxLevel deep.
#include "Fb2Book.h"
#include "FuzzBook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const bool zipped = data[0] & 1;
    convertBook(data + 1, size - 1, true, [zipped](int source, int out, CopyMeter &meter, BookInfo &info) {
        return Fb2Book::convert(source, zipped, out, meter, info);
    });
    return 0;
}
