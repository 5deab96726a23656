// The host's timing: blocks split at event time stamps, events delivered at
// their clock, sleeping instances woken by events, connections delivering at
// the sender's time stamp.
#include <gtest/gtest.h>

#include <sstream>

#include "plughost/engine.h"
#include "plughost/host_error.h"
#include "plughost_testing.h"
#include "se_sdk2/host_opcodes.h"

namespace {

using plughost::Engine;
using plughost::testing::plugin;
using plughost::testing::take_reports;

// Sample-accurate splitting for many block sizes: every sample is processed
// exactly once, each process call lies between two event times, and every
// event arrives while the clock equals its time stamp.
TEST(Scheduling, ProcessCallsCoverEverySampleOnceAndStopAtEveryEvent) {
  const std::vector<uint32_t> event_times = {0, 1, 5, 63, 64, 65, 100, 100, 127, 128, 300, 511};
  for (int block : {1, 3, 16, 64, 100, 512}) {
    Engine engine(44100.0f, block);
    plughost::Instance& probe = engine.add("probe", plugin("se_probe_2230"));
    probe.open();
    probe.send_gui_message("report");
    take_reports(probe);
    for (uint32_t t : event_times) engine.schedule_midi(probe, probe.pin_index("MIDI In"), t, 0x90);
    engine.run(512);
    uint32_t next_sample = 0;
    std::vector<uint32_t> delivered;
    for (const std::string& line : take_reports(probe)) {
      std::istringstream in(line);
      std::string verb;
      in >> verb;
      if (verb == "process") {
        uint32_t offset, count, clock;
        in >> offset >> count >> clock;
        EXPECT_EQ(clock, next_sample) << "block " << block;
        EXPECT_EQ(clock % block, offset) << "block " << block;
        EXPECT_GT(count, 0u);
        EXPECT_LE(offset + count, uint32_t(block));
        for (uint32_t t : event_times) {
          EXPECT_FALSE(t > clock && t < clock + count) << "event " << t << " inside a call";
        }
        next_sample = clock + count;
      } else if (verb == "midi") {
        uint32_t t;
        in >> t;
        EXPECT_EQ(t, next_sample) << "an event arrives before the sample at its clock";
        delivered.push_back(t);
      }
    }
    EXPECT_EQ(next_sample, 512u) << "block " << block;
    EXPECT_EQ(delivered, event_times) << "block " << block;
  }
}

TEST(Scheduling, EventsAtTheSameClockKeepTheirOrder) {
  Engine engine(44100.0f, 64);
  plughost::Instance& probe = engine.add("probe", plugin("se_probe_2020"));
  for (int k = 0; k < 5; ++k) {
    engine.schedule_midi(probe, probe.pin_index("MIDI In"), 10, 0x90 + k);
  }
  engine.run(64);
  std::vector<std::string> expected;
  for (int k = 0; k < 5; ++k) {
    char line[40];
    std::snprintf(line, sizeof line, "midi 10 %08X 0", 0x90 + k);
    expected.push_back(line);
  }
  EXPECT_EQ(take_reports(probe), expected);
}

TEST(Scheduling, MidiAndStatusTravelAlongConnectionsAtTheSendersClock) {
  Engine engine(44100.0f, 32);
  plughost::Instance& sender = engine.add("sender", plugin("se_probe_2230"));
  plughost::Instance& receiver = engine.add("receiver", plugin("se_probe_2230"));
  // Added receiver-first order must not matter: senders run first.
  engine.connect(sender, sender.pin_index("MIDI Out"), receiver, receiver.pin_index("MIDI In"));
  engine.connect(sender, sender.pin_index("Signal Out"), receiver, receiver.pin_index("Signal In"));
  engine.run(32);
  const int midi_out = sender.pins()[sender.pin_index("MIDI Out")].processing_index;
  const int signal_out = sender.pins()[sender.pin_index("Signal Out")].processing_index;
  sender.send_gui_message("send_midi 40 9437328 " + std::to_string(midi_out));
  sender.send_gui_message("send_status " + std::to_string(signal_out) + " 50 2");
  take_reports(sender);
  engine.run(32);
  EXPECT_EQ(take_reports(receiver),
            (std::vector<std::string>{"midi 40 00900090 0", "status pin=0 value=2 sample=0"}));
}

// A refused loop must leave the engine as it was: before, the connection
// stayed in the list and every later run threw.
TEST(Scheduling, ARefusedLoopLeavesTheEngineRunnableAndUnchanged) {
  Engine engine;
  plughost::Instance& a = engine.add("a", plugin("Forka"));
  plughost::Instance& b = engine.add("b", plugin("Forka"));
  engine.connect(a, a.pin_index("MIDI Out1"), b, b.pin_index("MIDI In"));
  try {
    engine.connect(b, b.pin_index("MIDI Out2"), a, a.pin_index("MIDI In"));
    FAIL() << "a loop was accepted";
  } catch (const plughost::HostError& e) {
    EXPECT_NE(std::string(e.what()).find("loop"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(b.pins()[b.pin_index("MIDI Out2")].connected);
  EXPECT_FALSE(a.pins()[a.pin_index("MIDI In")].connected);
  EXPECT_NO_THROW(engine.run(64));
  engine.schedule_midi(a, a.pin_index("MIDI In"), 70, 0x00643C90);
  EXPECT_NO_THROW(engine.run(64));
  // The note went through a and on through b, and nowhere else.
  std::vector<std::string> senders;
  for (const auto& e : engine.output_events()) senders.push_back(e.module + "." + e.pin);
  EXPECT_EQ(senders, (std::vector<std::string>{"a.MIDI Out1", "b.MIDI Out1"}));
}

TEST(Scheduling, FileNamesResolveAgainstThePatchFolder) {
  Engine engine;
  engine.set_base_dir("/patches/mine");
  plughost::Instance& probe = engine.add("probe", plugin("se_probe_2020"));
  const int file = probe.pin_index("File");
  const std::string index = std::to_string(probe.pins()[file].processing_index);
  probe.set_text(file, "bank.syx");
  probe.send_gui_message("file_name " + index + " 260");
  probe.set_text(file, "/abs/bank.syx");
  probe.send_gui_message("file_name " + index + " 260");
  EXPECT_EQ(take_reports(probe), (std::vector<std::string>{"file_name /patches/mine/bank.syx",
                                                           "file_name /abs/bank.syx"}));
}

// A path longer than the module's buffer is never handed over cut (a cut
// path names another file): the buffer gets the empty text, and the answer
// is the size the whole path needs. One that just fits comes whole.
TEST(Scheduling, FileNamesThatDoNotFitTheBufferAreNotCut) {
  Engine engine;
  plughost::Instance& probe = engine.add("probe", plugin("se_probe_2020"));
  const int file = probe.pin_index("File");
  const std::string index = std::to_string(probe.pins()[file].processing_index);
  probe.set_text(file, "/abs/bank.syx");  // 13 bytes, 14 with the zero
  for (const char* size : {"13", "8", "1", "14", "260"})
    probe.send_gui_message("file_name " + index + " " + size);
  EXPECT_EQ(take_reports(probe),
            (std::vector<std::string>{"file_name  (answer 14)", "file_name  (answer 14)",
                                      "file_name  (answer 14)", "file_name /abs/bank.syx",
                                      "file_name /abs/bank.syx"}));
  const std::string longest = "/" + std::string(258, 'p');  // 259 bytes: the longest that fits
  probe.set_text(file, longest);
  probe.send_gui_message("file_name " + index + " 260");
  probe.set_text(file, longest + "x");
  probe.send_gui_message("file_name " + index + " 260");
  EXPECT_EQ(take_reports(probe),
            (std::vector<std::string>{"file_name " + longest, "file_name  (answer 261)"}));
}

// A watcher sees every block the processing object sends to the GUI object
// within the sending call, before any delivery, in order; the blocks still
// wait for delivery. An empty watcher stops the watching.
TEST(Scheduling, WatcherSeesBlocksToTheGuiWhileTheyAreSent) {
  Engine engine;
  plughost::Instance& probe = engine.add("probe", plugin("se_probe_2020"));
  const int file = probe.pin_index("File");
  const std::string index = std::to_string(probe.pins()[file].processing_index);
  probe.set_text(file, "/abs/bank.syx");
  std::vector<std::string> seen;
  probe.watch_messages_to_gui([&](const plughost::GuiMessage& m) { seen.push_back(m.bytes); });
  probe.send_gui_message("file_name " + index + " 260");
  probe.send_gui_message("file_name " + index + " 8");
  EXPECT_EQ(seen, (std::vector<std::string>{"file_name /abs/bank.syx", "file_name  (answer 14)"}));
  EXPECT_EQ(probe.messages_to_gui().size(), 2u);
  probe.watch_messages_to_gui({});
  probe.send_gui_message("file_name " + index + " 8");
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_EQ(take_reports(probe).size(), 3u);
}

TEST(Signals, StepsAndRampsGiveExactSamples) {
  plughost::Signal s;
  s.initial = 0.25f;
  s.points.push_back({10, 1.0f, false, 0});
  s.points.push_back({20, 3.0f, true, 24});
  EXPECT_EQ(s.at(0), 0.25f);
  EXPECT_EQ(s.at(9), 0.25f);
  EXPECT_EQ(s.at(10), 1.0f);
  EXPECT_EQ(s.at(20), 1.0f);
  EXPECT_EQ(s.at(21), 1.5f);
  EXPECT_EQ(s.at(23), 2.5f);
  EXPECT_EQ(s.at(24), 3.0f);
  EXPECT_EQ(s.at(1000), 3.0f);
}

}  // namespace
