// The GUI object: its record, its dispatcher, pin handles, and the host's
// GUI side (pin values shared by both objects, byte blocks both ways,
// notices of pin changes).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/canvas.h"
#include "platform/window_host.h"
#include "plughost/panel.h"
#include "plughost/patch.h"
#include "plughost/plugin_library.h"
#include "probe_fixture.h"
#include "se_sdk2/gui_opcodes.h"

namespace {

using plughost::Engine;
using plughost::Instance;
using V = std::vector<std::string>;

// Every way the host may report a GUI object's own pin writes.
constexpr plughost::GuiNotify kNotifyModes[] = {plughost::GuiNotify::kImmediate,
                                                plughost::GuiNotify::kDeferred,
                                                plughost::GuiNotify::kEveryWrite};
const char* notify_name(plughost::GuiNotify when) {
  switch (when) {
    case plughost::GuiNotify::kImmediate:
      return "immediate";
    case plughost::GuiNotify::kDeferred:
      return "deferred";
    case plughost::GuiNotify::kEveryWrite:
      return "every_write";
  }
  return "?";
}

class GuiProbeTest : public ::testing::TestWithParam<int> {
 protected:
  int revision() const { return GetParam(); }
  std::string library() const {
    return plughost::testing::plugin("se_gui_probe_" + std::to_string(revision()));
  }
  // The GUI object's reports since the last call.
  V logs(Instance& gui) {
    V out;
    const auto& all = gui.gui()->messages_to_dsp();
    for (; seen_ < all.size(); ++seen_) {
      if (all[seen_].rfind("log ", 0) == 0) out.push_back(all[seen_].substr(4));
    }
    history_.insert(history_.end(), out.begin(), out.end());
    return out;
  }
  // A command to the GUI object, as a byte block from the processing side;
  // answers what the GUI object reported, without its note of the block.
  V command(Instance& gui, const std::string& text) {
    gui.gui()->dispatch(se::kGuiDspMessage, static_cast<intptr_t>(text.size()), 3,
                        const_cast<char*>(text.data()));
    V out = logs(gui);
    const std::string note = revision() == 2230 ? "from_dsp[3] " + text : "from_dsp " + text;
    out.erase(std::remove(out.begin(), out.end(), note), out.end());
    return out;
  }
  // What the processing object sent to the GUI object, as the GUI saw it.
  std::string from_dsp(const std::string& text) const {
    return (revision() == 2230 ? "from_dsp[7] " : "from_dsp ") + text;
  }
  bool reported(const std::string& line) const {
    return std::find(history_.begin(), history_.end(), line) != history_.end();
  }
  size_t seen_ = 0;
  V history_;  // every report so far
};

TEST_P(GuiProbeTest, KindTwoMakesAGuiRecordWithMagicInstanceAndHostWord) {
  plughost::PluginLibrary lib(library());
  EXPECT_EQ(lib.properties().flags, 384);
  auto callback =
      +[](SEGuiRecord*, int32_t, int32_t, int32_t, void*, float) -> intptr_t { return 0; };
  auto* r = static_cast<SEGuiRecord*>(
      lib.make_module()(0, 2, reinterpret_cast<HostCallback>(callback), 0x6A6A));
  ASSERT_NE(r, nullptr);
  const auto* bytes = reinterpret_cast<const unsigned char*>(r);
  EXPECT_EQ(std::memcmp(bytes, "\x4D\x50\x45\x53", 4), 0);
  EXPECT_EQ(r->version, 1);
  EXPECT_EQ(r->host_word, 0x6A6A);
  EXPECT_NE(r->instance, nullptr);
  for (int32_t word : r->reserved) EXPECT_EQ(word, 0);
  // Opcodes past the known ones answer 0 and call nothing.
  for (int op : {13, 14, 20, 99}) EXPECT_EQ(r->dispatcher(r, op, 1, 1, nullptr, 0), 0);
  if (revision() == 2020) {
    for (int op : {10, 11, 12}) EXPECT_EQ(r->dispatcher(r, op, 1, 1, nullptr, 0), 0);
  }
  EXPECT_EQ(r->dispatcher(r, se::kGuiClose, 0, 0, nullptr, 0), 1);
  EXPECT_EQ(lib.make_module()(0, 3, nullptr, 0), nullptr);
  EXPECT_EQ(lib.make_module()(1, 2, nullptr, 0), nullptr);
}

TEST_P(GuiProbeTest, OpenFlagIsTrueOnlyForIndexOne) {
  for (int index : {1, 0, 2}) {
    Engine engine;
    Instance& gui = engine.add("g", library());
    seen_ = 0;
    gui.gui()->dispatch(se::kGuiOpen, index);
    EXPECT_EQ(logs(gui), V{index == 1 ? "open true" : "open false"}) << index;
  }
}

TEST_P(GuiProbeTest, MouseCommandsPassInfoFlagsAndPoint) {
  Engine engine;
  Instance& gui = engine.add("g", library());
  gui.gui()->open(false);
  logs(gui);
  SEWndInfo w{};
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<void*>(&w));
  int flags = 5;
  float opt;
  std::memcpy(&opt, &flags, sizeof opt);
  gui.gui()->dispatch(se::kGuiButtonDown, 10, 20, &w, opt);
  gui.gui()->dispatch(se::kGuiMouseMove, -3, 7, &w, opt);
  gui.gui()->dispatch(se::kGuiButtonUp, 11, 21, &w, opt);
  const std::string f = revision() == 2230 ? "5" : "0";  // revision 2020 passes no key state
  EXPECT_EQ(logs(gui), (V{"down 10,20 flags=" + f + " info=" + address,
                          "move -3,7 flags=" + f + " info=" + address,
                          "up 11,21 flags=" + f + " info=" + address}));
}

