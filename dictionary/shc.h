#pragma once

#include <cstdint>

// Table functions of the static-Huffman code. Every array has one slot per byte value
// (256) unless noted; n is the number of byte values in use. Code lengths are 1..31.

constexpr int SH_MAX_LENGTH = 31;
// Largest packed table startDecode accepts, in bytes.
constexpr int SH_MAX_TREE_BYTES = 1024;

// symbols = the byte values with non-zero freq, by ascending freq (ties by byte value); returns n.
int sh_SortFreq(const uint32_t *freq, uint8_t *symbols);
// Code lengths, at most maxLength, of the n frequency-sorted symbols; freq is used as work space.
void sh_CalcLen(uint32_t *freq, const uint8_t *symbols, uint8_t *lengths, int n, int maxLength);
// Orders symbols by length descending, then byte value ascending.
void sh_SortLen(const uint8_t *lengths, uint8_t *symbols, int n);
// Canonical code values: longest codes smallest, smaller byte value first within a length.
void sh_CalcCode(const uint8_t *lengths, const uint8_t *symbols, uint8_t *codes, int n);
// Writes the packed code-length table into packedTree (room for 256 words); returns its
// size in bytes. zeroRuns is work space.
int sh_PackTree(const uint8_t *lengths, const uint8_t *symbols, uint8_t *zeroRuns,
                uint32_t *packedTree, int n);
// Reads a packed table of `words` words into lengths and symbols (ascending byte order).
// Returns n, or -1 when the table is cut short, a length exceeds SH_MAX_LENGTH or a run
// overshoots the 256 values: such a table describes no usable code.
int sh_ExpandTree(uint8_t *lengths, uint8_t *symbols, const uint32_t *packedTree, int words);
// Decoding tables; firstCode and firstIndex have 32 slots (by length), minLength 256.
void sh_CalcDecode(const uint8_t *lengths, const uint8_t *symbols, uint8_t *firstCode,
                   uint8_t *firstIndex, uint8_t *minLength, int n);
