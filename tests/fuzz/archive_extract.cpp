// Fuzz target: any bytes as a zip archive and as a gzip file, unpacked into an in-memory file
// under a 1 MiB limit. Whatever the input, the copy never passes the limit, and every byte
// written was counted by the meter.
#include "CopyMeter.h"
#include "Unzip.h"

#include <cstddef>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

namespace {
constexpr uint64_t Limit = 1 << 20;

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
    static const int source = memoryFile("archive"), copy = memoryFile("copy");
    reset(source);
    for (size_t done = 0; done < size;) {
        const ssize_t put = write(source, data + done, size - done);
        if (put <= 0)
            __builtin_trap();
        done += size_t(put);
    }
    for (bool zip : {true, false}) {
        reset(copy);
        CopyMeter meter(Limit);
        Unzip unzip(source, meter);
        const Status status = zip ? unzip.uncompress(copy) : unzip.ungzip(copy);
        const off_t written = lseek(copy, 0, SEEK_END);
        if (written < 0 || uint64_t(written) > Limit || uint64_t(written) != meter.written())
            __builtin_trap();
        if ((status.code() == Status::Code::TooLarge) != meter.stopped())
            __builtin_trap();
    }
    return 0;
}
