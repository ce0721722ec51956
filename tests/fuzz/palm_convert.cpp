// Fuzz target: any bytes as a Palm database through the converter, into in-memory files.
#include "FuzzInput.h"
#include "makedoc9.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const int source = memoryFile("source"), text = memoryFile("text"), rim = memoryFile("rim");
    refill(source, data, size);
    refill(text, nullptr, 0);
    refill(rim, nullptr, 0);
    const int result = makedoc9::Decomp(source, text, rim).result;
    check(result >= 0 && result <= 2);
    // A rim is written only for Plucker, and always in whole entries.
    const off_t rimSize = lseek(rim, 0, SEEK_END);
    check(result != makedoc9::Plucker || rimSize % 8 == 0);
    check(result != makedoc9::PalmDoc || rimSize == 0);
    return 0;
}
