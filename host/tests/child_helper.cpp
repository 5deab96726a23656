// A small program the child-process tests start:
//   validate_child_helper exit N       exits with status N
//   validate_child_helper killed       ends itself as a crash would
//   validate_child_helper sleep S      sleeps S seconds, then exits 0
//   validate_child_helper args A...    prints each argument as [A] on a line
//   validate_child_helper interleave   writes "out 1", "err 2", "out 3",
//                                      "err 4" to alternating streams
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#if defined(_WIN32)
#include "platform/win32.h"
#endif

int main(int argc, char** argv) {
  const std::string verb = argc > 1 ? argv[1] : "";
  if (verb == "exit" && argc > 2) return std::atoi(argv[2]);
  if (verb == "killed") {
#if defined(_WIN32)
    TerminateProcess(GetCurrentProcess(), 0xC0000005u);  // as an access violation ends it
#else
    std::raise(SIGKILL);
#endif
  }
  if (verb == "sleep" && argc > 2) {
    std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(argv[2])));
    return 0;
  }
  if (verb == "args") {
    for (int k = 2; k < argc; ++k) std::printf("[%s]\n", argv[k]);
    return 0;
  }
  if (verb == "interleave") {
    for (int k = 1; k <= 4; ++k) {
      std::FILE* stream = k % 2 ? stdout : stderr;
      std::fprintf(stream, "%s %d\n", k % 2 ? "out" : "err", k);
      std::fflush(stream);
    }
    return 0;
  }
  return 2;
}