TEST_P(GuiProbeTest, ReservedOpcodesReachTheModuleOnlyInRevision2230) {
  Engine engine;
  Instance& gui = engine.add("g", library());
  EXPECT_EQ(gui.gui()->dispatch(se::kGuiReserved10), revision() == 2230 ? 1 : 0);
  gui.gui()->dispatch(se::kGuiReserved11, 4);
  gui.gui()->dispatch(se::kGuiReserved12, 6);
  if (revision() == 2230) {
    EXPECT_EQ(logs(gui), (V{"reserved10", "reserved11 4", "reserved12 6"}));
  } else {
    EXPECT_TRUE(logs(gui).empty());
  }
}

TEST_P(GuiProbeTest, PinHandlesAreSharedIn2230AndKeptPerPinIn2020) {
  Engine engine;
  Instance& gui = engine.add("g", library());
  gui.gui()->open(true);
  logs(gui);
  if (revision() == 2230) {
    EXPECT_EQ(command(gui, "two_handles 0"), V{"two_handles same 0 1"});
  } else {
    EXPECT_EQ(command(gui, "two_handles 0"), V{"two_handles different 0 0"});
    // Opcode 7 passes the kept handle of its pin.
    const std::string handle = command(gui, "handle 2").at(0).substr(7);
    gui.gui()->dispatch(se::kGuiPinChanged, 2);
    EXPECT_EQ(logs(gui), V{"changed 2 handle " + handle});
  }
  EXPECT_EQ(command(gui, "pins"), V{"pins 4"});  // every declared pin, UI-only ones too
}

TEST_P(GuiProbeTest, PinValuesAreTheHostsAndSeenByBothObjects) {
  for (auto when : kNotifyModes) {
    SCOPED_TRACE(notify_name(when));
    Engine engine(44100.0f, 16);
    engine.set_gui_notify(when);
    Instance& gui = engine.add("g", library());
    engine.run(16);
    gui.gui()->open(true);
    seen_ = 0;
    logs(gui);
    // The GUI's own write comes back as a notice, inside the write or after it.
    const V changed = command(gui, "set_int 0 42");
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].rfind("changed 0 handle ", 0), 0u);
    command(gui, "set_float 2 0.75");
    command(gui, "set_text 1 hello");
    EXPECT_EQ(command(gui, "get_int 0"), V{"int 42"});
    EXPECT_EQ(command(gui, "get_float 2"), V{"float 0.75"});
    EXPECT_EQ(command(gui, "get_text 1"), V{"text hello"});
    EXPECT_EQ(command(gui, "get_wide 1"), V{"wide 5 hello"});
    // Writing the same value again is no change: it brings a notice only
    // from a host that reports every write.
    const V again = command(gui, "set_int 0 42");
    if (when == plughost::GuiNotify::kEveryWrite) {
      ASSERT_EQ(again.size(), 1u);
      EXPECT_EQ(again[0].rfind("changed 0 handle ", 0), 0u);
    } else {
      EXPECT_TRUE(again.empty());
    }
    // A value from the patch side reaches the GUI object as a notice.
    engine.schedule_value(gui, gui.pin_index("Value"), engine.clock() + 2, 7);
    engine.run(16);
    bool noticed = false;
    for (const std::string& line : logs(gui)) noticed |= line.rfind("changed 0 ", 0) == 0;
    EXPECT_TRUE(noticed);
    EXPECT_EQ(command(gui, "get_int 0"), V{"int 7"});
  }
}

// The host tells the GUI object of its own write either inside the write
// or once the GUI call that wrote has returned.
TEST_P(GuiProbeTest, NoticeOfAnOwnWriteComesInsideOrAfterTheWriteAsTheRunChooses) {
  for (auto when : kNotifyModes) {
    SCOPED_TRACE(notify_name(when));
    Engine engine;
    engine.set_gui_notify(when);
    Instance& gui = engine.add("g", library());
    gui.gui()->open(true);
    seen_ = 0;
    logs(gui);
    const V seen = command(gui, "set_int_then_report 0 5");
    ASSERT_EQ(seen.size(), 2u);
    const size_t notice = when == plughost::GuiNotify::kImmediate ? 0 : 1;
    EXPECT_EQ(seen[notice].rfind("changed 0 ", 0), 0u);
    EXPECT_EQ(seen[1 - notice], "after write");
  }
}

