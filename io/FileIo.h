#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

// Whole reads and writes on descriptors: interrupted calls and short transfers go on until the
// request is done, so callers never write the loop again.
namespace fileio {

// Opens `path` read-only with O_CLOEXEC; -1 with errno set on failure.
int openForReading(const char *path);

// Opens `path` (following symbolic links) read-only with O_CLOEXEC, but only when it is a regular
// file. The open never blocks: a FIFO or device is opened non-blocking, seen for what it is and
// closed. The descriptor returned is blocking again. -1 on failure with errno set: EINVAL when the
// path names something other than a regular file (a folder, FIFO or device), otherwise open's.
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
