// plughost show without its windows: timed gestures in patches, the live
// log written in pieces, the keystrokes that reproduce a person's edit, and
// a session's recording, which run must end as the session did.
#include "show/show_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "platform/win32.h"
#include "platform/window_host.h"
#include "plughost/host_error.h"
#include "plughost/patch.h"
#include "plughost/report.h"
#include "plughost_testing.h"
#include "se_sdk2/gui_opcodes.h"

namespace {

using plughost::testing::error_of;
using plughost::testing::plugin;
namespace fs = std::filesystem;

const std::string kKurvo =
    R"({"name": "curve", "library": ")" + plugin("Kurvo") +
    R"x(", "panel": [400, 200], "pins": {"nodes": "(0.0,5.0)(5.0,8.0)(10.0,5.0)"}})x";

// The texts a module's panel wrote to one pin, with their clocks.
std::vector<std::pair<uint32_t, std::string>> texts_of(const plughost::Engine& engine,
                                                       const std::string& pin) {
  std::vector<std::pair<uint32_t, std::string>> texts;
  for (const plughost::PanelText& t : engine.panel_texts()) {
    if (t.pin == pin) texts.emplace_back(t.clock, t.text);
  }
  return texts;
}

TEST(TimedGestures, PlayDuringTheRunAtTheFirstBlockStartAtOrAfterTheirTime) {
  plughost::PatchRun run = plughost::load_patch(
      R"({"length": 256, "gui_notify": "every_write", "modules": [)" + kKurvo + R"(],
          "gestures": [{"module": "curve", "actions": [
            {"down": [200, 40], "flags": 1, "time": 70}, {"move": [215, 50], "flags": 1, "time": 70},
            {"up": [215, 50], "time": 150}]}]})",
      ".");
  EXPECT_TRUE(run.gestures.empty());  // nothing left for paint to play after the run
  run.engine->run(run.length);
  const auto nodes = texts_of(*run.engine, "nodes");
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0].first, 128u);  // 70 plays at the block start 128
  EXPECT_EQ(nodes[0].second, "(0.00000,5.00000)(5.37500,7.50000)(10.00000,5.00000)");
}

TEST(TimedGestures, MistakesAreToldWithTheAction) {
  const std::string head = R"({"length": 128, "modules": [)" + kKurvo + R"(], "gestures": )";
  EXPECT_EQ(error_of(head + R"([{"module": "curve", "actions": [
                {"down": [1, 1], "time": 0}, {"up": [1, 1]}]}]})"),
            "gestures[0].actions[1]: give every action of a gesture a \"time\", or none");
  EXPECT_EQ(error_of(head + R"([{"module": "curve", "actions": [
                {"down": [1, 1], "time": 5}, {"up": [1, 1], "time": 4}]}]})"),
            "gestures[0].actions[1].time: 4 comes before the action before it (5)");
  EXPECT_EQ(error_of(head + R"([{"module": "curve", "actions": [{"down": [1, 1], "time": 65}]}]})"),
            "gestures[0].actions[0].time: 65 is played at the block start 128, not before the "
            "patch's end (\"length\" 128)");
  EXPECT_EQ(
      error_of(head + R"([{"module": "curve", "actions": [{"down": [1, 1], "time": 128}]}]})"),
      "gestures[0].actions[0].time: 128 is not before the patch's end (\"length\" 128: clocks "
      "0 to 127)");
}

// The live log, written a piece at a time while a person's mouse acts
// between blocks, has the lines of the log written at the end, in its
// order: at one clock, what the outputs sent before what the panels wrote.
TEST(LiveLog, WrittenInPiecesEqualsTheLogWrittenAtTheEnd) {
  plughost::PatchRun run = plughost::load_patch(
      R"({"length": 256, "gui_notify": "every_write",
          "modules": [{"name": "sel", "library": ")" +
          plugin("Forka") + R"("}, )" + kKurvo + R"(],
          "events": [{"time": 64, "to": "sel.MIDI In", "midi": "90 3C 64"},
                     {"time": 128, "to": "sel.MIDI In", "midi": "80 3C 00"}]})",
      ".");
  plughost::Engine& engine = *run.engine;
  plughost::GuiSide& panel = *engine.instance("curve").gui();
  std::ostringstream live;
  plughost::TextLog log(live, engine);
  log.heading(false);
  const int actions[][4] = {{se::kGuiButtonDown, 200, 40, 1},
                            {se::kGuiMouseMove, 210, 45, 1},
                            {se::kGuiButtonUp, 210, 45, 0}};
  engine.run(64);
  for (const auto& a : actions) {
    // As show does: between blocks, at the clock the next block starts.
    panel.mouse(a[0], a[1], a[2], a[3]);
    log.timeline_before(engine.clock());
    engine.run(64);
    log.timeline_before(engine.clock());
  }
  engine.run(64);
  log.finish(run);
  std::ostringstream whole;
  plughost::write_text_log(whole, run);
  EXPECT_EQ(live.str(), whole.str());
  // The person's move and the note off came at one clock.
  EXPECT_NE(whole.str().find("      128  sel.MIDI Out1"), std::string::npos) << whole.str();
  EXPECT_NE(whole.str().find("      128  curve.nodes"), std::string::npos) << whole.str();
}

