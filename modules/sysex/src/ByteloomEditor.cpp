#include "sysex/ByteloomEditor.h"

#include <cstdio>
#include <string>

#include "platform/win32.h"

namespace {

// Child, border, vertical scroll bar, multi-line; no automatic horizontal
// scrolling, so long lines wrap at the window's edge.
constexpr DWORD kEditStyle = WS_CHILD | WS_BORDER | WS_VSCROLL | ES_MULTILINE;
static_assert(kEditStyle == 0x40A00004);

}  // namespace

ByteloomEditor::ByteloomEditor(GuiHostCallback callback, intptr_t host_word)
    : SEGuiModule_base(callback, host_word) {
  HostCall(se::kGuiHostSetup13, 2);
  HostCall(se::kGuiHostSetup11, 1);
  HostCall(se::kGuiHostPanelSize, 100, 100);
  HostCall(se::kGuiHostSetup4, 1);
}

ByteloomEditor::~ByteloomEditor() {
  m_link.close();
  if (m_edit && IsWindow(m_edit)) DestroyWindow(m_edit);
  m_edit = nullptr;
}

void ByteloomEditor::GuiOpen(bool flag) {
  SEGuiModule_base::GuiOpen(flag);
  m_opened = true;
  m_instance = static_cast<int>(HostCall(se::kGuiHostInstanceNumber));
  m_link.attachMutex(m_instance, false);
  m_link.openBlock(m_instance);
}

void ByteloomEditor::OnWindowOpen(SEWndInfo* wi) {
  if (!wi) return;
  HWND parent = reinterpret_cast<HWND>(HostCall(se::kGuiHostParentWindow, wi->window_ref));
  RECT client{};
  if (!parent || !GetClientRect(parent, &client)) return;
  HWND edit = CreateWindowExA(0, "edit", "", kEditStyle, client.left, client.top,
                              client.right - client.left, client.bottom - client.top, parent,
                              nullptr, nullptr, nullptr);
  if (!edit) return;
  // A window opened again takes over the text of the one before, which the
  // user may have edited.
  if (m_edit && IsWindow(m_edit)) {
    const int n = GetWindowTextLengthA(m_edit);
    std::string text(static_cast<size_t>(n) + 1, '\0');
    GetWindowTextA(m_edit, text.data(), n + 1);
    SetWindowTextA(edit, text.c_str());
    DestroyWindow(m_edit);
  }
  m_edit = edit;
  ShowWindow(m_edit, SW_SHOW);
}

void ByteloomEditor::Paint(HDC, SEWndInfo*) {
  if (!m_edit) return;
  HWND parent = GetParent(m_edit);
  RECT client{};
  if (!parent || !GetClientRect(parent, &client)) return;
  MoveWindow(m_edit, client.left, client.top, client.right - client.left,
             client.bottom - client.top, TRUE);
}

void ByteloomEditor::OnDspMessage(int size, void* data) {
  switch (byteloom::letterOf(size, data)) {
    case byteloom::kLetterStatus: {
      Sleep(10);
      m_link.barrier();
      if (!m_link.hasBlock()) break;
      const std::string status(m_link.status());
      setStatusText(status.c_str());
      break;
    }
    case byteloom::kLetterReset:
      if (m_edit) SetWindowTextA(m_edit, "");
      setStatusText("0 bytes loaded");
      break;
    case byteloom::kLetterSave:
    case byteloom::kLetterSend:
      passWindowText(static_cast<const char*>(data)[0]);
      break;
    case byteloom::kLetterNewText: {
      Sleep(10);
      m_link.barrier();
      if (!m_link.hasBlock() || !m_edit) break;
      const std::string text(m_link.text());
      SetWindowTextA(m_edit, text.c_str());
      break;
    }
    default:  // "q", headers and everything else
      break;
  }
}

void ByteloomEditor::passWindowText(char letter) {
  if (!m_link.hasBlock()) return;
  m_link.lock();
  std::string text;
  if (m_edit) {
    const int n = GetWindowTextLengthA(m_edit);
    text.assign(static_cast<size_t>(n > 0 ? n : 0) + 2, '\0');
    const int got = GetWindowTextA(m_edit, text.data(), n + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
  }
  if (text.size() > static_cast<size_t>(byteloom::kMaxTextLength)) {
    m_link.unlock();
    char status[byteloom::kStatusAreaSize];
    std::snprintf(status, sizeof status, "%d characters not %s: over the limit of %d",
                  static_cast<int>(text.size()), letter == byteloom::kLetterSend ? "sent" : "saved",
                  byteloom::kMaxTextLength);
    setStatusText(status);
    return;
  }
  m_link.writeText(text);
  m_link.unlock();
  byteloom::sendLetter(m_instance, letter, [this](int size, const void* bytes) {
    HostCall(se::kGuiHostSendToDsp, size, 0, const_cast<void*>(bytes));
  });
}

void ByteloomEditor::setStatusText(const char* text) {
  if (m_opened) GetPin(kStatusPin)->SetValueText(text);
}
