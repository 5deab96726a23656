// Pin change notices on the GUI side: a GUI object whose answers to notices
// never settle ends with the host's error, in every report mode, and leaves
// the host able to go on.
#include <gtest/gtest.h>

#include <string>

#include "plughost/engine.h"
#include "plughost/host_error.h"
#include "plughost_testing.h"
#include "se_sdk2/gui_opcodes.h"

namespace {

using plughost::Engine;
using plughost::GuiNotify;
using plughost::testing::plugin;

const char* mode_name(GuiNotify mode) {
  switch (mode) {
    case GuiNotify::kImmediate:
      return "immediate";
    case GuiNotify::kDeferred:
      return "deferred";
    default:
      return "every_write";
  }
}

// The probe's GUI object writes "Ping" when opened and answers every notice
// with a new value on the other pin: the notices never end.
TEST(GuiNotices, PingPongEndsWithTheErrorInEveryReportMode) {
  for (GuiNotify mode : {GuiNotify::kImmediate, GuiNotify::kDeferred, GuiNotify::kEveryWrite}) {
    SCOPED_TRACE(mode_name(mode));
    Engine engine(44100.0f, 64);
    engine.set_gui_notify(mode);
    plughost::Instance& pp = engine.add("pp", plugin("validate_probe_ping_pong"));
    ASSERT_TRUE(pp.has_gui());
    engine.run(0);
    std::string error = "(no error)";
    try {
      pp.gui()->open(false);
    } catch (const plughost::HostError& e) {
      error = e.what();
    }
    EXPECT_EQ(error, "module \"pp\": pin change notices do not settle");
    // Stopped after a bounded number of writes, well short of the stack's
    // or the clock's limits.
    EXPECT_GT(pp.gui()->pin_writes(), 1);
    EXPECT_LE(pp.gui()->pin_writes(), 20000);

    // Nothing is left pending: the host goes on, and a GUI call that writes
    // nothing reports no stale error.
    const int writes = pp.gui()->pin_writes();
    EXPECT_NO_THROW(engine.run(128));
    EXPECT_NO_THROW(pp.gui()->mouse(se::kGuiMouseMove, 5, 5, 0));
    EXPECT_EQ(pp.gui()->pin_writes(), writes);
  }
}

// A change from the patch's side starts the exchange again; it fails the
// same way, from the engine's run.
TEST(GuiNotices, PingPongStartedByThePatchFailsTheRun) {
  for (GuiNotify mode : {GuiNotify::kImmediate, GuiNotify::kDeferred}) {
    SCOPED_TRACE(mode_name(mode));
    Engine engine(44100.0f, 64);
    engine.set_gui_notify(mode);
    plughost::Instance& pp = engine.add("pp", plugin("validate_probe_ping_pong"));
    engine.run(0);
    EXPECT_THROW(pp.gui()->open(true), plughost::HostError);
    engine.schedule_value(pp, pp.pin_index("Pong"), 70, -1);
    std::string error = "(no error)";
    try {
      engine.run(128);
    } catch (const plughost::HostError& e) {
      error = e.what();
    }
    EXPECT_EQ(error, "module \"pp\": pin change notices do not settle");
  }
}

}  // namespace
