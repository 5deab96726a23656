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

 private:
  int saved_fd_ = -1;
  std::string path_;
};

}  // namespace plughost
