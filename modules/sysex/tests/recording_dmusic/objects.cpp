// The recorder's COM objects: DirectMusic, its ports, their latency clocks
// and music buffers. Each logs every call it receives (recorder.h) and
// behaves as the platform's objects do where the module depends on it: a
// buffer holds only what its size allows, with the event header of every
// event counted.
#include <algorithm>
#include <cstdio>
#include <initializer_list>

#include "recorder.h"

namespace recorder {
namespace {

std::string yesNo(bool b) {
  return b ? "1" : "0";
}

// Reference counting, naming and the count of live objects, shared by all
// objects. `Interface` is the one COM interface the object implements.
template <class Interface>
class Object : public Interface {
 public:
  explicit Object(const char* kind) : m_name(nextName(kind)) {
    InterlockedIncrement(&g_liveObjects);
  }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object() { InterlockedDecrement(&g_liveObjects); }

  const std::string& name() const { return m_name; }

  ULONG STDMETHODCALLTYPE AddRef() override {
    const ULONG n = static_cast<ULONG>(InterlockedIncrement(&m_refs));
    log(m_name, "AddRef", "refs=" + std::to_string(n));
    return n;
  }
  // The final release logs refs=0 before the object goes.
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = static_cast<ULONG>(InterlockedDecrement(&m_refs));
    log(m_name, "Release", "refs=" + std::to_string(n));
    if (n == 0) delete this;
    return n;
  }

 protected:
  // QueryInterface answering IUnknown and `iids`.
  HRESULT query(REFIID iid, void** out, std::initializer_list<const IID*> iids) {
    if (!out) return E_POINTER;
    bool known = IsEqualIID(iid, IID_IUnknown);
    for (const IID* i : iids) known = known || IsEqualIID(iid, *i);
    log(m_name, "QueryInterface", "iid=" + guidText(iid) + " known=" + yesNo(known));
    if (!known) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  // A method the module is not expected to call.
  HRESULT unexpected(const char* method) {
    log(m_name, method, "unexpected=1");
    return E_NOTIMPL;
  }

 private:
  const std::string m_name;
  LONG m_refs = 1;
};

struct Event {
  REFERENCE_TIME time = 0;
  DWORD group = 0;
  std::vector<std::uint8_t> bytes;
};

class Buffer final : public Object<IDirectMusicBuffer> {
 public:
  Buffer(DWORD size, std::shared_ptr<Script> script)
      : Object("buffer"), m_size(size), m_script(std::move(script)) {}

