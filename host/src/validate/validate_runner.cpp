// The validate parent: one child process per library (plughost's hidden
// "validate-one" command), its output read back into check results
// (child_report.h), the lines and the summary printed, the JSON report
// written.
#include <chrono>
#include <fstream>
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
    default:
      return "skip";
  }
}

}  // namespace

double default_timeout(int strictness) {
  return 60.0 + 30.0 * strictness;
}

int run(const Options& options, std::ostream& out) {
  if (options.strictness < kMinStrictness || options.strictness > kMaxStrictness) {
    throw HostError("the strictness runs from 1 to 10");
  }
  const uint64_t seed = options.seed ? *options.seed : std::random_device{}() & 0x7FFFFFFFu;
  const double timeout =
      options.timeout_seconds > 0 ? options.timeout_seconds : default_timeout(options.strictness);
  const std::string self = own_executable();
  out << "plughost validate: seed " << seed << ", strictness " << options.strictness << '\n';
  out.flush();

  int passed = 0, failed = 0, skipped = 0;
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
      const ChildResult child = run_child(self,
                                          {"validate-one", path, "--seed", std::to_string(seed),
                                           "--strictness", std::to_string(options.strictness)},
                                          timeout);
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
      (c.kind == Outcome::kPass ? passed : c.kind == Outcome::kFail ? failed : skipped) += 1;
      checks.push_back({{"name", c.name},
                        {"result", c.kind == Outcome::kPass   ? "pass"
                                   : c.kind == Outcome::kFail ? "fail"
                                                              : "skip"},
                        {"detail", c.detail}});
    }
    out.flush();
    report["libraries"].push_back(
        {{"library", name}, {"path", path}, {"seconds", seconds}, {"checks", checks}});
  }
  report["passed"] = passed;
  report["failed"] = failed;
  report["skipped"] = skipped;
  if (failed > 0) {
    out << "replay: plughost validate";
    for (const std::string& name : options.libraries) out << ' ' << name;
    out << " --seed " << seed << " --strictness " << options.strictness << '\n';
  }
  out << passed << " passed, " << failed << " failed";
  if (skipped > 0) out << ", " << skipped << " skipped";
  out << '\n';
  out.flush();
  if (!options.json_path.empty()) {
    std::ofstream json(options.json_path, std::ios::binary);
    json << report.dump(2) << '\n';
    if (!json) throw HostError("cannot write " + options.json_path);
  }
  return failed > 0 ? 1 : 0;
}

}  // namespace plughost::validate
