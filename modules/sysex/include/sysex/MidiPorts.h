// One small interface to the machine's MIDI ports, with one backend per
// platform: DirectMusic on Windows (src/MidiPortsDirectMusic.cpp), RtMidi on
// Linux (src/MidiPortsRtMidi.cpp). Byteloom's processing object and
// sysex_tool use only this header, so their source is the same on both
// builds. No platform header is included here.
//
// Threads: a service and the outputs it opened are used from one thread at a
// time (the caller's); nothing here locks. No call throws.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace byteloom {

// Most ports taken into each list.
inline constexpr int kMaxListedPorts = 32;

// The ports of one direction, in the order the service listed them.
struct MidiPortList {
  std::vector<std::string> names;  // descriptions in the 8-bit code page, at most 127 bytes each
  std::vector<std::string> ids;    // stable identifier of the port at the same position
  // The names joined with "," (no trailing comma), the list text of a
  // DT_CHOICE pin. A name that holds a comma yields two entries there.
  std::string listText() const;
};

// An opened output port. Destroying it closes the port.
class MidiOutput {
 public:
  virtual ~MidiOutput() = default;
  // Called once before the messages of one send: reads the time that every
  // message of the send carries (DirectMusic's latency clock).
  virtual void beginSend() = 0;
  // Hands one message (a System Exclusive message, or any bytes, unchecked)
  // to the port, whole. True only when every byte was accepted by the port;
  // false when the message could not be sent (then none of it, or, where the
  // port carries a long message in pieces, only a leading part went out).
  // `bytes` is borrowed for the call.
  virtual bool sendMessage(std::span<const std::uint8_t> bytes) = 0;
};

// An opened input port, for sysex_tool (the module receives nothing).
// Destroying it closes the port.
class MidiInput {
 public:
  virtual ~MidiInput() = default;
  // Appends to `bytes` every byte received since the last call, in order of
  // arrival (System Exclusive included; timing clock and active sensing left
  // out). Called from the owner's thread: the service has gathered the bytes
  // from a thread of its own (RtMidi), or reads the port now (DirectMusic,
  // which queues what arrives until it is read).
  virtual void take(std::vector<std::uint8_t>& bytes) = 0;
};

class MidiService {
 public:
  virtual ~MidiService() = default;
  // The lists taken when the service was created (at most kMaxListedPorts
  // each); they are not refreshed.
  virtual const MidiPortList& outputs() const = 0;
  virtual const MidiPortList& inputs() const = 0;
  // When both lists are empty, one sentence for the user that says what the
  // service found instead (for instance that no JACK server is running);
  // empty when there are ports.
  virtual std::string whyNoPorts() const = 0;
  // Opens the output at `index` of outputs(), found again by its identifier;
  // `sampleRate` (Hz) is passed to services that take one. Null when the
  // index is out of range, the port has gone, or it cannot be opened.
  virtual std::unique_ptr<MidiOutput> openOutput(int index, int sampleRate) = 0;
  // Opens the input at `index` of inputs(); null when it cannot be opened or
  // the service does not receive.
  virtual std::unique_ptr<MidiInput> openInput(int index) = 0;
};

// The platform's MIDI service with its port lists, or null when there is no
// service (then there are no ports and nothing can be sent).
std::unique_ptr<MidiService> createMidiService();

}  // namespace byteloom
