// The validate parent: one child process per library (plughost's hidden
// "validate-one" command), its output read back into check results
// (child_report.h), the lines and the summary printed, the JSON report
// written.
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <random>
#include <sstream>

#include "check.h"
#include "child_process.h"
#include "child_report.h"
#include "plughost/host_error.h"
#include "plughost/library_path.h"
#include "plughost/plugin_library.h"
#include "plughost/validate.h"

namespace plughost::validate {

namespace {

const char* kind_word(Outcome::Kind kind) {
  switch (kind) {
    case Outcome::kPass:
      return "pass";
    case Outcome::kFail:
      return "FAIL";
    case Outcome::kNotRun:
      return "not run";
    default:
      return "skip";
  }
}

const char* json_word(Outcome::Kind kind) {
  switch (kind) {
    case Outcome::kPass:
      return "pass";
    case Outcome::kFail:
      return "fail";
    case Outcome::kNotRun:
      return "not run";
    default:
      return "skip";
  }
}

// One line on a terminal, rewritten in place ("\r") as a library's checks
// begin: "  Byteloom: check 12 of 31, processing.crash_on_extreme_input".
// Erased before the library's result lines.
class ProgressLine {
 public:
  ProgressLine(std::ostream& out, std::string library) : out_(out), library_(std::move(library)) {}
  ~ProgressLine() { erase(); }

  // More of the child's output, in pieces as it comes.
  void feed(const std::string& more) {
    pending_ += more;
    size_t end;
    while ((end = pending_.find('\n')) != std::string::npos) {
      const std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      const std::string prefix = kProtocolPrefix;
      if (line.rfind(prefix + "plan ", 0) == 0) {
        std::istringstream names(line.substr(prefix.size() + 5));
        for (std::string name; names >> name;) ++planned_;
      } else if (line.rfind(prefix + "begin ", 0) == 0) {
        ++begun_;
        std::string name = line.substr(prefix.size() + 6);
        if (!name.empty() && name.back() == '\r') name.pop_back();
        show("  " + library_ + ": check " + std::to_string(begun_) +
             (planned_ >= begun_ ? " of " + std::to_string(planned_) : "") + ", " + name);
      }
    }
  }

  void erase() {
    if (shown_ == 0) return;
    out_ << '\r' << std::string(shown_, ' ') << '\r';
    out_.flush();
    shown_ = 0;
  }

 private:
  void show(const std::string& text) {
    out_ << '\r' << text;
    if (text.size() < shown_) out_ << std::string(shown_ - text.size(), ' ');
    out_.flush();
    shown_ = text.size();
  }

  std::ostream& out_;
  std::string library_;
  std::string pending_;
  int planned_ = 0;
  int begun_ = 0;
  size_t shown_ = 0;
};

}  // namespace

double default_timeout(int strictness) {
  return 60.0 + 30.0 * strictness;
}

int run(const Options& options, std::ostream& out) {
  if (options.strictness < kMinStrictness || options.strictness > kMaxStrictness) {
    throw HostError("the strictness runs from 1 to 10");
  }
  if (!(options.timeout_seconds >= 0)) throw HostError("the time limit must be above 0 seconds");
  const uint64_t seed = options.seed ? *options.seed : std::random_device{}() & 0x7FFFFFFFu;
  const double timeout =
      options.timeout_seconds > 0 ? options.timeout_seconds : default_timeout(options.strictness);
  const std::string self = own_executable();
  out << "plughost validate: seed " << seed << ", strictness " << options.strictness << '\n';
  out.flush();

  int passed = 0, failed = 0, skipped = 0, not_run = 0;
  nlohmann::json report = {{"seed", seed}, {"strictness", options.strictness}};
  report["libraries"] = nlohmann::json::array();
  for (const std::string& name : options.libraries) {
    const auto start = std::chrono::steady_clock::now();
    std::string path;
    LibraryResult result;
    try {
      path = locate_library(name, LibraryContext::command_line());
    } catch (const HostError& e) {
      result.library = name;
      result.checks.push_back({kLoadCheck, Outcome::kFail, cannot_load(e.what())});
    }
    if (!path.empty()) {
      ProgressLine progress(out, name);
      OutputSink sink;
      if (options.progress) sink = [&progress](const std::string& more) { progress.feed(more); };
      const ChildResult child = run_child(self,
                                          {"validate-one", path, "--seed", std::to_string(seed),
                                           "--strictness", std::to_string(options.strictness)},
                                          timeout, sink);
      progress.erase();
      result = read_child(path, child, timeout);
      // A library that never loaded was not checked: its one failure stands
      // alone, without the entries of a child that ran.
      if (!result.checks.empty() && result.checks.front().name == kLoadCheck &&
          result.checks.front().kind == Outcome::kFail) {
        result.checks.resize(1);
      }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char took[32];
    std::snprintf(took, sizeof took, "%.1f s", seconds);
    out << name << " (" << (path.empty() ? "not found" : path) << ", " << took << ")\n";
    nlohmann::json checks = nlohmann::json::array();
    for (const CheckResult& c : result.checks) {
      out << "  " << kind_word(c.kind) << "  " << c.name;
      if (!c.detail.empty()) out << ": " << c.detail;
      out << '\n';
      switch (c.kind) {
        case Outcome::kPass:
          ++passed;
          break;
        case Outcome::kFail:
          ++failed;
          break;
        case Outcome::kNotRun:
          ++not_run;
          break;
        default:
          ++skipped;
          break;
      }
      checks.push_back({{"name", c.name}, {"result", json_word(c.kind)}, {"detail", c.detail}});
    }
    out.flush();
    report["libraries"].push_back(
        {{"library", name}, {"path", path}, {"seconds", seconds}, {"checks", checks}});
  }
  report["passed"] = passed;
  report["failed"] = failed;
  report["skipped"] = skipped;
  report["not_run"] = not_run;
  if (failed > 0) {
    out << "replay: plughost validate";
    for (const std::string& name : options.libraries) out << ' ' << name;
    out << " --seed " << seed << " --strictness " << options.strictness << '\n';
  }
  out << passed << " passed, " << failed << " failed";
  if (skipped > 0) out << ", " << skipped << " skipped";
  if (not_run > 0) out << ", " << not_run << " not run";
  out << '\n';
  out.flush();
  if (options.json_path == "-") {
    std::cout << report.dump(2) << '\n';
    std::cout.flush();
    if (!std::cout) throw HostError("cannot write the standard output");
  } else if (!options.json_path.empty()) {
    std::ofstream json(options.json_path, std::ios::binary);
    json << report.dump(2) << '\n';
    json.close();
    if (!json) throw HostError("cannot write " + options.json_path + ": " + std::strerror(errno));
  }
  return failed > 0 ? 1 : 0;
}

}  // namespace plughost::validate
