// Fuzz target: any bytes as a dictd index and its text (plain or gzip) through the importer.
// Input: 2 bytes of index length, 1 byte of flags (bit 0: small limits, so that short inputs
// reach them), the index, then the text. A written dictionary must open and keep the bounds.
#include "dictionary.h"
#include "import.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
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
void refill(int fd, const uint8_t *data, size_t size)
{
    if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0)
        __builtin_trap();
    for (size_t done = 0; done < size;) {
        const ssize_t put = write(fd, data + done, size - done);
        if (put <= 0)
            __builtin_trap();
        done += size_t(put);
    }
    if (lseek(fd, 0, SEEK_SET) != 0)
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const int index = memoryFile("index"), body = memoryFile("body"), scratch = memoryFile("scratch"),
                     out = memoryFile("out");
    if (size < 3)
        return 0;
    const size_t indexSize = std::min<size_t>(size_t(data[0]) << 8 | data[1], size - 3);
    const dictimport::Limits small{512, 1 << 16, 1 << 16};
    const dictimport::Limits limits = data[2] & 1 ? small : dictimport::Limits{};
    refill(index, data + 3, indexSize);
    refill(body, data + 3 + indexSize, size - 3 - indexSize);
    refill(scratch, nullptr, 0);
    refill(out, nullptr, 0);

    const dictimport::Outcome o = dictimport::importDictd(index, body, scratch, "", out, limits);
    if (!o.status.isOk()) {
        if (o.faultIn == dictimport::Source::None || o.status.message().empty())
            __builtin_trap();
        return 0;
    }
    if (uint64_t(lseek(out, 0, SEEK_END)) > limits.maxOutput)
        __builtin_trap();
    std::unique_ptr<DictImpl> d(
        static_cast<DictImpl *>(Dictionary::create(("/proc/self/fd/" + std::to_string(out)).c_str())));
    if (!d->getError().empty() || !d->firstEntry())
        __builtin_trap();
    const size_t longest = 64 * 1024 + 4 * limits.maxEntry + 64; // a headword line and 10/3 of a text
    do {
        if (d->getWord().size() + d->getSense().size() + 2 > longest)
            __builtin_trap();
    } while (d->nextEntry());
    return 0;
}
