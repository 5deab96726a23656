// Patch files with mistakes a person makes: misspelt keys, events after the
// end, choices off a pin's list, JSON that does not parse. Each is refused
// with one message that says where the mistake is and what was meant.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "plughost/host_error.h"
#include "plughost/patch.h"
#include "plughost_testing.h"

namespace {

using plughost::testing::plugin;

using plughost::testing::error_of;

// A patch of one Forka named "sel" and one Divara_v3 named "div", 64
// samples long, with `more` added to its top-level object.
std::string with(const std::string& more, const std::string& sel_extra = "") {
  return R"({"length": 64, "modules": [{"name": "sel", "library": ")" + plugin("Forka") + "\"" +
         sel_extra + R"(}, {"name": "div", "library": ")" + plugin("Divara_v3") + R"("}])" + more +
         "}";
}

struct Case {
  std::string patch;
  std::string message;  // the whole message
};

void expect_messages(const Case* begin, const Case* end) {
  for (const Case* c = begin; c != end; ++c) {
    EXPECT_EQ(error_of(c->patch), c->message) << "patch: " << c->patch;
  }
}

TEST(PatchMistakes, UnknownKeysAtEveryLevelNameTheKeyThePlaceAndTheNearestKnownKey) {
  const Case cases[] = {
      {R"({"length": 64, "sampel_rate": 96000, "modules": []})",
       "unknown key \"sampel_rate\" in the patch; did you mean \"sample_rate\"?"},
      {R"({"Length": 64})", "unknown key \"Length\" in the patch; did you mean \"length\"?"},
      {with(R"(, "recrod": ["div.Gate Low Out"])"),
       "unknown key \"recrod\" in the patch; did you mean \"record\"?"},
      {with("", R"(, "pin": {"Choice": 1})"),
       "unknown key \"pin\" in modules[0]; did you mean \"pins\"?"},
      {with(R"(, "events": [{"time": 1, "to": "sel.Choice", "vlaue": 1}])"),
       "unknown key \"vlaue\" in events[0]; did you mean \"value\"?"},
      {with(R"(, "connections": [{"from": "sel.MIDI Out1", "too": "sel.MIDI In"}])"),
       "unknown key \"too\" in connections[0]; did you mean \"to\"?"},
      {with(R"(, "signals": [{"to": "div.Gate In", "sample": [1]}])"),
       "unknown key \"sample\" in signals[0]; did you mean \"samples\"?"},
      {with(R"(, "signals": [{"to": "div.Gate In", "points": [{"at": 1, "value": 1},
                                                              {"at": 2, "rampto": 0}]}])"),
       "unknown key \"rampto\" in signals[0].points[1]; did you mean \"ramp_to\"?"},
      {with(R"(, "typing": [{"time": 1, "modul": "sel", "text": "x"}])"),
       "unknown key \"modul\" in typing[0]; did you mean \"module\"?"},
      {with(R"(, "gestures": [{"module": "sel", "action": []}])"),
       "unknown key \"action\" in gestures[0]; did you mean \"actions\"?"},
      // Nothing near: the keys that belong there are listed.
      {with(R"(, "events": [{"time": 1, "to": "sel.Choice", "value": 1, "comment": "x"}])"),
       "unknown key \"comment\" in events[0] (known keys: \"time\", \"to\", \"midi\", \"value\", "
       "\"text\", \"status\")"},
      // Pin names: a typo names the nearest pin.
      {with("", R"(, "pins": {"Chioce": 1})"),
       "modules[0].pins: module \"sel\" has no pin \"Chioce\"; did you mean \"Choice\"?"},
      {with(R"(, "events": [{"time": 1, "to": "sel.MIDI in", "midi": "90 3C 64"}])"),
       "events[0].to: module \"sel\" has no pin \"MIDI in\"; did you mean \"MIDI In\"?"},
  };
  expect_messages(std::begin(cases), std::end(cases));
}

TEST(PatchMistakes, OneEntryGivingTwoMeaningsIsRefused) {
  const Case cases[] = {
      {with(R"(, "events": [{"time": 1, "to": "sel.Choice", "value": 1, "text": "on"}])"),
       "events[0]: an event has one of \"midi\", \"value\", \"text\" or \"status\"; this one has "
       "\"value\" and \"text\""},
      {with(R"(, "signals": [{"to": "div.Gate In", "points": [{"at": 1, "value": 1,
                                                               "ramp_to": 0, "until": 9}]}])"),
       "signals[0].points[0]: a point has one of \"value\" or \"ramp_to\"; this one has \"value\" "
       "and \"ramp_to\""},
      {with(
           R"(, "signals": [{"to": "div.Gate In", "points": [{"at": 1, "value": 1, "until": 9}]}])"),
       "signals[0].points[0]: \"until\" goes with \"ramp_to\""},
      {with(R"(, "signals": [{"to": "div.Gate In", "at": 5, "points": []}])"),
       "signals[0]: \"at\" goes with \"samples\" (each point has its own)"},
  };
  expect_messages(std::begin(cases), std::end(cases));
}

