// Loads a code-length table and decodes text with it; also checks that any text
// round-trips through a code built from that text.
#include "shcm.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    size_t treeLen = (size_t(data[0]) << 8 | data[1]) % 1100;
    const char *p = reinterpret_cast<const char *>(data + 2);
    size_t rest = size - 2;
    if (treeLen > rest)
        treeLen = rest;
    std::string tree(p, treeLen), text(p + treeLen, rest - treeLen);

    std::unique_ptr<SHCM> d(SHCM::create());
    d->startDecode(tree);
    d->decode(text);
    d->decode(tree);
    d->endDecode();

    std::unique_ptr<SHCM> e(SHCM::create());
    e->startPreEncode();
    e->preencode(text);
    std::string built = e->endPreEncode();
    std::unique_ptr<SHCM> r(SHCM::create());
    if (!r->startDecode(built) || r->decode(e->encode(text)) != text)
        std::abort();
    return 0;
}
