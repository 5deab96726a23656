// The recorder's script, its log and the text forms both use.
#include "recorder.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace recorder {
namespace {

std::string environment(const char* name) {
  char value[MAX_PATH * 2] = {};
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

// Serialises log writes and name numbers; made before any object exists.
struct Lock {
  Lock() { InitializeCriticalSection(&section); }
  CRITICAL_SECTION section;
};
Lock& lock() {
  static Lock l;
  return l;
}

LARGE_INTEGER startCount() {
  static const LARGE_INTEGER start = [] {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
  }();
  return start;
}

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  std::wstring text(utf8.size(), L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                    text.data(), static_cast<int>(text.size()));
  text.resize(n > 0 ? n : 0);
  return text;
}

HRESULT parseResult(const std::string& text) {
  return static_cast<HRESULT>(std::stoul(text, nullptr, 16));
}

}  // namespace

LONG g_liveObjects = 0;

std::shared_ptr<Script> Script::load() {
  auto script = std::make_shared<Script>();
  const std::string path = environment("RECORDING_DMUSIC_SCRIPT");
  if (path.empty()) return script;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string kind;
    if (!(words >> kind) || kind[0] == '#') continue;
    if (kind == "port") {
      ScriptPort p;
      std::string direction, guid, create, flags;
      if (!(words >> direction >> guid >> p.voices >> p.groups >> p.audio >> p.effects >> create >>
            flags))
        continue;
      std::string description;
      std::getline(words >> std::ws, description);
      p.output = direction == "out";
      if (!parseGuid(guid, p.guid)) continue;
      p.create = parseResult(create);
      p.gone = flags == "gone";
      p.description = wide(description);
      script->ports.push_back(p);
    } else if (kind == "reverse") {
      script->reverse = true;
    } else if (kind == "fail") {
      std::string method, result;
      Failure f;
      if (words >> method >> f.nth >> result) {
        f.result = parseResult(result);
        script->m_failures.emplace(method, f);
      }
    } else if (kind == "receive") {
      std::vector<std::uint8_t> event;
      for (std::string byte; words >> byte;)
        event.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
      script->received.push_back(event);
    } else if (kind == "answer") {
      std::vector<std::uint8_t> event;
      for (std::string byte; words >> byte;)
        event.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
      script->answers.push_back(event);
    }
  }
  return script;
}

HRESULT Script::call(const std::string& method) {
  const int n = ++m_calls[method];
  const auto [first, last] = m_failures.equal_range(method);
  for (auto it = first; it != last; ++it)
    if (it->second.nth == 0 || it->second.nth == n) return it->second.result;
  return S_OK;
}

void log(const std::string& object, const char* method, const std::string& args) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  const long long us = (now.QuadPart - startCount().QuadPart) * 1000000 / frequency.QuadPart;
  std::string line = std::to_string(us) + " " + object + " " + method;
  if (!args.empty()) line += " " + args;
  line += "\n";
  const std::string path = environment("RECORDING_DMUSIC_LOG");
  if (path.empty()) return;
  EnterCriticalSection(&lock().section);
  if (FILE* f = std::fopen(path.c_str(), "ab")) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
  LeaveCriticalSection(&lock().section);
}

std::string nextName(const char* kind) {
  static int serial = 0;
  startCount();
  EnterCriticalSection(&lock().section);
  const int n = ++serial;
  LeaveCriticalSection(&lock().section);
  return kind + std::to_string(n);
}

std::string hex(const std::uint8_t* bytes, size_t count) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

std::string guidText(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

bool parseGuid(const std::string& text, GUID& g) {
  unsigned long d1 = 0;
  unsigned d2 = 0, d3 = 0, d4[8] = {};
  if (std::sscanf(text.c_str(), "{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d1, &d2, &d3, &d4[0],
                  &d4[1], &d4[2], &d4[3], &d4[4], &d4[5], &d4[6], &d4[7]) != 11)
    return false;
  g.Data1 = d1;
  g.Data2 = static_cast<unsigned short>(d2);
  g.Data3 = static_cast<unsigned short>(d3);
  for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<unsigned char>(d4[i]);
  return true;
}

std::string hresultText(HRESULT result) {
  char text[12];
  std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(result));
  return text;
}

}  // namespace recorder