  // The events packed since the last Flush, in order.
  const std::vector<Event>& events() const { return m_events; }
  // Adds an event as a port's Read does; false when it does not fit.
  bool add(Event event) {
    const DWORD needed = DMUS_EVENT_SIZE(static_cast<DWORD>(event.bytes.size()));
    if (m_used + needed > m_size) return false;
    m_used += needed;
    m_events.push_back(std::move(event));
    return true;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query(iid, out, {&IID_IDirectMusicBuffer});
  }
  HRESULT STDMETHODCALLTYPE Flush() override {
    log(name(), "Flush", "events=" + std::to_string(m_events.size()));
    m_events.clear();
    m_used = 0;
    m_read = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE TotalTime(LPREFERENCE_TIME) override { return unexpected("TotalTime"); }
  HRESULT STDMETHODCALLTYPE PackStructured(REFERENCE_TIME, DWORD, DWORD) override {
    return unexpected("PackStructured");
  }
  HRESULT STDMETHODCALLTYPE PackUnstructured(REFERENCE_TIME time, DWORD group, DWORD count,
                                             LPBYTE bytes) override {
    HRESULT result = m_script->call("PackUnstructured");
    if (result == S_OK && !bytes && count) result = E_POINTER;
    if (result == S_OK) {
      Event e{time, group, {}};
      if (bytes) e.bytes.assign(bytes, bytes + count);
      if (!add(std::move(e))) result = E_OUTOFMEMORY;
    }
    log(name(), "PackUnstructured",
        "time=" + std::to_string(time) + " group=" + std::to_string(group) +
            " cb=" + std::to_string(count) + " bytes=" + (bytes ? hex(bytes, count) : "") +
            " used=" + std::to_string(m_used) + " result=" + hresultText(result));
    return result;
  }
  HRESULT STDMETHODCALLTYPE ResetReadPtr() override {
    log(name(), "ResetReadPtr");
    m_read = 0;
    return S_OK;
  }
  // The data pointer stays valid until the next Flush or Read into this
  // buffer.
  HRESULT STDMETHODCALLTYPE GetNextEvent(LPREFERENCE_TIME time, LPDWORD group, LPDWORD length,
                                         LPBYTE* data) override {
    const bool more = m_read < m_events.size();
    log(name(), "GetNextEvent", "more=" + yesNo(more));
    if (!more) return S_FALSE;
    Event& e = m_events[m_read++];
    if (time) *time = e.time;
    if (group) *group = e.group;
    if (length) *length = static_cast<DWORD>(e.bytes.size());
    if (data) *data = e.bytes.data();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRawBufferPtr(LPBYTE*) override {
    return unexpected("GetRawBufferPtr");
  }
  HRESULT STDMETHODCALLTYPE GetStartTime(LPREFERENCE_TIME) override {
    return unexpected("GetStartTime");
  }
  HRESULT STDMETHODCALLTYPE GetUsedBytes(LPDWORD count) override {
    if (!count) return E_POINTER;
    *count = m_used;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetMaxBytes(LPDWORD count) override {
    if (!count) return E_POINTER;
    *count = m_size;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetBufferFormat(LPGUID format) override {
    if (!format) return E_POINTER;
    *format = GUID_NULL;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetStartTime(REFERENCE_TIME) override {
    return unexpected("SetStartTime");
  }
  HRESULT STDMETHODCALLTYPE SetUsedBytes(DWORD) override { return unexpected("SetUsedBytes"); }

 private:
  const DWORD m_size;  // bytes the buffer holds, event headers included
  DWORD m_used = 0;    // bytes taken by m_events, headers included
  size_t m_read = 0;   // next event for GetNextEvent
  std::vector<Event> m_events;
  std::shared_ptr<Script> m_script;
};

// Reference time in 100 ns units, from the performance counter.
REFERENCE_TIME now() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return static_cast<REFERENCE_TIME>(count.QuadPart / frequency.QuadPart * 10000000 +
                                     count.QuadPart % frequency.QuadPart * 10000000 /
                                         frequency.QuadPart);
}

class Clock final : public Object<IReferenceClock> {
 public:
  Clock() : Object("clock") {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query(iid, out, {&IID_IReferenceClock});
  }
  // Every call answers a later time than the one before.
  HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* time) override {
    if (!time) return E_POINTER;
    *time = std::max(now(), m_last + 1);
    m_last = *time;
    log(name(), "GetTime", "time=" + std::to_string(*time));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HANDLE, DWORD*) override {
    return unexpected("AdviseTime");
  }
  HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HANDLE,
                                           DWORD*) override {
    return unexpected("AdvisePeriodic");
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return unexpected("Unadvise"); }

 private:
  REFERENCE_TIME m_last = 0;
};

class Port final : public Object<IDirectMusicPort> {
 public:
  Port(const ScriptPort& entry, std::shared_ptr<Script> script)
      : Object("port"), m_entry(entry), m_script(std::move(script)) {}
  ~Port() override {
    if (m_clock) m_clock->Release();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query(iid, out, {&IID_IDirectMusicPort});
  }
  HRESULT STDMETHODCALLTYPE PlayBuffer(LPDIRECTMUSICBUFFER buffer) override {
    HRESULT result = m_script->call("PlayBuffer");
    if (!buffer) result = E_POINTER;
    std::string args = "active=" + yesNo(m_active);
    if (buffer) {
      // Only this recorder's buffers reach its ports.
      const Buffer* b = static_cast<const Buffer*>(buffer);
      args += " buffer=" + b->name() + " events=" + std::to_string(b->events().size());
      for (const Event& e : b->events())
        args += " event=" + std::to_string(e.time) + ":" + std::to_string(e.group) + ":" +
                hex(e.bytes.data(), e.bytes.size());
    }
    if (result == S_OK && m_entry.output && !m_script->answers.empty()) {
      // The device answers what it was sent, if anything listens.
      if (m_script->activeInputs > 0) m_script->answered = true;
      args += std::string(" answer=") + (m_script->activeInputs > 0 ? "heard" : "lost");
    }
    log(name(), "PlayBuffer", args + " result=" + hresultText(result));
    return result;
  }
  HRESULT STDMETHODCALLTYPE SetReadNotificationHandle(HANDLE event) override {
    log(name(), "SetReadNotificationHandle", "event=" + yesNo(event != nullptr));
    m_notify = event;
    if (m_notify && pending()) SetEvent(m_notify);
    return S_OK;
  }
  // Hands the scripted events over in order, as many as fit.
  HRESULT STDMETHODCALLTYPE Read(LPDIRECTMUSICBUFFER buffer) override {
    if (!buffer) return E_POINTER;
    Buffer* b = static_cast<Buffer*>(buffer);
    std::string args = "buffer=" + b->name();
    HRESULT result = S_OK;
    if (m_entry.output) {
      result = E_NOTIMPL;
    } else {
      while (pending() && b->add({now(), 1, next()})) {
        const auto& e = next();
        ++m_delivered;
        args += " event=" + hex(e.data(), e.size());
      }
    }
    log(name(), "Read", args + " result=" + hresultText(result));
    return result;
  }
  HRESULT STDMETHODCALLTYPE DownloadInstrument(IDirectMusicInstrument*,
                                               IDirectMusicDownloadedInstrument**, DMUS_NOTERANGE*,
                                               DWORD) override {
    return unexpected("DownloadInstrument");
  }
  HRESULT STDMETHODCALLTYPE UnloadInstrument(IDirectMusicDownloadedInstrument*) override {
    return unexpected("UnloadInstrument");
  }
  // The port keeps one reference to its clock and hands out another.
  HRESULT STDMETHODCALLTYPE GetLatencyClock(IReferenceClock** clock) override {
    if (!clock) return E_POINTER;
    const HRESULT result = m_script->call("GetLatencyClock");
    if (result != S_OK) {
      *clock = nullptr;
      log(name(), "GetLatencyClock", "result=" + hresultText(result));
      return result;
    }
    if (!m_clock) m_clock = new Clock;
    m_clock->AddRef();
    *clock = m_clock;
    log(name(), "GetLatencyClock", "clock=" + m_clock->name() + " result=" + hresultText(result));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRunningStats(LPDMUS_SYNTHSTATS) override {
    return unexpected("GetRunningStats");
  }
  HRESULT STDMETHODCALLTYPE Compact() override { return unexpected("Compact"); }
  HRESULT STDMETHODCALLTYPE GetCaps(LPDMUS_PORTCAPS) override { return unexpected("GetCaps"); }
  HRESULT STDMETHODCALLTYPE DeviceIoControl(DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD,
                                            LPOVERLAPPED) override {
    return unexpected("DeviceIoControl");
  }
  HRESULT STDMETHODCALLTYPE SetNumChannelGroups(DWORD) override {
    return unexpected("SetNumChannelGroups");
  }
  HRESULT STDMETHODCALLTYPE GetNumChannelGroups(LPDWORD) override {
    return unexpected("GetNumChannelGroups");
  }
  HRESULT STDMETHODCALLTYPE Activate(WINBOOL active) override {
    if (!m_entry.output && m_active != (active != FALSE))
      m_script->activeInputs += active != FALSE ? 1 : -1;
    m_active = active != FALSE;
    log(name(), "Activate", "on=" + yesNo(m_active));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetChannelPriority(DWORD, DWORD, DWORD) override {
    return unexpected("SetChannelPriority");
  }
  HRESULT STDMETHODCALLTYPE GetChannelPriority(DWORD, DWORD, LPDWORD) override {
    return unexpected("GetChannelPriority");
  }
  HRESULT STDMETHODCALLTYPE SetDirectSound(LPDIRECTSOUND, LPDIRECTSOUNDBUFFER) override {
    return unexpected("SetDirectSound");
  }
  HRESULT STDMETHODCALLTYPE GetFormat(LPWAVEFORMATEX, LPDWORD, LPDWORD) override {
    return unexpected("GetFormat");
  }

 private:
  // Events to deliver: the scripted "receive" events, then, once the device
  // has answered, its "answer" events.
  size_t deliverable() const {
    if (m_entry.output) return 0;
    return m_script->received.size() + (m_script->answered ? m_script->answers.size() : 0);
  }
  bool pending() const { return m_delivered < deliverable(); }
  // The next event to deliver; only while pending().
  const std::vector<std::uint8_t>& next() const {
    const size_t n = m_script->received.size();
    return m_delivered < n ? m_script->received[m_delivered] : m_script->answers[m_delivered - n];
  }

  const ScriptPort m_entry;
  std::shared_ptr<Script> m_script;
  Clock* m_clock = nullptr;  // one reference held, from the first GetLatencyClock
  bool m_active = false;
  size_t m_delivered = 0;     // scripted events (received, then answers) read so far
  HANDLE m_notify = nullptr;  // borrowed from the caller
};

class Music final : public Object<IDirectMusic8> {
 public:
  Music() : Object("music"), m_script(Script::load()) {
    log(name(), "Create", "ports=" + std::to_string(m_script->ports.size()));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return query(iid, out, {&IID_IDirectMusic, &IID_IDirectMusic8});
  }
  // A pass starts with index 0; the ports listed depend on the pass (see
  // "gone" and "reverse" in recorder.h).
  HRESULT STDMETHODCALLTYPE EnumPort(DWORD index, LPDMUS_PORTCAPS caps) override {
    if (index == 0) ++m_passes;
    std::vector<const ScriptPort*> listed;
    for (const ScriptPort& p : m_script->ports)
      if (!p.gone || m_passes <= 2) listed.push_back(&p);
    if (m_script->reverse && m_passes > 2) std::reverse(listed.begin(), listed.end());
    HRESULT result = S_OK;
    std::string args = "index=" + std::to_string(index) +
                       " size=" + (caps ? std::to_string(caps->dwSize) : std::string("null"));
    if (!caps) {
      result = E_POINTER;
    } else if (caps->dwSize != sizeof(DMUS_PORTCAPS)) {
      result = E_INVALIDARG;
    } else if (index >= listed.size()) {
      result = S_FALSE;
    } else {
      const ScriptPort& p = *listed[index];
      const DWORD size = caps->dwSize;
      *caps = DMUS_PORTCAPS{};
      caps->dwSize = size;
      caps->guidPort = p.guid;
      caps->dwClass = p.output ? DMUS_PC_OUTPUTCLASS : DMUS_PC_INPUTCLASS;
      caps->dwType = DMUS_PORT_WINMM_DRIVER;
      caps->dwMaxChannelGroups = p.groups;
      caps->dwMaxVoices = p.voices;
      caps->dwMaxAudioChannels = p.audio;
      caps->dwEffectFlags = p.effects;
      const size_t n = std::min<size_t>(p.description.size(), DMUS_MAX_DESCRIPTION - 1);
      std::copy_n(p.description.begin(), n, caps->wszDescription);
      args += " guid=" + guidText(p.guid);
    }
    log(name(), "EnumPort", args + " result=" + hresultText(result));
    return result;
  }
  HRESULT STDMETHODCALLTYPE CreateMusicBuffer(LPDMUS_BUFFERDESC desc, LPDIRECTMUSICBUFFER* buffer,
                                              LPUNKNOWN outer) override {
    if (!desc || !buffer) return E_POINTER;
    HRESULT result = m_script->call("CreateMusicBuffer");
    if (result == S_OK && (desc->dwSize < sizeof(DMUS_BUFFERDESC) || outer)) result = E_INVALIDARG;
    std::string args = "size=" + std::to_string(desc->dwSize) +
                       " flags=" + std::to_string(desc->dwFlags) +
                       " format=" + guidText(desc->guidBufferFormat) +
                       " cb=" + std::to_string(desc->cbBuffer) + " outer=" + yesNo(outer);
    *buffer = nullptr;
    if (result == S_OK) {
      Buffer* b = new Buffer(desc->cbBuffer, m_script);
      *buffer = b;
      args += " buffer=" + b->name();
    }
    log(name(), "CreateMusicBuffer", args + " result=" + hresultText(result));
    return result;
  }
  HRESULT STDMETHODCALLTYPE CreatePort(REFCLSID guid, LPDMUS_PORTPARAMS params,
                                       LPDIRECTMUSICPORT* port, LPUNKNOWN outer) override {
    if (!params || !port) return E_POINTER;
    *port = nullptr;
    char valid[16];
    std::snprintf(valid, sizeof valid, "0x%lX", static_cast<unsigned long>(params->dwValidParams));
    std::string args = "guid=" + guidText(guid) + " size=" + std::to_string(params->dwSize) +
                       " valid=" + valid + " voices=" + std::to_string(params->dwVoices) +
                       " groups=" + std::to_string(params->dwChannelGroups) +
                       " audio=" + std::to_string(params->dwAudioChannels) +
                       " rate=" + std::to_string(params->dwSampleRate) +
                       " effects=" + std::to_string(params->dwEffectFlags) +
                       " share=" + std::to_string(params->fShare) +
                       " features=" + std::to_string(params->dwFeatures) + " outer=" + yesNo(outer);
    const ScriptPort* entry = nullptr;
    for (const ScriptPort& p : m_script->ports)
      if (IsEqualGUID(p.guid, guid) && !(p.gone && m_passes > 2)) entry = &p;
    HRESULT result = m_script->call("CreatePort");
    if (result == S_OK) result = entry ? entry->create : E_INVALIDARG;
    if (result == S_OK && outer) result = CLASS_E_NOAGGREGATION;
    if (SUCCEEDED(result)) {
      Port* p = new Port(*entry, m_script);
      *port = p;
      args += " port=" + p->name();
    }
    log(name(), "CreatePort", args + " result=" + hresultText(result));
    return result;
  }
  HRESULT STDMETHODCALLTYPE EnumMasterClock(DWORD, LPDMUS_CLOCKINFO) override {
    return unexpected("EnumMasterClock");
  }
  HRESULT STDMETHODCALLTYPE GetMasterClock(LPGUID, IReferenceClock**) override {
    return unexpected("GetMasterClock");
  }
  HRESULT STDMETHODCALLTYPE SetMasterClock(REFGUID) override {
    return unexpected("SetMasterClock");
  }
  HRESULT STDMETHODCALLTYPE Activate(WINBOOL enable) override {
    log(name(), "Activate", "on=" + yesNo(enable != FALSE));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDefaultPort(LPGUID) override { return unexpected("GetDefaultPort"); }
  HRESULT STDMETHODCALLTYPE SetDirectSound(LPDIRECTSOUND sound, HWND window) override {
    const HRESULT result = m_script->call("SetDirectSound");
    log(name(), "SetDirectSound",
        "sound=" + yesNo(sound != nullptr) + " window=" + yesNo(window != nullptr) +
            " result=" + hresultText(result));
    return result;
  }
  HRESULT STDMETHODCALLTYPE SetExternalMasterClock(IReferenceClock*) override {
    return unexpected("SetExternalMasterClock");
  }

 private:
  std::shared_ptr<Script> m_script;
  int m_passes = 0;  // enumeration passes begun (EnumPort calls with index 0)
};

}  // namespace

IDirectMusic8* createMusic() {
  return new Music;
}

}  // namespace recorder
