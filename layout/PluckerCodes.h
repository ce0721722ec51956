#pragma once

#include "LayoutTypes.h"

class PositionedReader;

// Plucker function codes inside converted text: a 0x00 byte, a code byte, then zero to four
// argument bytes. Codes and arguments are read as raw bytes, so they work under any encoding, and
// never from the bytes the converter ends a paragraph with: a code cut short there takes what
// its paragraph holds, the rest reading as 0.
namespace PluckerCodes {

// Reads the code that follows a 0x00 just read, with its arguments, and applies it to `style`;
// a font style code raises `lineFontIncrement` to the style's increment. Returns the character
// that stands for the code in the text: a line feed for a line break, otherwise U+0000.
char32_t pluckerDecode(PositionedReader &file, TextStyle &style, uint8_t &lineFontIncrement);

// Rewrites `style` to the attributes in force at `pos`: link, font style, italic and underline
// each take the value of the nearest code before `pos` within 15999 bytes, or keep theirs. Leaves
// the file at `pos`.
void findPluckerAttrBack(PositionedReader &file, qint64 pos, TextStyle &style);

// Whether the bytes the converter ends a paragraph with start at `pos`. Their line feed surely
// ends a paragraph and resets every style after it; any other may be a code's argument, or end a
// line within a heading. Leaves the file at `pos`.
bool paragraphEndAt(PositionedReader &file, qint64 pos);

} // namespace PluckerCodes
