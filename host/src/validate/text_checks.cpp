#include "text_checks.h"

#include <cstring>

#include "common/c_numbers.h"

namespace plughost::validate {

namespace {

std::string trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  const size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

}  // namespace

std::string text_fault(const char* text, size_t limit, bool required) {
  if (!text) return required ? "is missing" : "";
  const size_t n = strnlen(text, limit);
  if (n == limit) return "has no end within " + std::to_string(limit) + " bytes";
  if (required && n == 0) return "is empty";
  return "";
}

bool is_number(const std::string& text) {
  const std::string t = trim(text);
  if (t.empty()) return false;
  size_t consumed = 0;
  cnum::readCNumber(t, &consumed);
  return consumed == t.size();
}

std::string list_fault(const std::string& list) {
  if (list.empty()) return "";
  static const std::string kRange = "range:";
  if (list.compare(0, kRange.size(), kRange) == 0) {
    const std::string rest = list.substr(kRange.size());
    const size_t comma = rest.find(',');
    if (comma == std::string::npos || !is_number(rest.substr(0, comma)) ||
        !is_number(rest.substr(comma + 1))) {
      return "range \"" + list + "\" is not two numbers";
    }
    if (cnum::readCNumber(trim(rest.substr(0, comma))) >
        cnum::readCNumber(trim(rest.substr(comma + 1)))) {
      return "range \"" + list + "\" runs backwards";
    }
    return "";
  }
  size_t start = 0;
  for (int entry = 0;; ++entry) {
    const size_t comma = list.find(',', start);
    const std::string item =
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const size_t eq = item.find('=');
    if (trim(item.substr(0, eq)).empty()) {
      return "entry " + std::to_string(entry) + " of \"" + list + "\" has no name";
    }
    if (eq != std::string::npos && !is_number(item.substr(eq + 1))) {
      return "entry " + std::to_string(entry) + " of \"" + list + "\" has no number after '='";
    }
    if (comma == std::string::npos) return "";
    start = comma + 1;
  }
}

}  // namespace plughost::validate
