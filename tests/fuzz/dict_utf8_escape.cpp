// Fuzz target: unescaping and the UTF-8 functions over arbitrary bytes.
#include "FuzzInput.h"
#include "dictionary.h"
#include "utf8.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string in(reinterpret_cast<const char *>(data), size);
    (void)DictImpl::unescape(in);
    check(DictImpl::unescape(DictImpl::escape(in)) == in);

    // Rune by rune over the NUL-terminated text.
    for (const char *p = in.c_str(); *p;) {
        const char *before = p;
        const uint32_t r = Utf8::chartorune(&p);
        p += r == Utf8::ErrorRune && p == before;
        check(r <= 0xFFFF);
        char buf[3];
        Utf8::runetochar(buf, int(Utf8::toupper(r)));
    }

    std::string up, low;
    const int nu = Utf8::toupper(in, up), nl = Utf8::tolower(in, low);
    check((!nu || size_t(nu) == up.size()) && (!nl || size_t(nl) == low.size()));
    const int room = size ? data[0] % 64 : 0;
    std::vector<char> out(size_t(room) + 1);
    Utf8::toupper(in.c_str(), out.data(), room);
    Utf8::tolower(in.c_str(), out.data(), room);
    return 0;
}
