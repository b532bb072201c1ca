#pragma once

#include <cstdint>

namespace xm {

// Turns the result of arithmetic on property values back into a property value: truncation toward
// zero to a signed 64-bit integer (anything outside that range, NaN and the infinities give the
// smallest 64-bit integer), of which the low 32 bits are kept as a signed value.
std::int32_t TruncateToInt(double value);

}  // namespace xm
