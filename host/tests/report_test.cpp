// The run log as people and programs read it: MIDI as the bytes of each
// message (as many as its status byte calls for), status values explained.
#include "plughost/report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "plughost/patch.h"
#include "plughost_testing.h"

namespace {

TEST(RunLogMidi, EachMessageShowsItsOwnLength) {
  EXPECT_EQ(plughost::midi_bytes(0x00643C90), "90 3C 64");  // Note On
  EXPECT_EQ(plughost::midi_bytes(0x00007BB0), "B0 7B 00");  // All Notes Off
  EXPECT_EQ(plughost::midi_bytes(0x000005C0), "C0 05");     // Program Change
  EXPECT_EQ(plughost::midi_bytes(0x000040D3), "D3 40");     // Channel Pressure
  EXPECT_EQ(plughost::midi_bytes(0x004000E0), "E0 00 40");  // Pitch Bend
  EXPECT_EQ(plughost::midi_bytes(0x00000AF1), "F1 0A");     // time code quarter frame
  EXPECT_EQ(plughost::midi_bytes(0x00107FF2), "F2 7F 10");  // song position
  EXPECT_EQ(plughost::midi_bytes(0x000003F3), "F3 03");     // song select
  EXPECT_EQ(plughost::midi_bytes(0x000000F6), "F6");        // tune request
  EXPECT_EQ(plughost::midi_bytes(0x000000F8), "F8");        // clock
  EXPECT_EQ(plughost::midi_bytes(0x000000FF), "FF");        // reset
}

// Forka forwards what it is given: the text and JSON logs show the same
// bytes, the JSON as a patch gives them.
TEST(RunLogMidi, TextAndJsonShowTheSameBytes) {
  plughost::PatchRun run =
      plughost::load_patch(R"({"length": 64, "modules": [{"name": "s", "library": ")" +
                               plughost::testing::plugin("Forka") + R"("}],
          "events": [{"time": 3, "to": "s.MIDI In", "midi": "90 3C 64"},
                     {"time": 5, "to": "s.MIDI In", "midi": "C0 05"}]})",
                           ".");
  run.engine->run(run.length);
  std::ostringstream text;
  plughost::write_text_log(text, run);
  EXPECT_NE(text.str().find("  midi 90 3C 64  Note On ch 1 key 60 vel 100\n"), std::string::npos)
      << text.str();
  EXPECT_NE(text.str().find("  midi C0 05  Program Change ch 1 program 5\n"), std::string::npos)
      << text.str();
  const auto log = nlohmann::json::parse(plughost::json_log(run));
  std::vector<std::string> sent;
  for (const auto& e : log["events"]) {
    if (e["type"] == "midi") sent.push_back(e.value("midi", std::string("(no \"midi\")")));
  }
  EXPECT_EQ(sent, (std::vector<std::string>{"90 3C 64", "C0 05"})) << log["events"].dump();
}

// Status values are numbers; what they mean is said once, where they show.
TEST(RunLogStatus, MeaningOfTheValuesIsGivenOnce) {
  plughost::PatchRun run = plughost::load_patch(
      R"({"length": 8, "block_size": 4, "modules": [{"name": "d", "library": ")" +
          plughost::testing::plugin("Divara_v3") + R"("}],
          "signals": [{"to": "d.Gate In", "samples": [1, 1, 0, 0]}]})",
      ".");
  run.engine->run(run.length);
  ASSERT_FALSE(run.engine->output_events().empty());
  std::ostringstream text;
  plughost::write_text_log(text, run);
  const std::string log = text.str();
  const size_t legend = log.find(std::string(plughost::kStatusLegend) + "\n");
  ASSERT_NE(legend, std::string::npos) << log;
  EXPECT_EQ(log.find(plughost::kStatusLegend, legend + 1), std::string::npos) << log;
  EXPECT_NE(log.find("  status 1\n"), std::string::npos) << log;
  EXPECT_EQ(nlohmann::json::parse(plughost::json_log(run))["status_values"],
            plughost::kStatusLegend);
}

}  // namespace
