#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace xm {

// Joins the texts in order into one new text. Each text counts up to its first NUL byte, as the
// program's texts are NUL-terminated; an empty view counts as a missing text. Running out of memory
// ends the program through ReportFatalError with the number of bytes asked for.
std::string ConcatText(std::initializer_list<std::string_view> texts);

}  // namespace xm
