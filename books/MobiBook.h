#pragma once

#include "BookInfo.h"
#include "Status.h"

class CopyMeter;

// A MOBI or AZW3 book (a Palm database of type "BOOK", creator "MOBI") turned into one HTML
// document for the markup reader, with its metadata and its own contents, as EpubBook does.
namespace MobiBook {

// Bumped whenever the bytes of the copy change for the same book.
constexpr int FormatVersion = 1;

// A Palm database whose header says type "BOOK", creator "MOBI".
bool looksLikeMobi(int fd);

// As EpubBook::convert.
Status convert(int sourceFd, int outFd, CopyMeter &meter, BookInfo &info);

} // namespace MobiBook
