// Fuzz target: any bytes as the word list of `folium-dict build` (lines "word TAB sense") through
// the importer, with small limits so that short inputs reach them. A written dictionary must open
// and hold entries no longer than a line.
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
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const int tsv = memoryFile("tsv"), out = memoryFile("out");
    const dictimport::Limits limits{256, 1 << 16, 1 << 16};
    if (ftruncate(tsv, 0) != 0 || ftruncate(out, 0) != 0 || lseek(out, 0, SEEK_SET) != 0)
        __builtin_trap();
    if (size > 0 && pwrite(tsv, data, size, 0) != ssize_t(size))
        __builtin_trap();
    if (lseek(tsv, 0, SEEK_SET) != 0)
        __builtin_trap();

    const dictimport::Outcome o = dictimport::importTsv(tsv, "", out, limits);
    if (!o.status.isOk()) {
        if (o.faultIn != dictimport::Source::List || o.status.message().empty())
            __builtin_trap();
        return 0;
    }
    std::unique_ptr<DictImpl> d(
        static_cast<DictImpl *>(Dictionary::create(("/proc/self/fd/" + std::to_string(out)).c_str())));
    if (!d->getError().empty() || !d->firstEntry())
        __builtin_trap();
    do {
        if (d->getWord().size() + d->getSense().size() + 1 > limits.maxEntry)
            __builtin_trap();
    } while (d->nextEntry());
    return 0;
}
