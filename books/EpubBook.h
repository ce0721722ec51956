#pragma once

#include "BookInfo.h"
#include "Status.h"

class CopyMeter;

// An EPUB book turned into one HTML document for the markup reader: the bodies of its chapters in
// reading order (linear ones first), each starting with a name anchor ("s<k>", k its place in the
// reading order), with a name anchor ("s<k>.<id>") before every element that has an id, and links
// rewritten to those anchors. One pass over the book: the anchors' names are known before the
// elements are met. The same book always gives the same bytes: positions in the copy are what
// bookmarks and reading places keep.
namespace EpubBook {

// Bumped whenever the bytes of the copy change for the same book.
constexpr int FormatVersion = 1;

// A zip whose first member is "mimetype" holding "application/epub+zip".
bool looksLikeEpub(int fd);

// Writes the HTML copy of the book open on `sourceFd` to `outFd` (both the caller's, read and
// written from their current positions) and fills `info` with its metadata and contents. Every
// byte written passes the meter. On failure `outFd` holds a partial copy for the caller to delete.
Status convert(int sourceFd, int outFd, CopyMeter &meter, BookInfo &info);

} // namespace EpubBook
