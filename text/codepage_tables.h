#pragma once

// The built-in code pages behind toUnicode. The table order is fixed: toUnicode stores indices.
struct CodePageTable
{
    const char *name;      // selection key, e.g. "KOI8-R"; empty in the terminating record
    char16_t values[128];  // characters for bytes 0x80-0xFF; U+FFFD where none is assigned
};

inline constexpr int CodePageTableCount = 26;

// CodePageTableCount tables followed by one record with an empty name.
extern const CodePageTable unicodevalues[CodePageTableCount + 1];