#ifndef _WIN32
// Typing keystrokes_between(before, after) into an edit window of the
// platform layer that holds `before` leaves `after` in it.
TEST(ShowKeystrokes, TurnAnEditWindowsTextIntoThePersonsText) {
  const struct {
    const char* before;
    const char* after;
    const char* keys;
  } cases[] = {
      {"", "F0 7E", "F0 7E"},
      {"F0 7E", "F0 7E 7F", " 7F"},
      {"F0 7E 7F", "F0 7E", "\b\b\b"},
      {"F0 7E 7F", "F0 11 7F", "\b\b\b\b\b11 7F"},  // an edit in the middle
      {"F0\r\nF7", "F0F7", "\b\b\bF7"},             // a line break is one Backspace
      {"F0\r\n", "F0\r\nF7", "F7"},
      {"F0\r\nF7", "F0\r\n\r\nF7", "\b\b\nF7"},
      {"F0\rx", "F0\r\nx", "\b\b\nx"},  // never half a line break
      {"same", "same", ""},
  };
  HWND panel = platform::create_panel_window(200, 100, "keys");
  for (const auto& c : cases) {
    const std::string keys = plughost::show::keystrokes_between(c.before, c.after);
    EXPECT_EQ(keys, c.keys) << "from \"" << c.before << "\" to \"" << c.after << "\"";
    HWND edit = CreateWindowExA(0, "edit", c.before, WS_CHILD | ES_MULTILINE, 0, 0, 100, 50, panel,
                                nullptr, nullptr, nullptr);
    platform::type_text(edit, keys);
    EXPECT_EQ(platform::window_text(edit), c.after) << "from \"" << c.before << "\"";
    DestroyWindow(edit);
  }
  platform::destroy_window(panel);
}
#endif

// A session without windows (its front end's calls made by the test):
// what the person did is in the recording, and run of the recording ends
// as the session did, whatever the wall clock did meanwhile.
class ShowSession : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("show_session_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string write(const std::string& name, const std::string& text) {
    const std::string path = (folder_ / name).string();
    std::ofstream(path) << text;
    return path;
  }
  static std::string log_of(plughost::PatchRun& run) {
    run.engine->run(run.length);
    std::ostringstream log;
    plughost::write_text_log(log, run);
    return log.str();
  }
  // The session's log from the heading on, without the recording's line.
  static std::string body_of(const std::string& log) {
    std::string body = log.substr(log.find("clock "));
    return body.substr(0, body.find("plughost: recorded"));
  }
  fs::path folder_;
};

