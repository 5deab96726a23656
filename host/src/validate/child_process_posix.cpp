// Child processes on POSIX systems: posix_spawn, both output streams into
// one temporary file, waitpid polled until the time limit.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "child_process.h"

extern char** environ;

namespace plughost::validate {

std::string own_executable() {
  char buffer[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

ChildResult run_child(const std::string& program, const std::vector<std::string>& args,
                      double timeout_seconds, const OutputSink& on_output) {
  ChildResult result;
  const char* tmp = std::getenv("TMPDIR");
  std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/plughost-validate-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) {
    result.code = static_cast<unsigned>(errno);
    return result;
  }

  std::vector<std::string> argv_text;
  argv_text.push_back(program);
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fd, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fd, STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, fd);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fd);
  if (spawned != 0) {
    result.code = static_cast<unsigned>(spawned);
    unlink(path.c_str());
    return result;
  }

  // Polled: a short first wait keeps quick children quick, a longer one
  // later keeps a long child from costing the parent any time.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_seconds);
  auto pause = std::chrono::milliseconds(1);
  int status = 0;
  GrowingFile written(path);
  auto told = std::chrono::steady_clock::now();
  for (;;) {
    if (on_output && std::chrono::steady_clock::now() - told >= std::chrono::milliseconds(100)) {
      told = std::chrono::steady_clock::now();
      const std::string more = written.more();
      if (!more.empty()) on_output(more);
    }
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) {
      result.ending = ChildResult::kNotStarted;
      result.code = static_cast<unsigned>(errno);
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.ending = ChildResult::kTimedOut;
      status = -1;
      break;
    }
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(20)) pause *= 2;
  }
  if (status != -1 && result.ending != ChildResult::kTimedOut) {
    if (WIFEXITED(status)) {
      result.ending = ChildResult::kExited;
      result.code = static_cast<unsigned>(WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
      result.ending = ChildResult::kSignalled;
      result.code = static_cast<unsigned>(WTERMSIG(status));
    }
  }

  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  result.output = text.str();
  unlink(path.c_str());
  return result;
}

}  // namespace plughost::validate
