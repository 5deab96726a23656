// plughost validate as a user runs it, on deliberately faulty plug-ins
// beside real ones: the fault is caught and named, the run goes on with the
// next library, and the seed replays the same findings.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "check.h"
#include "child_process.h"
#include "plughost/plugin_library.h"
#include "se_sdk2/se_precondition.h"
#include "text_checks.h"

namespace {

using plughost::validate::ChildResult;

std::string plughost_program() {
#if defined(_WIN32)
  return plughost::executable_dir() + "/plughost.exe";
#else
  return plughost::executable_dir() + "/plughost";
#endif
}

ChildResult validate(const std::vector<std::string>& args, double timeout = 600) {
  std::vector<std::string> all = {"validate"};
  all.insert(all.end(), args.begin(), args.end());
  return plughost::validate::run_child(plughost_program(), all, timeout);
}

// The lines of the output that report a failed check.
std::vector<std::string> failures(const std::string& output) {
  std::vector<std::string> lines;
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    if (line.find("  FAIL  ") == 0) lines.push_back(line);
  }
  return lines;
}

bool has_line(const std::string& output, const std::string& text) {
  return ("\n" + output).find("\n" + text) != std::string::npos;
}

// The failure lines that hold `text`.
std::vector<std::string> failures_with(const std::string& output, const std::string& text) {
  std::vector<std::string> found;
  for (const std::string& line : failures(output)) {
    if (line.find(text) != std::string::npos) found.push_back(line);
  }
  return found;
}

// Where the summary of a run with one crash (three checks kept from
// running) is; a build without a leak checker also counts its skips.
size_t summary_line(const std::string& output) {
  const size_t plain = output.find(" passed, 1 failed, 3 not run\n");
  if (plain != std::string::npos) return plain;
  const size_t failed = output.find(" passed, 1 failed, ");
  if (failed == std::string::npos) return failed;
  const size_t end = output.find('\n', failed);
  const std::string rest = output.substr(failed, end - failed);
  return rest.find(" skipped, 3 not run") != std::string::npos ? failed : std::string::npos;
}

TEST(ValidateCatches, CrashFailsItsLibraryAndTheRunGoesOn) {
  const ChildResult r =
      validate({"validate_probe_crash", "Forka", "--strictness", "1", "--seed", "3"});
  ASSERT_EQ(r.ending, ChildResult::kExited) << r.output;
  EXPECT_EQ(r.code, 1u) << r.output;
  const std::vector<std::string> failed = failures(r.output);
  ASSERT_EQ(failed.size(), 1u) << r.output;
  EXPECT_NE(failed[0].find("processing.crash_at_block_size_or_rate: the process "),
            std::string::npos)
      << failed[0];
  EXPECT_NE(failed[0].find("blocks of 3"), std::string::npos) << failed[0];
  // Forka, after the crash, was checked in full.
  EXPECT_NE(r.output.find("Forka ("), std::string::npos) << r.output;
  EXPECT_TRUE(has_line(r.output,
                       "replay: plughost validate validate_probe_crash Forka --seed 3 "
                       "--strictness 1"))
      << r.output;
  EXPECT_NE(r.output.find(" passed, 1 failed"), std::string::npos) << r.output;
  // The checks the crash kept from running are named, as in the summary.
  EXPECT_TRUE(has_line(r.output, "  not run  processing.crash_on_extreme_input\n")) << r.output;
  EXPECT_NE(summary_line(r.output), std::string::npos) << r.output;
}

// The plan a child announces is the checks it runs, in order: a library
// that passes everything lists exactly the planned ones (with or without a
// panel), so a crash's "not run" list names the right checks.
TEST(ValidateReport, PlanIsTheChecksThatRun) {
  for (const auto& [library, has_gui] :
       {std::pair<std::string, bool>{"Forka", false}, {"se_gui_probe_2230", true}}) {
    const ChildResult r = plughost::validate::run_child(
        plughost_program(), {"validate-one", library, "--seed", "1", "--strictness", "1"}, 600);
    ASSERT_TRUE(r.clean()) << r.output;
    std::vector<std::string> begun;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("@validate begin ", 0) == 0) begun.push_back(line.substr(16));
    }
    EXPECT_EQ(begun, plughost::validate::planned_checks(has_gui)) << library;
  }
}

