// The MIDI port service on Linux: RtMidi, over every API it was built with
// (ALSA's sequencer where the machine has one, JACK where a server runs).
// Ports are listed by short-lived RtMidi objects at creation; an opened output
// owns its RtMidiOut (and with it a JACK client or ALSA sequencer port).
//
// RtMidi's JACK output queues each message whole in a ring buffer of 16 KB
// (waiting while the ring is full) and drops, without a word, a message that
// could never fit it; its process callback then hands each queued message to
// the server as one event, which JACK refuses when it does not fit beside the
// others of its period. ALSA's sequencer has limits of its own. A long
// message therefore goes out in pieces of kPieceSize bytes, one every
// kPieceGapMs, so that no period holds more than a few of them; a receiver
// sees the same byte stream, as on a MIDI cable.
//
// RtMidi reports a message the sequencer refused only as a warning and
// returns as if it had sent it; such a message is offered again until
// kRetryTime has passed, then the send fails. Nothing of a refused message
// went out, so offering it again cannot double any byte.
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <type_traits>

#include "sysex/MidiPorts.h"

namespace byteloom {
namespace {

constexpr size_t kPieceSize = 4096;  // bytes per JACK or ALSA event
constexpr int kPieceGapMs = 10;      // between the pieces of one message
// Time left to RtMidi to hand the last event to the server before the port
// closes.
constexpr auto kDrainTime = std::chrono::milliseconds(100);
// Between closing an output's port and destroying it: many JACK periods.
constexpr auto kSettleTime = std::chrono::milliseconds(50);
// How long a piece the service refuses is offered again, kPieceGapMs apart.
constexpr auto kRetryTime = std::chrono::seconds(2);
// After a JACK output is connected: the server takes a new connection into
// its graph only at the start of a later cycle, and an event sent in a cycle
// that began before goes nowhere (the first message of a send was lost on a
// busy server). Many periods of any usual server.
constexpr auto kConnectTime = std::chrono::milliseconds(100);
constexpr char kClientName[] = "Byteloom";

struct Api {
  RtMidi::Api api;
  std::string name;
};

bool jackServerAnswers();

// Compiled APIs that are real MIDI services (no dummy) and have a service
// running: ALSA's sequencer where the machine has one (sparing its complaints
// on stderr), JACK where a server answers (RtMidi's JACK output leaks its
// 16 KB queue each time it is made while no server runs).
std::vector<Api> apis() {
  std::vector<RtMidi::Api> compiled;
  RtMidi::getCompiledApi(compiled);
  std::vector<Api> result;
  for (RtMidi::Api a : compiled)
    if (a != RtMidi::RTMIDI_DUMMY && a != RtMidi::UNSPECIFIED &&
        (a != RtMidi::LINUX_ALSA || access("/dev/snd/seq", R_OK | W_OK) == 0) &&
        (a != RtMidi::UNIX_JACK || jackServerAnswers()))
      result.push_back({a, RtMidi::getApiName(a)});
  return result;
}

// What RtMidi said during one call on an output.
struct Outcome {
  bool refused = false;  // a warning: the message was not queued
  bool failed = false;   // an error: the port is unusable
};

void noteOutcome(RtMidiError::Type type, const std::string&, void* outcome) {
  auto* o = static_cast<Outcome*>(outcome);
  if (type == RtMidiError::DEBUG_WARNING) return;
  (type == RtMidiError::WARNING ? o->refused : o->failed) = true;
}

// Whether a JACK server answers: asked through RtMidi's JACK input, which
// makes nothing it does not free when there is none.
bool jackServerAnswers() {
  try {
    RtMidiIn probe(RtMidi::UNIX_JACK, kClientName);
    Outcome outcome;
    probe.setErrorCallback(&noteOutcome, &outcome);
    probe.getPortCount();
    return !outcome.refused && !outcome.failed;
  } catch (...) {
    return false;
  }
}

template <typename Port>
std::unique_ptr<Port> makePort(RtMidi::Api api) {
  if constexpr (std::is_same_v<Port, RtMidiIn>)
    return std::make_unique<RtMidiIn>(api, kClientName, 1);  // every event to the callback
  else
    return std::make_unique<RtMidiOut>(api, kClientName);
}

template <typename Port>
void listPorts(const Api& api, MidiPortList& list) {
  try {
    Port port(api.api, kClientName);
    Outcome outcome;  // a port that cannot be named is left out
    port.setErrorCallback(&noteOutcome, &outcome);
    const unsigned count = port.getPortCount();
    for (unsigned i = 0; i < count && static_cast<int>(list.ids.size()) < kMaxListedPorts; ++i) {
      const std::string name = port.getPortName(i);
      if (name.empty()) continue;
      list.ids.push_back(api.name + '\n' + name);
      list.names.push_back(name.substr(0, 127));
    }
  } catch (...) {
    // This API has no service on the machine (no sequencer, no server).
  }
}

class RtMidiOutput final : public MidiOutput {
 public:
  explicit RtMidiOutput(std::unique_ptr<RtMidiOut> port) : m_port(std::move(port)) {
    m_port->setErrorCallback(&noteOutcome, &m_outcome);
  }
  ~RtMidiOutput() override {
    const auto since = std::chrono::steady_clock::now() - m_lastSend;
    if (since < kDrainTime) std::this_thread::sleep_for(kDrainTime - since);
    // RtMidi's JACK output frees its ring buffer before it closes its JACK
    // client, so a process callback still running reads freed memory (seen
    // as a crash at exit on a busy machine). Its callback returns at once
    // once the port is closed: close the port first, and let any callback
    // that began before that finish before the RtMidiOut is destroyed.
    m_port->closePort();
    std::this_thread::sleep_for(kSettleTime);
  }

