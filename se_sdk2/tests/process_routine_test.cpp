// Switching the process routine, sleeping and waking, as the host sees it.
#include <cstring>

#include "probe_fixture.h"
#include "se_sdk2/host_opcodes.h"

namespace {

using plughost::Engine;
using V = std::vector<std::string>;

TEST_P(ProbeTest, InstallingTheSameRoutineAgainTellsTheHostOnlyInRevision2020) {
  Engine engine;
  plughost::Instance& probe = add(engine);
  command(probe, "report");
  EXPECT_EQ(probe.process_entry_reloads(), 1);
  command(probe, "report");
  EXPECT_EQ(probe.process_entry_reloads(), revision() == 2230 ? 1 : 2);
  command(probe, "copy");
  EXPECT_EQ(probe.process_entry_reloads(), revision() == 2230 ? 2 : 3);
}

TEST_P(ProbeTest, ProcessEntryIsCalledWithOffsetAndCountLikeAMemberRoutine) {
  Engine engine(44100.0f, 32);
  plughost::Instance& probe = add(engine);
  probe.open();
  command(probe, "copy");
  probe.set_value(probe.pin_index("Level"), 0.125);
  plughost::Signal ramp;
  ramp.points.push_back({0, 32.0f, true, 32});  // sample k holds k
  engine.set_signal(probe, probe.pin_index("Signal In"), ramp);
  engine.record(probe, probe.pin_index("Signal Out"));
  engine.run(32);
  const auto& out = engine.recorded(probe, probe.pin_index("Signal Out"));
  ASSERT_EQ(out.size(), 32u);
  for (int k = 0; k < 32; ++k) EXPECT_EQ(out[k], float(k) + 0.125f) << k;
}

TEST_P(ProbeTest, StoredReferenceFollowsTheInstalledRoutine) {
  Engine engine;
  plughost::Instance& probe = add(engine);
  if (revision() == 2020) {  // the entry address itself is the stored reference
    const SEProcessEntry before = probe.record()->process;
    command(probe, "report");
    EXPECT_NE(probe.record()->process, before);
    return;
  }
  const auto* answer =
      reinterpret_cast<const SEProcessReferenceAnswer*>(probe.dispatch(se::kOpProcessReference));
  std::vector<unsigned char> before(
      static_cast<const unsigned char*>(answer->address),
      static_cast<const unsigned char*>(answer->address) + answer->size);
  command(probe, "report");
  std::vector<unsigned char> after(
      static_cast<const unsigned char*>(answer->address),
      static_cast<const unsigned char*>(answer->address) + answer->size);
  EXPECT_NE(before, after);
  // The reference's function word is the entry the host now calls.
  const void* function_word;
  std::memcpy(&function_word, after.data(), sizeof function_word);
  EXPECT_EQ(function_word, reinterpret_cast<const void*>(probe.record()->process));
}

TEST_P(ProbeTest, SleepingStopsProcessCallsUntilAnEventWakesTheInstance) {
  Engine engine(44100.0f, 16);
  plughost::Instance& probe = add(engine);
  engine.run(16);
  command(probe, "sleep");
  engine.run(16 * 4);
  const int calls_while_asleep = probe.process_calls();
  EXPECT_FALSE(probe.awake());
  engine.run(16 * 4);
  EXPECT_EQ(probe.process_calls(), calls_while_asleep);
  // An event wakes it: the sleep routine runs once more and puts it back.
  engine.schedule_status(probe, probe.pin_index("Level"), engine.clock() + 3, ST_ONE_OFF);
  engine.run(16);
  EXPECT_EQ(probe.process_calls(), calls_while_asleep + 1);
  EXPECT_FALSE(probe.awake());
  // A routine that does not sleep keeps being called.
  command(probe, "report");
  probe.inject(event_at(engine.clock(), 99, 0));  // any event wakes
  engine.run(16 * 3);
  EXPECT_EQ(probe.process_calls(), calls_while_asleep + 4);
}

}  // namespace
