#include "se_sdk2/SEGuiModule_base.h"

#include <cstring>

namespace {
#if SE_SDK_REVISION >= 2230
SEGuiPinHandle g_shared_handle;  // GetPin's one handle for the whole library
#endif

int flags_from(float opt) {
  int32_t bits;
  std::memcpy(&bits, &opt, sizeof bits);
  return bits;
}
}  // namespace

// ---- SEGuiPinHandle -------------------------------------------------------

void SEGuiPinHandle::SetValueText(const std::string& text) {
  m_owner->HostCall(se::kGuiHostSetText, m_index, 0, const_cast<char*>(text.c_str()));
}

std::string SEGuiPinHandle::GetValueText() {
  const char* text = reinterpret_cast<const char*>(m_owner->HostCall(se::kGuiHostGetText, m_index));
  return text ? std::string(text) : std::string();
}

int SEGuiPinHandle::GetValueInt() {
  int32_t value = 0;
  m_owner->HostCall(se::kGuiHostGetValue, m_index, 0, &value);
  return value;
}

float SEGuiPinHandle::GetValueFloat() {
  float value = 0.0f;
  m_owner->HostCall(se::kGuiHostGetValue, m_index, 0, &value);
  return value;
}

void SEGuiPinHandle::SetValueInt(int value) {
  m_owner->HostCall(se::kGuiHostSetValue, m_index, value);
}

void SEGuiPinHandle::SetValueFloat(float value) {
  m_owner->HostCall(se::kGuiHostSetValue, m_index, 0, nullptr, value);
}

std::u16string SEGuiPinHandle::GetValueWideText() {
  const intptr_t length = m_owner->HostCall(se::kGuiHostGetWideText, m_index);
  if (length <= 0) return {};
  std::vector<char16_t> buffer(static_cast<size_t>(length) + 1, u'\0');
  m_owner->HostCall(se::kGuiHostGetWideText, m_index, static_cast<int>(length), buffer.data());
  buffer.back() = u'\0';  // whatever the host wrote, the copy ends inside the buffer
  return std::u16string(buffer.data());
}

// ---- SEGuiModule_base -----------------------------------------------------

SEGuiModule_base::SEGuiModule_base(GuiHostCallback callback, intptr_t host_word)
    : m_callback(callback) {
  std::memset(&m_record, 0, sizeof m_record);
  m_record.magic = SE_GUI_MAGIC;
  m_record.version = 1;
  m_record.dispatcher = &SEGuiModule_base::DispatcherEntry;
  m_record.host_word = host_word;
  m_record.instance = this;
}

SEGuiModule_base::~SEGuiModule_base() = default;

intptr_t SEGuiModule_base::DispatcherEntry(SEGuiRecord* record, int32_t opcode, intptr_t index,
                                           int32_t value, void* data, float opt) {
  try {
    return static_cast<SEGuiModule_base*>(record->instance)
        ->GuiDispatch(opcode, index, value, data, opt);
  } catch (...) {
    return 0;  // nothing crosses the boundary
  }
}

