// Fuzz target: any bytes as a Palm database through the converter, into in-memory files.
#include "makedoc9.h"

#include <cstddef>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

namespace {
int memoryFile(const char *name)
{
    const int fd = memfd_create(name, MFD_CLOEXEC);
    if (fd < 0)
        __builtin_trap();
    return fd;
}
void reset(int fd)
{
    if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0)
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const int source = memoryFile("source"), text = memoryFile("text"), rim = memoryFile("rim");
    reset(source);
    reset(text);
    reset(rim);
    for (size_t done = 0; done < size;) {
        const ssize_t put = write(source, data + done, size - done);
        if (put <= 0)
            __builtin_trap();
        done += size_t(put);
    }
    const int result = makedoc9::Decomp(source, text, rim).result;
    if (result < 0 || result > 2)
        __builtin_trap();
    // A rim is written only for Plucker, and always in whole entries.
    const off_t rimSize = lseek(rim, 0, SEEK_END);
    if (result == makedoc9::Plucker && rimSize % 8 != 0)
        __builtin_trap();
    if (result == makedoc9::PalmDoc && rimSize != 0)
        __builtin_trap();
    return 0;
}
