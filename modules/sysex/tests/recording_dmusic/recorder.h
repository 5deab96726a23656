// A recording DirectMusic for Byteloom's tests under Wine: an in-process COM
// server for CLSID_DirectMusic whose port list comes from a script and which
// writes every call it receives to a log that the test reads.
//
// Script (path in RECORDING_DMUSIC_SCRIPT, read when the DirectMusic object
// is created; no file means no ports), one entry a line, '#' starts a
// comment line:
//   port in|out {GUID} voices groups audio effects create flags description
//     a port; `create` is what CreatePort answers for it (hex HRESULT, 0 or
//     1 to open it); `flags` is "-" or "gone" (listed by the first two
//     enumeration passes only, as a port unplugged after the module listed
//     it); the description is the rest of the line (UTF-8, may hold commas).
//   reverse
//     enumeration passes after the first two list the ports backwards.
//   fail Method n hresult
//     the n-th call (from 1; 0: every call) of Method answers `hresult`
//     (hex); for SetDirectSound, CreatePort, CreateMusicBuffer,
//     GetLatencyClock, PackUnstructured, PlayBuffer.
//   receive hex-bytes
//     one event an input port receives; an input port's Reads hand the
//     events over in order, as many as its buffer holds each time, once.
//   answer hex-bytes
//     one event of a device's answer: an input port's Reads hand it over
//     after the "receive" events, once an output port has played a buffer
//     while an input port was active. An answer to a buffer played while no
//     input port was active is lost, as a device's answer is when nothing
//     listens yet.
//
// Log (path in RECORDING_DMUSIC_LOG, appended to), one call a line:
//   <microseconds> <object> <Method> key=value ...
// objects are named music1, port2, clock3, buffer4, ... in order of
// creation within the process; byte strings are upper-case hex without
// spaces; an event handed to a port is event=<time>:<group>:<hex>.
#pragma once

#include <windows.h>
// windows.h first: the DirectMusic headers build on it.
#include <dmusicc.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace recorder {

struct ScriptPort {
  bool output = true;
  GUID guid{};
  DWORD voices = 0, groups = 0, audio = 0, effects = 0;
  HRESULT create = S_OK;  // CreatePort's answer for this port
  bool gone = false;      // missing from enumeration passes after the second
  std::wstring description;
};

struct Failure {
  int nth = 0;  // 1-based call number, 0 for every call
  HRESULT result = S_OK;
};

// The scripted behaviour of one DirectMusic object and the objects it makes.
// Shared by them (they may outlive each other); used from the caller's
// thread only.
class Script {
 public:
  // Reads the file named by RECORDING_DMUSIC_SCRIPT; empty without one.
  static std::shared_ptr<Script> load();

  std::vector<ScriptPort> ports;
  bool reverse = false;
  std::vector<std::vector<std::uint8_t>> received;  // events an input port's Reads deliver
  std::vector<std::vector<std::uint8_t>> answers;   // delivered once `answered`
  int activeInputs = 0;                             // input ports activated and not deactivated
  bool answered = false;  // an output played a buffer while an input was active
  // Counts a call of `method` and answers its scripted result (S_OK when
  // none is scripted for this call).
  HRESULT call(const std::string& method);

 private:
  std::multimap<std::string, Failure> m_failures;
  std::map<std::string, int> m_calls;
};

// Appends one line "<microseconds> <object> <method> <args>" to the log.
// Safe from any thread.
void log(const std::string& object, const char* method, const std::string& args = {});

// "music1", "port2", ...: `kind` and a number unique within the process.
std::string nextName(const char* kind);

std::string hex(const std::uint8_t* bytes, size_t count);
std::string guidText(const GUID& guid);
bool parseGuid(const std::string& text, GUID& guid);
std::string hresultText(HRESULT result);

// Live COM objects and server locks, for DllCanUnloadNow.
extern LONG g_liveObjects;

// The DirectMusic object, with one reference for the caller.
IDirectMusic8* createMusic();

}  // namespace recorder
