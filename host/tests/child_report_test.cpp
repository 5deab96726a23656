// Reading a validate child's output: how a crash, a hang, a framework
// precondition report and an unclean exit turn into failed checks.
#include "child_report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using plughost::validate::ChildResult;
using plughost::validate::LibraryResult;
using plughost::validate::Outcome;
using plughost::validate::read_child;

ChildResult ended(ChildResult::Ending ending, unsigned code, std::string output) {
  ChildResult r;
  r.ending = ending;
  r.code = code;
  r.output = std::move(output);
  return r;
}

std::string summary(const LibraryResult& r) {
  std::string text;
  for (const auto& c : r.checks) {
    text += c.name + " " +
            (c.kind == Outcome::kPass   ? "pass"
             : c.kind == Outcome::kFail ? "fail"
                                        : "skip") +
            (c.detail.empty() ? "" : " (" + c.detail + ")") + "\n";
  }
  return text;
}

TEST(ChildReport, CleanRunKeepsEveryOutcome) {
  const LibraryResult r = read_child("L",
                                     ended(ChildResult::kExited, 0,
                                           "@validate begin a.one\n@validate pass a.one\n"
                                           "@validate begin a.two\n@validate fail a.two\twhy\n"
                                           "@validate begin a.three\n"
                                           "@validate skip a.three\tnot here\n"),
                                     10);
  EXPECT_EQ(
      summary(r),
      "a.one pass\na.two fail (why)\na.three skip (not here)\nisolation.abnormal_exit pass\n");
}

TEST(ChildReport, CrashInsideACheckFailsThatCheckWithWhereItWas) {
  const LibraryResult r =
      read_child("L",
                 ended(ChildResult::kException, 0xC0000005u,
                       "@validate begin a.one\n@validate pass a.one\n@validate begin a.two\n"
                       "@validate note 48000 Hz, blocks of 3\n"),
                 10);
  ASSERT_EQ(r.checks.size(), 2u);
  EXPECT_EQ(r.checks[1].name, "a.two");
  EXPECT_EQ(r.checks[1].kind, Outcome::kFail);
  EXPECT_EQ(
      r.checks[1].detail,
      "the process ended by exception 0xC0000005 (access violation) at 48000 Hz, blocks of 3");
}

TEST(ChildReport, HangInsideACheckNamesTheTimeLimit) {
  const LibraryResult r =
      read_child("L", ended(ChildResult::kTimedOut, 0, "@validate begin a.one\n"), 8);
  ASSERT_EQ(r.checks.size(), 1u);
  EXPECT_EQ(r.checks[0].detail, "the process did not finish within 8 s (killed)");
}

TEST(ChildReport, SanitizerReportNamesTheCrash) {
  const LibraryResult r = read_child(
      "L",
      ended(ChildResult::kExited, 1,
            "@validate begin a.one\n==1==ERROR: AddressSanitizer: SEGV on unknown address\n"
            "SUMMARY: AddressSanitizer: SEGV m.cpp:3\n"),
      10);
  ASSERT_EQ(r.checks.size(), 1u);
  EXPECT_EQ(r.checks[0].detail,
            "the process exited with status 1: ==1==ERROR: AddressSanitizer: SEGV on unknown "
            "address");
}

TEST(ChildReport, PreconditionReportFailsTheFirstCheckThatProvokesIt) {
  const std::string report = "se_sdk2: precondition \"m_pins != 0\" failed at SEModule_base.cpp:9";
  const LibraryResult r =
      read_child("L",
                 ended(ChildResult::kExited, 0,
                       "@validate begin a.one\n" + report + "\n@validate pass a.one\n" +
                           "@validate begin a.two\n" + report + "\n@validate pass a.two\n"),
                 10);
  EXPECT_EQ(summary(r), "a.one fail (" + report + ")\na.two pass\nisolation.abnormal_exit pass\n");
}

TEST(ChildReport, UncleanExitAfterTheLastCheckIsAFailure) {
  // LeakSanitizer at exit, with Windows line ends.
  const LibraryResult r =
      read_child("L",
                 ended(ChildResult::kExited, 23,
                       "@validate begin a.one\r\n@validate pass a.one\r\n"
                       "SUMMARY: AddressSanitizer: 64 byte(s) leaked in 1 allocation(s).\r\n"),
                 10);
  ASSERT_EQ(r.checks.size(), 2u);
  EXPECT_EQ(r.checks[0].kind, Outcome::kPass);
  EXPECT_EQ(r.checks[1].name, "isolation.abnormal_exit");
  EXPECT_EQ(r.checks[1].kind, Outcome::kFail);
  EXPECT_EQ(r.checks[1].detail,
            "the process exited with status 23 after its last check: SUMMARY: AddressSanitizer: "
            "64 byte(s) leaked in 1 allocation(s).");
}

}  // namespace
