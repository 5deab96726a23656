// Typed text through the lenient reading, the "#0.0000" format and the
// voltage conversion: nothing may crash, every shown result has the format's
// shape, and the format reads back to within its rounding.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tonus/form.h"
#include "tonus/number_text.h"

namespace {

// "-"? digits "." four digits, or the out-of-range text.
bool Shaped(const std::string& text, bool may_be_negative) {
  if (text == tonus::kOutOfRange) return true;
  std::size_t i = 0;
  if (may_be_negative && i < text.size() && text[i] == '-') ++i;
  const std::size_t digits = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  if (i == digits || i + 5 != text.size() || text[i] != '.') return false;
  for (++i; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const double value = tonus::ReadNumber(text);
  if (std::isnan(value)) std::abort();
  // A character that cannot continue a number ends the reading.
  if (tonus::ReadNumber(std::string(text) + "x") != value) std::abort();

  const std::string shown = tonus::FormatFixed4(value);
  if (!Shaped(shown, true)) std::abort();
  if (std::fabs(value) < 1e15 && std::isfinite(value)) {
    const double back = tonus::ReadNumber(shown);
    if (!(std::fabs(back - value) <= 0.00005 + std::fabs(value) * 1e-14)) std::abort();
  }
  if (!Shaped(tonus::VoltageToFrequencyText(text), false)) std::abort();
  return 0;
}
