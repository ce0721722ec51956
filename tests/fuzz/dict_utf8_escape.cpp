// Unescaping and the UTF-8 functions over arbitrary bytes.
#include "dictionary.h"
#include "utf8.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string in(reinterpret_cast<const char *>(data), size);
    const std::string plain = DictImpl::unescape(in);
    if (DictImpl::unescape(DictImpl::escape(in)) != in)
        std::abort();
    (void)plain;

    // Rune by rune over the NUL-terminated text.
    const char *p = in.c_str();
    while (*p) {
        const char *before = p;
        uint32_t r = Utf8::chartorune(&p);
        if (r == Utf8::ErrorRune && p == before)
            ++p;
        else if (r > 0xFFFF)
            std::abort();
        char buf[3];
        Utf8::runetochar(buf, int(Utf8::toupper(r)));
    }

    std::string up, low;
    int nu = Utf8::toupper(in, up);
    int nl = Utf8::tolower(in, low);
    if ((nu && size_t(nu) != up.size()) || (nl && size_t(nl) != low.size()))
        std::abort();
    int room = size ? data[0] % 64 : 0;
    std::vector<char> out(size_t(room) + 1);
    Utf8::toupper(in.c_str(), out.data(), room);
    Utf8::tolower(in.c_str(), out.data(), room);
    return 0;
}
