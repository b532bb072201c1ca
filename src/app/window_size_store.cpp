#include "app/window_size_store.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/ini_file.h"
#include "app/number_text.h"
#include "app/sites.h"
#include "app/truncate_to_int.h"
#include "platform/encoding.h"
#include "windows/windows.h"

namespace xm {
namespace {

struct StoredValue {
  const char* file;  // UTF-8 file name inside the state directory
  const char* key;
  Prop prop;
};

constexpr StoredValue kWidth{"7351视频播放器宽度.ini", "宽度", Prop::width};
constexpr StoredValue kHeight{"7351视频播放器高度.ini", "高度", Prop::height};
constexpr const char* kSection = "配置";

// The file's path as a code page 936 text, as the INI functions take it.
std::string FilePath(const StoredValue& value) {
  return Utf8ToCp936(StateDirectory() + "/" + value.file);
}

void Save(const StoredValue& value) {
  std::string text = NumberToText(ReadProperty(MainWindow, kSelf, value.prop));
  WriteIniText(FilePath(value), Utf8ToCp936(kSection), Utf8ToCp936(value.key), text);
}

void Restore(const StoredValue& value) {
  std::string fallback = NumberToText(ReadProperty(MainWindow, kSelf, value.prop));
  std::string stored =
      ReadIniText(FilePath(value), Utf8ToCp936(kSection), Utf8ToCp936(value.key), fallback);
  WriteProperty(MainWindow, kSelf, value.prop, TruncateToInt(TextToNumber(stored)));
}

}  // namespace

std::string StateDirectory() {
  const char* dir = std::getenv("XINGMU_STATE_DIR");
  return (dir != nullptr && *dir != '\0') ? dir : sites::kStateDirDefault;
}

void SaveMainWindowSize() {
  // Where the directory is missing and we may make it, make it; otherwise the writes fail quietly.
  std::error_code ignored;
  std::filesystem::create_directories(StateDirectory(), ignored);
  Save(kWidth);
  Save(kHeight);
}

void RestoreMainWindowSize() {
  Restore(kWidth);
  Restore(kHeight);
}

}  // namespace xm
