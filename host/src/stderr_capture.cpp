#include "plughost/stderr_capture.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#else
#include <unistd.h>
#endif

namespace plughost {

namespace {

int process_id() {
#if defined(_WIN32)
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

// Creates a new file of our own in the temporary folder and opens it for
// writing; answers its descriptor (or -1) and its path. The name holds the
// process, a counter shared by all threads and a random part, and the file
// is created exclusively, so two captures never share a file.
int create_temp_file(std::string& path) {
  static std::atomic<unsigned> counter{0};
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = "plughost-stderr-" + std::to_string(process_id()) + "-" +
                             std::to_string(counter++) + "-" + std::to_string(random()) + ".txt";
    path = (error ? std::filesystem::path(name) : folder / name).string();
#if defined(_WIN32)
    const int fd =
        _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
#endif
    if (fd >= 0) return fd;
  }
  path.clear();
  return -1;
}

}  // namespace

StderrCapture::StderrCapture() {
  std::fflush(stderr);
  const int fd = create_temp_file(path_);
  if (fd < 0) return;
  saved_fd_ = dup(2);
  dup2(fd, 2);
  close(fd);
}

StderrCapture::~StderrCapture() {
  std::fflush(stderr);
  if (saved_fd_ >= 0) {
    dup2(saved_fd_, 2);
    close(saved_fd_);
  }
  if (!path_.empty()) std::remove(path_.c_str());
}

std::string StderrCapture::text() {
  std::fflush(stderr);
  std::ifstream in(path_, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace plughost
