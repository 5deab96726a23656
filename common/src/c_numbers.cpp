#include "common/c_numbers.h"

#include <bit>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace cnum {
namespace {

bool isCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

double outOfRangeMagnitude(const char* p, const char* end, bool hex) {
  const auto digit = hex ? isHexDigit : isDigit;
  std::int64_t scale = 0;  // digits (hex: bits) before the point from the first significant one
  bool significant = false;
  bool afterPoint = false;
  for (; p != end; ++p) {
    if (*p == '.') {
      afterPoint = true;
      continue;
    }
    if (!digit(*p)) break;
    if (*p != '0') significant = true;
    if (!afterPoint && significant) scale += hex ? 4 : 1;
    if (afterPoint && !significant) scale -= hex ? 4 : 1;
  }
  std::int64_t exponent = 0;
  if (p != end && (*p == 'e' || *p == 'E' || *p == 'p' || *p == 'P')) {
    ++p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *(p++) == '-';
    for (; p != end && isDigit(*p); ++p) {
      if (exponent < (std::int64_t{1} << 40)) exponent = exponent * 10 + (*p - '0');
    }
    if (negative) exponent = -exponent;
  }
  return scale + exponent > 0 ? HUGE_VAL : 0.0;
}

namespace {

// Reads a number with std::from_chars; false when there is none. `stop`
// is where the number ends.
bool fromChars(const char* p, const char* end, std::chars_format format, double& value,
               const char*& stop) {
  const auto result = std::from_chars(p, end, value, format);
  stop = result.ptr;
  if (result.ec == std::errc::result_out_of_range) {
    value = outOfRangeMagnitude(p, result.ptr, format == std::chars_format::hex);
    return true;
  }
  return result.ec == std::errc();
}

// Where the hex number at p (after "0x") ends as strtod sees it: hex
// digits, an optional point and hex digits, and a binary exponent only when
// a "p" is followed by an optional sign and at least one decimal digit
// ("0x1p+-3" is 0x1 followed by text). std::from_chars is given no more, as
// some of its versions take a malformed exponent.
const char* hexNumberEnd(const char* p, const char* end) {
  while (p != end && isHexDigit(*p)) ++p;
  if (p != end && *p == '.') {
    ++p;
    while (p != end && isHexDigit(*p)) ++p;
  }
  if (p != end && (*p == 'p' || *p == 'P')) {
    const char* e = p + 1;
    if (e != end && (*e == '+' || *e == '-')) ++e;
    if (e != end && isDigit(*e)) {
      while (e != end && isDigit(*e)) ++e;
      return e;
    }
  }
  return p;
}

// Reads the unsigned number at p as strtod reads it after the sign; false
// when there is none. `stop` is where the number ends.
bool readMagnitude(const char* p, const char* end, double& value, const char*& stop) {
  if (p == end) return false;
  if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    const char* h = p + 2;
    // "0x" must be followed by a hex digit, or by "." and one; otherwise
    // strtod reads the "0" alone.
    if (h != end && (isHexDigit(*h) || (*h == '.' && h + 1 != end && isHexDigit(h[1]))) &&
        fromChars(h, hexNumberEnd(h, end), std::chars_format::hex, value, stop)) {
      return true;
    }
    value = 0.0;
    stop = p + 1;
    return true;
  }
  // std::from_chars would also take a sign here, which strtod does not.
  const char c = *p;
  if (!(isDigit(c) || c == '.' || c == 'i' || c == 'I' || c == 'n' || c == 'N')) return false;
  return fromChars(p, end, std::chars_format::general, value, stop);
}

// The longest text "%.Nf" can give for a double: sign, 309 integer digits,
// point, N decimals.
constexpr int kMaxPrecision = 20;
constexpr int kMaxFixedChars =
    1 + std::numeric_limits<double>::max_exponent10 + 1 + 1 + kMaxPrecision;

// Writes `value` with `precision` decimals, exactly rounded with ties to
// even as printf does, where |value| * 10^precision can be formed exactly in
// 64-bit integers: every float up to about 2^40 in size, which is what the
// node texts write. False, and nothing written, for any other value.
// std::to_chars writes the same text for every value but is several times
// slower, and a dragged node rewrites every number of the curve.
bool appendFixedExact(std::string& out, double value, int precision) {
  constexpr std::uint64_t kPowersOfTen[] = {1,      10,      100,      1000,      10000,
                                            100000, 1000000, 10000000, 100000000, 1000000000};
  if (precision > 9) return false;
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  if (biased == 0x7ff) return false;  // inf or nan
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  int exponent = -1074;  // |value| = mantissa * 2^exponent
  if (biased != 0) {
    mantissa |= std::uint64_t{1} << 52;
    exponent = biased - 1075;
  }
  if (mantissa != 0) {
    const int zeros = std::countr_zero(mantissa);
    mantissa >>= zeros;
    exponent += zeros;
  }
  if (mantissa >= (std::uint64_t{1} << 32)) return false;  // more bits than a float has
  const std::uint64_t scale = kPowersOfTen[precision];
  const std::uint64_t product = mantissa * scale;  // below 2^62
  std::uint64_t scaled;                            // |value| * scale, rounded
  if (exponent >= 0) {
    if (std::bit_width(product) + exponent > 63) return false;
    scaled = product << exponent;
  } else if (exponent <= -64) {
    scaled = 0;  // product < 2^62 lies below half of 2^64
  } else {
    const int shift = -exponent;
    scaled = product >> shift;
    const std::uint64_t rest = product & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    if (rest > half || (rest == half && (scaled & 1) != 0)) ++scaled;
  }
  if (std::signbit(value)) out += '-';  // "-0.00000" as printf writes it
  char digits[20];
  const auto whole = std::to_chars(digits, digits + sizeof digits, scaled / scale);
  out.append(digits, whole.ptr);
  if (precision > 0) {
    std::uint64_t decimals = scaled % scale;
    for (int i = precision - 1; i >= 0; --i) {
      digits[i] = static_cast<char>('0' + decimals % 10);
      decimals /= 10;
    }
    out += '.';
    out.append(digits, static_cast<std::size_t>(precision));
  }
  return true;
}

}  // namespace

double readCNumber(std::string_view text, std::size_t* consumed) {
  const char* p = text.data();
  const char* const end = p + text.size();
  if (consumed) *consumed = 0;
  while (p != end && isCSpace(*p)) ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *(p++) == '-';
  double magnitude = 0.0;
  const char* stop = p;
  // No number reads as +0 whatever sign stood before it, as with strtod.
  if (!readMagnitude(p, end, magnitude, stop)) return 0.0;
  if (consumed) *consumed = static_cast<std::size_t>(stop - text.data());
  return negative ? -magnitude : magnitude;
}

void appendFixed(std::string& out, double value, int precision) {
  assert(precision >= 0 && precision <= kMaxPrecision);
  if (appendFixedExact(out, value, precision)) return;
  // Large enough for any double at this precision: std::to_chars cannot
  // fail here, and it writes nothing beyond the array in any case.
  char digits[kMaxFixedChars];
  const auto result =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, precision);
  assert(result.ec == std::errc());
  if (result.ec == std::errc()) out.append(digits, result.ptr);
}

std::string formatFixed(double value, int precision) {
  std::string out;
  appendFixed(out, value, precision);
  return out;
}

}  // namespace cnum
