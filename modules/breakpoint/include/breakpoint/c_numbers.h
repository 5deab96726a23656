// Reading and writing numbers as C does in the "C" locale, whatever the
// process locale is: the reader takes what strtod takes, the writer writes
// what printf's "%.Nf" writes. No fixed-size buffer limits either side.
#pragma once

#include <string>
#include <string_view>

namespace kurvo {

// The value that C strtod, in the "C" locale, reads from the start of
// `text`, which need not end in a NUL and is never read beyond its end:
// leading white space is skipped, then the longest prefix that forms a
// decimal or hexadecimal floating number, an infinity or a NaN is read; 0
// when there is none. Values beyond the range of double give ±HUGE_VAL,
// values below its smallest subnormal ±0, as strtod gives them. A NaN's
// payload ("nan(123)") is not kept: the NaN has the default payload and the
// sign written.
double readCNumber(std::string_view text);

// Appends `value` as printf("%.*f", precision, value) writes it in the "C"
// locale: every integer digit, exactly rounded (ties to even), "inf",
// "-inf", "nan" or "-nan" for the special values. 0 <= precision <= 20.
void appendFixed(std::string& out, double value, int precision);

// The same as a new text.
std::string formatFixed(double value, int precision);

}  // namespace kurvo
