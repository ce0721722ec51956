// Fuzz target: a code-length table (its length in the first two bytes) and text decoded with it;
// the text also round-trips through a code built from that text.
#include "FuzzInput.h"
#include "shcm.h"

#include <algorithm>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t rest = size - 2, treeLen = std::min(rest, (size_t(data[0]) << 8 | data[1]) % 1100);
    const char *p = reinterpret_cast<const char *>(data + 2);
    const std::string tree(p, treeLen), text(p + treeLen, rest - treeLen);

    std::unique_ptr<SHCM> d(SHCM::create());
    d->startDecode(tree);
    d->decode(text);
    d->decode(tree);
    d->endDecode();

    std::unique_ptr<SHCM> e(SHCM::create()), r(SHCM::create());
    e->startPreEncode();
    e->preencode(text);
    check(r->startDecode(e->endPreEncode()) && r->decode(e->encode(text)) == text);
    return 0;
}
