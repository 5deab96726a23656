// Case folding of ASCII letters only, independent of the process locale:
// window class names and similar identifiers compare without regard to
// case, as Win32 compares them.
#pragma once

#include <string>
#include <string_view>

namespace cnum {

inline std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return out;
}

}  // namespace cnum