TEST(ValidateCatches, HangIsKilledAtTheTimeLimitAndTheRunGoesOn) {
  const ChildResult r = validate(
      {"validate_probe_hang", "Forka", "--strictness", "1", "--seed", "3", "--timeout", "8"});
  ASSERT_EQ(r.ending, ChildResult::kExited) << r.output;
  EXPECT_EQ(r.code, 1u) << r.output;
  const std::vector<std::string> failed = failures(r.output);
  ASSERT_EQ(failed.size(), 1u) << r.output;
  EXPECT_NE(failed[0].find("did not finish within 8 s"), std::string::npos) << failed[0];
  EXPECT_NE(failed[0].find("blocks of 3"), std::string::npos) << failed[0];
  EXPECT_NE(r.output.find("Forka ("), std::string::npos) << r.output;
}

TEST(ValidateCatches, NonFiniteOutputFromFiniteInput) {
  const ChildResult r = validate({"validate_probe_nan", "--strictness", "1", "--seed", "11"});
  ASSERT_EQ(r.ending, ChildResult::kExited) << r.output;
  EXPECT_EQ(r.code, 1u) << r.output;
  const std::vector<std::string> failed = failures(r.output);
  ASSERT_EQ(failed.size(), 1u) << r.output;
  EXPECT_NE(failed[0].find("processing.nonfinite_output_from_finite_input: \"Signal Out\" gave "
                           "nan at clock "),
            std::string::npos)
      << failed[0];
}

TEST(ValidateCatches, MidiSentBeforeTheModulesClock) {
  const ChildResult r = validate({"validate_probe_late", "--strictness", "1", "--seed", "3"});
  EXPECT_EQ(r.code, 1u) << r.output;
  const std::vector<std::string> failed = failures(r.output);
  ASSERT_FALSE(failed.empty()) << r.output;
  EXPECT_NE(r.output.find("  FAIL  processing.event_before_its_clock: sent MIDI for clock "),
            std::string::npos)
      << r.output;
#if SE_CHECKED_BUILD
  // The checking build's framework reports the violated precondition, and
  // the check it happened in fails with that report.
  EXPECT_NE(r.output.find("se_sdk2: precondition \"sampleclock >= m_module->SampleClock()\""),
            std::string::npos)
      << r.output;
#endif
}

