// The MIDI output side of ByteloomProcessor: the port lists of pins 0 and 1,
// opening the output chosen on pin 1, and sending the hex text one System
// Exclusive message at a time, through the platform's MIDI service
// (sysex/MidiPorts.h).
#include <string>

#include "platform/win32.h"
#include "sysex/ByteloomBytes.h"
#include "sysex/ByteloomProcessor.h"

namespace {

constexpr char kSent[] = "bytes sent";
constexpr char kTooManyToSend[] = "bytes not sent: at most 131072 bytes can be sent";
static_assert(byteloom::kByteArraySize == 131072, "the status message names this limit");
constexpr int kPauseMs = 60;  // after every message: the only pacing of a send

}  // namespace

void ByteloomProcessor::enumeratePorts() {
  m_midi = byteloom::createMidiService();
  m_inPortList = m_midi ? m_midi->inputs().listText() : std::string();
  m_outPortList = m_midi ? m_midi->outputs().listText() : std::string();
}

void ByteloomProcessor::openOutputPort() {
  if (!m_midi) return;
  m_output.reset();  // the port chosen before closes first
  m_output = m_midi->openOutput(m_midiOutPort, static_cast<int>(GetSampleRate()));
}

void ByteloomProcessor::sendBytes(std::string_view text) {
  if (!m_output) return;
  if (text.empty() || !m_byteArray) return;
  // A device must never get a dump cut short: what the byte array cannot
  // hold is not begun.
  const int count = byteloom::countHexBytes(text);
  if (count > byteloom::kByteArraySize) {
    publishStatus(count, kTooManyToSend);
    return;
  }
  const int n = byteloom::parseHexText(
      {m_byteArray.get(), static_cast<size_t>(byteloom::kByteArraySize)}, text);
  m_output->beginSend();  // one time for every message of this send
  int sent = 0;           // bytes handed to the port so far
  for (int p = 0; p < n;) {
    // A message ends after the next 0xF7, or with the bytes.
    int q = p;
    while (q < n && m_byteArray[q] != 0xF7) ++q;
    const int m = (q < n ? q + 1 : n) - p;
    const bool ok = m_output->sendMessage({m_byteArray.get() + p, static_cast<size_t>(m)});
    if (!ok) {
      // The rest is not sent either: a dump with a gap would mislead the
      // device more than one cut short.
      const std::string said = std::string(kSent) + "; the message of " + std::to_string(m) +
                               " bytes at byte " + std::to_string(p) + " could not be sent";
      publishStatus(sent, said.c_str());
      return;
    }
    sent += m;
    p += m;
    publishStatus(sent, kSent);
    Sleep(kPauseMs);
  }
}
