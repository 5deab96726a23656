#include "sysex/ByteloomBytes.h"

namespace byteloom {
namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";

bool isDelimiter(char c) {
  return c == ',' || c == '\n' || c == '\t' || c == ' ' || c == '\r';
}

// The value of a hexadecimal digit, or -1 for any other character.
int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The text up to its first NUL character.
std::string_view untilNul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

// Calls onToken(first, length) for every token of `text` in order, stopping
// early when onToken returns false.
template <typename OnToken>
void forEachToken(std::string_view text, OnToken onToken) {
  const std::size_t size = text.size();
  std::size_t i = 0;
  for (;;) {
    while (i < size && isDelimiter(text[i])) ++i;
    if (i == size) return;
    const std::size_t start = i;
    while (i < size && !isDelimiter(text[i])) ++i;
    if (!onToken(text.data() + start, i - start)) return;
  }
}

// The byte a token stands for: its first one or two hexadecimal digits.
std::uint8_t tokenValue(const char* token, std::size_t length) {
  const int high = hexDigit(token[0]);
  if (high < 0) return 0;
  const int low = length > 1 ? hexDigit(token[1]) : -1;
  return static_cast<std::uint8_t>(low < 0 ? high : high * 16 + low);
}

void appendGroup(std::string& out, std::uint8_t byte) {
  out += kUpperHex[byte >> 4];
  out += kUpperHex[byte & 0xF];
}

// True for contents that hex text may consist of: printable ASCII, tab,
// line feed and carriage return.
bool mayBeHexText(std::span<const std::uint8_t> contents) {
  for (std::uint8_t c : contents) {
    const bool printable = c >= 0x20 && c < 0x7F;
    if (!printable && c != '\t' && c != '\n' && c != '\r') return false;
  }
  return true;
}

}  // namespace

int parseHexText(std::span<std::uint8_t> dest, std::string_view text, bool* truncated) {
  std::size_t count = 0;
  bool cut = false;
  forEachToken(untilNul(text), [&](const char* token, std::size_t length) {
    if (count == dest.size()) {
      cut = true;
      return false;
    }
    dest[count++] = tokenValue(token, length);
    return true;
  });
  if (truncated) *truncated = cut;
  return static_cast<int>(count);
}

int countHexBytes(std::string_view text) {
  int count = 0;
  forEachToken(untilNul(text), [&](const char*, std::size_t) {
    ++count;
    return true;
  });
  return count;
}

int flattenLineEnds(std::string& text) {
  std::size_t out = 0;
  char previous = '\0';
  for (char c : text) {
    const bool afterCr = previous == '\r';
    previous = c;
    if (c == '\n' && afterCr) continue;
    text[out++] = c == '\r' || c == '\n' ? ' ' : c;
  }
  text.resize(out);
  return static_cast<int>(out);
}

std::string formatTextDump(std::span<const std::uint8_t> bytes) {
  std::string out;
  if (bytes.empty()) return out;
  out.reserve(bytes.size() * 3 + bytes.size() / 16 + 1);  // the exact size
  std::size_t i = 0;
  for (; bytes.size() - i >= 16; i += 16) {
    for (std::size_t k = 0; k < 16; ++k) {
      appendGroup(out, bytes[i + k]);
      out += k < 15 ? ' ' : '\r';
    }
    out += '\n';
  }
  for (; i < bytes.size(); ++i) {
    appendGroup(out, bytes[i]);
    out += ' ';
  }
  // The last character (the space after the last group, or the LF of a full
  // last line) becomes CR, and LF follows.
  out.back() = '\r';
  out += '\n';
  return out;
}

std::string formatRawAsText(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() * 3);
  for (std::uint8_t b : bytes) {
    appendGroup(out, b);
    out += ' ';
  }
  return out;
}

DecodedFile decodeFileContents(std::span<const std::uint8_t> contents) {
  DecodedFile result;
  if (contents.empty()) return result;
  if (contents[0] == 0xF0 || !mayBeHexText(contents)) {
    result.text = formatRawAsText(contents);
    result.byteCount = static_cast<int>(contents.size());
    result.raw = true;
    return result;
  }
  if (contents.size() < 2) return result;
  std::size_t end = contents.size();
  if (contents[end - 1] == '\n') --end;
  if (end > 0 && contents[end - 1] == '\r') --end;
  result.text.assign(reinterpret_cast<const char*>(contents.data()), end);
  flattenLineEnds(result.text);
  result.byteCount = countHexBytes(result.text);
  return result;
}

}  // namespace byteloom
