// Fuzz target: any bytes as the word list of `folium-dict build` (lines "word TAB sense") through
// the importer, with small limits so that short inputs reach them. A written dictionary must open
// and hold entries no longer than a line.
#include "FuzzInput.h"
#include "dictionary.h"
#include "import.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const int tsv = memoryFile("tsv"), out = memoryFile("out");
    const dictimport::Limits limits{256, 1 << 16, 1 << 16};
    refill(tsv, data, size);
    refill(out, nullptr, 0);

    const dictimport::Outcome o = dictimport::importTsv(tsv, "", out, limits);
    if (!o.status.isOk()) {
        check(o.faultIn == dictimport::Source::List && !o.status.message().empty());
        return 0;
    }
    std::unique_ptr<DictImpl> d(static_cast<DictImpl *>(Dictionary::create(pathOf(out).c_str())));
    check(d->getError().empty() && d->firstEntry());
    do
        check(d->getWord().size() + d->getSense().size() + 1 <= limits.maxEntry);
    while (d->nextEntry());
    return 0;
}
