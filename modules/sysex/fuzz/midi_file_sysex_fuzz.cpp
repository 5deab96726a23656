// libFuzzer target for the Standard MIDI File reader (readMidiFileSysex), the
// reader of untrusted .mid files: any input either fails with an offset
// inside the file, or gives messages that are complete System Exclusive
// messages lying back to back in its bytes, in time order, each begun by an
// F0 inside the file. Any violation aborts, which libFuzzer reports as a
// crash. Inputs not beginning with "MThd" are given that header, so that
// mutations of any kind reach the tracks.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sysex/MidiFileSysex.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace byteloom;
  std::vector<std::uint8_t> file(data, data + size);
  if (!looksLikeMidiFile(file)) file.insert(file.begin(), {'M', 'T', 'h', 'd'});
  const MidiFileSysex read = readMidiFileSysex(file);
  if (!read.ok) {
    require(!read.error.empty());
    require(read.errorOffset <= file.size());
    require(read.bytes.empty() && read.messages.empty());
    return 0;
  }
  require(read.format == 0 || read.format == 1);
  std::size_t next = 0;
  double last = 0;
  for (const TimedSysex& m : read.messages) {
    require(m.offset == next && m.length >= 2 && m.offset + m.length <= read.bytes.size());
    require(read.bytes[m.offset] == 0xF0 && read.bytes[m.offset + m.length - 1] == 0xF7);
    for (std::size_t i = m.offset + 1; i + 1 < m.offset + m.length; ++i)
      require(read.bytes[i] < 0x80);
    require(m.fileOffset < file.size() &&
            (file[m.fileOffset] == 0xF0 || file[m.fileOffset] == 0xF7));
    require(std::isfinite(m.seconds) && m.seconds >= last);
    last = m.seconds;
    next += m.length;
  }
  require(next == read.bytes.size());
  return 0;
}
