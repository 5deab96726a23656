#include "plughost/stderr_capture.h"

#include <fcntl.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#if defined(_WIN32)
#include <io.h>
#include <stdlib.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#else
#include <unistd.h>
#endif

namespace plughost {

namespace {
std::string temp_file_name() {
  static int counter = 0;
  char name[64];
#if defined(_WIN32)
  std::snprintf(name, sizeof name, "plughost-stderr-%d-%d.txt", int(_getpid()), counter++);
#else
  std::snprintf(name, sizeof name, "/tmp/plughost-stderr-%d-%d.txt", int(getpid()), counter++);
#endif
  return name;
}
}  // namespace

StderrCapture::StderrCapture() : path_(temp_file_name()) {
  std::fflush(stderr);
  saved_fd_ = dup(2);
  FILE* file = std::fopen(path_.c_str(), "wb");
  if (!file) return;
  dup2(fileno(file), 2);
  std::fclose(file);
}

StderrCapture::~StderrCapture() {
  std::fflush(stderr);
  if (saved_fd_ >= 0) {
    dup2(saved_fd_, 2);
    close(saved_fd_);
  }
  std::remove(path_.c_str());
}

std::string StderrCapture::text() {
  std::fflush(stderr);
  std::ifstream in(path_, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace plughost
