// The node-list rules written out step by step with C strtod and snprintf
// on NUL-terminated copies, for the tests, the fuzzer and the benchmark to
// compare the library with. It is right only in the "C" locale. Like the
// library it keeps every entry (a vector) and gives each formatted number
// room for its longest text. The remaining text is kept as an offset, not copied, so
// that it stays usable for large texts.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "breakpoint/node_store.h"

namespace kurvo_reference {

using kurvo::BreakpointNode;

// Room for the longest text of "%f" or "%3.5f" of a double (317
// characters), twice.
inline std::string format(const char* pattern, double a) {
  char text[1024];
  const int n = std::snprintf(text, sizeof text, pattern, a);
  return std::string(text, static_cast<std::size_t>(n));
}

inline std::string format2(const char* pattern, double a, double b) {
  char text[1024];
  const int n = std::snprintf(text, sizeof text, pattern, a, b);
  return std::string(text, static_cast<std::size_t>(n));
}

// The first `ch` in text at or after `from`, relative to `from`, -1 when
// absent.
inline std::ptrdiff_t findFrom(const std::string& text, std::size_t from, char ch) {
  const std::size_t at = text.find(ch, from);
  return at == std::string::npos ? -1 : static_cast<std::ptrdiff_t>(at - from);
}

inline float readField(const std::string& text, std::size_t from, std::ptrdiff_t start,
                       std::ptrdiff_t endBefore) {
  const std::ptrdiff_t length = endBefore - start;
  const std::string field =
      text.substr(from + static_cast<std::size_t>(start),
                  length < 0 ? std::string::npos : static_cast<std::size_t>(length));
  return static_cast<float>(std::strtod(field.c_str(), nullptr));
}

inline bool parseNodeText(std::vector<BreakpointNode>& nodes, const std::string& nodeText,
                          const std::string& initConfig) {
  const std::string text = nodeText.empty() ? initConfig : nodeText;
  nodes.clear();
  if (text.empty()) return true;
  std::size_t from = 0;
  for (;;) {
    const std::ptrdiff_t a = findFrom(text, from, '(');
    const std::ptrdiff_t b = findFrom(text, from, ',');
    const std::ptrdiff_t c = findFrom(text, from, ')');
    if (c < 1) return false;
    const float x = readField(text, from, a + 1, b);
    const float y = readField(text, from, b + 1, c);
    nodes.push_back({x * 10.0f, (10.0f - y) * 10.0f});
    from += static_cast<std::size_t>(c) + 1;
    if (from == text.size()) return true;
  }
}

inline std::string formatNodeText(std::span<const BreakpointNode> nodes) {
  std::string text;
  for (const BreakpointNode& n : nodes) {
    const float x = n.x * 0.1f;
    const float y = 10.0f - n.y * 0.1f;
    text += format2("(%3.5f,%3.5f)", x, y);
  }
  return text;
}

inline std::string trimNumber(const std::string& s) {
  if (s.empty()) return s;
  std::ptrdiff_t i = static_cast<std::ptrdiff_t>(s.size()) - 1;
  while (i > 0 && s[static_cast<std::size_t>(i)] == '0') --i;
  if (s[static_cast<std::size_t>(i)] == '.') --i;
  return s.substr(0, static_cast<std::size_t>(i + 1));
}

inline kurvo::AxisArrays formatAxisArrays(std::span<const BreakpointNode> nodes) {
  kurvo::AxisArrays arrays;
  for (const BreakpointNode& n : nodes) {
    const float x = n.x * 0.1f;
    const float y = (100.0f - n.y) * 0.1f;
    arrays.x += trimNumber(format("%f", x)) + ",";
    arrays.y += trimNumber(format("%f", y)) + ",";
  }
  return arrays;
}

inline std::string joinAxisArrays(const std::string& xs, const std::string& ys) {
  std::string out;
  std::size_t px = 0, py = 0;
  std::size_t cx = xs.find(',', px), cy = ys.find(',', py);
  while (px < xs.size() && py < ys.size() && cx != std::string::npos && cy != std::string::npos) {
    out += "(" + xs.substr(px, cx - px) + "," + ys.substr(py, cy - py) + ")";
    px = cx + 1;
    py = cy + 1;
    cx = xs.find(',', px);
    cy = ys.find(',', py);
  }
  return out;
}

// Bitwise equal, except that two NaNs of the same sign are equal whatever
// their payloads (the library does not keep a payload read from a text).
inline bool sameFloat(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) {
    return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  }
  return std::memcmp(&a, &b, sizeof a) == 0;
}

inline bool sameNodes(std::span<const BreakpointNode> a, std::span<const BreakpointNode> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!sameFloat(a[i].x, b[i].x) || !sameFloat(a[i].y, b[i].y)) return false;
  }
  return true;
}

}  // namespace kurvo_reference