TEST_P(GuiProbeTest, ProcessingSideSeesGuiWritesAsValueAndStatus) {
  Engine engine(44100.0f, 16);
  Instance& gui = engine.add("g", library());
  engine.run(16);
  gui.gui()->open(true);
  command(gui, "set_int 0 9");
  engine.run(16);
  command(gui, "set_float 2 1.5");
  engine.run(16);
  logs(gui);
  EXPECT_TRUE(reported(from_dsp("dsp status pin=0 value=9 level=0")));
  EXPECT_TRUE(reported(from_dsp("dsp status pin=2 value=9 level=1.5")))
      << ::testing::PrintToString(history_);
}

TEST_P(GuiProbeTest, ByteBlocksTravelBothWays) {
  Engine engine(44100.0f, 16);
  Instance& gui = engine.add("g", library());
  engine.run(16);
  gui.gui()->open(true);
  logs(gui);
  // GUI -> processing (GUI host opcode 2 -> dispatcher 12), whose answer
  // comes back (host opcode 17 -> GUI opcode 6) after the next block.
  command(gui, "to_dsp send instance");
  ASSERT_FALSE(gui.gui()->messages_to_dsp().empty());
  EXPECT_EQ(gui.gui()->messages_to_dsp().back(), "send instance");
  engine.run(16);
  const V after = logs(gui);
  EXPECT_EQ(after, (V{from_dsp("instance"), "instance 1"}));  // the processing side's number
}

TEST_P(GuiProbeTest, PanelSizeCaptureAndRedrawReachTheHost) {
  Engine engine;
  Instance& gui = engine.add("g", library());
  EXPECT_EQ(gui.gui()->setup_calls(), (std::vector<std::pair<int, int>>{{4, 1}, {11, 1}, {13, 2}}));
  EXPECT_EQ(gui.gui()->panel_width(), 120);  // asked for at construction
  EXPECT_EQ(gui.gui()->panel_height(), 80);
  gui.gui()->open(true);
  logs(gui);
  EXPECT_EQ(command(gui, "capture"), (V{"captured 1", "released 0"}));
  command(gui, "redraw");
  command(gui, "redraw");
  EXPECT_EQ(gui.gui()->redraw_requests(), 2);
  gui.gui()->paint(nullptr);
  EXPECT_EQ(logs(gui), V{"paint 120x80"});
}

TEST_P(GuiProbeTest, PanelsPaintThroughTheHostIntoAPng) {
  const std::string png = "gui_probe_" + std::to_string(revision()) + ".png";
  plughost::PatchRun run = plughost::load_patch(
      R"({"length": 64, "modules": [{"name": "g", "library": ")" + library() + R"("}],
          "gestures": [{"module": "g", "actions": [{"down": [3, 4], "flags": 9}, {"up": [3, 4]}]}]})",
      ".");
  Instance& gui = run.engine->instance("g");
  run.engine->run(run.length);
  plughost::play_gestures(run);
  plughost::paint_panel(gui, png);
  const V seen = logs(gui);
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.front(), "open false");  // no pin values given: a new instance
  EXPECT_EQ(seen[seen.size() - 3].substr(0, 21),
            revision() == 2230 ? "down 3,4 flags=9 info" : "down 3,4 flags=0 info");
  EXPECT_EQ(seen.back(), "paint 120x80");
  const auto image = platform::read_png(png);
  ASSERT_TRUE(image.has_value());
  ASSERT_EQ(image->width, 120);
  ASSERT_EQ(image->height, 80);
  EXPECT_EQ(image->at(5, 5), 0x0000FFu);
  for (int x = 0; x < 120; ++x) EXPECT_EQ(image->at(x, 10), 0xFF0000u) << x;
  std::remove(png.c_str());
}

// A module's child "edit" window in the host's panel window: the host finds
// it, reads it and types into it as a user would.
TEST_P(GuiProbeTest, EditWindowInThePanelTakesWhatAUserTypes) {
  Engine engine;
  Instance& gui = engine.add("g", library());
  gui.gui()->open(true);
  logs(gui);
  const V made = command(gui, "edit");
#if defined(_WIN32)
  // Real windows need a display. The run under a virtual display sets
  // SE_REQUIRE_DISPLAY, so that a missing one there is a failure, not a
  // second skip.
  if (made == V{"edit none"}) {
    if (std::getenv("SE_REQUIRE_DISPLAY")) FAIL() << "no display, though one was required";
    GTEST_SKIP() << "no display for real windows here";
  }
#endif
  ASSERT_EQ(made, V{"edit ok"});
  const auto children = platform::child_windows(gui.gui()->panel_window());
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(platform::window_class(children[0]), "edit");
  EXPECT_EQ(platform::window_text(children[0]), "hello");
  platform::type_text(children[0], " world\nline 2");
  EXPECT_EQ(command(gui, "edit_text"), V{"edit_text hello world\r\nline 2"});
}

INSTANTIATE_TEST_SUITE_P(Revisions, GuiProbeTest, ::testing::Values(2230, 2020),
                         [](const auto& info) { return "rev" + std::to_string(info.param); });

}  // namespace
