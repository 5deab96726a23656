// Framework preconditions. A checking build (SE_CHECKED) reports a violated
// condition with its text, the source file name and the line to standard
// error (and, on Windows, to the debugger output) and carries on; a release
// build compiles the test out entirely.
#pragma once

namespace se {
// Writes one report line: se_sdk2: precondition "TEXT" failed at FILE:LINE
void report_precondition(const char* condition, const char* file, int line);
}  // namespace se

#if defined(SE_CHECKED) && SE_CHECKED
#define SE_PRECONDITION_TEXT(cond, text) \
  ((cond) ? (void)0 : ::se::report_precondition(text, __FILE__, __LINE__))
#define SE_CHECKED_BUILD 1
#else
#define SE_PRECONDITION_TEXT(cond, text) ((void)0)
#define SE_CHECKED_BUILD 0
#endif
#define SE_PRECONDITION(cond) SE_PRECONDITION_TEXT(cond, #cond)
