#pragma once

#include "Status.h"

#include <cstddef>

class CopyMeter;

// Palm database conversion: PalmDoc ("TEXtREAd") and Plucker ("DataPlkr") e-books become one
// plain text file, plus for Plucker a rim file of 8-byte little-endian paragraph entries
// (record id 2, paragraph number 2, text offset 4). The converted bytes are a stored format:
// bookmarks and links hold offsets into them.
//
// Every length and offset in the database is checked against the bytes really present;
// damaged input makes the conversion fail, it is never read or written out of range.
namespace makedoc9 {

enum Result { Failed = 0, Plucker = 1, PalmDoc = 2 };

// What a conversion made of the database, and why it failed when it did.
struct Conversion
{
    Result result = Failed;
    Status status;
};

// Converts the database open for reading on `sourceFd` (read with pread, from offset 0) into
// `textFd`, and for Plucker the paragraph index into `rimFd` (-1: no index is written).
// Both outputs are written from their current position. The meter, when given, bounds the text
// and hears how far through the records the conversion is. On failure the outputs hold whatever
// was written so far; the caller decides what to keep.
Conversion Decomp(int sourceFd, int textFd, int rimFd, CopyMeter *meter = nullptr);

// The same on paths, without a limit: the rim file is deleted first (for every database), the text
// file is created or truncated; neither is opened through a symbolic link, and the source only
// when it is a regular file. `rim` may be null.
Conversion Decomp(const char *source, const char *text, const char *rim);

// Decompresses `length` bytes of the PalmDoc scheme into `output`, which holds `outputSize`
// bytes, and returns the number of bytes produced. Stops where the input is damaged
// (a back-reference before the start of the output, a code cut off by the end of the input,
// output that would pass outputSize) and then sets *damaged, when given.
unsigned Decompress(const unsigned char *input, unsigned char *output, unsigned length,
                    unsigned outputSize, bool *damaged = nullptr);

} // namespace makedoc9
