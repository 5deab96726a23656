// The parts of the MIDI port interface that every backend shares.
#include "sysex/MidiPorts.h"

namespace byteloom {

std::string MidiPortList::listText() const {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += ',';
    text += names[i];
  }
  return text;
}

}  // namespace byteloom
