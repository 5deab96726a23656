// Tonus's command line. The program opens its window unless asked for its
// help or its version, which it prints before any window toolkit starts, so
// that both work without a display. Every other argument is left to the
// toolkit (Qt takes options of its own, such as "-platform").
#pragma once

#include <string_view>

namespace tonus {

enum class ProgramRequest {
  kWindow,   // open the window
  kHelp,     // print HelpText() and exit 0
  kVersion,  // print VersionText() and exit 0
};

// What the arguments after the program name (argv[1] to argv[argc - 1]) ask
// for: kHelp when one of them is "--help" or "-h", else kVersion when one
// is "--version", else kWindow. Arguments that are null are skipped.
ProgramRequest ReadCommandLine(int argc, const char* const* argv);

// The texts printed, each ending with a newline; the version text is
// "Tonus " and the version number.
std::string_view HelpText();
std::string_view VersionText();

}  // namespace tonus
