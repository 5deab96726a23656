// Running a program as a child process with a time limit: one interface,
// a POSIX backend (child_process_posix.cpp) and a Windows one
// (child_process_win32.cpp).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace plughost::validate {

struct ChildResult {
  enum Ending {
    kExited,      // code: the exit status
    kSignalled,   // code: the signal that ended it (POSIX)
    kException,   // code: the unhandled exception code that ended it (Windows)
    kTimedOut,    // killed after the time limit
    kNotStarted,  // code: the system's error number
  };
  Ending ending = kNotStarted;
  unsigned code = 0;
  // Standard output and standard error, interleaved as the child wrote them.
  std::string output;

  bool clean() const { return ending == kExited && code == 0; }
  // "exited with status 1", "was killed by signal 11 (SIGSEGV)", "was ended
  // by exception 0xC0000005 (access violation)", "did not finish within 5 s
  // (killed)": what follows "the process".
  std::string describe(double timeout_seconds) const;
};

// Starts `program` with `args` (argv[1] on), both output streams into one
// temporary file, and waits at most `timeout_seconds`; a child still running
// then is killed. Blocks the calling thread until the child has ended; while
// it waits, `on_output` (when given) receives what the child wrote since
// the last call, in order, a few times a second.
using OutputSink = std::function<void(const std::string& more)>;
ChildResult run_child(const std::string& program, const std::vector<std::string>& args,
                      double timeout_seconds, const OutputSink& on_output = nullptr);

// Reads a file that another process is still writing, a piece at a time.
class GrowingFile {
 public:
  explicit GrowingFile(std::string path) : path_(std::move(path)) {}
  // What was written since the last call ("" when nothing was).
  std::string more();

 private:
  std::string path_;
  std::streamoff offset_ = 0;
};

// The running program's own file (for starting another copy of it).
std::string own_executable();

// Name of an exception code that ends Windows processes ("access
// violation"), or "" when unknown. Portable, for the messages.
std::string exception_name(unsigned code);

}  // namespace plughost::validate
