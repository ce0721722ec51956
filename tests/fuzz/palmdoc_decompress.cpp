// Fuzz target: any bytes as one PalmDoc record. Whatever comes out must fit the output buffer,
// and a record that decompressed cleanly must do so again into a buffer of exactly its size.
#include "FuzzInput.h"
#include "PalmDoc.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static std::vector<unsigned char> full(32768);
    if (size > 1 << 17)
        return 0;
    bool damaged = false;
    const unsigned produced = palm::palmDocDecompress(data, full.data(), unsigned(size), 32768, &damaged);
    check(produced <= full.size());
    if (damaged)
        return 0;
    std::vector<unsigned char> exact(produced);
    bool again = true;
    const unsigned second = palm::palmDocDecompress(data, exact.data(), unsigned(size), produced, &again);
    check(!again && second == produced);
    check(!produced || std::memcmp(exact.data(), full.data(), produced) == 0);
    return 0;
}