// Everything that is to happen during the run happens at clocks 0 to
// length - 1; later, it used to be dropped without a word.
TEST(PatchMistakes, WhatWouldHappenAfterTheEndIsRefused) {
  const Case cases[] = {
      {with(R"(, "events": [{"time": 64, "to": "sel.Choice", "value": 1}])"),
       "events[0].time: 64 is not before the patch's end (\"length\" 64: clocks 0 to 63)"},
      {with(R"(, "typing": [{"time": 100, "module": "sel", "text": "x"}])"),
       "typing[0].time: 100 is not before the patch's end (\"length\" 64: clocks 0 to 63)"},
      // Typing waits for the next block start (blocks of 64 here).
      {with(R"(, "typing": [{"time": 1, "module": "sel", "text": "x"}])"),
       "typing[0].time: 1 is typed at the block start 64, not before the patch's end (\"length\" "
       "64)"},
      {with(R"(, "signals": [{"to": "div.Gate In", "points": [{"at": 64, "value": 1}]}])"),
       "signals[0].points[0].at: 64 is not before the patch's end (\"length\" 64: clocks 0 to "
       "63)"},
      {with(R"(, "signals": [{"to": "div.Gate In", "at": 70, "samples": [1]}])"),
       "signals[0].at: 70 is not before the patch's end (\"length\" 64: clocks 0 to 63)"},
  };
  expect_messages(std::begin(cases), std::end(cases));

  // The last clock is in the run, and what happens there is delivered; a
  // ramp may go on past the end.
  plughost::PatchRun run = plughost::load_patch(
      with(R"(, "events": [{"time": 63, "to": "sel.MIDI In", "midi": "90 3C 64"}],
               "signals": [{"to": "div.Gate In", "points": [{"at": 0, "ramp_to": 1, "until": 900}]}])"),
      ".");
  run.engine->run(run.length);
  const auto sent = plughost::testing::sent_on(*run.engine, "sel", "MIDI Out1");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].first, 63u);
}

TEST(PatchMistakes, ChoiceValuesOffThePinsListAreRefused) {
  const std::string kurvo = plugin("Kurvo");
  const Case cases[] = {
      {with("", R"(, "pins": {"Choice": 5})"),
       "modules[0].pins.Choice: 5 is not on the list of module \"sel\" pin \"Choice\": \"on\" (1), "
       "\"off\" (0)"},
      {with("", R"(, "pins": {"Choice": "maybe"})"),
       "modules[0].pins.Choice: \"maybe\" is not on the list of module \"sel\" pin \"Choice\": "
       "\"on\" (1), \"off\" (0)"},
      {with(R"(, "events": [{"time": 1, "to": "sel.Choice", "value": 2}])"),
       "events[0].value: 2 is not on the list of module \"sel\" pin \"Choice\": \"on\" (1), "
       "\"off\" (0)"},
      // A long list is shown by its ends.
      {with(R"(, "events": [{"time": 1, "to": "div.Break Point", "value": 128}])"),
       "events[0].value: 128 is not on the list of module \"div\" pin \"Break Point\": \"C-1\" "
       "(0), \"C#-1\" (1), \"D-1\" (2), ..., \"F9\" (125), \"F#9\" (126), \"G9\" (127)"},
      {R"({"length": 64, "modules": [{"name": "k", "library": ")" + kurvo +
           R"(", "pins": {"Scale Padding": 31}}]})",
       "modules[0].pins.Scale Padding: 31 is not on the list of module \"k\" pin \"Scale "
       "Padding\": whole numbers from 0 to 30"},
      {R"({"length": 64, "modules": [{"name": "k", "library": ")" + kurvo +
           R"(", "pins": {"Scale Padding": 2.5}}]})",
       "modules[0].pins.Scale Padding: 2.5 is not on the list of module \"k\" pin \"Scale "
       "Padding\": whole numbers from 0 to 30"},
  };
  expect_messages(std::begin(cases), std::end(cases));

  // Every entry is taken by its name or its value, and a range's ends.
  EXPECT_EQ(error_of(with(R"(, "events": [{"time": 1, "to": "sel.Choice", "value": 0},
                                          {"time": 2, "to": "sel.Choice", "value": "on"},
                                          {"time": 3, "to": "div.Break Point", "value": "G9"}])",
                          R"(, "pins": {"Choice": 1})")),
            "(loaded)");
  EXPECT_EQ(error_of(R"({"length": 64, "modules": [{"name": "k", "library": ")" + kurvo +
                     R"(", "pins": {"Scale Padding": 30, "Line Width": "4", "Freeze Points": 5}},
                       {"name": "k2", "library": ")" +
                     kurvo + R"(", "pins": {"Scale Padding": 0, "Line Width": 3}}]})"),
            "(loaded)");
}

