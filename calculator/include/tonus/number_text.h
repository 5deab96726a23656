// Numbers as the note calculator shows and reads them: the "#0.0000" result
// format, the lenient reading of typed text, and the base-10 logarithm that
// every conversion uses. Pure functions of their arguments; no locale is
// consulted, the decimal point is always ".".
#pragma once

#include <string>
#include <string_view>

namespace tonus {

// Shown instead of a number that the window cannot display sensibly: a
// result that is not finite, or too large (10^15 and more where a result is
// range-checked). A tiny result shows as the format rounds it.
inline constexpr std::string_view kOutOfRange = "out of range";

// Base-10 logarithm of x, computed as ln(x) / ln(10). x > 0.
double Log10(double x);

// The "#0.0000" format: at least one digit before the point and exactly four
// after it, rounded half away from zero on the value's first 15 significant
// decimal digits (so 2.00005 gives "2.0001", as written, although its nearest
// double lies just below). Large values keep all their integer digits, the
// digits past the 15th shown as 0. A result that rounds to zero has no sign.
// A value that is not finite gives kOutOfRange.
std::string FormatFixed4(double value);

// Reads the longest leading decimal number of `text`: blanks (spaces, tabs)
// anywhere are ignored, then an optional sign, digits, an optional "." with
// more digits and an optional exponent ("e" or "E", optional sign, digits)
// are taken; reading stops at the first other character. Text that does not
// start with a number reads as 0. A number beyond the double range reads as
// plus or minus infinity, one too small for it as 0 of its sign.
double ReadNumber(std::string_view text);

}  // namespace tonus
