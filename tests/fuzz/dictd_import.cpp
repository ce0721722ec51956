// Fuzz target: any bytes as a dictd index and its text (plain or gzip) through the importer.
// Input: 2 bytes of index length, 1 byte of flags (bit 0: small limits, so that short inputs
// reach them), the index, then the text. A written dictionary must open and keep the bounds.
#include "FuzzInput.h"
#include "dictionary.h"
#include "import.h"

#include <algorithm>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const int index = memoryFile("index"), body = memoryFile("body"), scratch = memoryFile("scratch"),
                     out = memoryFile("out");
    if (size < 3)
        return 0;
    const size_t indexSize = std::min<size_t>(size_t(data[0]) << 8 | data[1], size - 3);
    const dictimport::Limits small{512, 1 << 16, 1 << 16}, limits = data[2] & 1 ? small : dictimport::Limits{};
    refill(index, data + 3, indexSize);
    refill(body, data + 3 + indexSize, size - 3 - indexSize);
    refill(scratch, nullptr, 0);
    refill(out, nullptr, 0);

    const dictimport::Outcome o = dictimport::importDictd(index, body, scratch, "", out, limits);
    if (!o.status.isOk()) {
        check(o.faultIn != dictimport::Source::None && !o.status.message().empty());
        return 0;
    }
    check(uint64_t(lseek(out, 0, SEEK_END)) <= limits.maxOutput);
    std::unique_ptr<DictImpl> d(static_cast<DictImpl *>(Dictionary::create(pathOf(out).c_str())));
    check(d->getError().empty() && d->firstEntry());
    const size_t longest = 64 * 1024 + 4 * limits.maxEntry + 64; // a headword line and 10/3 of a text
    do
        check(d->getWord().size() + d->getSense().size() + 2 <= longest);
    while (d->nextEntry());
    return 0;
}
