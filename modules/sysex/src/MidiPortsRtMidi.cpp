// The MIDI port service on Linux: RtMidi, over every API it was built with
// (ALSA's sequencer where the machine has one, JACK where a server runs).
// Ports are listed at creation: JACK's through one plain client of our own,
// ALSA's by short-lived RtMidi objects. An opened port owns its RtMidi object
// (and with it a JACK client or ALSA sequencer port).
//
// Every JACK client of ours is opened and closed in its turn (JackClientTurn):
// one at a time among this user's processes.
//
// A long message goes out in pieces (sysex/MidiPieces.h), one every
// kPieceGapMs, so that no JACK period and no ALSA pool holds more than a few
// of them; a receiver sees the same byte stream, as on a MIDI cable. On ALSA
// the pieces are cut to fit the MIDI event encoder inside RtMidi's output.
// What RtMidi reports about each piece decides whether it is offered again
// (src/RtMidiReports.h): only a piece of which nothing was taken is.
#include <fcntl.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
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
// How long a process waits for its turn to open or close a JACK client (see
// JackClientTurn), and how often it looks. A turn lasts a few ms, some tens
// on a busy server; a process that keeps it for longer is stuck, and the
// others go on without it after this wait.
constexpr auto kTurnWait = std::chrono::seconds(5);
constexpr auto kTurnPoll = std::chrono::milliseconds(1);

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

// Held while one of our JACK clients is opened or closed: one such client at a
// time among this user's processes that share the lock file, and in turn
// with the threads of this one. JACK's client library names a client's
// notification socket by the client's name and the user alone, not by the
// server: it binds the socket between asking the server whether the name is
// free and opening the client, and the name is free again before a closing
// client has gone. Two of our processes opening or closing a client called
// "Byteloom" at the same moment, on one server or on two of the same user,
// take each other's socket: one is refused (seen as "no JACK server"), or
// the notifications meant for one reach the other, and a close then waits
// forever on a lock inside the library (seen on a busy machine). Taking turns
// keeps the opening and closing of our clients apart.
//
// The lock is flock(2) on a file in /dev/shm (where JACK keeps those
// sockets), taken through a descriptor of the turn's own, so that threads of
// one process exclude each other too; the system releases it when the
// descriptor closes or the process ends. A turn not had within kTurnWait, or
// a lock file that cannot be opened, leaves the caller to go on without it.
// A thread that holds a turn is given the nested ones at once.
class JackClientTurn {
 public:
  JackClientTurn() {
    if (t_held) return;
    const std::string path = "/dev/shm/byteloom_jack_clients_" + std::to_string(getuid());
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const auto deadline = std::chrono::steady_clock::now() + kTurnWait;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if ((errno != EWOULDBLOCK && errno != EINTR) ||
          std::chrono::steady_clock::now() >= deadline) {
        close(fd);
        return;
      }
      std::this_thread::sleep_for(kTurnPoll);
    }
    m_fd = fd;
    t_held = true;
  }
  ~JackClientTurn() {
    if (m_fd < 0) return;
    close(m_fd);  // releases the lock
    t_held = false;
  }
  JackClientTurn(const JackClientTurn&) = delete;
  JackClientTurn& operator=(const JackClientTurn&) = delete;

 private:
  static thread_local bool t_held;  // this thread holds a turn
  int m_fd = -1;                    // the locked descriptor, -1 without the turn
};
thread_local bool JackClientTurn::t_held = false;

// The MIDI ports of the JACK server, in the server's order, by JACK's full
// names ("client:port"), as RtMidi's JACK objects list and name the same
// ports.
struct JackPorts {
  std::vector<std::string> toPorts;    // ports that take MIDI in: an output's destinations
  std::vector<std::string> fromPorts;  // ports that give MIDI out: an input's sources
};

std::vector<std::string> jackMidiPorts(jack_client_t* client, unsigned long flags) {
  std::vector<std::string> names;
  const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
  if (!ports) return names;
  for (const char** port = ports; *port; ++port) names.emplace_back(*port);
  jack_free(ports);
  return names;
}

// The JACK server's MIDI ports, or nothing when no server answers. Read
// through one client opened without starting a server and closed at once,
// in its turn. It is never activated: it has no process callback and the
// server never waits for it in a cycle (RtMidi's JACK objects open and
// activate a client each, even just to list). Also the answer to whether a
// server runs: asked directly, since RtMidi's JACK objects, made while no
// server runs, warn on stderr before an error callback can be given to them.
std::optional<JackPorts> listJackPorts() {
  silenceJack();
  JackClientTurn turn;
  jack_client_t* client = jack_client_open(kClientName, JackNoStartServer, nullptr);
  if (!client) return std::nullopt;
  JackPorts ports{jackMidiPorts(client, JackPortIsInput), jackMidiPorts(client, JackPortIsOutput)};
  jack_client_close(client);
  return ports;
}

