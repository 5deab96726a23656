#include "tonus/number_text.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <system_error>

#include "common/c_numbers.h"

namespace tonus {

double Log10(double x) {
  return std::log(x) / std::log(10.0);
}

std::string FormatFixed4(double value) {
  if (!std::isfinite(value)) return std::string(kOutOfRange);

  // The first 15 significant digits, d.dddddddddddddde±x: as many as a double
  // holds reliably, so that rounding sees the value as written.
  constexpr int kSignificant = 15;
  char sci[40];
  const auto sci_end = std::to_chars(sci, sci + sizeof sci, std::fabs(value),
                                     std::chars_format::scientific, kSignificant - 1)
                           .ptr;
  char digits[kSignificant];
  digits[0] = sci[0];
  for (int i = 1; i < kSignificant; ++i) digits[i] = sci[i + 1];
  int exponent = 0;  // power of ten of digits[0]
  const char* e = sci + kSignificant + 2;
  std::from_chars(*e == '+' ? e + 1 : e, sci_end, exponent);

  // Digit of the given power of ten, 0 beyond the significant ones.
  auto digit_at = [&](int power) {
    const int i = exponent - power;
    return i >= 0 && i < kSignificant ? digits[i] - '0' : 0;
  };

  // Integer digits from the highest power down, then four decimals.
  const int top = exponent > 0 ? exponent : 0;
  std::string out;
  for (int power = top; power >= -4; --power) out += static_cast<char>('0' + digit_at(power));
  if (digit_at(-5) >= 5) {
    int i = static_cast<int>(out.size()) - 1;
    while (i >= 0 && out[i] == '9') out[i--] = '0';
    if (i >= 0) {
      ++out[i];
    } else {
      out.insert(out.begin(), '1');
    }
  }
  out.insert(out.end() - 4, '.');
  const bool zero = out.find_first_not_of("0.") == std::string::npos;
  return value < 0 && !zero ? "-" + out : out;
}

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

double ReadNumber(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text) {
    if (!IsBlank(c)) s += c;
  }

  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const std::size_t mantissa_begin = i;
  std::size_t int_digits = 0, frac_digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++int_digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++frac_digits;
  }
  if (int_digits + frac_digits == 0) return 0.0;
  std::size_t end = i;
  // The exponent counts only when at least one digit follows "e" and its sign.
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && IsDigit(s[j])) {
      while (j < s.size() && IsDigit(s[j])) ++j;
      end = j;
    }
  }

  // from_chars takes no "+" and reads "5." and ".5" as strtod does.
  const char* first = s.data() + mantissa_begin;
  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(first, s.data() + end, value);
  if (ec == std::errc::result_out_of_range) {
    // Beyond the double range: infinite or 0, as strtod gives it.
    value = cnum::outOfRangeMagnitude(first, s.data() + end, false);
  } else if (ec != std::errc() || ptr != s.data() + end) {
    value = 0.0;  // cannot happen for the text checked above
  }
  return negative ? -value : value;
}

}  // namespace tonus
