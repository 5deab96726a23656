// The MIDI port service on Linux: RtMidi, over every API it was built with
// (ALSA's sequencer where the machine has one, JACK where a server runs).
// Ports are listed by short-lived RtMidi objects at creation; an opened output
// owns its RtMidiOut (and with it a JACK client or ALSA sequencer port).
//
// A long message goes out in pieces (sysex/MidiPieces.h), one every
// kPieceGapMs, so that no JACK period and no ALSA pool holds more than a few
// of them; a receiver sees the same byte stream, as on a MIDI cable. On ALSA
// the pieces are cut to fit the MIDI event encoder inside RtMidi's output.
// What RtMidi reports about each piece decides whether it is offered again
// (src/RtMidiReports.h): only a piece of which nothing was taken is.
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <type_traits>

#include "RtMidiReports.h"
#include "sysex/MidiPieces.h"
#include "sysex/MidiPorts.h"

namespace byteloom {
namespace {

// Time left to RtMidi to hand the last event to the server before the port
// closes.
constexpr auto kDrainTime = std::chrono::milliseconds(100);
// Between closing an output's port and destroying it: many JACK periods.
constexpr auto kSettleTime = std::chrono::milliseconds(50);
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

// Which services the machine offers: ALSA's sequencer where the machine has
// one, JACK where a server answers.
struct Services {
  bool sequencer = false;
  bool jack = false;
};

// JACK's client library writes to stderr each time no server answers (ten
// lines and more per look on a desktop without a server). Byteloom reports
// through its status pin and sysex_tool says in one sentence what it found,
// so the library is told to write nothing, once, before any JACK call.
void silenceJack() {
  static const bool silenced = [] {
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    return true;
  }();
  (void)silenced;
}

// Whether a JACK server answers, asked without starting one. Asked directly:
// RtMidi's JACK objects, made while no server runs, warn on stderr before an
// error callback can be given to them.
bool jackServerAnswers() {
  silenceJack();
  jack_client_t* client = jack_client_open(kClientName, JackNoStartServer, nullptr);
  if (!client) return false;
  jack_client_close(client);
  return true;
}

Services findServices() {
  return {access("/dev/snd/seq", R_OK | W_OK) == 0, jackServerAnswers()};
}

// Compiled APIs that are real MIDI services (no dummy) and are among
// `services`: ALSA's sequencer only where there is one (sparing its
// complaints on stderr), JACK only where a server answers (RtMidi's JACK
// output leaks its 16 KB queue each time it is made while no server runs).
std::vector<Api> apis(const Services& services) {
  std::vector<RtMidi::Api> compiled;
  RtMidi::getCompiledApi(compiled);
  std::vector<Api> result;
  for (RtMidi::Api a : compiled)
    if (a != RtMidi::RTMIDI_DUMMY && a != RtMidi::UNSPECIFIED &&
        (a != RtMidi::LINUX_ALSA || services.sequencer) &&
        (a != RtMidi::UNIX_JACK || services.jack))
      result.push_back({a, RtMidi::getApiName(a)});
  return result;
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
    RtMidiReports reports;  // a port that cannot be named is left out
    port.setErrorCallback(&RtMidiReports::callback, &reports);
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
  RtMidiOutput(std::unique_ptr<RtMidiOut> port, RtMidi::Api api)
      : m_port(std::move(port)),
        m_encoderBuffer(api == RtMidi::LINUX_ALSA ? kAlsaEncoderStart : 0) {
    m_port->setErrorCallback(&RtMidiReports::callback, &m_reports);
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
    const PiecePlan plan = planPieces(bytes, m_encoderBuffer);
    m_encoderBuffer = encoderBufferAfter(plan, m_encoderBuffer);
    return sendPieces(bytes, plan, [this](std::span<const std::uint8_t> piece) {
      m_reports = {};
      try {
        m_port->sendMessage(piece.data(), piece.size());
      } catch (...) {
        m_reports.outcome = PieceOutcome::failed;
      }
      m_lastSend = std::chrono::steady_clock::now();
      return m_reports.outcome;
    });
  }

 private:
  std::unique_ptr<RtMidiOut> m_port;
  // Bytes of the ALSA encoder's buffer inside m_port, as RtMidi sizes it from
  // the calls it was given; 0 on JACK, which takes bytes as they are.
  std::size_t m_encoderBuffer;
  RtMidiReports m_reports;  // set by RtMidi's error callback during a call
  std::chrono::steady_clock::time_point m_lastSend{};
};

class RtMidiInput final : public MidiInput {
 public:
  explicit RtMidiInput(std::unique_ptr<RtMidiIn> port) : m_port(std::move(port)) {
    m_port->setErrorCallback(&RtMidiReports::callback, &m_reports);
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
  RtMidiReports m_reports;            // what RtMidi said; receiving has no caller to tell
  std::mutex m_mutex;                 // guards m_bytes
  std::vector<std::uint8_t> m_bytes;  // received, not yet taken
};

class RtMidiService final : public MidiService {
 public:
  RtMidiService() : m_services(findServices()) {
    for (const Api& api : apis(m_services)) {
      listPorts<RtMidiOut>(api, m_outputs);
      listPorts<RtMidiIn>(api, m_inputs);
    }
  }
  const MidiPortList& outputs() const override { return m_outputs; }
  const MidiPortList& inputs() const override { return m_inputs; }

  std::string whyNoPorts() const override {
    if (!m_outputs.names.empty() || !m_inputs.names.empty()) return {};
    if (m_services.jack && m_services.sequencer)
      return "no MIDI ports: neither the JACK server nor the ALSA sequencer has any";
    if (m_services.jack)
      return "no MIDI ports: the JACK server has none and there is no ALSA sequencer";
    if (m_services.sequencer)
      return "no MIDI ports: the ALSA sequencer has none and no JACK server is running";
    return "no MIDI ports: no JACK server is running and there is no ALSA sequencer";
  }

  std::unique_ptr<MidiOutput> openOutput(int index, int) override {
    auto port = openListed<RtMidiOut>(m_outputs, index, "out");
    if (!port) return nullptr;
    const RtMidi::Api api = port->getCurrentApi();
    return std::make_unique<RtMidiOutput>(std::move(port), api);
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
    for (const Api& api : apis(findServices())) {
      if (api.name != apiName) continue;
      try {
        auto port = makePort<Port>(api.api);
        RtMidiReports reports;
        port->setErrorCallback(&RtMidiReports::callback, &reports);
        const unsigned count = port->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
          if (port->getPortName(i) != portName) continue;
          port->openPort(i, ownPortName);
          if (reports.outcome == PieceOutcome::failed || !port->isPortOpen()) return nullptr;
          if (std::is_same_v<Port, RtMidiOut> && api.api == RtMidi::UNIX_JACK)
            std::this_thread::sleep_for(kConnectTime);
          return port;
        }
      } catch (...) {
      }
    }
    return nullptr;
  }

  Services m_services;  // as found when the lists were taken
  MidiPortList m_outputs, m_inputs;
};

}  // namespace

std::unique_ptr<MidiService> createMidiService() {
  return std::make_unique<RtMidiService>();
}

}  // namespace byteloom
