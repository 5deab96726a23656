// The child-process runner of validate, on both backends: how a child
// ended, what it wrote, and what it was given.
#include "child_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "plughost/plugin_library.h"

namespace {

using plughost::validate::ChildResult;
using plughost::validate::run_child;

std::string helper() {
#if defined(_WIN32)
  return plughost::executable_dir() + "/validate_child_helper.exe";
#else
  return plughost::executable_dir() + "/validate_child_helper";
#endif
}

TEST(ChildProcess, ExitStatusIsReported) {
  const ChildResult r = run_child(helper(), {"exit", "7"}, 60);
  EXPECT_EQ(r.ending, ChildResult::kExited);
  EXPECT_EQ(r.code, 7u);
  EXPECT_FALSE(r.clean());
  EXPECT_EQ(r.describe(60), "exited with status 7");
  EXPECT_TRUE(run_child(helper(), {"exit", "0"}, 60).clean());
}

TEST(ChildProcess, CrashedChildIsNamedWithItsSignalOrException) {
  const ChildResult r = run_child(helper(), {"killed"}, 60);
#if defined(_WIN32)
  EXPECT_EQ(r.ending, ChildResult::kException);
  EXPECT_EQ(r.code, 0xC0000005u);
  EXPECT_EQ(r.describe(60), "was ended by exception 0xC0000005 (access violation)");
#else
  EXPECT_EQ(r.ending, ChildResult::kSignalled);
  EXPECT_EQ(r.code, 9u);
  EXPECT_EQ(r.describe(60), "was killed by signal 9 (SIGKILL)");
#endif
}

TEST(ChildProcess, HangIsKilledAtTheTimeLimit) {
  const auto start = std::chrono::steady_clock::now();
  const ChildResult r = run_child(helper(), {"sleep", "120"}, 1.5);
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.ending, ChildResult::kTimedOut);
  EXPECT_EQ(r.describe(1.5), "did not finish within 1.5 s (killed)");
  EXPECT_GE(took, 1.4);
  EXPECT_LT(took, 30.0);
}

TEST(ChildProcess, ArgumentsArriveUnchanged) {
  // Spaces, quotes and backslashes survive the Windows command line too.
  const std::vector<std::string> args = {"plain",     "two words", "",         "say \"hi\"",
                                         "C:\\dir\\", "a\\\\\"b",  "tab\there"};
  std::vector<std::string> all = {"args"};
  all.insert(all.end(), args.begin(), args.end());
  const ChildResult r = run_child(helper(), all, 60);
  ASSERT_TRUE(r.clean()) << r.output;
  std::string expected;
  for (const std::string& a : args) expected += "[" + a + "]\n";
  std::string output = r.output;
  for (size_t at; (at = output.find("\r\n")) != std::string::npos;) output.erase(at, 1);
  EXPECT_EQ(output, expected);
}

TEST(ChildProcess, OutputAndErrorKeepTheirOrder) {
  const ChildResult r = run_child(helper(), {"interleave"}, 60);
  ASSERT_TRUE(r.clean());
  std::string output = r.output;
  for (size_t at; (at = output.find("\r\n")) != std::string::npos;) output.erase(at, 1);
  EXPECT_EQ(output, "out 1\nerr 2\nout 3\nerr 4\n");
}

TEST(ChildProcess, MissingProgramIsNotStarted) {
  const ChildResult r = run_child(helper() + "-missing", {}, 60);
  EXPECT_EQ(r.ending, ChildResult::kNotStarted);
  EXPECT_FALSE(r.clean());
}

}  // namespace
