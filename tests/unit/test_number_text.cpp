#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>

#include "app/ini_file.h"
#include "app/number_text.h"
#include "app/truncate_to_int.h"
#include "platform/encoding.h"

namespace xm {
namespace {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "xm-number-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A size as stored in the width file, read back the way the main window's size is restored.
TEST(StoredSizeTest, StoredTextGivesTheRestoredSize) {
  const struct {
    const char* stored;
    std::int32_t restored;
  } kCases[] = {
      {"1022", 1022},       {"  1022", 1022},
      {"1022abc", 1022},    {"\xA3\xB1\xA3\xB0\xA3\xB2\xA3\xB2", 1022},  // full-width digits
      {"800.9", 800},       {"-800.9", -800},
      {"1e3", 1000},        {"1e", 1},
      {"0x400", 0},         {"abc", 0},
      {"4294968318", 1022},  // 2^32 + 1022: only the low 32 bits are kept
      {"1e400", 0},          // infinite
  };
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string file = Utf8ToCp936(dir.path() + "/7351视频播放器宽度.ini");
  const std::string section = Utf8ToCp936("配置");
  const std::string key = Utf8ToCp936("宽度");
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.stored);
    ASSERT_TRUE(WriteIniText(file, section, key, c.stored));
    const std::string text = ReadIniText(file, section, key, "777");
    EXPECT_EQ(TruncateToInt(TextToNumber(text)), c.restored);
  }
}

TEST(TextToNumberTest, ReadsTheLongestNumberPrefix) {
  const double kInf = std::numeric_limits<double>::infinity();
  const struct {
    const char* text;
    double value;
  } kCases[] = {
      {"", 0},
      {" \t\n\v\f\r42x", 42},
      {"+7", 7},
      {"-", 0},
      {".", 0},
      {"+.5", 0.5},
      {"5.", 5},
      {"5.e2", 500},
      {"1d2", 100},
      {"1D-2", 0.01},
      {"1E+2", 100},
      {"1e+", 1},
      {"1.5e3x", 1500},
      {"12 34", 12},
      {"inf", 0},
      {"nan", 0},
      {"1,5", 1},
      // Full-width forms: ideographic space, minus, point, letter E.
      {"\xA1\xA1\xA3\xAD\xA3\xB1\xA3\xAE\xA3\xB5\xA3\xC5\xA3\xB2", -150},
      {"\xA1\xA1"
       "9",
       9},
      {"\xB0\xA1"
       "9",
       0},  // any other two-byte character stops the number
      {"\xA3"
       "9",
       0},           // a lead byte takes the next byte with it, even an ASCII one
      {"9\xA3", 9},  // a lone lead byte at the end is dropped
      {"1e400", kInf},
      {"-1e400", -kInf},
      {"1e-400", 0},
      {"1e99999999999999999999999999", kInf},
      {"0.000000000000000000000000000000000000000000000000001e-300", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(TextToNumber(c.text), c.value);
  }

  // Many digits: the exponent and the position of the point decide, not the digit count.
  const std::string zeros(400, '0');
  EXPECT_EQ(TextToNumber("1" + zeros), kInf);
  EXPECT_EQ(TextToNumber("1" + zeros + "e-398"), 100);
  EXPECT_EQ(TextToNumber("0." + zeros + "1e401"), 1);
  EXPECT_EQ(TextToNumber("0." + zeros + "1"), 0);
  EXPECT_TRUE(std::signbit(TextToNumber("-0")));
}

TEST(NumberToTextTest, WritesSignedDecimalThatReadsBack) {
  const struct {
    std::int32_t value;
    const char* text;
  } kCases[] = {
      {0, "0"},
      {7, "7"},
      {-1, "-1"},
      {1022, "1022"},
      {std::numeric_limits<std::int32_t>::max(), "2147483647"},
      {std::numeric_limits<std::int32_t>::min(), "-2147483648"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(NumberToText(c.value), c.text);
    EXPECT_EQ(TruncateToInt(TextToNumber(NumberToText(c.value))), c.value);
  }
}

TEST(TruncateToIntTest, KeepsLowBitsOfTheTruncatedValue) {
  const double kInf = std::numeric_limits<double>::infinity();
  const double kTwoTo63 = 9223372036854775808.0;
  const struct {
    double value;
    std::int32_t result;
  } kCases[] = {
      {std::nan(""), 0},  // the smallest 64-bit integer, whose low half is 0
      {kInf, 0},
      {-kInf, 0},
      {kTwoTo63, 0},
      {-kTwoTo63, 0},
      {kTwoTo63 - 1024, -1024},  // largest double below 2^63: 0x7FFF'FFFF'FFFF'FC00
      {-kTwoTo63 + 1024, 1024},  // 0x8000'0000'0000'0400
      {-kTwoTo63 - 2048, 0},     // below the range
      {2147483648.0, std::numeric_limits<std::int32_t>::min()},
      {-2147483649.0, std::numeric_limits<std::int32_t>::max()},
      {-0.9, 0},
      {1e300, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(TruncateToInt(c.value), c.result);
  }
}

}  // namespace
}  // namespace xm
