// Reading a validate child's output back into check results: its protocol
// lines (check.h), the framework's precondition reports and sanitizer
// reports among them, and how the child ended.
//
// Precondition reports (a checking build's "se_sdk2: precondition ..."
// lines) follow one rule: every distinct report fails exactly one entry of
// the library, the first place it can be pinned to.
//   - A report first seen during a check fails that check, whatever the
//     check concluded: a pass or a skip becomes a fail with the report as
//     its text; a fail keeps its own text, with the report added.
//   - A report first seen outside every check (set-up and tear-down between
//     checks, after the last one) waits: the next check during which it
//     appears again fails with it, as above.
//   - A report outside checks that no later check provokes again fails
//     isolation.preconditions_outside_checks, which lists every such report.
// A report already used in one of these ways fails nothing else, so a check
// that provokes a known report again passes on its own merits.
#pragma once

#include <string>
#include <vector>

#include "check.h"
#include "child_process.h"

namespace plughost::validate {

struct CheckResult {
  std::string name;
  Outcome::Kind kind = Outcome::kPass;
  std::string detail;
};

struct LibraryResult {
  std::string library;
  std::vector<CheckResult> checks;
};

// The checks of one child, in order, with the precondition reports placed
// by the rule above; a check the child began and never ended fails with how
// the child ended (`timeout` for the message) and where it was, and the
// checks of its plan it never began follow as Outcome::kNotRun. Two entries
// for the library as a whole close the list: isolation.preconditions_outside_checks,
// then isolation.abnormal_exit, which tells whether the child ended cleanly
// after its last check (left out when it ended inside one).
LibraryResult read_child(const std::string& library, const ChildResult& child, double timeout);

}  // namespace plughost::validate
