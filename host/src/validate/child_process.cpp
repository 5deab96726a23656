// The parts of running a child process that both backends share: how an
// ending is told to the user.
#include "child_process.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#if !defined(_WIN32)
#include <csignal>
#include <cstring>
#endif

namespace plughost::validate {

std::string exception_name(unsigned code) {
  switch (code) {
    case 0xC0000005u:
      return "access violation";
    case 0xC0000094u:
      return "integer division by zero";
    case 0xC0000095u:
      return "integer overflow";
    case 0xC00000FDu:
      return "stack overflow";
    case 0xC000001Du:
      return "illegal instruction";
    case 0xC0000409u:
      return "stack buffer overrun";
    case 0xC000008Eu:
      return "float division by zero";
    case 0xC0000090u:
      return "invalid float operation";
    case 0x80000003u:
      return "breakpoint";
    case 0xE06D7363u:
      return "C++ exception";
    default:
      return "";
  }
}

std::string GrowingFile::more() {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return "";
  in.seekg(offset_);
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  offset_ += static_cast<std::streamoff>(text.size());
  return text;
}

std::string ChildResult::describe(double timeout_seconds) const {
  char text[160];
  switch (ending) {
    case kExited:
      std::snprintf(text, sizeof text, "exited with status %u", code);
      return text;
    case kSignalled: {
#if defined(_WIN32)
      std::snprintf(text, sizeof text, "was killed by signal %u", code);
#else
      const char* name = sigabbrev_np(static_cast<int>(code));
      std::snprintf(text, sizeof text, "was killed by signal %u (SIG%s)", code, name ? name : "?");
#endif
      return text;
    }
    case kException: {
      const std::string name = exception_name(code);
      std::snprintf(text, sizeof text, "was ended by exception 0x%08X%s%s%s", code,
                    name.empty() ? "" : " (", name.c_str(), name.empty() ? "" : ")");
      return text;
    }
    case kTimedOut:
      std::snprintf(text, sizeof text, "did not finish within %g s (killed)", timeout_seconds);
      return text;
    case kNotStarted:
    default:
      std::snprintf(text, sizeof text, "could not be started (error %u)", code);
      return text;
  }
}

}  // namespace plughost::validate
