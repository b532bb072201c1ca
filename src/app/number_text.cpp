#include "app/number_text.h"

#include <charconv>
#include <cstddef>
#include <limits>
#include <system_error>

namespace xm {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Step 1: maps the full-width forms onto their ASCII counterparts.
std::string NarrowFullWidth(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out.push_back(text[i]);
      continue;
    }
    if (i + 1 == text.size()) break;  // a lead byte without its second byte
    const auto trail = static_cast<unsigned char>(text[i + 1]);
    ++i;
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
      out.push_back(static_cast<char>(trail - 0x80));
    } else if (lead == 0xA1 && trail == 0xA1) {
      out.push_back(' ');
    } else if (lead == 0xA1 && trail == 0xAB) {
      out.push_back('~');
    } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
      out.push_back('*');
    } else {
      out.push_back(static_cast<char>(lead));
      out.push_back(static_cast<char>(trail));
    }
  }
  return out;
}

}  // namespace

std::string NumberToText(std::int32_t value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

double TextToNumber(std::string_view cp936) {
  const std::string text = NarrowFullWidth(cp936);
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n && IsSpace(text[i])) ++i;

  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t int_begin = i;
  while (i < n && IsDigit(text[i])) ++i;
  const std::size_t int_end = i;
  std::size_t frac_begin = i;
  std::size_t frac_end = i;
  if (i < n && text[i] == '.') {
    frac_begin = frac_end = i + 1;
    while (frac_end < n && IsDigit(text[frac_end])) ++frac_end;
  }
  if (int_end == int_begin && frac_end == frac_begin) return 0.0;
  i = frac_end;

  // The exponent counts only with at least one digit; it is rewritten with 'e' for the parser.
  std::string_view exp_digits;
  bool exp_negative = false;
  if (i < n && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    std::size_t j = i + 1;
    bool sign_negative = false;
    if (j < n && (text[j] == '+' || text[j] == '-')) {
      sign_negative = text[j] == '-';
      ++j;
    }
    const std::size_t digits_begin = j;
    while (j < n && IsDigit(text[j])) ++j;
    if (j > digits_begin) {
      exp_digits = std::string_view(text).substr(digits_begin, j - digits_begin);
      exp_negative = sign_negative;
    }
  }

  std::string number;
  number.reserve(frac_end - int_begin + exp_digits.size() + 4);
  number.append(text, int_begin, int_end - int_begin);
  if (frac_end > frac_begin) {
    number.push_back('.');
    number.append(text, frac_begin, frac_end - frac_begin);
  }
  if (!exp_digits.empty()) {
    number.push_back('e');
    if (exp_negative) number.push_back('-');
    number.append(exp_digits);
  }
  // "5." and ".5" are numbers here; give the parser a digit on both sides of the point.
  if (int_end == int_begin) number.insert(number.begin(), '0');

  double value = 0.0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                      std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // Out of range either way: decide by the decimal magnitude, the position of the first
    // non-zero digit plus the exponent. Overflow needs it above 300, underflow below -300.
    long long magnitude = 0;
    bool found = false;
    for (std::size_t k = int_begin; k < int_end && !found; ++k) {
      if (text[k] != '0') {
        magnitude = static_cast<long long>(int_end - k);
        found = true;
      }
    }
    for (std::size_t k = frac_begin; k < frac_end && !found; ++k) {
      if (text[k] != '0') {
        magnitude = -static_cast<long long>(k - frac_begin);
        found = true;
      }
    }
    long long exponent = 0;
    for (const char c : exp_digits) {
      exponent = exponent * 10 + (c - '0');
      if (exponent > 1'000'000'000) break;  // far beyond any double; stop before overflowing
    }
    magnitude += exp_negative ? -exponent : exponent;
    value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (result.ec != std::errc()) {
    value = 0.0;  // cannot happen: the text is a well-formed number
  }
  return negative ? -value : value;
}

}  // namespace xm
