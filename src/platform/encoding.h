#pragma once

#include <string>
#include <string_view>

namespace xm {

// The program's texts are byte strings in code page 936. GTK, WebKit and file names speak UTF-8;
// these convert at that boundary. GB18030 is byte-for-byte code page 936 for everything that code
// page holds, and it also round-trips any other character a user types or pastes.
//
// Neither conversion fails: a byte sequence that is not valid in the source encoding comes out as
// U+FFFD (UTF-8) or '?' (code page 936), and the rest of the text is kept.
std::string Utf8ToCp936(std::string_view utf8);
std::string Cp936ToUtf8(std::string_view cp936);

}  // namespace xm
