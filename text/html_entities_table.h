#pragma once

#include <cstdint>

// The table behind lookupHtmlEntity, written by tools/gen_entities.py.
struct HtmlEntityRecord
{
    std::uint16_t nameOffset; // into htmlEntityNames
    std::uint8_t nameLength;
    char16_t second; // the second code point, 0 when the name stands for one
    char32_t first;
};

inline constexpr char HtmlEntityFirstLetter = 'A';
inline constexpr char HtmlEntityLastLetter = 'z';
inline constexpr int HtmlEntityLongestName = 32; // no name is longer

extern const int htmlEntityTableSize;
// Every name, without ";", one after another in record order (no separators).
extern const char htmlEntityNames[];
// Sorted by name in byte order.
extern const HtmlEntityRecord htmlEntityRecords[];
// Entry i: the first record whose name starts at or after letter HtmlEntityFirstLetter + i; the
// last entry is the table size.
extern const unsigned short htmlEntityByFirstLetter[HtmlEntityLastLetter - HtmlEntityFirstLetter + 2];
