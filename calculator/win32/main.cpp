// Tonus on Windows: the note calculator's window; the program ends when the
// window closes (cmdExit, Alt+X or the window's close button).
#include <windows.h>

#include "tonus_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  HWND window = tonus_win32::CreateTonusWindow(instance);
  if (!window) return 1;
  ShowWindow(window, show);
  UpdateWindow(window);
  return tonus_win32::RunMessageLoop(window);
}
