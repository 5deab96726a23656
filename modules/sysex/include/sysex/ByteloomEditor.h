// Byteloom's editor object (the module's GUI object): owns the multi-line
// edit window in which the user sees and edits the hex text, and answers the
// processing object's letters (sysex/ByteloomLink.h): it shows new text and
// status lines, empties the window on a reset, and hands the window text to
// the processing object through the shared block before a save or a send.
//
// Created by makeModule kind 2 (framework revision 2020); the host calls it
// from one thread at a time, the thread that also owns its windows.
#pragma once

#include <cstdint>

#include "se_sdk2/SEGuiModule_base.h"
#include "sysex/ByteloomLink.h"

class ByteloomEditor : public SEGuiModule_base {
 public:
  static constexpr int kStatusPin = 10;  // "Status Msg"

  ByteloomEditor(GuiHostCallback callback, intptr_t host_word);
  ~ByteloomEditor() override;

  // Creates the instance's mutex and opens the shared block.
  void GuiOpen(bool flag) override;
  // Creates the edit window over the whole panel window.
  void OnWindowOpen(SEWndInfo* wi) override;
  // Draws nothing; keeps the edit window on the panel's client area.
  void Paint(HDC dc, SEWndInfo* wi) override;
  void OnDspMessage(int size, void* data) override;

  HWND editWindow() const { return m_edit; }

 private:
  // The reply to "s" and "t": the window text into the text area, then the
  // same letter back. A text longer than the text area is not passed on: the
  // status line says so and nothing is echoed.
  void passWindowText(char letter);
  void setStatusText(const char* text);

  int m_instance = 0;  // host's instance number, from GuiOpen
  bool m_opened = false;
  byteloom::SharedLink m_link;
  HWND m_edit = nullptr;  // the edit window, owned from OnWindowOpen until destruction
};