TEST(PatchMistakes, JsonSyntaxErrorsNameTheLineAndColumnInPlainWords) {
  const Case cases[] = {
      {"{\n  \"length\": 64,\n  \"modules\": [x]\n}",
       "line 3, column 15: unexpected x (texts are in double quotes; the words JSON knows are "
       "true, false and null)"},
      {R"({"length": tru})",
       "line 1, column 12: unexpected tru (texts are in double quotes; the words JSON knows are "
       "true, false and null)"},
      {"[1,\n 2,]", "line 2, column 4: a comma before ']' (JSON allows none after the last item)"},
      {R"({"a": 1 "b": 2})",
       "line 1, column 9: unexpected \"b\" (is a ',' or ':' missing before it?)"},
      {"{\"a\": \"b\nc\"}",
       "line 1, column 9: a line break or control character inside quotes (write a line break as "
       "\\n)"},
      {R"({"a": "\q"})",
       "line 1, column 8: \\q is no escape JSON knows (\\\" \\\\ \\/ \\b \\f \\n \\r \\t \\uXXXX)"},
      {"{'a': 1}", "line 1, column 2: JSON takes double quotes, not '"},
      {"// notes\n{}", "line 1, column 1: JSON has no comments"},
      {"{\"length\": 1e999}",
       "line 1, column 12: the number 1e999 is beyond the range of numbers (about 1.8e308)"},
      {"{\"a\": [1, 2\n",
       "line 2, column 1: the text ends before the JSON does (a closing '\"', "
       "']' or '}' is missing)"},
      {" \n", "line 2, column 1: the text is empty (a patch is a JSON object)"},
      // Columns count characters: "é" is two bytes and one column.
      {"{\"é\": x}",
       "line 1, column 7: unexpected x (texts are in double quotes; the words JSON knows are "
       "true, false and null)"},
  };
  expect_messages(std::begin(cases), std::end(cases));
}

TEST(PatchMistakes, JsonErrorsOfAFileBeginWithItsName) {
  namespace fs = std::filesystem;
  const std::string path = MALFORMED_PATCH;
  try {
    plughost::load_patch_file(path);
    ADD_FAILURE() << "loaded";
  } catch (const plughost::HostError& e) {
    EXPECT_EQ(std::string(e.what()), path + ": line 1, column 66: unexpected ']'");
  }
}

// "{temp}" at the start of a file name stands for the temporary folder, so
// a patch that writes a file names no folder of one machine.
TEST(PatchTempFolder, FileNamesBeginningWithTempLieInTheTemporaryFolder) {
  namespace fs = std::filesystem;
  const std::string probe = plugin("se_probe_2230");
  plughost::PatchRun run =
      plughost::load_patch(R"({"length": 64, "modules": [{"name": "p", "library": ")" + probe +
                               R"(", "pins": {"File": "{temp}/dump.syx"}},
            {"name": "q", "library": ")" +
                               probe + R"(", "pins": {"File": "{temp}"}},
            {"name": "g", "library": ")" +
                               plugin("se_gui_probe_2230") + R"(", "pins": {"Text": "{temp}/x"}}],
          "events": [{"time": 5, "to": "q.File", "text": "{temp}/sub/out.txt"}]})",
                           ".");
  const fs::path temp = fs::temp_directory_path();
  plughost::Instance& p = run.engine->instance("p");
  EXPECT_EQ(fs::path(p.pins()[p.pin_index("File")].text), temp / "dump.syx");
  plughost::Instance& q = run.engine->instance("q");
  EXPECT_EQ(fs::path(q.pins()[q.pin_index("File")].text), temp);
  run.engine->run(run.length);
  EXPECT_EQ(fs::path(q.pins()[q.pin_index("File")].text), temp / "sub" / "out.txt");
  // A text pin that names no file keeps its text as given.
  plughost::Instance& g = run.engine->instance("g");
  EXPECT_EQ(g.pins()[g.pin_index("Text")].text, "{temp}/x");

  EXPECT_EQ(error_of(R"({"length": 64, "modules": [{"name": "p", "library": ")" + probe +
                     R"(", "pins": {"File": "{tmp}/dump.syx"}}]})"),
            "modules[0].pins.File: unknown placeholder \"{tmp}\" (a file name may begin with "
            "\"{temp}/\", the temporary folder)");
  EXPECT_EQ(error_of(R"({"length": 64, "modules": [{"name": "p", "library": ")" + probe +
                     R"(", "pins": {"File": "{temp}dump.syx"}}]})"),
            "modules[0].pins.File: unknown placeholder \"{temp}\" (a file name may begin with "
            "\"{temp}/\", the temporary folder)");
}

}  // namespace
