// The numbers a pin can hold, and the conversions from the host's double
// to the pin's own type. Every conversion is defined for every double: the
// checks name what does not fit, and the conversions saturate (NaN gives 0)
// where a value reaches them unchecked (a module's own default text).
#pragma once

#include <cstdint>
#include <string>

namespace plughost {

struct HostPin;

// Empty when `value` fits `pin`, else why not, as in "nan does not fit a
// choice pin (whole numbers from -32768 to 32767)". Choice, int and switch
// pins take finite numbers within their integer type; float and signal pins
// take any float, infinities and NaN included, but no finite number beyond
// the float range.
std::string value_misfit(const HostPin& pin, double value);

int16_t to_int16(double value);
int32_t to_int32(double value);
// Finite values beyond the float range become the largest float of their
// sign; infinities and NaN stay what they are.
float to_float(double value);

}  // namespace plughost
