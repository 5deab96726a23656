#include "plughost/pin_values.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "common/c_numbers.h"
#include "plughost/engine.h"

namespace plughost {

namespace {

template <class Int>
Int saturate(double value) {
  if (std::isnan(value)) return 0;
  if (value <= double(std::numeric_limits<Int>::min())) return std::numeric_limits<Int>::min();
  if (value >= double(std::numeric_limits<Int>::max())) return std::numeric_limits<Int>::max();
  return static_cast<Int>(value);
}

// The value as a patch would write it: "nan", "inf", "1e+10".
std::string shown(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  std::string text = cnum::formatFixed(value, 6);
  // Whole numbers and ordinary fractions read better without trailing zeros.
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

std::string value_misfit(const HostPin& pin, double value) {
  const auto whole_range = [&](const char* kind, double low, double high) -> std::string {
    if (std::isfinite(value) && value >= low && value <= high) return "";
    return shown(value) + " does not fit " + kind + " (numbers from " + shown(low) + " to " +
           shown(high) + ")";
  };
  switch (pin.datatype) {
    case DT_CHOICE:
      return whole_range("a choice pin", -32768.0, 32767.0);
    case DT_INT32:
      return whole_range("an int pin", -2147483648.0, 2147483647.0);
    case DT_SWITCH:
      return whole_range("a switch pin", -2147483648.0, 2147483647.0);
    case DT_FLOAT32:
    case DT_FSAMPLE:
      if (std::isfinite(value) && std::fabs(value) > double(FLT_MAX)) {
        return shown(value) + " does not fit a float pin (beyond the float range)";
      }
      return "";
    default:
      return "";
  }
}

int16_t to_int16(double value) {
  return saturate<int16_t>(value);
}

int32_t to_int32(double value) {
  return saturate<int32_t>(value);
}

float to_float(double value) {
  if (std::isfinite(value) && std::fabs(value) > double(FLT_MAX)) {
    return value > 0 ? FLT_MAX : -FLT_MAX;
  }
  return static_cast<float>(value);
}

}  // namespace plughost
