// The recording DirectMusic (recording_dmusic/) as Byteloom's Windows tests
// use it: scripts of its ports, its log read back as calls, and a fixture
// that creates instances and MIDI services with the recorder as their
// DirectMusic. The recorder is reached through an activation context that
// is active only while a test creates an object that makes DirectMusic, so
// nothing is registered in the Wine prefix and other programs keep the
// system's DirectMusic.
#pragma once

#include <map>
#include <set>
#include <sstream>

#include "byteloom_fixture.h"

namespace byteloom_test {

// Ports for the tests' scripts. B's description holds a comma.
constexpr char kGuidA[] = "{0A1B2C3D-0001-4000-8000-00000000000A}";
constexpr char kGuidB[] = "{0A1B2C3D-0002-4000-8000-00000000000B}";
constexpr char kGuidIn[] = "{0A1B2C3D-0003-4000-8000-00000000000C}";
const std::string kPortA = std::string("port out ") + kGuidA + " 32 1 2 0 0 - Synth A\n";
const std::string kPortIn = std::string("port in ") + kGuidIn + " 0 1 0 0 0 - Keys In\n";
const std::string kPortB = std::string("port out ") + kGuidB + " 16 4 2 1 0 - Port B, rear\n";
const std::string kThreePorts = kPortA + kPortIn + kPortB;
constexpr char kZeroGuid[] = "{00000000-0000-0000-0000-000000000000}";

// One call the recorder logged.
struct Call {
  long long us = 0;  // microseconds since the recorder began
  std::string object, method;
  std::map<std::string, std::string> args;  // the last value of each key
  std::vector<std::string> events;          // every event= value, in order
  std::string operator[](const std::string& key) const {
    const auto it = args.find(key);
    return it == args.end() ? std::string() : it->second;
  }
};
using Calls = std::vector<Call>;

inline Calls parseLog(const std::string& text) {
  Calls calls;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    Call c;
    words >> c.us >> c.object >> c.method;
    for (std::string word; words >> word;) {
      const size_t eq = word.find('=');
      if (eq == std::string::npos) continue;
      const std::string key = word.substr(0, eq), value = word.substr(eq + 1);
      if (key == "event") c.events.push_back(value);
      c.args[key] = value;
    }
    calls.push_back(std::move(c));
  }
  return calls;
}

inline Calls only(const Calls& calls, const std::string& method) {
  Calls picked;
  for (const Call& c : calls)
    if (c.method == method) picked.push_back(c);
  return picked;
}

// The activations and the final release of `object` among `calls`, in
// order: "Activate1 Activate0 Release " for a port opened and closed.
inline std::string lifeOf(const Calls& calls, const std::string& object) {
  std::string steps;
  for (const Call& c : calls)
    if (c.object == object && (c.method == "Activate" || c["refs"] == "0"))
      steps += c.method + (c.method == "Activate" ? c["on"] : "") + " ";
  return steps;
}

inline std::string hexOf(const Bytes& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t b : bytes) text += {digits[b >> 4], digits[b & 15]};
  return text;
}

// The activation context that maps CLSID_DirectMusic to the recorder beside
// the test program; made once, kept for the life of the process.
inline HANDLE recorderContext() {
  static const HANDLE context = [] {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string dir = fs::path(exe).parent_path().string();
    const std::string manifest = dir + "\\recording_dmusic.manifest";
    ACTCTXA c = {};
    c.cbSize = sizeof c;
    c.dwFlags = ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID;
    c.lpSource = manifest.c_str();
    c.lpAssemblyDirectory = dir.c_str();
    return CreateActCtxA(&c);
  }();
  return context;
}

// The host runs at 48000.75 Hz: the port is asked for 48000.
class RecorderTest : public ByteloomTest {
 protected:
  RecorderTest() : ByteloomTest(48000.75f) {}

  void SetUp() override {
    ByteloomTest::SetUp();
    SetEnvironmentVariableA("RECORDING_DMUSIC_SCRIPT", path("script.txt").string().c_str());
    SetEnvironmentVariableA("RECORDING_DMUSIC_LOG", path("calls.log").string().c_str());
  }
  // Every instance is destroyed; then every object the recorder made must
  // have been released to nothing, and nothing used after.
  void TearDown() override {
    engine_.instances().clear();
    const Calls all = calls();
    std::map<std::string, std::string> lastRefs;
    std::map<std::string, bool> usedAfterEnd;
    for (const Call& c : all) {
      if (c.method == "Release" || c.method == "AddRef") {
        lastRefs[c.object] = c["refs"];
      } else if (lastRefs.count(c.object) && lastRefs[c.object] == "0") {
        usedAfterEnd[c.object] = true;
      }
      for (const char* made : {"port", "clock", "buffer"})
        if (!c[made].empty() && !lastRefs.count(c[made])) lastRefs[c[made]] = "1";
      if (c.method == "Create") lastRefs[c.object] = "1";
    }
    for (const auto& [object, refs] : lastRefs) {
      EXPECT_EQ(refs, "0") << object << " was not released";
      EXPECT_FALSE(usedAfterEnd[object]) << object << " was used after its release";
    }
    SetEnvironmentVariableA("RECORDING_DMUSIC_SCRIPT", nullptr);
    SetEnvironmentVariableA("RECORDING_DMUSIC_LOG", nullptr);
    ByteloomTest::TearDown();
  }

  // Runs `make` with the recorder as DirectMusic: `script` is written
  // first, and the activation context is active during the call.
  template <class Make>
  decltype(auto) withRecorder(const std::string& script, Make&& make) {
    writeBytes(path("script.txt"), script);
    ULONG_PTR cookie = 0;
    const bool active =
        recorderContext() != INVALID_HANDLE_VALUE && ActivateActCtx(recorderContext(), &cookie);
    EXPECT_TRUE(active) << "the recorder's activation context: error " << GetLastError();
    struct Deactivate {
      bool active;
      ULONG_PTR cookie;
      ~Deactivate() {
        if (active) DeactivateActCtx(0, cookie);
      }
    } deactivate{active, cookie};
    return make();
  }

  // A Byteloom instance whose DirectMusic is the recorder playing `script`,
  // opened; with its panel and edit window when `window` is true. (Under
  // Wine a panel window takes about two seconds to close: tests that do not
  // type into the window go without.)
  Instance& addRecorded(const std::string& name, const std::string& script, bool window = false) {
    Instance& b = withRecorder(script, [&]() -> Instance& { return add(name); });
    if (window) {
      openWindow(b);
      m_windowed.insert(&b);
    } else {
      settle();  // the host makes no panel window unless asked for it
    }
    return b;
  }
  bool hasWindow(const Instance& b) const { return m_windowed.count(&b) != 0; }

  // Every call logged so far, and those since the last call of newCalls().
  Calls calls() { return parseLog(readText(path("calls.log"))); }
  Calls newCalls() {
    Calls all = calls();
    Calls fresh(all.begin() + static_cast<long>(std::min(m_seen, all.size())), all.end());
    m_seen = all.size();
    return fresh;
  }

 private:
  size_t m_seen = 0;                     // calls taken by newCalls()
  std::set<const Instance*> m_windowed;  // instances made with their window
};

}  // namespace byteloom_test
