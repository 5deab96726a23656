// The MIDI port service on Windows: DirectMusic of DirectX 8 through COM.
// The service owns the IDirectMusic8 object and COM's initialisation of the
// thread that created it; each opened output owns its port, latency clock and
// music buffer, each opened input its port and music buffer, and both hold a
// reference of their own to the DirectMusic object.
#include <windows.h>
// windows.h first: the DirectMusic headers build on it.
#include <dmusicc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sysex/MidiPorts.h"

namespace byteloom {
namespace {

// {636B9F10-0C7D-11D1-95B2-0020AFDC7421}, the class created.
constexpr GUID kClsidDirectMusic = {
    0x636b9f10, 0x0c7d, 0x11d1, {0x95, 0xb2, 0x00, 0x20, 0xaf, 0xdc, 0x74, 0x21}};
// {2D3629F7-813D-4939-8508-F05C6B75FD97}, the interface requested.
constexpr GUID kIidDirectMusic8 = {
    0x2d3629f7, 0x813d, 0x4939, {0x85, 0x08, 0xf0, 0x5c, 0x6b, 0x75, 0xfd, 0x97}};

static_assert(sizeof(DMUS_PORTCAPS) == 308, "DirectMusic's port capabilities record");
static_assert(sizeof(DMUS_PORTPARAMS8) == 36, "DirectMusic's port parameters record");
static_assert(sizeof(DMUS_BUFFERDESC) == 28, "DirectMusic's buffer description");

// The buffer made when a port opens; messages that need more (with their
// event header) get a buffer made to their size.
constexpr DWORD kInitialBufferSize = 280;
// An input's buffer: what one Read can hand over, event headers included.
constexpr DWORD kInputBufferSize = 65536;
// Reads per take(): an input that keeps the port busy cannot hold the caller
// for ever.
constexpr int kMaxReadsPerTake = 64;

template <typename T>
void release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// A port description (at most `capacity` wide characters, zero-terminated
// when shorter) in the ANSI code page, cut to at most 127 bytes at a
// character boundary. A character the code page lacks becomes '?' (where the
// code page has no close equivalent), so every port keeps a readable name;
// the C library's conversion gave up on the whole name instead.
std::string narrow(const WCHAR* wide, size_t capacity) {
  constexpr size_t kMaxBytes = 127;
  const int length = static_cast<int>(wcsnlen(wide, capacity));
  if (length == 0) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, "?", nullptr);
  if (size <= 0) return {};
  std::string text(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, length, text.data(), size, "?", nullptr);
  size_t cut = 0;  // the longest whole-character prefix within kMaxBytes
  for (size_t at = 0; at < text.size();) {
    const size_t next = at + (IsDBCSLeadByte(static_cast<BYTE>(text[at])) ? 2 : 1);
    if (next > kMaxBytes) break;
    cut = at = next;
  }
  text.resize(std::min(cut, text.size()));
  return text;
}

std::string guidText(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "%08lx-%04x-%04x-%02x%02x%02x%02x%02x%02x%02x%02x",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

class DirectMusicOutput final : public MidiOutput {
 public:
  DirectMusicOutput(IDirectMusic8* music, IDirectMusicPort* port, IReferenceClock* clock,
                    IDirectMusicBuffer* buffer, DWORD bufferSize)
      : m_music(music), m_port(port), m_clock(clock), m_buffer(buffer), m_bufferSize(bufferSize) {
    m_music->AddRef();
  }
  ~DirectMusicOutput() override {
    if (m_port) m_port->Activate(FALSE);
    release(m_port);
    release(m_buffer);
    release(m_clock);
    release(m_music);
  }

  void beginSend() override {
    m_time = 0;
    if (m_clock) m_clock->GetTime(&m_time);
  }

  bool sendMessage(std::span<const std::uint8_t> bytes) override {
    const DWORD size = static_cast<DWORD>(bytes.size());
    // The event with its header must fit the buffer as a whole, or the
    // buffer refuses it.
    const DWORD needed = DMUS_EVENT_SIZE(size);
    if (!m_buffer || needed > m_bufferSize) {
      release(m_buffer);
      DMUS_BUFFERDESC desc = {};
      desc.dwSize = sizeof desc;
      desc.cbBuffer = needed > kInitialBufferSize ? needed : kInitialBufferSize;
      if (m_music->CreateMusicBuffer(&desc, &m_buffer, nullptr) != S_OK || !m_buffer) {
        m_buffer = nullptr;
        m_bufferSize = 0;
        return false;
      }
      m_bufferSize = desc.cbBuffer;
    }
    const HRESULT packed =
        m_buffer->PackUnstructured(m_time, 0, size, const_cast<LPBYTE>(bytes.data()));
    const HRESULT played = SUCCEEDED(packed) ? m_port->PlayBuffer(m_buffer) : packed;
    m_buffer->Flush();
    return SUCCEEDED(packed) && SUCCEEDED(played);
  }

 private:
  IDirectMusic8* m_music;
  IDirectMusicPort* m_port;
  IReferenceClock* m_clock;
  IDirectMusicBuffer* m_buffer;
  DWORD m_bufferSize;         // bytes the buffer holds, event headers included
  REFERENCE_TIME m_time = 0;  // the time of this send's messages, 100 ns units
};

// Polls its port from take(): DirectMusic queues what arrives until a Read
// hands it over.
class DirectMusicInput final : public MidiInput {
 public:
  DirectMusicInput(IDirectMusic8* music, IDirectMusicPort* port, IDirectMusicBuffer* buffer)
      : m_music(music), m_port(port), m_buffer(buffer) {
    m_music->AddRef();
  }
  ~DirectMusicInput() override {
    m_port->Activate(FALSE);
    release(m_port);
    release(m_buffer);
    release(m_music);
  }

  void take(std::vector<std::uint8_t>& bytes) override {
    for (int round = 0; round < kMaxReadsPerTake; ++round) {
      m_buffer->Flush();
      if (FAILED(m_port->Read(m_buffer))) return;
      m_buffer->ResetReadPtr();
      REFERENCE_TIME time = 0;
      DWORD group = 0, length = 0;
      BYTE* data = nullptr;
      bool any = false;
      while (m_buffer->GetNextEvent(&time, &group, &length, &data) == S_OK) {
        any = true;
        if (!data || (length == 1 && (data[0] == 0xF8 || data[0] == 0xFE))) continue;
        bytes.insert(bytes.end(), data, data + length);
      }
      if (!any) return;  // the queue is empty
    }
  }

 private:
  IDirectMusic8* m_music;
  IDirectMusicPort* m_port;
  IDirectMusicBuffer* m_buffer;
};

class DirectMusicService final : public MidiService {
 public:
  DirectMusicService() {
    // COM on this thread. A thread whose COM the caller set up otherwise (a
    // multithreaded apartment) refuses; then it is not ours to uninitialise.
    m_comInitialised = SUCCEEDED(CoInitialize(nullptr));
    void* music = nullptr;
    if (CoCreateInstance(kClsidDirectMusic, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                         kIidDirectMusic8, &music) == S_OK) {
      m_music = static_cast<IDirectMusic8*>(music);
      enumerate();
    }
  }
  ~DirectMusicService() override {
    release(m_music);
    if (m_comInitialised) CoUninitialize();
  }

  const MidiPortList& outputs() const override { return m_outputs; }
  const MidiPortList& inputs() const override { return m_inputs; }

  std::string whyNoPorts() const override {
    if (!m_outputs.names.empty() || !m_inputs.names.empty()) return {};
    return m_music ? "no MIDI ports: DirectMusic lists none"
                   : "no MIDI ports: DirectMusic cannot be created";
  }

  std::unique_ptr<MidiOutput> openOutput(int index, int sampleRate) override {
    if (!m_music || index < 0 || index >= static_cast<int>(m_outputGuids.size())) return nullptr;
    const GUID& wanted = m_outputGuids[index];
    DMUS_PORTCAPS caps = {};
    if (!find(wanted, caps)) return nullptr;  // the port has gone since it was listed
    DMUS_PORTPARAMS8 params = {};
    params.dwSize = sizeof params;
    params.dwValidParams = DMUS_PORTPARAMS_VOICES | DMUS_PORTPARAMS_CHANNELGROUPS |
                           DMUS_PORTPARAMS_AUDIOCHANNELS | DMUS_PORTPARAMS_SAMPLERATE |
                           DMUS_PORTPARAMS_EFFECTS;
    params.dwVoices = caps.dwMaxVoices;
    params.dwChannelGroups = caps.dwMaxChannelGroups;
    params.dwAudioChannels = caps.dwMaxAudioChannels;
    params.dwSampleRate = static_cast<DWORD>(sampleRate);
    params.dwEffectFlags = caps.dwEffectFlags;
    IDirectMusicPort* port = nullptr;
    const HRESULT created = m_music->CreatePort(wanted, &params, &port, nullptr);
    if ((created != S_OK && created != S_FALSE) || !port) return nullptr;
    port->Activate(TRUE);
    IReferenceClock* clock = nullptr;
    if (port->GetLatencyClock(&clock) != S_OK) clock = nullptr;
    DMUS_BUFFERDESC desc = {};
    desc.dwSize = sizeof desc;
    desc.cbBuffer = kInitialBufferSize;
    IDirectMusicBuffer* buffer = nullptr;
    if (m_music->CreateMusicBuffer(&desc, &buffer, nullptr) != S_OK) buffer = nullptr;
    if (!clock) {  // without a clock no time can be given to the messages
      port->Activate(FALSE);
      port->Release();
      release(buffer);
      return nullptr;
    }
    return std::make_unique<DirectMusicOutput>(m_music, port, clock, buffer,
                                               buffer ? desc.cbBuffer : 0);
  }

  std::unique_ptr<MidiInput> openInput(int index) override {
    if (!m_music || index < 0 || index >= static_cast<int>(m_inputGuids.size())) return nullptr;
    const GUID& wanted = m_inputGuids[index];
    DMUS_PORTCAPS caps = {};
    if (!find(wanted, caps)) return nullptr;
    DMUS_PORTPARAMS8 params = {};
    params.dwSize = sizeof params;
    params.dwValidParams = DMUS_PORTPARAMS_CHANNELGROUPS;
    params.dwChannelGroups = caps.dwMaxChannelGroups ? caps.dwMaxChannelGroups : 1;
    IDirectMusicPort* port = nullptr;
    const HRESULT created = m_music->CreatePort(wanted, &params, &port, nullptr);
    if ((created != S_OK && created != S_FALSE) || !port) return nullptr;
    port->Activate(TRUE);
    DMUS_BUFFERDESC desc = {};
    desc.dwSize = sizeof desc;
    desc.cbBuffer = kInputBufferSize;
    IDirectMusicBuffer* buffer = nullptr;
    if (m_music->CreateMusicBuffer(&desc, &buffer, nullptr) != S_OK || !buffer) {
      port->Activate(FALSE);
      port->Release();
      return nullptr;
    }
    return std::make_unique<DirectMusicInput>(m_music, port, buffer);
  }

 private:
  // The capabilities of the port `wanted`, looked up again by its identifier
  // (the positions may have changed since the lists were taken). False when
  // DirectMusic no longer lists it.
  bool find(const GUID& wanted, DMUS_PORTCAPS& caps) {
    caps = {};
    caps.dwSize = sizeof caps;
    for (DWORD i = 0; m_music->EnumPort(i, &caps) == S_OK; ++i)
      if (IsEqualGUID(caps.guidPort, wanted)) return true;
    return false;
  }

  void enumerate() {
    if (FAILED(m_music->SetDirectSound(nullptr, nullptr))) return;
    take(DMUS_PC_OUTPUTCLASS, m_outputs, m_outputGuids);
    take(DMUS_PC_INPUTCLASS, m_inputs, m_inputGuids);
  }
  void take(DWORD portClass, MidiPortList& list, std::vector<GUID>& guids) {
    DMUS_PORTCAPS caps = {};
    caps.dwSize = sizeof caps;
    for (DWORD i = 0; static_cast<int>(guids.size()) < kMaxListedPorts; ++i) {
      if (m_music->EnumPort(i, &caps) != S_OK) break;
      if (caps.dwClass != portClass) continue;
      guids.push_back(caps.guidPort);
      list.names.push_back(narrow(caps.wszDescription, DMUS_MAX_DESCRIPTION));
      list.ids.push_back(guidText(caps.guidPort));
    }
  }

  bool m_comInitialised = false;     // this service's CoInitialize succeeded
  IDirectMusic8* m_music = nullptr;  // null when DirectMusic could not be created
  MidiPortList m_outputs, m_inputs;
  std::vector<GUID> m_outputGuids, m_inputGuids;
};

}  // namespace

std::unique_ptr<MidiService> createMidiService() {
  return std::make_unique<DirectMusicService>();
}

}  // namespace byteloom
