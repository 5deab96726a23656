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
            (c.kind == Outcome::kPass     ? "pass"
             : c.kind == Outcome::kFail   ? "fail"
             : c.kind == Outcome::kNotRun ? "not run"
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
  EXPECT_EQ(summary(r),
            "a.one pass\na.two fail (why)\na.three skip (not here)\n"
            "isolation.preconditions_outside_checks pass\nisolation.abnormal_exit pass\n");
}

TEST(ChildReport, CrashInsideACheckFailsThatCheckWithWhereItWas) {
  const LibraryResult r =
      read_child("L",
                 ended(ChildResult::kException, 0xC0000005u,
                       "@validate begin a.one\n@validate pass a.one\n@validate begin a.two\n"
                       "@validate note 48000 Hz, blocks of 3\n"),
                 10);
  // No isolation.abnormal_exit: the crash is told by the check it ended.
  ASSERT_EQ(r.checks.size(), 3u);
  EXPECT_EQ(r.checks[2].name, "isolation.preconditions_outside_checks");
  EXPECT_EQ(r.checks[1].name, "a.two");
  EXPECT_EQ(r.checks[1].kind, Outcome::kFail);
  EXPECT_EQ(r.checks[1].detail,
            "the process was ended by exception 0xC0000005 (access violation) at 48000 Hz, blocks "
            "of 3");
}

// The plan names every check to come; those a crash kept from beginning are
// listed as not run, after the one it ended, whichever plan line named them.
TEST(ChildReport, ChecksACrashKeptFromRunningAreListedAsNotRun) {
  const LibraryResult r =
      read_child("L",
                 ended(ChildResult::kSignalled, 11,
                       "@validate plan a.one a.two a.three\n"
                       "@validate begin a.one\n@validate pass a.one\n@validate begin a.two\n"
                       "@validate plan g.one\n"),
                 10);
  EXPECT_EQ(summary(r),
            "a.one pass\na.two fail (the process was killed by signal 11 (SIGSEGV))\n"
            "a.three not run\ng.one not run\nisolation.preconditions_outside_checks pass\n");
}

TEST(ChildReport, ChecksNotBegunBeforeAnExitBetweenChecksAreNotRun) {
  const LibraryResult r =
      read_child("L",
                 ended(ChildResult::kExited, 3,
                       "@validate plan a.one a.two\n@validate begin a.one\n@validate pass a.one\n"),
                 10);
  EXPECT_EQ(summary(r),
            "a.one pass\na.two not run\nisolation.preconditions_outside_checks pass\n"
            "isolation.abnormal_exit fail (the process exited with status 3 after its last "
            "check)\n");
}

TEST(ChildReport, HangInsideACheckNamesTheTimeLimit) {
  const LibraryResult r =
      read_child("L", ended(ChildResult::kTimedOut, 0, "@validate begin a.one\n"), 8);
  ASSERT_EQ(r.checks.size(), 2u);
  EXPECT_EQ(r.checks[0].detail, "the process did not finish within 8 s (killed)");
}

TEST(ChildReport, SanitizerReportNamesTheCrash) {
  const LibraryResult r = read_child(
      "L",
      ended(ChildResult::kExited, 1,
            "@validate begin a.one\n==1==ERROR: AddressSanitizer: SEGV on unknown address\n"
            "SUMMARY: AddressSanitizer: SEGV m.cpp:3\n"),
      10);
  ASSERT_EQ(r.checks.size(), 2u);
  EXPECT_EQ(r.checks[0].detail,
            "the process exited with status 1: ==1==ERROR: AddressSanitizer: SEGV on unknown "
            "address");
}

// Every distinct precondition report fails exactly one entry, wherever the
// child wrote it.
const std::string kReportA = "se_sdk2: precondition \"m_pins != 0\" failed at SEModule_base.cpp:9";
const std::string kReportB =
    "se_sdk2: precondition \"e->time_stamp == SampleClock()\" failed at x:2";

std::string begin_end(const std::string& name, const std::string& lines,
                      const std::string& end = "pass") {
  return "@validate begin " + name + "\n" + lines + "@validate " + end + " " + name + "\n";
}

TEST(ChildReportPreconditions, ReportInsideACheckFailsTheFirstCheckThatProvokesIt) {
  const LibraryResult r =
      read_child("L",
                 ended(ChildResult::kExited, 0,
                       begin_end("a.one", kReportA + "\n") + begin_end("a.two", kReportA + "\n")),
                 10);
  EXPECT_EQ(summary(r), "a.one fail (" + kReportA +
                            ")\na.two pass\nisolation.preconditions_outside_checks pass\n"
                            "isolation.abnormal_exit pass\n");
}

