#pragma once
// What the fuzz targets share: a trap that the fuzzer reports as a crash, and files in memory
// that hold the input without leaving anything behind.
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

// Stops the run as a crash when a promise is broken.
inline void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// A new, empty file in memory, open for reading and writing.
inline int memoryFile(const char *name)
{
    const int fd = memfd_create(name, MFD_CLOEXEC);
    check(fd >= 0);
    return fd;
}

// Makes `fd` hold just `size` bytes of `data`, positioned at the start.
inline void refill(int fd, const uint8_t *data, size_t size)
{
    check(ftruncate(fd, 0) == 0 && (size == 0 || pwrite(fd, data, size, 0) == ssize_t(size)));
    check(lseek(fd, 0, SEEK_SET) == 0);
}

// A name that opens `fd`'s file again, for code that opens files by name.
inline std::string pathOf(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}
