// Patch files: what loads, and a clear message for everything that does not.
#include "plughost/patch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "comma_locale.h"
#include "plughost/host_error.h"
#include "plughost/report.h"
#include "plughost/stderr_capture.h"
#include "plughost_testing.h"

namespace {

std::string forka() {
  return plughost::testing::plugin("Forka");
}

using plughost::testing::error_of;

TEST(Patch, EveryMistakeGivesOneMessageNamingIt) {
  const std::string m = R"({"name": "sel", "library": ")" + forka() + R"("})";
  const struct {
    std::string patch;
    std::string message;
  } cases[] = {
      {"{", "line 1, column 2: the text ends before the JSON does"},
      {R"({"length": 1e999})", "line 1, column 12: the number 1e999 is beyond the range"},
      {"[]", "a patch is a JSON object"},
      {R"({"modules": [)" + m + "]}", "patch: \"length\" is missing"},
      {R"({"length": -5, "modules": [)" + m + "]}", "length: expected a sample clock"},
      {R"({"length": 5, "modules": []})", "modules: expected a list of modules"},
      {R"({"length": 5, "block_size": 0, "modules": [)" + m + "]}", "block_size: expected a whole"},
      {R"({"length": 5, "sample_rate": "fast", "modules": [)" + m + "]}",
       "sample_rate: expected a number"},
      {R"({"length": 5, "modules": [{"name": "a.b", "library": "x"}]})", "holds no dot"},
      {R"({"length": 5, "modules": [)" + m + "," + m + "]}", "two modules are named \"sel\""},
      {R"({"length": 5, "modules": [{"name": "x", "library": "NoSuch"}]})",
       "unknown library \"NoSuch\""},
      {R"({"length": 5, "modules": [{"name": "x", "library": 3}]})",
       "modules[0].library: expected text"},
      {R"({"length": 5, "modules": [)" + m + R"(], "events": [{"time": 1, "to": "sel.Choice"}]})",
       "events[0]: an event has \"midi\", \"value\", \"text\" or \"status\""},
      {R"({"length": 5, "modules": [)" + m +
           R"(], "events": [{"time": 1, "to": "sel.MIDI In", "midi": "9G"}]})",
       "events[0].midi: \"9G\" is not a hex byte"},
      {R"({"length": 5, "modules": [)" + m +
           R"(], "events": [{"time": 1, "to": "sel.MIDI In", "midi": [1,2,3,4]}]})",
       "a short message has 1 to 3 bytes"},
      {R"({"length": 5, "modules": [)" + m +
           R"(], "events": [{"time": 1, "to": "sel.Choice", "midi": "90"}]})",
       "is not a MIDI input"},
      {R"({"length": 5, "modules": [)" + m +
           R"(], "events": [{"time": 1, "to": "other.Choice", "value": 1}]})",
       "there is no module named \"other\""},
      {R"({"length": 5, "modules": [)" + m +
           R"(], "events": [{"time": 1, "to": "selChoice", "value": 1}]})",
       "does not name a pin as module.pin"},
      {R"({"length": 5, "modules": [)" + m +
           R"(], "connections": [{"from": "sel.MIDI In", "to": "sel.MIDI In"}]})",
       "MIDI In is not an output"},
      {R"({"length": 5, "modules": [)" + m +
           R"(], "signals": [{"to": "sel.Choice", "points": []}]})",
       "is not a signal input"},
      {R"({"length": 5, "modules": [)" + m + R"(], "record": ["sel.MIDI Out1"]})",
       "carries no signal"},
      {R"({"length": 5, "modules": [)" + m + R"(], "pins": {}})",
       "unknown key \"pins\" in the patch (known keys: \"sample_rate\""},
  };
  for (const auto& c : cases) {
    const std::string message = error_of(c.patch);
    EXPECT_NE(message.find(c.message), std::string::npos)
        << "patch: " << c.patch << "\nmessage: " << message << "\nexpected: " << c.message;
  }
}

// Values that no pin of the type can hold used to reach a conversion to
// int16_t/int32_t/float whose result C++ leaves undefined; each is now a
// patch error naming the module, the pin and the value.
TEST(Patch, ValuesBeyondAPinsTypeAreRefusedNamingModulePinAndValue) {
  const std::string m = R"({"name": "sel", "library": ")" + forka() + R"(", "pins": )";
  const std::string d =
      R"({"name": "div", "library": ")" + plughost::testing::plugin("Divara_v3") + R"("})";
  const struct {
    std::string patch;
    std::string message;
  } cases[] = {
      {R"({"length": 5, "modules": [)" + m + R"({"Choice": "nan"}}]})",
       "module \"sel\" pin \"Choice\": nan does not fit a choice pin"},
      {R"({"length": 5, "modules": [)" + m + R"({"Choice": 1e10}}]})",
       "module \"sel\" pin \"Choice\": 10000000000 does not fit a choice pin"},
      {R"({"length": 5, "modules": [)" + m + R"({"Choice": -1e10}}]})",
       "module \"sel\" pin \"Choice\": -10000000000 does not fit a choice pin"},
      {R"({"length": 5, "modules": [)" + m + R"({"Choice": "inf"}}]})",
       "module \"sel\" pin \"Choice\": inf does not fit a choice pin"},
      {R"({"length": 5, "modules": [)" + m +
           R"({}}], "events": [{"time": 1, "to": "sel.Choice", "value": 40000}]})",
       "events[0]: module \"sel\" pin \"Choice\": 40000 does not fit a choice pin"},
      {R"({"length": 5, "modules": [)" + d +
           R"(], "signals": [{"to": "div.Gate In", "initial": 1e300, "points": []}]})",
       "signals[0].initial: 1e+300 is beyond the float range"},
      {R"({"length": 5, "modules": [)" + d +
           R"(], "signals": [{"to": "div.Gate In", "samples": ["-1e39"]}]})",
       "signals[0].samples[0]: \"-1e39\" is beyond the float range"},
      {R"({"length": 5, "sample_rate": 1e300, "modules": [)" + d + "]}",
       "sample_rate: 1e+300 is beyond the float range"},
      {R"({"length": 5, "modules": [{"name": "x", "library": ")" + forka() +
           R"(", "pin_count": 1e12}]})",
       "modules[0].pin_count: 1000000000000.0 is not a whole number from 0 to 4096"},
      {R"({"length": 5, "modules": [{"name": "x", "library": ")" + forka() +
           R"(", "extra_pins": -1}]})",
       "modules[0].extra_pins: -1 is not a whole number from 0 to 4096"},
      {R"({"length": 5, "modules": [)" + d +
           R"(], "events": [{"time": 1, "to": "div.Gate In", "status": 3e9}]})",
       "events[0].status: 3000000000.0 is not a whole number"},
  };
  for (const auto& c : cases) {
    const std::string message = error_of(c.patch);
    EXPECT_NE(message.find(c.message), std::string::npos)
        << "patch: " << c.patch << "\nmessage: " << message << "\nexpected: " << c.message;
  }
  // Float pins take infinities and NaN: they are floats.
  EXPECT_EQ(
      error_of(R"({"length": 5, "modules": [)" + d +
               R"(], "signals": [{"to": "div.Gate In", "samples": ["nan", "-inf", 3.4e38]}]})"),
      "(loaded)");
}

