#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xm {

// The window sizes are kept as text. These turn a size into text and stored text back into a
// number; the number goes back to a size through TruncateToInt.

// Signed decimal: a minus sign before negative values, no plus sign, no leading zeros.
std::string NumberToText(std::int32_t value);

// Reads a number the way a user may have typed it into the file, code page 936 full-width forms
// included:
//  1. Full-width pass: a byte below 0x80 stays; a byte of 0x80 or more starts a two-byte
//     character. A3A1..A3FE become the ASCII byte (second byte - 0x80), A1A1 a blank, A1AB '~',
//     A1EE and A1EF '*'; any other pair stays as it is. A lone byte >= 0x80 at the end is dropped.
//  2. Leading blank, tab, LF, VT, FF and CR are skipped.
//  3. The longest prefix [+-] digits [. digits] [(e|E|d|D) [+-] digits] with at least one mantissa
//     digit is read as a decimal number; an exponent marker without digits is not part of it. The
//     rest is ignored. No hexadecimal, no "inf" or "nan" words.
//  4. Without a digit the result is 0; a value too large for a double is an infinity of its sign,
//     one too small is a zero of its sign. The decimal point is always '.', whatever the locale.
double TextToNumber(std::string_view cp936);

}  // namespace xm