bool hasSequencer() {
  return access("/dev/snd/seq", R_OK | W_OK) == 0;
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

// Destroys an RtMidi object; a JACK one closes its client in its turn.
template <typename Port>
struct ClosePort {
  void operator()(Port* port) const {
    std::optional<JackClientTurn> turn;
    if (port->getCurrentApi() == RtMidi::UNIX_JACK) turn.emplace();
    delete port;
  }
};
template <typename Port>
using PortPtr = std::unique_ptr<Port, ClosePort<Port>>;

// An RtMidi object of `api`; a JACK one opens (and activates) its client in
// its turn. Throws what RtMidi throws.
template <typename Port>
PortPtr<Port> makePort(RtMidi::Api api) {
  std::optional<JackClientTurn> turn;
  if (api == RtMidi::UNIX_JACK) turn.emplace();
  if constexpr (std::is_same_v<Port, RtMidiIn>)
    return PortPtr<Port>(new RtMidiIn(api, kClientName, 1));  // every event to the callback
  else
    return PortPtr<Port>(new RtMidiOut(api, kClientName));
}

// Adds the port `name` of `api` to `list`, unless the list is full or the
// port has no name.
void addPort(const Api& api, const std::string& name, MidiPortList& list) {
  if (name.empty() || static_cast<int>(list.ids.size()) >= kMaxListedPorts) return;
  list.ids.push_back(api.name + '\n' + name);
  list.names.push_back(name.substr(0, 127));
}

// The ports of `api` through a short-lived RtMidi object (ALSA's sequencer).
template <typename Port>
void listPorts(const Api& api, MidiPortList& list) {
  try {
    const PortPtr<Port> port = makePort<Port>(api.api);
    RtMidiReports reports;  // a port that cannot be named is left out
    port->setErrorCallback(&RtMidiReports::callback, &reports);
    const unsigned count = port->getPortCount();
    for (unsigned i = 0; i < count && static_cast<int>(list.ids.size()) < kMaxListedPorts; ++i)
      addPort(api, port->getPortName(i), list);
  } catch (...) {
    // This API has no service on the machine (no sequencer, no server).
  }
}

class RtMidiOutput final : public MidiOutput {
 public:
  RtMidiOutput(PortPtr<RtMidiOut> port, RtMidi::Api api)
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
  PortPtr<RtMidiOut> m_port;
  // Bytes of the ALSA encoder's buffer inside m_port, as RtMidi sizes it from
  // the calls it was given; 0 on JACK, which takes bytes as they are.
  std::size_t m_encoderBuffer;
  RtMidiReports m_reports;  // set by RtMidi's error callback during a call
  std::chrono::steady_clock::time_point m_lastSend{};
};

class RtMidiInput final : public MidiInput {
 public:
  explicit RtMidiInput(PortPtr<RtMidiIn> port) : m_port(std::move(port)) {
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

  PortPtr<RtMidiIn> m_port;
  RtMidiReports m_reports;            // what RtMidi said; receiving has no caller to tell
  std::mutex m_mutex;                 // guards m_bytes
  std::vector<std::uint8_t> m_bytes;  // received, not yet taken
};

class RtMidiService final : public MidiService {
 public:
  RtMidiService() {
    const std::optional<JackPorts> jack = listJackPorts();
    m_services = {hasSequencer(), jack.has_value()};
    for (const Api& api : apis(m_services)) {
      if (api.api == RtMidi::UNIX_JACK) {
        for (const std::string& name : jack->toPorts) addPort(api, name, m_outputs);
        for (const std::string& name : jack->fromPorts) addPort(api, name, m_inputs);
      } else {
        listPorts<RtMidiOut>(api, m_outputs);
        listPorts<RtMidiIn>(api, m_inputs);
      }
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
  static PortPtr<Port> openListed(const MidiPortList& list, int index, const char* ownPortName) {
    if (index < 0 || index >= static_cast<int>(list.ids.size())) return nullptr;
    const std::string& id = list.ids[index];
    const size_t cut = id.find('\n');
    const std::string apiName = id.substr(0, cut), portName = id.substr(cut + 1);
    // Whether the port's service is still there, asked of that service only.
    const bool jack = apiName == RtMidi::getApiName(RtMidi::UNIX_JACK);
    const Services now{!jack && hasSequencer(), jack && listJackPorts().has_value()};
    for (const Api& api : apis(now)) {
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
