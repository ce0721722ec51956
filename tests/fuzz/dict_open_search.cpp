// Fuzz target: the input as a dictionary file, opened, searched and walked.
#include "FuzzInput.h"
#include "dictionary.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const int file = memoryFile("dictionary");
    refill(file, data, size);
    std::unique_ptr<Dictionary> d(Dictionary::create(pathOf(file).c_str()));
    bool prefix = false;
    for (const char *w : {"apple", "PEAR", "m", "", "zzzz", "e-mail", "\xc3\xa9t\xc3\xa9"}) {
        d->findEntry(w, prefix);
        d->getSense();
    }
    for (int steps = 0; steps < 200 && (steps ? d->nextEntry() : d->firstEntry()); ++steps)
        d->getSense();
    d->lastEntry();
    d->getSense();
    d->randomEntry();
    d->getWord();
    return 0;
}
