// Byteloom's processing object through the host: its description and pins,
// the trigger rules, loading, saving with the extension rules, and the
// status lines, as the user sees them in the edit window and "Status Msg".
#include <memory>
#include <utility>

#include "byteloom_fixture.h"
#include "sysex/MidiPorts.h"

namespace byteloom_test {
namespace {

TEST_F(ByteloomTest, DescriptionAndPinsAsPatchesNameThem) {
  // The port pins list whatever ports this machine has when the instance is
  // made: taken from the MIDI service just before and just after, so that a
  // port that comes or goes meanwhile cannot make the test fail.
  const auto ports = [] {
    const std::unique_ptr<byteloom::MidiService> midi = byteloom::createMidiService();
    return midi ? std::pair(midi->inputs().listText(), midi->outputs().listText())
                : std::pair(std::string(), std::string());
  };
  const auto before = ports();
  Instance& b = add("b");
  const auto after = ports();
  const SEModuleProperties& p = b.library().properties();
  EXPECT_STREQ(p.name, "Byteloom");
  EXPECT_STREQ(p.id, "Vantro Byteloom");
  EXPECT_EQ(std::string(p.about).rfind("Byteloom V0.7 beta\n", 0), 0u);
  EXPECT_EQ(p.flags, 384);
  EXPECT_EQ(p.sdk_revision, 2020);
  const struct {
    const char* name;
    int datatype, flags;
    const char* extra;
  } expected[] = {
      {"MIDI In Port", DT_CHOICE, 0, nullptr},  // the machine's ports, checked below
      {"MIDI Out Port", DT_CHOICE, 0, nullptr}, {"File", DT_STRING, IO_FILE_NAME, "txt;*.syx"},
      {"Reload", DT_CHOICE, 0, "no,yes"},       {"Autoload", DT_CHOICE, 0, "Off,On"},
      {"Save as .txt", DT_CHOICE, 0, "no,yes"}, {"Save as .syx", DT_CHOICE, 0, "no,yes"},
      {"Send", DT_CHOICE, 0, "no,yes"},         {"Receive", DT_CHOICE, 0, "no,yes"},
      {"Clear", DT_CHOICE, 0, "no,yes"},        {"Status Msg", DT_STRING, IO_UI_COMMUNICATION, ""},
  };
  ASSERT_EQ(b.pins().size(), std::size(expected));
  for (size_t k = 0; k < std::size(expected); ++k) {
    const auto& pin = b.pins()[k];
    EXPECT_EQ(pin.name, expected[k].name);
    EXPECT_EQ(pin.direction, DR_IN) << pin.name;
    EXPECT_EQ(pin.datatype, expected[k].datatype) << pin.name;
    EXPECT_EQ(pin.flags, expected[k].flags) << pin.name;
    if (expected[k].extra) {
      EXPECT_EQ(pin.list_text, expected[k].extra) << pin.name;
    }
    EXPECT_EQ(pin.default_text, pin.datatype == DT_CHOICE ? "0" : "") << pin.name;
  }
  const std::string& inputs = b.pins()[kMidiInPort].list_text;
  const std::string& outputs = b.pins()[kMidiOutPort].list_text;
  EXPECT_TRUE(inputs == before.first || inputs == after.first) << inputs;
  EXPECT_TRUE(outputs == before.second || outputs == after.second) << outputs;
  // The editor's panel and its set-up calls.
  EXPECT_EQ(b.gui()->panel_width(), 100);
  EXPECT_EQ(b.gui()->panel_height(), 100);
  EXPECT_EQ(b.gui()->setup_calls(), (std::vector<std::pair<int, int>>{{13, 2}, {11, 1}, {4, 1}}));
}

TEST_F(ByteloomTest, LoadShowsRawAndTextFilesAndCountsTheirBytes) {
  Instance& b = add("b");
  openWindow(b);
  settle();
  EXPECT_EQ(status(b), "0 bytes loaded");  // the reset of opening

  writeBytes(path("inquiry.syx"), kInquiry);
  setFile(b, "inquiry.syx");
  reload(b);
  EXPECT_EQ(windowText(b), "F0 7E 7F 06 01 F7 ");
  EXPECT_EQ(status(b), "6 bytes loaded");

  // A text file is shown as it stands, its line ends made spaces.
  writeBytes(path("dump.txt"), "F0 01\r\n02 F7\r\n");
  setFile(b, "dump.txt");
  reload(b);
  EXPECT_EQ(windowText(b), "F0 01 02 F7");
  EXPECT_EQ(status(b), "4 bytes loaded");

  // An empty file and a missing one reset the editor.
  writeBytes(path("empty.syx"), "");
  setFile(b, "empty.syx");
  reload(b);
  EXPECT_EQ(windowText(b), "");
  EXPECT_EQ(status(b), "0 bytes loaded");
  setFile(b, "inquiry.syx");
  reload(b);
  setFile(b, "missing.syx");
  reload(b);
  EXPECT_EQ(windowText(b), "");
  EXPECT_EQ(status(b), "0 bytes loaded");
}

TEST_F(ByteloomTest, FileLoadsOnlyWithAutoloadAndReloadLoadsOnEveryChange) {
  Instance& b = add("b");
  openWindow(b);
  writeBytes(path("a.syx"), "\xF0\x01\xF7");
  writeBytes(path("b.syx"), "\xF0\x02\xF7");
  setFile(b, "a.syx");  // Autoload off: only the path
  EXPECT_EQ(windowText(b), "");
  reload(b);  // to "yes"
  EXPECT_EQ(windowText(b), "F0 01 F7 ");
  SetWindowTextA(edit(b), "");
  reload(b);  // back to "no" loads again
  EXPECT_EQ(windowText(b), "F0 01 F7 ");

  choose(b, kAutoload, 1);
  EXPECT_EQ(windowText(b), "F0 01 F7 ");  // Autoload itself loads nothing
  setFile(b, "b.syx");
  EXPECT_EQ(windowText(b), "F0 02 F7 ");
  EXPECT_EQ(status(b), "3 bytes loaded");

  // Pins that start nothing.
  SetWindowTextA(edit(b), "kept");
  for (int pin : {kMidiInPort, kAutoload, kReceive, kMidiOutPort, kSend}) choose(b, pin, 1);
  EXPECT_EQ(windowText(b), "kept");
  EXPECT_EQ(status(b), "3 bytes loaded");
  EXPECT_TRUE(fs::exists(path("b.syx")));
}

TEST_F(ByteloomTest, SaveWritesTheFormatOfItsPinBesideTheLoadedFile) {
  Instance& b = add("b");
  openWindow(b);
  writeBytes(path("dump.syx"), kInquiry);
  setFile(b, "dump.syx");
  reload(b);

  save(b, kSaveAsTxt);
  EXPECT_EQ(readText(path("dump.txt")), "F0 7E 7F 06 01 F7\r\n");
  EXPECT_EQ(status(b), "6 MIDI bytes saved as text");
  EXPECT_EQ(readText(path("dump.syx")), kInquiry);  // the loaded file stays
  // Reload resolves the "File" pin again: the loaded file comes back.
  SetWindowTextA(edit(b), "");
  reload(b);
  EXPECT_EQ(windowText(b), "F0 7E 7F 06 01 F7 ");
  save(b, kSaveAsTxt);

  // Typed edits are what is saved; the next save starts from the path just
  // saved (dump.txt) and writes dump.syx.
  fs::remove(path("dump.syx"));
  platform::type_text(edit(b), "42");
  save(b, kSaveAsSyx);
  EXPECT_EQ(readText(path("dump.syx")), kInquiry + "\x42");
  EXPECT_EQ(status(b), "7 MIDI bytes saved as raw data");

  // Both save pins on: neither asks for a save.
  fs::remove(path("dump.syx"));
  choose(b, kSaveAsTxt, 1);
  EXPECT_EQ(status(b), "7 MIDI bytes saved as text");
  choose(b, kSaveAsSyx, 1);
  choose(b, kSaveAsTxt, 0);
  choose(b, kSaveAsTxt, 1);
  EXPECT_FALSE(fs::exists(path("dump.syx")));
  EXPECT_EQ(status(b), "7 MIDI bytes saved as text");
}

TEST_F(ByteloomTest, SaveExtensionRules) {
  Instance& b = add("b");
  openWindow(b);
  fs::create_directories(path("my.folder"));
  const struct {
    const char* file;
    int pin;
    const char* saved;
  } cases[] = {
      {"upper.TXT", kSaveAsTxt, "upper.txt"},        // not exactly ".txt"
      {"dump.txt.bak", kSaveAsTxt, "dump.txt.txt"},  // only the last extension
      {"nodot", kSaveAsTxt, "nodot.txt"},            // appended
      {"my.folder/nodot", kSaveAsSyx, "my.folder/nodot.syx"},
      {"my.folder/two.parts.syx", kSaveAsSyx, "my.folder/two.parts.syx"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    setFile(b, c.file);
    SetWindowTextA(edit(b), "F0 01 F7");
    save(b, c.pin);
    EXPECT_EQ(readText(path(c.saved)), c.pin == kSaveAsTxt ? "F0 01 F7\r\n" : "\xF0\x01\xF7");
  }
}

TEST_F(ByteloomTest, ClearEmptiesWindowAndStatusOnly) {
  Instance& b = add("b");
  openWindow(b);
  writeBytes(path("dump.syx"), kInquiry);
  setFile(b, "dump.syx");
  reload(b);
  choose(b, kClear, 1);
  EXPECT_EQ(windowText(b), "");
  EXPECT_EQ(status(b), "0 bytes loaded");
  choose(b, kClear, 0);  // releasing the button does nothing
  // The empty window is what a save then finds: nothing is written.
  save(b, kSaveAsSyx);
  EXPECT_EQ(readText(path("dump.syx")), kInquiry);
  EXPECT_EQ(status(b), "0 bytes loaded");
}

}  // namespace
}  // namespace byteloom_test

namespace byteloom_test {
namespace {

// No MIDI service with ports (Wine's DirectMusic fails SetDirectSound; no
// MIDI server on a plain Linux machine): nothing is listed, choosing an
// output opens nothing, and "Send" neither sends nor claims to have sent.
TEST_F(ByteloomTest, WithoutPortsSendClaimsNothingSent) {
  Instance& b = add("b");
  openWindow(b);
  if (!b.pins()[kMidiOutPort].list_text.empty())
    GTEST_SKIP() << "this machine has MIDI ports: " << b.pins()[kMidiOutPort].list_text;
  EXPECT_EQ(b.pins()[kMidiInPort].list_text, "");
  choose(b, kMidiOutPort, 0);
  writeBytes(path("inquiry.syx"), kInquiry);
  setFile(b, "inquiry.syx");
  reload(b);
  choose(b, kSend, 1);
  choose(b, kSend, 0);
  EXPECT_EQ(status(b), "6 bytes loaded");
}

}  // namespace
}  // namespace byteloom_test
