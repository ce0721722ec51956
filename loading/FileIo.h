#pragma once

#include <cerrno>
#include <cstddef>
#include <unistd.h>

// Writes all `n` bytes to `fd`, going on after interrupted or short writes; false on an error
// or when the device takes nothing (a full disk).
inline bool writeAll(int fd, const void *data, size_t n)
{
    const char *p = static_cast<const char *>(data);
    while (n > 0) {
        const ssize_t put = ::write(fd, p, n);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        p += put;
        n -= size_t(put);
    }
    return true;
}