TEST_F(ShowSession, RecordsMouseTypingAndPinsAndRunOfTheRecordingEndsAlike) {
#ifdef _WIN32
  GTEST_SKIP() << "typing into a real edit control needs the Win32 front end's message loop";
#else
  const std::string patch = write("session.json", R"({"length": 64, "gui_notify": "every_write",
      "modules": [)" + kKurvo + R"(, {"name": "tool", "library": ")" +
                                                      plugin("Byteloom") + R"("}],
      "events": [{"time": 0, "to": "tool.Save as .txt", "value": "no"},
                 {"time": 63, "to": "tool.Save as .syx", "value": "no"}]})");
  const std::string saved = (folder_ / "typed.txt").string();
  plughost::show::Options options{patch, "", (folder_ / "recorded.json").string()};
  std::ostringstream live;
  {
    plughost::show::Session session(options, live);
    ASSERT_EQ(session.panels().size(), 2u);
    plughost::show::Panel& curve = session.panels()[0];
    plughost::show::Panel& tool = session.panels()[1];
    for (auto& p : session.panels()) session.open_panel(p, nullptr);
    // A person acts after the first blocks, in which Byteloom empties its
    // window (its status line is then in the log).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (live.str().find("tool.Status Msg") == std::string::npos) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no block ran within 10 s";
      session.advance();
    }
    session.mouse(curve, se::kGuiButtonDown, 200, 40, 1);
    session.advance();
    session.mouse(curve, se::kGuiMouseMove, 215, 50, 1);
    session.mouse(curve, se::kGuiButtonUp, 215, 50, 0);
    ASSERT_EQ(session.refresh_edits(tool).size(), 1u);
    plughost::show::EditBinding& edit = tool.edits[0];
    EXPECT_EQ(session.edit_typed(tool, edit, "F0 7E 7F"), "F0 7E 7F");
    session.advance();
    // Control characters an edit window does not take leave the field too.
    EXPECT_EQ(session.edit_typed(tool, edit, "F0 11\x01 7F\r\nF7"), "F0 11 7F\r\nF7");
    std::ostringstream errors;
    session.command("tool.File = 42", errors);  // a text, not a number
    session.command("tool.File = " + saved, errors);
    session.command("tool.Save as .txt = yes", errors);
    session.command("tool.Nothing = 1", errors);
    session.command("no equals sign", errors);
    EXPECT_NE(errors.str().find("plughost: tool.Nothing: module \"tool\" has no pin"),
              std::string::npos)
        << errors.str();
    EXPECT_NE(errors.str().find("set a pin as module.pin = value"), std::string::npos);
    // The save happens in the block the command's event falls in, and its
    // status after the GUI side has heard of it.
    while (live.str().find("MIDI bytes saved as text") == std::string::npos) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no save within 10 s:\n"
                                                            << live.str();
      session.advance();
    }
    session.finish();
  }
  EXPECT_NE(live.str().find("text \"4 MIDI bytes saved as text\""), std::string::npos)
      << live.str();

  const nlohmann::json recorded = nlohmann::json::parse(std::ifstream(options.record_path));
  EXPECT_EQ(recorded["modules"][0]["window"], "open");
  EXPECT_EQ(recorded["gestures"][0]["actions"].size(), 3u);
  std::string keys;  // one typing entry per block the person typed in
  for (const auto& typing : recorded["typing"]) keys += typing["text"].get<std::string>();
  EXPECT_EQ(keys, "F0 7E 7F\b\b\b\b\b11 7F\nF7");
  EXPECT_EQ(recorded["events"].size(), 5u);  // the patch's two and the three commands that worked
  EXPECT_EQ(recorded["events"][2]["text"], "42");
  EXPECT_EQ(recorded["events"][0]["time"], 0);
  fs::remove(saved);
  plughost::PatchRun replay = plughost::load_patch_file(options.record_path);
  EXPECT_EQ(body_of(log_of(replay)), body_of(live.str()));
  std::ifstream text(saved);
  std::string line;
  std::getline(text, line);
  EXPECT_NE(line.find("F0 11 7F"), std::string::npos) << line;
#endif
}

TEST_F(ShowSession, ARecordingLeavesOutWhatTheSessionNeverReached) {
  // Closed before the patch's end: events, typing and timed gestures at or
  // after the session's end, and untimed gestures (paint's), are left out.
  const std::string patch = write("long.json", R"({"length": 441000, "modules": [)" + kKurvo +
                                                   R"(],
      "events": [{"time": 0, "to": "curve.Line Width", "value": 2},
                 {"time": 440000, "to": "curve.Line Width", "value": 3}],
      "gestures": [{"module": "curve", "actions": [{"down": [1, 1]}]},
                   {"module": "curve", "actions": [{"down": [1, 1], "time": 440000}]}]})");
  plughost::show::Options options{patch, "curve", (folder_ / "short.json").string()};
  std::ostringstream live;
  {
    plughost::show::Session session(options, live);
    session.open_panel(session.panels()[0], nullptr);
    // Until the first block has run (its lines are in the log).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (live.str().find("curve.X Array Out") == std::string::npos) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no block ran within 10 s";
      session.advance();
    }
    session.finish();
  }
  const nlohmann::json recorded = nlohmann::json::parse(std::ifstream(options.record_path));
  EXPECT_LT(recorded["length"].get<uint32_t>(), 440000u);
  EXPECT_EQ(recorded["events"].size(), 1u);
  EXPECT_TRUE(recorded["gestures"].empty());
  EXPECT_NO_THROW(plughost::load_patch_file(options.record_path));
}

TEST_F(ShowSession, RefusesWhatItCannotShowOrRecord) {
  const std::string patch = write("forka.json", R"({"length": 64, "modules": [
      {"name": "sel", "library": ")" + plugin("Forka") +
                                                    R"("}, )" + kKurvo + "]}");
  std::ostringstream live;
  try {
    plughost::show::Session session({patch, "sel", ""}, live);
    FAIL() << "a module without a panel was shown";
  } catch (const plughost::HostError& e) {
    EXPECT_STREQ(e.what(), "module \"sel\" has no panel");
  }
  EXPECT_THROW(plughost::show::Session({patch, "nobody", ""}, live), plughost::HostError);
  // A recording that cannot be written is told before any window opens.
  const std::string nowhere = (folder_ / "missing" / "session.json").string();
  try {
    plughost::show::Session session({patch, "curve", nowhere}, live);
    FAIL() << "a session started that cannot be recorded";
  } catch (const plughost::HostError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("cannot write " + nowhere, 0), 0u) << e.what();
  }
}

}  // namespace
