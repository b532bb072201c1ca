#include "platform/encoding.h"

#include <iconv.h>

#include <cerrno>

namespace xm {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts `in`, putting `replacement` for each byte that cannot be read in the source encoding.
  std::string Run(std::string_view in, std::string_view replacement) const {
    std::string out;
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char buffer[1024];
    while (true) {
      char* dst = buffer;
      size_t dst_left = sizeof buffer;
      size_t rc = src_left == 0 ? iconv(cd_, nullptr, nullptr, &dst, &dst_left)
                                : iconv(cd_, &src, &src_left, &dst, &dst_left);
      out.append(buffer, static_cast<size_t>(dst - buffer));
      if (rc != static_cast<size_t>(-1)) {
        if (src_left == 0) break;
        continue;
      }
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a sequence cut off at the end): skip one byte and mark it.
      out.append(replacement);
      ++src;
      --src_left;
      if (src_left == 0) break;
    }
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string Utf8ToCp936(std::string_view utf8) {
  static const Converter converter("GB18030", "UTF-8");
  return converter.Run(utf8, "?");
}

std::string Cp936ToUtf8(std::string_view cp936) {
  static const Converter converter("UTF-8", "GB18030");
  return converter.Run(cp936, "\xEF\xBF\xBD");
}

}  // namespace xm