using PatchInACommaLocale = testing_locale::CommaLocale;

// Numbers in patch files are read as in the "C" locale: with strtod, "0.5"
// read as 0 in a comma-decimal locale and "1,5" was refused or misread.
TEST_F(PatchInACommaLocale, NumbersInTextAreReadWithAPoint) {
  plughost::PatchRun run = plughost::load_patch(
      R"({"length": 4, "block_size": 4, "sample_rate": "48000.5", "modules": [
           {"name": "d", "library": ")" +
          plughost::testing::plugin("Divara_v3") + R"("}],
          "signals": [{"to": "d.Gate In", "samples": ["0.5", "0.25", "1.5e-1", "0x1p-3"]}],
          "record": ["d.Gate Low Out"]})",
      ".");
  EXPECT_EQ(run.engine->sample_rate(), 48000.5f);
  run.engine->run(run.length);
  plughost::Instance& d = run.engine->instance("d");
  const std::vector<float>& low = run.engine->recorded(d, d.pin_index("Gate Low Out"));
  ASSERT_EQ(low.size(), 4u);
  EXPECT_EQ(low[0], 0.5f);
  EXPECT_EQ(low[1], 0.25f);
  EXPECT_EQ(low[2], 0.15f);
  EXPECT_EQ(low[3], 0.125f);
  EXPECT_NE(
      error_of(R"({"length": 4, "sample_rate": "1,5", "modules": [{"name": "d", "library": ")" +
               forka() + R"("}]})")
          .find("sample_rate: expected a number"),
      std::string::npos);
}

