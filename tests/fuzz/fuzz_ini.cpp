// libFuzzer target for the INI reader and writer and the number reading of stored sizes.
//
// Input: one byte n, then n bytes of a value to write, then the contents of an INI file. The file
// is read under a few section/key names, every result goes through TextToNumber and
// TruncateToInt, then the value is written to one key and the file read again.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/ini_file.h"
#include "app/number_text.h"
#include "app/truncate_to_int.h"

namespace {

// Section and key names: the stored size's code page 936 names ("配置", "宽度"), ASCII ones in
// both cases, and one holding a two-byte character whose second byte is an ASCII letter.
const std::vector<std::string>& Sections() {
  static const std::vector<std::string> names = {"\xC5\xE4\xD6\xC3", "a", "A", "\x81\x41"};
  return names;
}
const std::vector<std::string>& Keys() {
  static const std::vector<std::string> names = {"\xBF\xED\xB6\xC8", "k", "K", "\x81\x61"};
  return names;
}

class TempDir {
 public:
  TempDir() {
    const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/xm-fuzz-ini-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) >= 1 && static_cast<unsigned char>(c) <= 32;
}

// Whether ReadIniText must give `value` back unchanged after WriteIniText stored it.
bool ReadsBackUnchanged(std::string_view value) {
  if (value.size() > 10239 || value.find_first_of(std::string_view("\r\n\0", 3)) != value.npos) {
    return false;
  }
  if (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back()))) return false;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return false;
  }
  return true;
}

std::string ReadChecked(const std::string& file, const std::string& section,
                        const std::string& key) {
  const std::string text = xm::ReadIniText(file, section, key, "default");
  Check(text.size() <= 10239, "result fits the buffer");
  const double number = xm::TextToNumber(text);
  (void)xm::TruncateToInt(number);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TempDir dir;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  (void)xm::TruncateToInt(xm::TextToNumber(input));
  if (input.empty()) return 0;

  const std::size_t value_size =
      std::min<std::size_t>(static_cast<unsigned char>(input[0]), input.size() - 1);
  const std::string value(input.substr(1, value_size));
  const std::string_view contents = input.substr(1 + value_size);

  const std::string file = dir.path() + "/input.ini";
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(contents.data(), static_cast<std::streamsize>(contents.size()));

  std::vector<std::string> before;
  for (const auto& section : Sections()) {
    for (const auto& key : Keys()) before.push_back(ReadChecked(file, section, key));
  }
  // Names taken from the input itself.
  (void)ReadChecked(file, value, std::string(contents.substr(0, 8)));

  // Write the value under the first section and key, then read everything again: that key gives
  // the value back (when the writer took it and nothing strips it), and keys of the other
  // sections keep theirs.
  const std::string& section = Sections()[0];
  const std::string& key = Keys()[0];
  const bool written = xm::WriteIniText(file, section, key, value);
  if (written && ReadsBackUnchanged(value)) {
    Check(ReadChecked(file, section, key) == value, "written value reads back");
  }
  if (written) {
    std::size_t index = 0;
    for (const auto& other_section : Sections()) {
      for (const auto& other_key : Keys()) {
        const std::string after = ReadChecked(file, other_section, other_key);
        if (other_section != section) Check(after == before[index], "other sections unchanged");
        if (other_section == section && other_key != key) {
          Check(after == before[index], "other keys unchanged");
        }
        ++index;
      }
    }
  }
  return 0;
}
