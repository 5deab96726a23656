// Reading a validate child's output back into check results: its protocol
// lines (check.h), the framework's precondition reports and sanitizer
// reports among them, and how the child ended.
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

// The checks of one child, in order. A check the child passed fails when
// the framework reported a violated precondition during it (the first check
// to provoke each report); a check the child began and never ended fails
// with how the child ended (`timeout` for the message) and where it was;
// a last check, isolation.abnormal_exit, tells whether the child ended
// cleanly after its last check.
LibraryResult read_child(const std::string& library, const ChildResult& child, double timeout);

}  // namespace plughost::validate
