#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

// Whole reads and writes on descriptors: interrupted calls and short transfers go on until the
// request is done, so callers never write the loop again.
namespace fileio {

// Opens `path` read-only with O_CLOEXEC; -1 with errno set on failure.
int openForReading(const char *path);

// Opens `path` read-only with O_CLOEXEC only when it is a regular file. The file is opened
// without blocking and checked with fstat before anything waits on it, so a FIFO or a device
// never blocks. -1 with errno set on failure: EISDIR for a folder, ENODEV for any other file
// that is not regular (FIFO, socket, device).
int openRegularForReading(const char *path);

// Writes all `n` bytes. False on an error, or when the device takes nothing (a full disk:
// errno is then ENOSPC).
bool writeAll(int fd, const void *data, size_t n);

// Reads up to `n` bytes at `offset`, stopping early only at the end of the file. Returns the
// count read, or -1 on an error (errno set).
ssize_t readAt(int fd, uint64_t offset, void *buffer, size_t n);

// Exactly `n` bytes at `offset`; false on an error or when the file ends first.
inline bool readExactlyAt(int fd, uint64_t offset, void *buffer, size_t n)
{
    return readAt(fd, offset, buffer, n) == ssize_t(n);
}

} // namespace fileio
