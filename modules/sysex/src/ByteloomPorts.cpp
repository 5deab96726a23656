// The MIDI output side of ByteloomProcessor. No MIDI port service is used
// yet: the port lists stay empty, no port opens, and a send finds no port.
#include "sysex/ByteloomProcessor.h"

void ByteloomProcessor::enumeratePorts() {
  m_inPortList.clear();
  m_outPortList.clear();
}

void ByteloomProcessor::openOutputPort() {}

void ByteloomProcessor::sendBytes(std::string_view) {
  // Without an open output port a send does nothing.
}
