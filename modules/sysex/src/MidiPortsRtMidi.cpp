// The MIDI port service on Linux: RtMidi, over every API it was built with
// (ALSA's sequencer where the machine has one, JACK where a server runs).
// Ports are listed by short-lived RtMidi objects at creation; an opened output
// owns its RtMidiOut (and with it a JACK client or ALSA sequencer port).
//
// RtMidi hands a JACK message to the server as one event, and JACK refuses an
// event larger than the port buffer (32 KB on the servers we met) or one that
// does not fit beside the others of its period; ALSA's sequencer has limits of
// its own. A long message therefore goes out in pieces of kPieceSize bytes,
// one every kPieceGapMs, so that no period holds more than a few of them;
// a receiver sees the same byte stream, as on a MIDI cable.
#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "sysex/MidiPorts.h"

namespace byteloom {
namespace {

constexpr size_t kPieceSize = 4096;  // bytes per JACK or ALSA event
constexpr int kPieceGapMs = 10;      // between the pieces of one message
// Time left to RtMidi to hand the last event to the server before the port
// closes.
constexpr auto kDrainTime = std::chrono::milliseconds(100);
constexpr char kClientName[] = "Byteloom";

struct Api {
  RtMidi::Api api;
  std::string name;
};

// Compiled APIs that are real MIDI services (no dummy).
std::vector<Api> apis() {
  std::vector<RtMidi::Api> compiled;
  RtMidi::getCompiledApi(compiled);
  std::vector<Api> result;
  for (RtMidi::Api a : compiled)
    if (a != RtMidi::RTMIDI_DUMMY && a != RtMidi::UNSPECIFIED)
      result.push_back({a, RtMidi::getApiName(a)});
  return result;
}

// Collects RtMidi's errors instead of letting it print or throw.
void noteError(RtMidiError::Type type, const std::string&, void* failed) {
  if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
    *static_cast<bool*>(failed) = true;
}

template <typename Port>
void listPorts(const Api& api, MidiPortList& list) {
  try {
    Port port(api.api, kClientName);
    bool failed = false;
    port.setErrorCallback(&noteError, &failed);
    const unsigned count = port.getPortCount();
    for (unsigned i = 0; i < count && static_cast<int>(list.ids.size()) < kMaxListedPorts; ++i) {
      std::string name = port.getPortName(i);
      if (name.empty()) continue;
      if (name.size() > 127) name.resize(127);
      list.ids.push_back(api.name + '\n' + port.getPortName(i));
      list.names.push_back(std::move(name));
    }
  } catch (...) {
    // This API has no service on the machine (no sequencer, no server).
  }
}

class RtMidiOutput final : public MidiOutput {
 public:
  explicit RtMidiOutput(std::unique_ptr<RtMidiOut> port) : m_port(std::move(port)) {
    m_port->setErrorCallback(&noteError, &m_failed);
  }
  ~RtMidiOutput() override {
    const auto since = std::chrono::steady_clock::now() - m_lastSend;
    if (since < kDrainTime) std::this_thread::sleep_for(kDrainTime - since);
  }

  void beginSend() override {}

  bool sendMessage(std::span<const std::uint8_t> bytes) override {
    if (bytes.empty()) return true;
    for (size_t at = 0; at < bytes.size(); at += kPieceSize) {
      if (at > 0) std::this_thread::sleep_for(std::chrono::milliseconds(kPieceGapMs));
      const size_t n = std::min(kPieceSize, bytes.size() - at);
      m_failed = false;
      try {
        m_port->sendMessage(bytes.data() + at, n);
      } catch (...) {
        m_failed = true;
      }
      m_lastSend = std::chrono::steady_clock::now();
      if (m_failed) return false;
    }
    return true;
  }

 private:
  std::unique_ptr<RtMidiOut> m_port;
  bool m_failed = false;  // set by RtMidi's error callback during a call
  std::chrono::steady_clock::time_point m_lastSend{};
};

class RtMidiService final : public MidiService {
 public:
  RtMidiService() {
    for (const Api& api : apis()) {
      listPorts<RtMidiOut>(api, m_outputs);
      listPorts<RtMidiIn>(api, m_inputs);
    }
  }
  const MidiPortList& outputs() const override { return m_outputs; }
  const MidiPortList& inputs() const override { return m_inputs; }

  std::unique_ptr<MidiOutput> openOutput(int index, int) override {
    if (index < 0 || index >= static_cast<int>(m_outputs.ids.size())) return nullptr;
    const std::string& id = m_outputs.ids[index];
    const size_t cut = id.find('\n');
    const std::string apiName = id.substr(0, cut), portName = id.substr(cut + 1);
    for (const Api& api : apis()) {
      if (api.name != apiName) continue;
      try {
        auto port = std::make_unique<RtMidiOut>(api.api, kClientName);
        bool failed = false;
        port->setErrorCallback(&noteError, &failed);
        // Positions change as ports come and go: find the port by its name.
        const unsigned count = port->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
          if (port->getPortName(i) != portName) continue;
          port->openPort(i, "out");
          if (failed || !port->isPortOpen()) return nullptr;
          return std::make_unique<RtMidiOutput>(std::move(port));
        }
      } catch (...) {
      }
    }
    return nullptr;  // the port has gone, or its service
  }

 private:
  MidiPortList m_outputs, m_inputs;
};

}  // namespace

std::unique_ptr<MidiService> createMidiService() {
  return std::make_unique<RtMidiService>();
}

}  // namespace byteloom
