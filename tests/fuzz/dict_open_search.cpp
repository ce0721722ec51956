// Opens the input as a dictionary file and searches and walks it.
#include "dictionary.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static std::string path = [] {
        char tmpl[] = "/tmp/folium-fuzz-dict-XXXXXX";
        int fd = mkstemp(tmpl);
        if (fd >= 0)
            close(fd);
        return std::string(tmpl);
    }();
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    if (size > 0)
        std::fwrite(data, 1, size, f);
    std::fclose(f);

    std::unique_ptr<Dictionary> d(Dictionary::create(path.c_str()));
    bool prefix = false;
    for (const char *w : {"apple", "PEAR", "m", "", "zzzz", "e-mail", "\xc3\xa9t\xc3\xa9"}) {
        d->findEntry(w, prefix);
        d->getSense();
    }
    int steps = 0;
    if (d->firstEntry()) {
        d->getSense();
        while (d->nextEntry() && ++steps < 200)
            d->getSense();
    }
    d->lastEntry();
    d->getSense();
    d->randomEntry();
    d->getWord();
    return 0;
}