TEST(ChildReportPreconditions, ReportBetweenChecksFailsTheNextCheckThatProvokesItAgain) {
  // Set-up before the first check and between checks (an instance made and
  // destroyed there) reports A; a.one does not provoke it, a.two does.
  const LibraryResult r = read_child("L",
                                     ended(ChildResult::kExited, 0,
                                           kReportA + "\n" + begin_end("a.one", "") + kReportA +
                                               "\n" + begin_end("a.two", "x\n" + kReportA + "\n") +
                                               begin_end("a.three", kReportA + "\n")),
                                     10);
  EXPECT_EQ(summary(r), "a.one pass\na.two fail (" + kReportA +
                            ")\na.three pass\nisolation.preconditions_outside_checks pass\n"
                            "isolation.abnormal_exit pass\n");
}

TEST(ChildReportPreconditions, ReportNoCheckProvokesFailsTheLibraryOnce) {
  // A in set-up twice, B in the tear-down after the last check.
  const LibraryResult r = read_child("L",
                                     ended(ChildResult::kExited, 0,
                                           kReportA + "\n" + begin_end("a.one", "") + kReportA +
                                               "\n" + begin_end("a.two", "") + kReportB + "\r\n"),
                                     10);
  EXPECT_EQ(summary(r),
            "a.one pass\na.two pass\nisolation.preconditions_outside_checks fail "
            "(reported outside every check and provoked by none: " +
                kReportA + "; " + kReportB + ")\nisolation.abnormal_exit pass\n");
}

TEST(ChildReportPreconditions, SkippedOrFailedCheckStillTakesItsNewReports) {
  const LibraryResult r = read_child(
      "L",
      ended(ChildResult::kExited, 0,
            begin_end("a.one", kReportA + "\n", "skip") + kReportB + "\n" +
                "@validate begin a.two\n" + kReportB + "\n@validate fail a.two\tits own fault\n" +
                begin_end("a.three", kReportA + "\n" + kReportB + "\n")),
      10);
  EXPECT_EQ(summary(r), "a.one fail (" + kReportA + ")\na.two fail (its own fault; " + kReportB +
                            ")\na.three pass\nisolation.preconditions_outside_checks pass\n"
                            "isolation.abnormal_exit pass\n");
}

TEST(ChildReportPreconditions, CheckTheChildDiedInTakesItsReports) {
  // B before the check, A and B inside it, then a crash: both fail that
  // check, not the library entry.
  const LibraryResult r =
      read_child("L",
                 ended(ChildResult::kSignalled, 11,
                       begin_end("a.one", "") + kReportB + "\n@validate begin a.two\n" + kReportA +
                           "\n" + kReportB + "\n"),
                 10);
  ASSERT_EQ(r.checks.size(), 3u) << summary(r);
  EXPECT_EQ(r.checks[1].kind, Outcome::kFail);
  EXPECT_NE(r.checks[1].detail.find("killed by signal 11"), std::string::npos) << summary(r);
  EXPECT_NE(r.checks[1].detail.find(kReportA), std::string::npos) << summary(r);
  EXPECT_NE(r.checks[1].detail.find(kReportB), std::string::npos) << summary(r);
  EXPECT_EQ(r.checks[2].name, "isolation.preconditions_outside_checks");
  EXPECT_EQ(r.checks[2].kind, Outcome::kPass);
}

TEST(ChildReport, UncleanExitAfterTheLastCheckIsAFailure) {
  // LeakSanitizer at exit, with Windows line ends.
  const LibraryResult r =
      read_child("L",
                 ended(ChildResult::kExited, 23,
                       "@validate begin a.one\r\n@validate pass a.one\r\n"
                       "SUMMARY: AddressSanitizer: 64 byte(s) leaked in 1 allocation(s).\r\n"),
                 10);
  ASSERT_EQ(r.checks.size(), 3u);
  EXPECT_EQ(r.checks[0].kind, Outcome::kPass);
  EXPECT_EQ(r.checks[2].name, "isolation.abnormal_exit");
  EXPECT_EQ(r.checks[2].kind, Outcome::kFail);
  EXPECT_EQ(r.checks[2].detail,
            "the process exited with status 23 after its last check: SUMMARY: AddressSanitizer: "
            "64 byte(s) leaked in 1 allocation(s).");
}

}  // namespace
