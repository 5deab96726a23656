// plughost validate: checks that a plug-in library survives what real hosts
// do to it. Each library runs in a child process of its own (the hidden
// "validate-one" command of plughost), so that a crash or a hang fails that
// library alone; the run goes on with the next.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace plughost::validate {

inline constexpr int kMinStrictness = 1;
inline constexpr int kMaxStrictness = 10;

struct Options {
  std::vector<std::string> libraries;  // paths, or names of plug-ins beside plughost
  int strictness = 5;                  // 1 (a quick smoke run) to 10
  std::optional<uint64_t> seed;        // none: a new one, printed
  std::string json_path;               // "" for no JSON report, "-" for standard output
  double timeout_seconds = 0;          // per library; 0: from the strictness
  // A line rewritten in place ("\r") while a library runs, telling the check
  // under way: for a terminal only.
  bool progress = false;
};

// The parent: runs every library in a child process, prints one line per
// check ("not run" for those a crash kept from running) and "N passed, M
// failed" to `out`, writes the JSON report. Answers
// the exit status: 0 when every check passed, 1 otherwise.
int run(const Options& options, std::ostream& out);

// The child: runs every check on one library (a path) and writes the
// protocol lines that the parent reads to standard output. Answers 0.
int run_one(const std::string& library, uint64_t seed, int strictness);

// Time limit for one library at a strictness, in seconds.
double default_timeout(int strictness);

}  // namespace plughost::validate
