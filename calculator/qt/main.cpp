// Tonus on Linux: the note calculator's window; the program ends when the
// window closes (cmdExit or the window's close button). "--help" and
// "--version" are answered before Qt starts, so they need no display.
#include <QApplication>
#include <cstdio>

#include "tonus/command_line.h"
#include "tonus_window.h"

namespace {

// Writes the text to standard output; 0 when all of it went out, else 1.
int Print(std::string_view text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
  return written && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  switch (tonus::ReadCommandLine(argc, argv)) {
    case tonus::ProgramRequest::kHelp:
      return Print(tonus::HelpText());
    case tonus::ProgramRequest::kVersion:
      return Print(tonus::VersionText());
    case tonus::ProgramRequest::kWindow:
      break;
  }
  QApplication app(argc, argv);
  TonusWindow window;
  window.show();
  return app.exec();
}
