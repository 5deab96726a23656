// Captures what the process (host and loaded plug-ins alike) writes to
// standard error while the object lives: tests read the precondition
// reports of a checking build with it.
#pragma once

#include <string>

namespace plughost {

class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Everything written so far.
  std::string text();
  // The file standard error goes to while the capture lives ("" when none
  // could be made); removed when the capture ends.
  const std::string& path() const { return path_; }

 private:
  int saved_fd_ = -1;
  std::string path_;
};

}  // namespace plughost
