#include "windows/concat_text.h"

#include <limits>
#include <new>
#include <stdexcept>
#include <vector>

#include "app/program.h"

namespace xm {

std::string ConcatText(std::initializer_list<std::string_view> texts) {
  std::vector<std::string_view> parts;
  parts.reserve(texts.size());
  std::size_t total = 1;  // the terminating NUL
  bool overflow = false;
  for (std::string_view text : texts) {
    std::string_view part = text.substr(0, text.find('\0'));
    parts.push_back(part);
    if (part.size() > std::numeric_limits<std::size_t>::max() - total) overflow = true;
    total += part.size();
  }
  std::string joined;
  try {
    if (overflow) throw std::length_error("too long");
    joined.reserve(total - 1);
  } catch (const std::exception&) {
    ReportFatalError(
        "分配内存失败：" + std::string(overflow ? "超过 " : "") + std::to_string(total) + " 字节",
        0);
  }
  for (std::string_view part : parts) joined.append(part);
  return joined;
}

}  // namespace xm
