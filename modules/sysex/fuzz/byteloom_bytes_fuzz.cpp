// libFuzzer target for Byteloom's readers of untrusted input: parseHexText
// (any text, into a destination of a size taken from the input) and
// decodeFileContents (any file), with the invariants that tie them to the
// writers. Any violation aborts, which libFuzzer reports as a crash.
#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "sysex/ByteloomBytes.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace byteloom;
  const std::span<const std::uint8_t> input(data, size);

  // Hex text into a small destination (0..63 bytes) so that cutting is
  // exercised; nothing may be written past it.
  const std::size_t capacity = size > 0 ? data[0] % 64 : 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::uint8_t> dest(capacity);
  bool truncated = false;
  const int count = parseHexText(dest, text, &truncated);
  const int tokens = countHexBytes(text);
  require(count == std::min<int>(tokens, static_cast<int>(capacity)));
  require(truncated == (tokens > static_cast<int>(capacity)));

  // Any file: a raw file keeps every byte; a text file's count is that of
  // its text; whatever was loaded survives a save as text and a reload.
  const DecodedFile loaded = decodeFileContents(input);
  require(loaded.byteCount == countHexBytes(loaded.text));
  std::vector<std::uint8_t> bytes(loaded.byteCount);
  require(parseHexText(bytes, loaded.text, &truncated) == loaded.byteCount && !truncated);
  if (loaded.raw) require(bytes == std::vector<std::uint8_t>(data, data + size));
  const std::string dump = formatTextDump(bytes);
  const DecodedFile reloaded =
      decodeFileContents({reinterpret_cast<const std::uint8_t*>(dump.data()), dump.size()});
  std::vector<std::uint8_t> again(reloaded.byteCount);
  parseHexText(again, reloaded.text);
  require(again == bytes);
  return 0;
}
