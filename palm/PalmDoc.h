#pragma once

// PalmDoc compression, as Palm e-books and MOBI text records use it.
namespace palm {

// Decompresses `length` bytes of the PalmDoc scheme into `output`, which holds `outputSize`
// bytes, and returns the number of bytes produced. Stops where the input is damaged
// (a back-reference before the start of the output, a code cut off by the end of the input,
// output that would pass outputSize) and then sets *damaged, when given.
unsigned palmDocDecompress(const unsigned char *input, unsigned char *output, unsigned length,
                           unsigned outputSize, bool *damaged = nullptr);

} // namespace palm
