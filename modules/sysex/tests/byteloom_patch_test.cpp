// Byteloom in patch files as plughost runs them: the example patch that
// turns a shared SysEx file into a hex dump, and text typed into the edit
// window by a patch, then saved.
#include <regex>
#include <sstream>

#include "byteloom_fixture.h"
#include "plughost/host_error.h"
#include "plughost/patch.h"
#include "sysex/ByteloomBytes.h"

namespace byteloom_test {
namespace {

std::string patchText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// JSON text for a path (backslashes of Windows paths escaped).
std::string jsonPath(const fs::path& path) {
  std::string out;
  for (char c : path.string()) {
    if (c == '\\') out += '\\';
    out += c;
  }
  return out;
}

TEST_F(ByteloomTest, ExamplePatchSavesASharedFileAsText) {
  const fs::path sample = fs::path(BYTELOOM_SAMPLE_DIR) / "korg_dvp1_patch.syx";
  if (!fs::exists(sample)) GTEST_SKIP() << "sample " << sample << " is absent";
  // The example, its output sent to this test's folder instead of the
  // temporary folder.
  std::string text = patchText(BYTELOOM_EXAMPLES_DIR "/byteloom_text_dump.json");
  const std::string output = jsonPath(path("korg_dvp1_patch.txt"));
  text = std::regex_replace(text, std::regex("\"\\{temp\\}/korg_dvp1_patch\\.txt\""),
                            "\"" + output + "\"");
  ASSERT_NE(text.find(output), std::string::npos) << "the example saves no korg_dvp1_patch.txt";
  plughost::PatchRun run = plughost::load_patch(text, BYTELOOM_EXAMPLES_DIR);
  run.engine->run(run.length);

  const Bytes bytes = readBytes(sample);
  EXPECT_EQ(readText(path("korg_dvp1_patch.txt")), byteloom::formatTextDump(bytes));
  Instance& tool = run.engine->instance("tool");
  EXPECT_EQ(status(tool), "30 MIDI bytes saved as text");
}

TEST_F(ByteloomTest, TextTypedByAPatchIsWhatIsSaved) {
  const std::string patch = R"({
    "length": 3200,
    "modules": [{"name": "tool", "library": ")" +
                            jsonPath(plughost::testing::plugin("Byteloom")) + R"(",
                 "pins": {"File": "typed.syx"}, "window": "open"}],
    "events": [{"time": 600, "to": "tool.Reload", "value": "yes"},
               {"time": 1900, "to": "tool.Save as .syx", "value": "yes"}],
    "typing": [{"time": 1280, "module": "tool", "text": "F0 7E 7F\n06 01\n"},
               {"time": 1300, "module": "tool", "text": "F7"}]
  })";
  writeBytes(path("typed.syx"), "\xF0\x42\xF7");
  plughost::PatchRun run = plughost::load_patch(patch, dir_.string());
  run.engine->run(run.length);
  Instance& tool = run.engine->instance("tool");
  EXPECT_EQ(windowText(tool), "F0 42 F7 F0 7E 7F\r\n06 01\r\nF7");
  EXPECT_EQ(readBytes(path("typed.syx")),
            (Bytes{0xF0, 0x42, 0xF7, 0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
  EXPECT_EQ(status(tool), "9 MIDI bytes saved as raw data");

  // Typing needs an edit window.
  const std::string closed = R"({"length": 64, "modules": [{"name": "t", "library": ")" +
                             jsonPath(plughost::testing::plugin("Byteloom")) +
                             R"("}], "typing": [{"time": 0, "module": "t", "text": "x"}]})";
  plughost::PatchRun without = plughost::load_patch(closed, dir_.string());
  EXPECT_THROW(without.engine->run(64), plughost::HostError);
}

}  // namespace
}  // namespace byteloom_test
