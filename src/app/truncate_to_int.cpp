#include "app/truncate_to_int.h"

#include <cmath>
#include <limits>

namespace xm {

std::int32_t TruncateToInt(double value) {
  // 2^63 is exactly representable; every double below it converts without overflow.
  constexpr double kTwoTo63 = 9223372036854775808.0;
  std::int64_t wide = std::numeric_limits<std::int64_t>::min();
  if (std::isfinite(value) && value >= -kTwoTo63 && value < kTwoTo63) {
    wide = static_cast<std::int64_t>(value);
  }
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(wide)));
}

}  // namespace xm
