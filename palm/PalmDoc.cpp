#include "PalmDoc.h"

#include <cstdint>
#include <cstring>

namespace palm {

unsigned palmDocDecompress(const unsigned char *input, unsigned char *output, unsigned length, unsigned outputSize,
                           bool *damaged)
{
    unsigned in = 0, out = 0;
    bool bad = false;
    while (in < length) {
        const unsigned c = input[in++];
        if (c >= 0x01 && c <= 0x08) { // the next c bytes as they are
            if (c > length - in || c > outputSize - out) {
                bad = true;
                break;
            }
            std::memcpy(output + out, input + in, c);
            in += c;
            out += c;
        } else if (c < 0x80) { // the byte itself
            if (out == outputSize) {
                bad = true;
                break;
            }
            output[out++] = uint8_t(c);
        } else if (c < 0xC0) { // 2 bytes: 10dddddd ddddd ccc, copy c + 3 bytes from d back
            if (in == length) {
                bad = true;
                break;
            }
            const unsigned v = c << 8 | input[in++];
            const unsigned distance = (v & 0x3FFF) >> 3;
            const unsigned count = (v & 7) + 3;
            if (distance == 0 || distance > out || count > outputSize - out) {
                bad = true;
                break;
            }
            unsigned char *to = output + out;
            const unsigned char *from = to - distance;
            if (distance >= count) {
                std::memcpy(to, from, count);
            } else {
                for (unsigned j = 0; j < count; ++j) // overlapping: repeats the last `distance` bytes
                    to[j] = from[j];
            }
            out += count;
        } else { // a space and the byte with its top bit cleared
            if (outputSize - out < 2) {
                bad = true;
                break;
            }
            output[out++] = ' ';
            output[out++] = uint8_t(c ^ 0x80);
        }
    }
    if (damaged)
        *damaged = bad;
    return out;
}

} // namespace palm
