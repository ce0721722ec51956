#pragma once

#include <QString>
#include <QStringView>

// Character references in HTML text, for the line fitter that meets them one by one.

// Looks up a named reference by its name without "&" and ";" ("amp", "Aacute"). Names are
// case-sensitive. True when known: `first` is its code point and `second` the second one of the
// few names that stand for two (U+0000 otherwise). False, with both set to U+0000, when unknown.
bool lookupHtmlEntity(QStringView name, char32_t &first, char32_t &second);

// Decodes the body of a numeric reference, the text after "&#" without ";": decimal digits
// ("233") or "x"/"X" and hex digits ("xE9"). Leading zeros are allowed.
// - Returns U+0000 when the body is not a numeric reference at all (empty, "x" alone, any other
//   character); the caller then shows the text as written.
// - Returns U+FFFD for the value 0, a surrogate, anything past U+10FFFF (however many digits).
// - Maps 0x80-0x9F through windows-1252 (&#150; is an en dash), as documents written on that code
//   page mean it; the five values it leaves unassigned stay as they are.
char32_t numericCharacterReference(QStringView digitsAfterHash);

// A short text taken from markup (a title, an attribute's value) with its character references
// replaced by their characters; what is no reference stays as written.
QString decodeHtmlReferences(QStringView text);
