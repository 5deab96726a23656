#include "tonus/command_line.h"

#include <string>

#include "common/suite_version.h"

namespace tonus {

ProgramRequest ReadCommandLine(int argc, const char* const* argv) {
  bool version = false;
  for (int i = 1; i < argc; ++i) {
    if (!argv[i]) continue;
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") return ProgramRequest::kHelp;
    if (arg == "--version") version = true;
  }
  return version ? ProgramRequest::kVersion : ProgramRequest::kWindow;
}

std::string_view HelpText() {
  return "Usage: Tonus [--help | --version]\n"
         "\n"
         "The note calculator. In its window, pick an octave and a key to read the\n"
         "note's MIDI value (C4 is 60, A4 is 69), its frequency and its host voltage\n"
         "(1 V per octave, 5 V at 440 Hz); type a host voltage to read its frequency.\n"
         "\n"
         "  -h, --help   print this help and exit\n"
         "  --version    print the version and exit\n";
}

std::string_view VersionText() {
  static const std::string text = std::string("Tonus ") + se::SuiteVersion() + "\n";
  return text;
}

}  // namespace tonus
