// The built Tonus program started as a user starts it from a shell, with no
// display: "--help" and "--version" print and end the program at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Generous for a loaded machine; the options take milliseconds.
constexpr auto kPatience = std::chrono::seconds(60);

struct Outcome {
  bool ended = false;  // false: still running at the deadline, then killed
  int status = 0;      // as waitpid reports it
  std::string out, err;
};

// The environment of this process without a display, and without a Qt
// platform that would need none: a program that started Qt here fails.
std::vector<std::string> EnvironmentWithoutDisplay() {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM") continue;
    env.push_back(entry);
  }
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (std::string& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

// Runs Tonus with the arguments and collects what it writes until it ends
// or the deadline passes.
Outcome RunTonus(std::vector<std::string> args) {
  Outcome outcome;
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return outcome;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) {
    posix_spawn_file_actions_addclose(&actions, fd);
  }
  args.insert(args.begin(), TONUS_PROGRAM);
  std::vector<char*> argv = Pointers(args);
  std::vector<std::string> env_strings = EnvironmentWithoutDisplay();
  std::vector<char*> envp = Pointers(env_strings);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, TONUS_PROGRAM, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawned != 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    ADD_FAILURE() << "cannot start " << TONUS_PROGRAM << ": " << std::strerror(spawned);
    return outcome;
  }

  // Read both pipes until the program closes them, then collect its status.
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&outcome.out, &outcome.err};
  int open_pipes = 2;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    if (open_pipes > 0) {
      for (pollfd& p : fds) p.revents = 0;
      if (poll(fds, 2, static_cast<int>(left.count())) < 0) {
        if (errno == EINTR) continue;
        ADD_FAILURE() << "poll: " << std::strerror(errno);
        break;
      }
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buffer[4096];
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
          sinks[i]->append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
          close(fds[i].fd);
          fds[i].fd = -1;
          --open_pipes;
        }
      }
      continue;
    }
    const pid_t done = waitpid(pid, &outcome.status, WNOHANG);
    if (done == pid) {
      outcome.ended = true;
      break;
    }
    usleep(10000);
  }
  for (const pollfd& p : fds) {
    if (p.fd >= 0) close(p.fd);
  }
  if (!outcome.ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &outcome.status, 0);
  }
  return outcome;
}

void ExpectCleanExit(const Outcome& o) {
  ASSERT_TRUE(o.ended) << "still running after " << kPatience.count() << " s";
  ASSERT_TRUE(WIFEXITED(o.status)) << "ended by signal " << WTERMSIG(o.status) << "; stderr:\n"
                                   << o.err;
  EXPECT_EQ(WEXITSTATUS(o.status), 0) << o.err;
  EXPECT_EQ(o.err, "");
}

TEST(TonusProgram, HelpPrintsUsageAndExitsWithoutADisplay) {
  for (const char* option : {"--help", "-h"}) {
    const Outcome o = RunTonus({option});
    ExpectCleanExit(o);
    EXPECT_EQ(o.out.rfind("Usage: Tonus", 0), 0u) << option << ":\n" << o.out;
    EXPECT_NE(o.out.find("--version"), std::string::npos) << o.out;
    EXPECT_TRUE(o.out.ends_with('\n')) << o.out;
  }
}

TEST(TonusProgram, VersionPrintsNameAndNumberAndExitsWithoutADisplay) {
  const Outcome o = RunTonus({"--version"});
  ExpectCleanExit(o);
  ASSERT_GT(o.out.size(), 7u) << o.out;
  EXPECT_EQ(o.out.substr(0, 6), "Tonus ") << o.out;
  EXPECT_TRUE(o.out[6] >= '0' && o.out[6] <= '9') << o.out;
  EXPECT_EQ(o.out.find('\n'), o.out.size() - 1) << "one line: " << o.out;
}

// Qt's own options may stand beside ours; help is still printed and Qt is
// still not started.
TEST(TonusProgram, HelpBesideToolkitOptions) {
  const Outcome o = RunTonus({"-platform", "xcb", "--version", "--help"});
  ExpectCleanExit(o);
  EXPECT_EQ(o.out.rfind("Usage: Tonus", 0), 0u) << o.out;
}

}  // namespace
