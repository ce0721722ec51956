#include "FileIo.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileio {

int openForReading(const char *path)
{
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int openRegularForReading(const char *path)
{
    const auto refuse = [](const struct stat &s) {
        errno = S_ISDIR(s.st_mode) ? EISDIR : ENXIO;
        return -1;
    };
    const auto fail = [](int fd) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    };
    // stat first so that a device is never opened at all; the fstat after the open is the check
    // that counts, since the path may have been replaced in between.
    struct stat info;
    if (::stat(path, &info) != 0)
        return -1;
    if (!S_ISREG(info.st_mode))
        return refuse(info);
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &info) != 0)
        return fail(fd);
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return refuse(info);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0)
        return fail(fd);
    return fd;
}

bool writeAll(int fd, const void *data, size_t n)
{
    const char *p = static_cast<const char *>(data);
    while (n > 0) {
        const ssize_t put = ::write(fd, p, n);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return false;
        if (put == 0) {
            errno = ENOSPC;
            return false;
        }
        p += put;
        n -= size_t(put);
    }
    return true;
}

ssize_t readAt(int fd, uint64_t offset, void *buffer, size_t n)
{
    char *p = static_cast<char *>(buffer);
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, p + got, n - got, off_t(offset + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        got += size_t(r);
    }
    return ssize_t(got);
}

} // namespace fileio