TEST(ValidateCatches, FaultyPinList) {
  const ChildResult r = validate({"validate_probe_pins", "--strictness", "1", "--seed", "3"});
  EXPECT_EQ(r.code, 1u) << r.output;
  EXPECT_NE(r.output.find("  FAIL  pins.unknown_direction_type_or_flag: pin 4 \"Mode\": unknown "
                          "flag bits 64"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("  FAIL  pins.malformed_list_or_default: pin 4 \"Mode\": entry 1 of "
                          "\"slow,,fast\" has no name"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("  FAIL  pins.refused_flag_combination: pin 5 \"Stored\": an input "
                          "stored with the patch"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("  pass  pins.endless_pin_list"), std::string::npos) << r.output;
}

// Preconditions violated outside every check (instances made and torn down
// between checks) each fail exactly one entry, not none.
TEST(ValidateCatches, PreconditionsOfMakingAndTearingDownFailOnceEach) {
  const ChildResult r =
      validate({"validate_probe_precondition", "--strictness", "1", "--seed", "3"});
#if !SE_CHECKED_BUILD
  // This build compiles the framework's preconditions out: nothing is
  // reported, and the probe has no other fault.
  EXPECT_EQ(r.code, 0u) << r.output;
  EXPECT_TRUE(failures_with(r.output, "se_sdk2: precondition").empty()) << r.output;
#else
  EXPECT_EQ(r.code, 1u) << r.output;
  // GetPin before Open, while the instance is made; a pin index the
  // instance lacks, while one never opened is torn down.
  for (const char* report :
       {"se_sdk2: precondition \"m_pins != 0\"",
        "se_sdk2: precondition \"pin_index >= 0 && pin_index < m_pin_count\""}) {
    EXPECT_EQ(failures_with(r.output, report).size(), 1u) << report << "\n" << r.output;
  }
  EXPECT_LE(failures(r.output).size(), 2u) << r.output;
#endif
}

// Instances that share state only on their GUI side: their processing
// outputs agree, their GUI pins do not.
TEST(ValidateCatches, InstancesDisturbingEachOtherOnTheGuiSide) {
  const ChildResult r = validate({"validate_probe_shared_gui", "--strictness", "1", "--seed", "3"});
  EXPECT_EQ(r.code, 1u) << r.output;
  const std::vector<std::string> failed = failures(r.output);
  ASSERT_EQ(failed.size(), 1u) << r.output;
  EXPECT_NE(failed[0].find("lifecycle.instances_disturb_each_other: 2 instances fed alike: "
                           "instance 1 differs from one instance alone in what it showed: pin "
                           "\"Clicks\" at clock "),
            std::string::npos)
      << failed[0];
}

// A module whose outputs carry nothing: the comparison of its instances
// cannot fail, so it says "skip", not "pass".
TEST(ValidateSkips, InstancesWhoseOutputsCarryNothing) {
  const ChildResult r = validate({"se_gui_probe_2230", "--strictness", "1", "--seed", "3"});
  EXPECT_EQ(r.code, 0u) << r.output;
  EXPECT_NE(r.output.find("  skip  lifecycle.instances_disturb_each_other: the instance sent no"),
            std::string::npos)
      << r.output;
}

// A GUI object that keeps its child window's handle after the host
// destroyed the panel window with it: the panel shown in a new window lacks
// the child window.
TEST(ValidateCatches, ChildWindowHandleKeptAcrossADestroyedPanel) {
  const ChildResult r =
      validate({"validate_probe_stale_window", "--strictness", "1", "--seed", "3"});
  if (r.output.find("  skip  gui.child_window_lost_on_reopen") != std::string::npos) {
    if (std::getenv("SE_REQUIRE_DISPLAY")) FAIL() << "no display, though one was required";
    GTEST_SKIP() << "no panel window can be made here (Wine without a display); the display "
                    "run of this test covers it";
  }
  EXPECT_EQ(r.code, 1u) << r.output;
  const std::vector<std::string> failed = failures(r.output);
  ASSERT_EQ(failed.size(), 1u) << r.output;
  EXPECT_NE(failed[0].find("gui.child_window_lost_on_reopen: new panel: shown first, it had "
                           "child windows (edit); closed, its window destroyed and shown in a "
                           "new window, it has (none)"),
            std::string::npos)
      << failed[0];
}

// A GUI object that answers each pin notice with another write, for ever:
// the checks that open its panel fail with the host's error, and the child
// neither crashes nor hangs.
TEST(ValidateCatches, GuiPinNoticesThatNeverSettle) {
  const ChildResult r =
      validate({"validate_probe_ping_pong", "--strictness", "1", "--seed", "3"}, 300);
  ASSERT_EQ(r.ending, ChildResult::kExited) << r.output;
  EXPECT_EQ(r.code, 1u) << r.output;
  const std::vector<std::string> failed = failures(r.output);
  ASSERT_FALSE(failed.empty()) << r.output;
  for (const std::string& line : failed) {
    EXPECT_NE(line.find(": pin change notices do not settle"), std::string::npos) << line;
  }
  EXPECT_FALSE(failures_with(r.output, "gui.crash_on_open_new_or_restored: ").empty()) << r.output;
  EXPECT_TRUE(has_line(r.output, "  pass  isolation.abnormal_exit")) << r.output;
}

TEST(ValidateReplays, SameSeedGivesTheSameFindings) {
  const std::vector<std::string> args = {"validate_probe_nan", "--strictness", "2", "--seed",
                                         "12345"};
  const ChildResult first = validate(args);
  const ChildResult again = validate(args);
  ASSERT_FALSE(failures(first.output).empty()) << first.output;
  EXPECT_EQ(failures(first.output), failures(again.output));
  EXPECT_TRUE(has_line(first.output, "plughost validate: seed 12345, strictness 2"))
      << first.output;
  // Another seed puts the first loud note elsewhere.
  const ChildResult other =
      validate({"validate_probe_nan", "--strictness", "2", "--seed", "54321"});
  EXPECT_NE(failures(first.output), failures(other.output));
}

// A library that cannot be loaded (not found, missing, no library at all)
// fails once with the reason, and no check of it passes.
TEST(ValidateCatches, LibraryThatDoesNotLoadFailsOnceWithTheReason) {
  const std::string text_file = plughost::executable_dir() + "/../CMakeCache.txt";
  const ChildResult r =
      validate({"NoSuchModule", "/nonexistent/Forka" + std::string(plughost::plugin_extension()),
                text_file, "--strictness", "1"});
  ASSERT_EQ(r.ending, ChildResult::kExited) << r.output;
  EXPECT_EQ(r.code, 1u) << r.output;
  const std::vector<std::string> failed = failures(r.output);
  ASSERT_EQ(failed.size(), 3u) << r.output;
  EXPECT_EQ(failed[0].find("  FAIL  library.load: cannot load: unknown library \"NoSuchModule\""),
            0u)
      << failed[0];
  EXPECT_EQ(failed[1].find("  FAIL  library.load: cannot load: "), 0u) << failed[1];
  EXPECT_EQ(failed[2].find("  FAIL  library.load: cannot load: "), 0u) << failed[2];
#if !defined(_WIN32)
  EXPECT_NE(failed[1].find("cannot open shared object file"), std::string::npos) << failed[1];
  // The library's path heads its entry; the reason does not repeat it.
  EXPECT_EQ(failed[2], "  FAIL  library.load: cannot load: invalid ELF header");
#endif
  EXPECT_EQ(r.output.find("  pass  "), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("\n0 passed, 3 failed\n"), std::string::npos) << r.output;
}

TEST(ValidateReport, JsonHoldsEveryCheckAndTheSeed) {
  const std::string path = ::testing::TempDir() + "/validate_report.json";
  const ChildResult r =
      validate({"validate_probe_nan", "Forka", "--strictness", "1", "--seed", "5", "--json", path});
  EXPECT_EQ(r.code, 1u) << r.output;
  std::ifstream in(path);
  const nlohmann::json report = nlohmann::json::parse(in, nullptr, false);
  ASSERT_FALSE(report.is_discarded()) << "unreadable JSON in " << path;
  EXPECT_EQ(report["seed"], 5);
  EXPECT_EQ(report["strictness"], 1);
  ASSERT_EQ(report["libraries"].size(), 2u);
  EXPECT_EQ(report["libraries"][1]["library"], "Forka");
  int failed = 0, listed = 0;
  for (const auto& library : report["libraries"]) {
    for (const auto& check : library["checks"]) {
      ++listed;
      if (check["result"] == "fail") {
        ++failed;
        EXPECT_EQ(check["name"], "processing.nonfinite_output_from_finite_input");
      }
    }
  }
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(report["failed"], 1);
  EXPECT_EQ(report["passed"].get<int>() + report["failed"].get<int>() +
                report["skipped"].get<int>() + report["not_run"].get<int>(),
            listed);
  std::remove(path.c_str());
}

// "--json -": the report on the standard output after the text (which
// goes to the standard error); a crash's unrun checks are in it as "not run".
TEST(ValidateReport, JsonToStandardOutputListsChecksNotRun) {
  const ChildResult r =
      validate({"validate_probe_crash", "--strictness", "1", "--seed", "3", "--json", "-"});
  EXPECT_EQ(r.code, 1u) << r.output;
  const size_t summary = summary_line(r.output);
  const size_t start = r.output.find("\n{\n");
  ASSERT_NE(summary, std::string::npos) << r.output;
  ASSERT_NE(start, std::string::npos) << "no JSON report in:\n" << r.output;
  EXPECT_LT(summary, start) << r.output;
  const std::string json_text = r.output.substr(start + 1);
  const nlohmann::json report = nlohmann::json::parse(json_text, nullptr, false);
  ASSERT_FALSE(report.is_discarded()) << "not JSON alone on the standard output:\n" << json_text;
  EXPECT_EQ(report["not_run"], 3);
  std::vector<std::string> not_run;
  for (const auto& check : report["libraries"][0]["checks"]) {
    if (check["result"] == "not run") not_run.push_back(check["name"]);
  }
  EXPECT_EQ(not_run, (std::vector<std::string>{"processing.crash_on_extreme_input",
                                               "processing.nonfinite_output_from_finite_input",
                                               "processing.event_before_its_clock"}));
}

TEST(ValidateListTexts, MalformedListsAreNamed) {
  using plughost::validate::list_fault;
  EXPECT_EQ(list_fault(""), "");
  EXPECT_EQ(list_fault("on=1,off=0"), "");
  EXPECT_EQ(list_fault("C-1,C#-1,D-1"), "");
  EXPECT_EQ(list_fault("range: 0,30"), "");
  EXPECT_NE(list_fault("range: 30,0"), "");   // backwards
  EXPECT_NE(list_fault("range: 0"), "");      // one end
  EXPECT_NE(list_fault("a,,b"), "");          // empty entry
  EXPECT_NE(list_fault("a,b,"), "");          // empty last entry
  EXPECT_NE(list_fault("on=yes,off=0"), "");  // no number after '='
}

}  // namespace
