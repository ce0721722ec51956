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
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat st;
    int error = EINVAL;
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (S_ISREG(st.st_mode)) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
            return fd;
        error = errno;
    }
    ::close(fd);
    errno = error;
    return -1;
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
