// The Tonus window on plain Win32: a top-level window of class
// kWindowClass, captioned "Tonus", with one child window per entry of the
// control table at the table's position (15 twips per pixel). Every control
// is a direct child of the main window (the frames are group boxes drawn
// beneath the controls they hold), with the dialog item ID ControlItemId(id),
// so that a program driving the window finds them with GetDlgItem.
#pragma once

#include <windows.h>

#include "tonus/controls.h"

namespace tonus_win32 {

inline constexpr wchar_t kWindowClass[] = L"TonusWindow";

// The dialog item ID of a control: 100 plus its position in the table.
constexpr int ControlItemId(tonus::ControlId id) {
  return 100 + static_cast<int>(id);
}

// Registers the window class (once per process) and creates the window,
// not yet shown, with its controls; the load event has run. Null on failure.
// The window owns its state and frees it when destroyed; destroying it
// (cmdExit, or closing it) posts WM_QUIT with exit code 0.
HWND CreateTonusWindow(HINSTANCE instance);

// Runs the calling thread's message loop, with dialog keyboard handling for
// `window` (Tab between controls, Alt+X for E&xit), until WM_QUIT; returns
// its exit code.
int RunMessageLoop(HWND window);

}  // namespace tonus_win32
