// Fuzz target: any bytes as a zip archive and as a gzip file, unpacked into an in-memory file
// under a 1 MiB limit. Whatever the input, the copy never passes the limit, and every byte
// written was counted by the meter.
#include "CopyMeter.h"
#include "FuzzInput.h"
#include "Unzip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    constexpr uint64_t Limit = 1 << 20;
    static const int source = memoryFile("archive"), copy = memoryFile("copy");
    refill(source, data, size);
    for (bool zip : {true, false}) {
        refill(copy, nullptr, 0);
        CopyMeter meter(Limit);
        Unzip unzip(source, meter);
        const Status status = zip ? unzip.uncompress(copy) : unzip.ungzip(copy);
        const off_t written = lseek(copy, 0, SEEK_END);
        check(written >= 0 && uint64_t(written) <= Limit && uint64_t(written) == meter.written());
        check((status.code() == Status::Code::TooLarge) == meter.stopped());
    }
    return 0;
}
