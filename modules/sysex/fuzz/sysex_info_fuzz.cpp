// libFuzzer target for what `sysex_tool info` reads from any file's bytes
// (analyseBytes) and both its reports, with the invariants the reports rely
// on: every byte is in one message or one run outside, in order; the counts
// add up; the JSON report is JSON. Any violation aborts, which libFuzzer
// reports as a crash.
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "sysex_info.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const sysex_tool::FileInfo info = sysex_tool::analyseBytes(bytes);
  require(info.bytes == size);
  require(info.bytesInMessages + info.bytesOutside == size);
  // Messages and runs outside tile the bytes, in order of offset.
  size_t next = 0, m = 0, r = 0, highBits = 0, unterminated = 0;
  while (m < info.messages.size() || r < info.outside.size()) {
    const bool message =
        r == info.outside.size() ||
        (m < info.messages.size() && info.messages[m].offset < info.outside[r].offset);
    const size_t offset = message ? info.messages[m].offset : info.outside[r].offset;
    const size_t length = message ? info.messages[m].length : info.outside[r].length;
    require(offset == next && length > 0);
    if (message) {
      const sysex_tool::MessageInfo& msg = info.messages[m];
      require(bytes[offset] == 0xF0 && msg.index == m + 1);
      require(msg.terminated == (bytes[offset + length - 1] == 0xF7 && length >= 2));
      highBits += msg.highBitBytes;
      unterminated += msg.terminated ? 0 : 1;
      ++m;
    } else {
      for (size_t i = offset; i < offset + length; ++i) require(bytes[i] != 0xF0);
      ++r;
    }
    next = offset + length;
  }
  require(next == size);
  require(highBits == info.highBitBytes && unterminated == info.unterminated);
  require(!sysex_tool::formatInfoText(info, "fuzz.syx").empty());
  const nlohmann::json json =
      nlohmann::json::parse(sysex_tool::formatInfoJson(info, "fuzz.syx"), nullptr, false);
  require(!json.is_discarded() && json["messages"].size() == info.messages.size());
  return 0;
}
