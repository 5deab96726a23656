// Reading and writing numbers as C does in the "C" locale, whatever the
// process locale is: the reader takes what strtod takes, the writer writes
// what printf's "%.Nf" writes. No fixed-size buffer limits either side.
// Used by the node texts of the breakpoint module, the stand-in host's patch
// files and the note calculator. Plain functions, safe from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cnum {

// The value that C strtod, in the "C" locale, reads from the start of
// `text`, which need not end in a NUL and is never read beyond its end:
// leading white space is skipped, then the longest prefix that forms a
// decimal or hexadecimal floating number, an infinity or a NaN is read; 0
// when there is none. Values beyond the range of double give ±HUGE_VAL,
// values below its smallest subnormal ±0, as strtod gives them. A NaN's
// payload ("nan(123)") is not kept: the NaN has the default payload and the
// sign written. When `consumed` is given it receives how many characters
// the number took, white space and sign included (0 when there is none),
// so that a caller can demand that a whole text is one number.
double readCNumber(std::string_view text, std::size_t* consumed = nullptr);

// The magnitude strtod gives a number whose digits std::from_chars found
// out of the range of double: the text [p, end) holds the digits (no sign,
// no "0x"), an optional point and an optional exponent ("e" decimal, "p"
// binary). +HUGE_VAL when the magnitude is above 1, else 0. Such a number
// lies beyond 1e307 or below 1e-307, so where its first significant digit
// stands together with its exponent tells the side.
double outOfRangeMagnitude(const char* p, const char* end, bool hex);

// Appends `value` as printf("%.*f", precision, value) writes it in the "C"
// locale: every integer digit, exactly rounded (ties to even), "inf",
// "-inf", "nan" or "-nan" for the special values. 0 <= precision <= 20.
void appendFixed(std::string& out, double value, int precision);

// The same as a new text.
std::string formatFixed(double value, int precision);

}  // namespace cnum
