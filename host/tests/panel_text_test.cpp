// What a run shows of the panels: texts the GUI objects write to their text
// pins (a status line) appear in the text and JSON logs with their clocks;
// and values a patch gives arrive as changes only when announced.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "plughost/patch.h"
#include "plughost/report.h"
#include "plughost_testing.h"
#include "se_sdk2/gui_opcodes.h"

namespace {

using plughost::testing::plugin;
using plughost::testing::take_reports;

// A command for the GUI probe's GUI object (GUI opcode 6).
void command(plughost::Instance& gui, std::string text) {
  gui.gui()->dispatch(se::kGuiDspMessage, static_cast<intptr_t>(text.size()), 0, text.data());
}

plughost::PatchRun gui_probe_patch(const std::string& notify) {
  return plughost::load_patch(R"({"length": 64, "gui_notify": ")" + notify +
                                  R"(", "modules": [{"name": "g", "library": ")" +
                                  plugin("se_gui_probe_2230") + R"("}]})",
                              ".");
}

std::string text_log(const plughost::PatchRun& run) {
  std::ostringstream out;
  plughost::write_text_log(out, run);
  return out.str();
}

TEST(PanelTexts, TextPinWritesAreLoggedWithTheirClockOncePerChange) {
  plughost::PatchRun run = gui_probe_patch("deferred");
  plughost::Instance& g = run.engine->instance("g");
  run.engine->run(64);
  command(g, "set_text 1 ready");
  command(g, "set_text 1 ready");  // unchanged: nothing new to show
  command(g, "set_int 0 7");       // a number pin: not a text
  run.engine->run(64);
  command(g, "set_text 1 two\tlines \"quoted\"");

  const std::string log = text_log(run);
  EXPECT_NE(log.find("\n       64  g.Text                    text \"ready\"\n"), std::string::npos)
      << log;
  EXPECT_NE(
      log.find("\n      128  g.Text                    text \"two\\tlines \\\"quoted\\\"\"\n"),
      std::string::npos)
      << log;
  EXPECT_NE(log.find("(no output events)"), std::string::npos) << log;
  EXPECT_NE(log.find("  g.Text (panel): 2 texts, last \"two\\tlines \\\"quoted\\\"\"\n"),
            std::string::npos)
      << log;

  const auto json = nlohmann::json::parse(plughost::json_log(run));
  const nlohmann::json expected = {
      {{"clock", 64}, {"module", "g"}, {"pin", "Text"}, {"text", "ready"}},
      {{"clock", 128}, {"module", "g"}, {"pin", "Text"}, {"text", "two\tlines \"quoted\""}}};
  EXPECT_EQ(json["panel_texts"], expected);
  EXPECT_TRUE(json["events"].empty());
}

TEST(PanelTexts, EveryWriteModeLogsRepeatsAndBadBytesStayPrintable) {
  plughost::PatchRun run = gui_probe_patch("every_write");
  plughost::Instance& g = run.engine->instance("g");
  command(g, "set_text 1 same");
  command(g, "set_text 1 same");
  command(g, "set_text 1 \xff");  // not UTF-8
  ASSERT_EQ(run.engine->panel_texts().size(), 3u);
  const auto json = nlohmann::json::parse(plughost::json_log(run));
  EXPECT_EQ(json["panel_texts"][2]["text"], "\xEF\xBF\xBD");  // U+FFFD
  EXPECT_NE(text_log(run).find("g.Text (panel): 3 texts, last \"\xEF\xBF\xBD\""),
            std::string::npos);
}

// The probe reports every pin status it hears of, through its messages to
// the GUI side.
std::vector<std::string> statuses_heard(bool announce) {
  plughost::PatchRun run = plughost::load_patch(
      R"({"length": 64, "modules": [{"name": "p", "library": ")" + plugin("se_probe_2230") +
          R"(", "announce": )" + (announce ? "true" : "false") +
          R"(, "pins": {"Level": 0.25, "File": "bank.syx"}}]})",
      ".");
  plughost::Instance& p = run.engine->instance("p");
  p.open();
  take_reports(p);
  run.engine->run(run.length);
  std::vector<std::string> heard;
  for (const std::string& r : take_reports(p)) {
    if (r.rfind("status ", 0) == 0) heard.push_back(r);
  }
  return heard;
}

TEST(Announce, GivenValuesArriveAsChangesAtClockZeroOnlyWhenAnnounced) {
  EXPECT_TRUE(statuses_heard(false).empty());
  // Level and File (processing-side pins 3 and 6: "Comm" has none there),
  // in pin order, each a one-shot change.
  const std::vector<std::string> expected = {"status pin=3 value=1", "status pin=6 value=1"};
  EXPECT_EQ(statuses_heard(true), expected);
}

TEST(Announce, MisspeltAnnounceIsRefused) {
  try {
    plughost::load_patch(R"({"length": 1, "modules": [{"name": "p", "library": ")" +
                             plugin("se_probe_2230") + R"(", "announce": "yes"}]})",
                         ".");
    ADD_FAILURE() << "loaded";
  } catch (const plughost::HostError& e) {
    EXPECT_NE(std::string(e.what()).find("modules[0].announce: expected true or false"),
              std::string::npos)
        << e.what();
  }
}

}  // namespace