  void beginSend() override {}

  bool sendMessage(std::span<const std::uint8_t> bytes) override {
    if (bytes.empty()) return true;
    for (size_t at = 0; at < bytes.size(); at += kPieceSize) {
      if (at > 0) std::this_thread::sleep_for(std::chrono::milliseconds(kPieceGapMs));
      if (!sendPiece(bytes.subspan(at, std::min(kPieceSize, bytes.size() - at)))) return false;
    }
    // A message in pieces ends with a gap too, so that its last piece is out
    // before the caller's pause between messages starts.
    if (bytes.size() > kPieceSize)
      std::this_thread::sleep_for(std::chrono::milliseconds(kPieceGapMs));
    return true;
  }

 private:
  // One event to the service, offered again while it is refused for want of
  // room. False on an error, or when the room never came.
  bool sendPiece(std::span<const std::uint8_t> piece) {
    const auto giveUp = std::chrono::steady_clock::now() + kRetryTime;
    for (;;) {
      m_outcome = {};
      try {
        m_port->sendMessage(piece.data(), piece.size());
      } catch (...) {
        m_outcome.failed = true;
      }
      m_lastSend = std::chrono::steady_clock::now();
      if (m_outcome.failed) return false;
      if (!m_outcome.refused) return true;
      if (m_lastSend >= giveUp) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(kPieceGapMs));
    }
  }

  std::unique_ptr<RtMidiOut> m_port;
  Outcome m_outcome;  // set by RtMidi's error callback during a call
  std::chrono::steady_clock::time_point m_lastSend{};
};

class RtMidiInput final : public MidiInput {
 public:
  explicit RtMidiInput(std::unique_ptr<RtMidiIn> port) : m_port(std::move(port)) {
    m_port->setErrorCallback(&noteOutcome, &m_outcome);
    m_port->ignoreTypes(false, true, true);  // keep SysEx; drop clock and sensing
    m_port->setCallback(&RtMidiInput::received, this);
  }
  ~RtMidiInput() override { m_port->cancelCallback(); }

  void take(std::vector<std::uint8_t>& bytes) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    bytes.insert(bytes.end(), m_bytes.begin(), m_bytes.end());
    m_bytes.clear();
  }

 private:
  // RtMidi's thread, once per event (or per SysEx message it put together).
  static void received(double, std::vector<unsigned char>* message, void* self) {
    auto* in = static_cast<RtMidiInput*>(self);
    std::lock_guard<std::mutex> lock(in->m_mutex);
    in->m_bytes.insert(in->m_bytes.end(), message->begin(), message->end());
  }

  std::unique_ptr<RtMidiIn> m_port;
  Outcome m_outcome;                  // what RtMidi said; receiving has no caller to tell
  std::mutex m_mutex;                 // guards m_bytes
  std::vector<std::uint8_t> m_bytes;  // received, not yet taken
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
    auto port = openListed<RtMidiOut>(m_outputs, index, "out");
    return port ? std::make_unique<RtMidiOutput>(std::move(port)) : nullptr;
  }

  std::unique_ptr<MidiInput> openInput(int index) override {
    auto port = openListed<RtMidiIn>(m_inputs, index, "in");
    return port ? std::make_unique<RtMidiInput>(std::move(port)) : nullptr;
  }

 private:
  // Opens the port at `index` of `list`, found again by its name (positions
  // change as ports come and go). Null when the index is out of range, the
  // port or its service has gone, or it cannot be opened.
  template <typename Port>
  static std::unique_ptr<Port> openListed(const MidiPortList& list, int index,
                                          const char* ownPortName) {
    if (index < 0 || index >= static_cast<int>(list.ids.size())) return nullptr;
    const std::string& id = list.ids[index];
    const size_t cut = id.find('\n');
    const std::string apiName = id.substr(0, cut), portName = id.substr(cut + 1);
    for (const Api& api : apis()) {
      if (api.name != apiName) continue;
      try {
        auto port = makePort<Port>(api.api);
        Outcome outcome;
        port->setErrorCallback(&noteOutcome, &outcome);
        const unsigned count = port->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
          if (port->getPortName(i) != portName) continue;
          port->openPort(i, ownPortName);
          if (outcome.failed || !port->isPortOpen()) return nullptr;
          if (std::is_same_v<Port, RtMidiOut> && api.api == RtMidi::UNIX_JACK)
            std::this_thread::sleep_for(kConnectTime);
          return port;
        }
      } catch (...) {
      }
    }
    return nullptr;
  }

  MidiPortList m_outputs, m_inputs;
};

}  // namespace

std::unique_ptr<MidiService> createMidiService() {
  return std::make_unique<RtMidiService>();
}

}  // namespace byteloom
