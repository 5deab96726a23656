// Tonus on Windows: the note calculator's window; the program ends when the
// window closes (cmdExit, Alt+X or the window's close button).
//
// "--help" and "--version" print and exit 0 without opening the window. A
// GUI-subsystem program has no console of its own, so the text goes where
// the user who started it can read it: to the standard output its parent
// handed over (a pipe or a file, as "Tonus --help > file" or a script gives
// it), else to the console of the parent (a command prompt: the text comes
// after the prompt, which that shell has shown already), else, started with
// no console at all (from Explorer), in a message box.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "tonus/command_line.h"
#include "tonus_window.h"

namespace {

// Lines end with CR LF, as Windows text files and consoles expect.
std::string WindowsLines(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

bool WriteAll(HANDLE handle, const std::string& text) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  std::size_t done = 0;
  while (done < text.size()) {
    DWORD written = 0;
    if (!WriteFile(handle, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                   nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

// Shows the text as the comment at the top says; the program's exit code.
int Print(std::string_view text) {
  const std::string lines = WindowsLines(text);
  if (WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), lines)) return 0;
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    const bool written = WriteAll(console, lines);
    if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
    FreeConsole();
    if (written) return 0;
  }
  // The texts are ASCII.
  const std::wstring wide(text.begin(), text.end());
  return MessageBoxW(nullptr, wide.c_str(), L"Tonus", MB_OK | MB_ICONINFORMATION) != 0 ? 0 : 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  // The C runtime's split of the command line, as a console program gets it.
  switch (tonus::ReadCommandLine(__argc, __argv)) {
    case tonus::ProgramRequest::kHelp:
      return Print(tonus::HelpText());
    case tonus::ProgramRequest::kVersion:
      return Print(tonus::VersionText());
    case tonus::ProgramRequest::kWindow:
      break;
  }
  HWND window = tonus_win32::CreateTonusWindow(instance);
  if (!window) return 1;
  ShowWindow(window, show);
  UpdateWindow(window);
  return tonus_win32::RunMessageLoop(window);
}
