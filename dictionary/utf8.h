#pragma once

#include <cstdint>
#include <string>

// UTF-8 of one to three bytes (runes up to U+FFFF) and a built-in case mapping.
class Utf8 {
public:
    // Returned for every byte sequence that is not a valid 1-, 2- or 3-byte form. The valid
    // sequence C2 80 decodes to the same value, and callers treat both alike.
    static constexpr uint32_t ErrorRune = 0x80;

    // Decodes the rune at *p and advances *p past it; *p stays put on ErrorRune.
    // *p must point into NUL-terminated text: a NUL is never taken as a continuation byte.
    static uint32_t chartorune(const char **p);
    // Writes 1 to 3 bytes (no terminator) and returns their count. Runes outside
    // 0..0xFFFF, which no mapping here produces, are written as U+FFFD.
    static int runetochar(char *s, int rune);

    static uint32_t toupper(uint32_t rune);
    static uint32_t tolower(uint32_t rune);

    // dst = case-mapped src up to its first NUL; returns dst's length, or 0 at an invalid
    // sequence (dst then holds the mapped text before it).
    static int toupper(const std::string &src, std::string &dst);
    static int tolower(const std::string &src, std::string &dst);

    // The same into a caller's buffer of n bytes, NUL-terminated; returns the bytes written
    // before the NUL, 0 on an invalid sequence (then without a NUL) or when n < 1.
    static int toupper(const char *src, char *dst, int n);
    static int tolower(const char *src, char *dst, int n);
};