intptr_t SEGuiModule_base::GuiDispatch(int opcode, intptr_t index, int value, void* data,
                                       float opt) {
  auto* wi = static_cast<SEWndInfo*>(data);
  const SEPoint point{static_cast<int32_t>(index), value};
#if SE_SDK_REVISION >= 2230
  const int flags = flags_from(opt);
#else
  const int flags = 0;  // revision 2020 passes no key state
  (void)flags_from;
  (void)opt;
#endif
  switch (opcode) {
    case se::kGuiOpen:
      GuiOpen(index == 1);
      return 0;
    case se::kGuiClose:
      GuiClose();
      delete this;
      return 1;
    case se::kGuiPaint:
      Paint(reinterpret_cast<HDC>(index), wi);
      return 0;
    case se::kGuiButtonDown:
      OnButtonDown(wi, flags, point);
      return 0;
    case se::kGuiButtonUp:
      OnButtonUp(wi, flags, point);
      return 0;
    case se::kGuiMouseMove:
      OnMouseMove(wi, flags, point);
      return 0;
    case se::kGuiDspMessage:
#if SE_SDK_REVISION >= 2230
      OnDspMessage(value, static_cast<int>(index), data);
#else
      OnDspMessage(static_cast<int>(index), data);
#endif
      return 0;
    case se::kGuiPinChanged: {
#if SE_SDK_REVISION >= 2230
      SEGuiPinHandle handle(static_cast<int>(index), this);  // temporary, for this call
      OnGuiPinChanged(&handle);
#else
      if (index >= 0 && static_cast<size_t>(index) < m_handles.size()) {
        OnGuiPinChanged(&m_handles[static_cast<size_t>(index)]);
      }
#endif
      return 0;
    }
    case se::kGuiWindowOpen:
      OnWindowOpen(wi);
      return 0;
    case se::kGuiWindowClose:
      OnWindowClose(wi);
      return 0;
#if SE_SDK_REVISION >= 2230
    case se::kGuiReserved10:
      return GuiReserved10() ? 1 : 0;
    case se::kGuiReserved11:
      GuiReserved11(static_cast<int>(index));
      return 0;
    case se::kGuiReserved12:
      GuiReserved12(static_cast<int>(index));
      return 0;
#endif
    default:
      return 0;
  }
}

void SEGuiModule_base::GuiOpen(bool) {
#if SE_SDK_REVISION < 2230
  const intptr_t n = HostCall(se::kGuiHostPinCount);
  m_handles.clear();
  for (intptr_t i = 0; i < n; ++i) m_handles.emplace_back(static_cast<int>(i), this);
#endif
}

SEGuiPinHandle* SEGuiModule_base::GetPin(int index) {
#if SE_SDK_REVISION < 2230
  if (index >= 0 && static_cast<size_t>(index) < m_handles.size()) {
    return &m_handles[static_cast<size_t>(index)];
  }
  // A pin past the list (or before GuiOpen): a handle of its own per object
  // would be kept forever, so it gets the shared one below.
  static SEGuiPinHandle g_shared_handle;
#endif
  g_shared_handle = SEGuiPinHandle(index, this);
  return &g_shared_handle;
}

intptr_t SEGuiModule_base::HostCall(int opcode, int index, int value, void* data, float opt) {
  return m_callback(&m_record, opcode, index, value, data, opt);
}

void SEGuiModule_base::CaptureMouse(SEWndInfo* wi) {
  HostCall(se::kGuiHostCaptureMouse, 0, 0, wi);
}
void SEGuiModule_base::ReleaseMouse(SEWndInfo* wi) {
  HostCall(se::kGuiHostReleaseMouse, 0, 0, wi);
}
bool SEGuiModule_base::HasMouseCapture(SEWndInfo* wi) {
  return HostCall(se::kGuiHostHasCapture, 0, 0, wi) != 0;
}
intptr_t SEGuiModule_base::Reserved8(int index, int value, void* data) {
  return HostCall(se::kGuiHostReserved8, index, value, data);
}

void SEGuiModule_base::GuiClose() {}
void SEGuiModule_base::Paint(HDC, SEWndInfo*) {}
void SEGuiModule_base::OnButtonDown(SEWndInfo*, int, SEPoint) {}
void SEGuiModule_base::OnButtonUp(SEWndInfo*, int, SEPoint) {}
void SEGuiModule_base::OnMouseMove(SEWndInfo*, int, SEPoint) {}
void SEGuiModule_base::OnWindowOpen(SEWndInfo*) {}
void SEGuiModule_base::OnWindowClose(SEWndInfo*) {}
void SEGuiModule_base::OnGuiPinChanged(SEGuiPinHandle*) {}
#if SE_SDK_REVISION >= 2230
bool SEGuiModule_base::GuiReserved10() {
  return false;
}
void SEGuiModule_base::GuiReserved11(int) {}
void SEGuiModule_base::GuiReserved12(int) {}
void SEGuiModule_base::OnDspMessage(int, int, void*) {}
#else
void SEGuiModule_base::OnDspMessage(int, void*) {}
#endif
