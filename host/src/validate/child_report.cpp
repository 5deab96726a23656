#include "child_report.h"

#include <set>
#include <sstream>

namespace plughost::validate {

namespace {

bool starts_with(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

// The line of a library's own output that says most about a failure: a
// framework precondition report, a sanitizer's error or summary line.
std::string telling_line(const std::vector<std::string>& lines) {
  static const char* const marks[] = {"se_sdk2: precondition", "ERROR: AddressSanitizer",
                                      "ERROR: LeakSanitizer", "runtime error:", "SUMMARY:"};
  for (const char* mark : marks) {
    for (const std::string& l : lines) {
      if (l.find(mark) != std::string::npos) return l;
    }
  }
  return "";
}

// The first precondition report among `lines` that was not reported in an
// earlier check (each violated precondition fails the first check that
// provokes it, not every check after it); remembers what it returns.
std::string new_precondition(const std::vector<std::string>& lines, std::set<std::string>& seen) {
  std::string found;
  for (const std::string& l : lines) {
    if (l.find("se_sdk2: precondition") == std::string::npos) continue;
    if (seen.insert(l).second && found.empty()) found = l;
  }
  return found;
}

std::string with_line(std::string text, const std::string& line) {
  return line.empty() ? text : text + ": " + line;
}

// Reads the child's output into check results; `ending` says how the child
// ended when it did not finish its last check, or not cleanly.
}  // namespace

LibraryResult read_child(const std::string& library, const ChildResult& child, double timeout) {
  LibraryResult result{library, {}};
  std::istringstream in(child.output);
  std::string line;
  std::string current;            // begun, not yet ended
  std::string where;              // its last note
  std::vector<std::string> said;  // the library's lines since the check began
  std::vector<std::string> outside;
  std::set<std::string> preconditions;  // reported so far
  const std::string prefix = kProtocolPrefix;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!starts_with(line, prefix.c_str())) {
      (current.empty() ? outside : said).push_back(line);
      continue;
    }
    const std::string rest = line.substr(prefix.size());
    const size_t space = rest.find(' ');
    const std::string verb = rest.substr(0, space);
    const std::string arg = space == std::string::npos ? "" : rest.substr(space + 1);
    if (verb == "begin") {
      new_precondition(outside, preconditions);  // set-up between checks: told by the checks
      current = arg;
      where.clear();
      said.clear();
      continue;
    }
    if (verb == "note") {
      where = arg;
      continue;
    }
    const size_t tab = arg.find('\t');
    CheckResult check{arg.substr(0, tab), Outcome::kPass,
                      tab == std::string::npos ? "" : arg.substr(tab + 1)};
    const std::string precondition = new_precondition(said, preconditions);
    if (verb == "fail") {
      check.kind = Outcome::kFail;
      const std::string telling = telling_line(said);
      if (!telling.empty() && check.detail.find("LeakSanitizer") != std::string::npos) {
        check.detail = with_line(check.detail, telling);
      }
    } else if (verb == "skip") {
      check.kind = Outcome::kSkip;
    } else if (!precondition.empty()) {
      // A check the child passed fails all the same when the framework
      // reported a violated precondition during it (checking builds).
      check.kind = Outcome::kFail;
      check.detail = precondition;
    }
    result.checks.push_back(check);
    current.clear();
  }
  if (!current.empty()) {
    // The child died or hung inside this check.
    std::string detail = "the process " + child.describe(timeout);
    if (!where.empty()) detail += " at " + where;
    result.checks.push_back({current, Outcome::kFail, with_line(detail, telling_line(said))});
  } else if (!child.clean()) {
    result.checks.push_back(
        {"isolation.abnormal_exit", Outcome::kFail,
         with_line("the process " + child.describe(timeout) + " after its last check",
                   telling_line(outside))});
  } else {
    result.checks.push_back({"isolation.abnormal_exit", Outcome::kPass, ""});
  }
  return result;
}

}  // namespace plughost::validate
