#pragma once

#include <unzip.h>

#include <cstdint>
#include <vector>

// A zip archive as minizip's file functions see it: pread on a descriptor the caller opened and
// checked, so no path is opened a second time and nothing can be swapped in between.
struct ZipSource
{
    int fd;
    uint64_t size;
    uint64_t position = 0;
    uint64_t bytesRead = 0;  // for progress: the directory is read as well as the members
    bool failed = false;
    // minizip asks for a few bytes or 16 KiB at a time; reads go through this window of the file
    // so that a member of many small reads costs few system calls.
    std::vector<char> window;
    uint64_t windowStart = 0;

    // Up to `size` bytes at `position`; -1 on a read error.
    long long read(uint64_t at, void *buffer, size_t size);

    // minizip's functions over this source; the descriptor stays the caller's.
    zlib_filefunc64_def functions();
};

namespace zipentry {
// A 32-bit size field holding this says the real size is in the zip64 extra field.
constexpr uint64_t Zip64Marker = 0xFFFFFFFFu;

// The uncompressed size of an entry: from its zip64 extra field (id 1) when the 32-bit field says
// so (minizip 1.1 built for 64 bits misses that field), else the directory's own.
uint64_t uncompressedSize(const unz_file_info64 &info, const unsigned char *extra);
// Folders are entries named with a trailing slash, or empty entries with a folder's MS-DOS
// attribute or Unix mode. `name` holds info.size_filename bytes.
bool isFolder(const unz_file_info64 &info, const char *name);
} // namespace zipentry
