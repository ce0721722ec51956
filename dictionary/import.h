#pragma once

#include "Status.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The readers behind `folium-dict build` and `folium-dict import-dictd`. Each reads a foreign
// word list from descriptors and writes a plain, unsorted dictionary (header, then
// "word LF sense NUL" in source order) that DictImpl::xerox then sorts, compresses and indexes.
// Every length is bounded, so memory stays bounded whatever the input; nothing is printed.
namespace dictimport {

struct Limits {
    size_t maxEntry = size_t(1) << 20;      // bytes of one source entry: a TSV line, a dictd text
    uint64_t maxOutput = 0x7fffffff;        // bytes of the plain dictionary: the engine's limit
    uint64_t maxHeld = uint64_t(512) << 20; // headwords and their bookkeeping held in memory
};

// Which file a failure is about, so that messages name the file at fault.
enum class Source {
    None,
    List,   // the TSV, or the dictd index
    Body,   // the dictd text (.dict or .dict.dz)
    Output, // the plain dictionary or the scratch file
};

struct Outcome {
    Status status;
    Source faultIn = Source::None;
    long line = 0;    // the list's line at fault, 0 when the failure is not about one line
    long skipped = 0; // dictd index lines that name no usable entry
};

// Lines "word TAB sense"; in the sense \n stands for LF and \\ for a backslash. Empty lines
// are skipped, a final CR is dropped; a line without a tab or with a NUL, or longer than
// maxEntry, fails naming its line. `id` becomes the dictionary's id when not empty.
Outcome importTsv(int tsvFd, const std::string &id, int outFd, const Limits &limits = {});

// A dictd index (lines "word TAB offset TAB length", numbers in dictd's base 64) and its text,
// plain or gzip (dictzip). The text is read once, front to back, in the order of the offsets the
// index names; scratchFd (an empty file, read and written) holds the converted entries until
// they are written in index order. Index lines that do not parse, lie outside the text or hold a
// NUL are skipped and counted; an entry longer than maxEntry fails naming its headword. The id
// comes from `id`, else from the 00-database-short entry.
Outcome importDictd(int indexFd, int bodyFd, int scratchFd, const std::string &id, int outFd,
                    const Limits &limits = {});

} // namespace dictimport
