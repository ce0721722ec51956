#pragma once

#include "BookInfo.h"
#include "Status.h"

class CopyMeter;

// A FictionBook 2 book (.fb2, or a zip whose first file is one) turned into one HTML document
// for the markup reader, with its metadata and its own contents, as EpubBook does.
namespace Fb2Book {

// Bumped whenever the bytes of the copy change for the same book.
constexpr int FormatVersion = 1;

// As EpubBook::convert; `sourceFd` is the .fb2 file itself, or a zip archive whose first file
// member is the book (`zipped`).
Status convert(int sourceFd, bool zipped, int outFd, CopyMeter &meter, BookInfo &info);

} // namespace Fb2Book