TEST(Patch, ListPinsTakeEntryNamesAndNumbersTakeText) {
  double v = -1;
  EXPECT_TRUE(plughost::list_entry_value("on=1,off=0", "off", &v));
  EXPECT_EQ(v, 0.0);
  EXPECT_TRUE(plughost::list_entry_value("no,yes", "yes", &v));
  EXPECT_EQ(v, 1.0);
  EXPECT_FALSE(plughost::list_entry_value("no,yes", "maybe", &v));
  plughost::PatchRun run = plughost::load_patch(
      R"({"length": 64, "modules": [{"name": "s", "library": ")" + forka() +
          R"(", "pins": {"Choice": "on"}}], "events": [{"time": 3, "to": "s.MIDI In", "midi": "90 3C 64"}]})",
      ".");
  run.engine->run(run.length);
  EXPECT_EQ(plughost::testing::sent_on(*run.engine, "s", "MIDI Out2").size(), 1u);
}

TEST(Patch, JsonLogHoldsEveryOutputEventAndRecordedSignal) {
  plughost::PatchRun run = plughost::load_patch(
      R"({"length": 8, "block_size": 4, "modules": [
           {"name": "s", "library": ")" +
          forka() + R"("},
           {"name": "d", "library": ")" +
          plughost::testing::plugin("Divara_v3") + R"("}],
          "events": [{"time": 5, "to": "s.MIDI In", "midi": "90 3C 64"}],
          "signals": [{"to": "d.Gate In", "samples": [1, 1, 0.5, "nan"]}],
          "record": ["d.Gate Low Out"]})",
      ".");
  run.engine->run(run.length);
  const auto log = nlohmann::json::parse(plughost::json_log(run));
  EXPECT_EQ(log["length"], 8);
  const auto& events = log["events"];
  const auto midi =
      std::find_if(events.begin(), events.end(), [](const auto& e) { return e["type"] == "midi"; });
  ASSERT_NE(midi, events.end());
  EXPECT_EQ((*midi)["clock"], 5);
  EXPECT_EQ((*midi)["pin"], "MIDI Out1");
  EXPECT_EQ((*midi)["midi"], "90 3C 64");
  const auto& low = log["signals"]["d.Gate Low Out"];
  ASSERT_EQ(low.size(), 8u);
  EXPECT_EQ(low[0], 1.0);
  EXPECT_EQ(low[2], 0.5);
  EXPECT_EQ(low[3], 0.0);  // the NaN gate is off
}

// The capture file of standard error lies in the temporary folder under a
// name of its own: it used to be made in the current folder (on Windows),
// with a counter two threads could read at once.
TEST(StderrCapture, WritesItsFileInTheTemporaryFolderUnderAFreshName) {
  namespace fs = std::filesystem;
  std::string first_path;
  std::string second_path;
  {
    plughost::StderrCapture first;
    plughost::StderrCapture second;
    std::fprintf(stderr, "inner\n");
    EXPECT_EQ(second.text(), "inner\n");
    first_path = first.path();
    second_path = second.path();
    ASSERT_FALSE(first_path.empty());
    EXPECT_NE(first_path, second_path);
    for (const std::string& path : {first_path, second_path}) {
      EXPECT_EQ(fs::path(path).parent_path(), (fs::temp_directory_path() / "x").parent_path());
      EXPECT_TRUE(fs::exists(path)) << path;
    }
  }
  EXPECT_FALSE(fs::exists(first_path));
  EXPECT_FALSE(fs::exists(second_path));
}

TEST(Patch, MidiIsDescribedForPeople) {
  EXPECT_EQ(plughost::describe_midi(0x00643C90), "Note On ch 1 key 60 vel 100");
  EXPECT_EQ(plughost::describe_midi(0x00007BB2), "All Notes Off ch 3");
  EXPECT_EQ(plughost::describe_midi(0x004000E0), "Pitch Bend ch 1 value 0");
  EXPECT_EQ(plughost::describe_midi(0xF8), "System message F8");
}

}  // namespace
