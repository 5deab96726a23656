#include "child_report.h"

#include <algorithm>
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

bool is_precondition(const std::string& line) {
  return line.find("se_sdk2: precondition") != std::string::npos;
}

// The precondition reports of one child, placed by the rule of
// child_report.h.
class Preconditions {
 public:
  // A line written outside every check.
  void outside(const std::string& line) {
    if (!is_precondition(line) || used_.count(line)) return;
    if (std::find(waiting_.begin(), waiting_.end(), line) == waiting_.end()) {
      waiting_.push_back(line);
    }
  }
  // The reports among a check's lines that fail it (not yet used), in
  // order; from now on they are used.
  std::vector<std::string> take(const std::vector<std::string>& lines) {
    std::vector<std::string> found;
    for (const std::string& l : lines) {
      if (!is_precondition(l) || !used_.insert(l).second) continue;
      found.push_back(l);
      waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), l), waiting_.end());
    }
    return found;
  }
  // Reports outside checks that no check provoked again.
  const std::vector<std::string>& waiting() const { return waiting_; }

 private:
  std::set<std::string> used_;
  std::vector<std::string> waiting_;
};

std::string joined(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) out += (out.empty() ? "" : "; ") + t;
  return out;
}

// Fails `check` with the reports it provoked: a pass or a skip becomes a
// fail told by the reports; a fail keeps its text, and the reports it does
// not name yet are added.
void charge(CheckResult& check, const std::vector<std::string>& reports) {
  if (reports.empty()) return;
  if (check.kind != Outcome::kFail) {
    check.kind = Outcome::kFail;
    check.detail = joined(reports);
    return;
  }
  for (const std::string& r : reports) {
    if (check.detail.find(r) == std::string::npos) {
      check.detail += (check.detail.empty() ? "" : "; ") + r;
    }
  }
}

std::string with_line(std::string text, const std::string& line) {
  return line.empty() ? text : text + ": " + line;
}

}  // namespace

LibraryResult read_child(const std::string& library, const ChildResult& child, double timeout) {
  LibraryResult result{library, {}};
  std::istringstream in(child.output);
  std::string line;
  std::string current;            // begun, not yet ended
  std::string where;              // its last note
  std::vector<std::string> said;  // the library's lines since the check began
  std::vector<std::string> outside;
  Preconditions preconditions;
  std::vector<std::string> planned;
  const std::string prefix = kProtocolPrefix;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!starts_with(line, prefix.c_str())) {
      if (current.empty()) {
        outside.push_back(line);
        preconditions.outside(line);
      } else {
        said.push_back(line);
      }
      continue;
    }
    const std::string rest = line.substr(prefix.size());
    const size_t space = rest.find(' ');
    const std::string verb = rest.substr(0, space);
    const std::string arg = space == std::string::npos ? "" : rest.substr(space + 1);
    if (verb == "begin") {
      current = arg;
      where.clear();
      said.clear();
      continue;
    }
    if (verb == "note") {
      where = arg;
      continue;
    }
    if (verb == "plan") {
      std::istringstream names(arg);
      for (std::string name; names >> name;) planned.push_back(name);
      continue;
    }
    const size_t tab = arg.find('\t');
    CheckResult check{arg.substr(0, tab), Outcome::kPass,
                      tab == std::string::npos ? "" : arg.substr(tab + 1)};
    if (verb == "fail") {
      check.kind = Outcome::kFail;
      const std::string telling = telling_line(said);
      if (!telling.empty() && check.detail.find("LeakSanitizer") != std::string::npos) {
        check.detail = with_line(check.detail, telling);
      }
    } else if (verb == "skip") {
      check.kind = Outcome::kSkip;
    }
    charge(check, preconditions.take(said));
    result.checks.push_back(check);
    current.clear();
  }
  if (!current.empty()) {
    // The child died or hung inside this check.
    std::string detail = "the process " + child.describe(timeout);
    if (!where.empty()) detail += " at " + where;
    CheckResult check{current, Outcome::kFail, with_line(detail, telling_line(said))};
    charge(check, preconditions.take(said));
    result.checks.push_back(check);
  }
  // Planned checks the child never began: it ended before them.
  for (const std::string& name : planned) {
    const bool told = std::any_of(result.checks.begin(), result.checks.end(),
                                  [&](const CheckResult& c) { return c.name == name; });
    if (!told) result.checks.push_back({name, Outcome::kNotRun, ""});
  }
  if (preconditions.waiting().empty()) {
    result.checks.push_back({"isolation.preconditions_outside_checks", Outcome::kPass, ""});
  } else {
    result.checks.push_back(
        {"isolation.preconditions_outside_checks", Outcome::kFail,
         "reported outside every check and provoked by none: " + joined(preconditions.waiting())});
  }
  if (!current.empty()) return result;
  if (!child.clean()) {
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
