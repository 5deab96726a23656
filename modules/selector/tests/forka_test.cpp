// Forka through the stand-in host, against the built library.
#include <gtest/gtest.h>

#include <cstring>

#include "plughost/engine.h"
#include "plughost/patch.h"
#include "plughost_testing.h"

namespace {

using plughost::Engine;
using plughost::testing::sent_on;
using Sent = std::vector<std::pair<uint32_t, int32_t>>;

class Forka : public ::testing::Test {
 protected:
  Forka() : engine_(44100.0f, 64), forka_(engine_.add("f", plughost::testing::plugin("Forka"))) {}
  void midi(uint32_t clock, int32_t message) {
    engine_.schedule_midi(forka_, forka_.pin_index("MIDI In"), clock, message);
  }
  void choice(uint32_t clock, double value) {
    engine_.schedule_value(forka_, forka_.pin_index("Choice"), clock, value);
  }
  Sent out1() const { return sent_on(engine_, "f", "MIDI Out1"); }
  Sent out2() const { return sent_on(engine_, "f", "MIDI Out2"); }

  Engine engine_;
  plughost::Instance& forka_;
};

TEST_F(Forka, DescribesItselfAndItsFourPins) {
  const SEModuleProperties& p = forka_.library().properties();
  EXPECT_STREQ(p.name, "Forka ");
  EXPECT_STREQ(p.id, "Forka by Ostrel");
  EXPECT_EQ(std::strncmp(p.about, "Forka v1.0", 10), 0);
  EXPECT_EQ(p.sdk_revision, 2230);
  EXPECT_EQ(p.flags, 0);  // not written: the host cleared the record
  const auto& pins = forka_.pins();
  ASSERT_EQ(pins.size(), 4u);
  const struct {
    const char* name;
    int direction, datatype;
    const char* default_text;
    const char* list;
  } expected[] = {{"MIDI In", DR_IN, DT_MIDI_STREAM, "", ""},
                  {"MIDI Out1", DR_OUT, DT_MIDI_STREAM, "", ""},
                  {"MIDI Out2", DR_OUT, DT_MIDI_STREAM, "", ""},
                  {"Choice", DR_IN, DT_CHOICE, "0", "on=1,off=0"}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(pins[k].name, expected[k].name);
    EXPECT_EQ(pins[k].direction, expected[k].direction);
    EXPECT_EQ(pins[k].datatype, expected[k].datatype);
    EXPECT_EQ(pins[k].default_text, expected[k].default_text);
    EXPECT_EQ(pins[k].list_text, expected[k].list);
    EXPECT_EQ(pins[k].flags, 0);
    EXPECT_EQ(pins[k].processing_index, k);
  }
  EXPECT_EQ(forka_.library().make_module()(0, 2, nullptr, 0), nullptr);
}

TEST_F(Forka, RoutesToOut1WhileChoiceIsOff) {
  midi(500, 0x00643C90);
  engine_.run(1024);
  EXPECT_EQ(out1(), (Sent{{500, 0x00643C90}}));
  EXPECT_TRUE(out2().empty());
}

TEST_F(Forka, AllNotesOffOnBothOutputsOnTheMessagesChannelAfterAChange) {
  choice(100, 1);
  midi(300, 0x00403C92);  // note on, channel nibble 2
  midi(400, 0x00403C85);  // another channel: no second All Notes Off
  engine_.run(1024);
  EXPECT_EQ(out1(), (Sent{{300, 0x00007BB2}}));
  EXPECT_EQ(out2(), (Sent{{300, 0x00007BB2}, {300, 0x00403C92}, {400, 0x00403C85}}));
  // Out1's All Notes Off leaves first.
  const auto& events = engine_.output_events();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[0].pin, "MIDI Out1");
  EXPECT_EQ(events[1].pin, "MIDI Out2");
}

TEST_F(Forka, AChangeOfChoiceAloneSendsNothing) {
  choice(100, 1);
  choice(200, 0);
  engine_.run(1024);
  EXPECT_TRUE(engine_.output_events().empty());
  // Back where it was: the next message goes out without All Notes Off.
  midi(1100, 0x00403C90);
  engine_.run(1024);
  EXPECT_EQ(out1(), (Sent{{1100, 0x00403C90}}));
  EXPECT_TRUE(out2().empty());
}

TEST_F(Forka, SystemMessagesAreDroppedAndDoNotConsumeTheChange) {
  choice(10, 1);
  midi(20, 0xF8);  // clock
  midi(30, 0xF0);  // SysEx start
  midi(40, 0x00007F91);
  engine_.run(256);
  EXPECT_EQ(out1(), (Sent{{40, 0x00007BB1}}));
  EXPECT_EQ(out2(), (Sent{{40, 0x00007BB1}, {40, 0x00007F91}}));
}

TEST_F(Forka, HighBitsOfTheIncomingValueAreCleared) {
  midi(7, static_cast<int32_t>(0xAB643C90u));
  engine_.run(64);
  EXPECT_EQ(out1(), (Sent{{7, 0x00643C90}}));
}

TEST_F(Forka, ChoiceOutsideTheListRoutesNothingButStillReleasesNotes) {
  choice(5, 2);
  midi(9, 0x00403C93);
  midi(12, 0x00403C93);
  engine_.run(64);
  EXPECT_EQ(out1(), (Sent{{9, 0x00007BB3}}));
  EXPECT_EQ(out2(), (Sent{{9, 0x00007BB3}}));
}

TEST_F(Forka, SleepsFromOpenOnAndWakesOnlyForEvents) {
  engine_.run(64 * 10);
  EXPECT_EQ(forka_.process_calls(), 1);  // the sleep routine, once
  midi(64 * 10 + 5, 0x00403C90);
  engine_.run(64 * 10);
  EXPECT_EQ(forka_.process_calls(), 2);
  EXPECT_FALSE(forka_.awake());
}

TEST_F(Forka, ChoiceSetBeforeOpenIsTheChoiceInForce) {
  forka_.set_value(forka_.pin_index("Choice"), 1);
  midi(3, 0x00403C90);
  engine_.run(64);
  EXPECT_TRUE(out1().empty());
  EXPECT_EQ(out2(), (Sent{{3, 0x00403C90}}));
}

TEST(ForkaChain, TwoSelectorsInSeriesKeepSampleTimes) {
  // A MIDI phrase through two selectors, with events in the middle of blocks
  // and across block boundaries.
  for (int block : {1, 7, 64, 4096}) {
    const std::string patch = R"({
      "block_size": )" + std::to_string(block) +
                              R"(, "length": 1000,
      "modules": [ {"name": "a", "library": ")" +
                              plughost::testing::plugin("Forka") + R"(", "pins": {"Choice": "on"}},
                   {"name": "b", "library": ")" +
                              plughost::testing::plugin("Forka") + R"("} ],
      "connections": [ {"from": "a.MIDI Out2", "to": "b.MIDI In"} ],
      "events": [ {"time": 63, "to": "a.MIDI In", "midi": "90 3C 64"},
                  {"time": 64, "to": "a.MIDI In", "midi": "80 3C 00"},
                  {"time": 500, "to": "b.Choice", "value": "on"},
                  {"time": 999, "to": "a.MIDI In", "midi": [144, 62, 1]} ] })";
    plughost::PatchRun run = plughost::load_patch(patch, ".");
    run.engine->run(run.length);
    const Engine& e = *run.engine;
    EXPECT_EQ(sent_on(e, "b", "MIDI Out1"),
              (Sent{{63, 0x00643C90}, {64, 0x00003C80}, {999, 0x7BB0}}))
        << "block " << block;
    EXPECT_EQ(sent_on(e, "b", "MIDI Out2"), (Sent{{999, 0x7BB0}, {999, 0x00013E90}}))
        << "block " << block;
  }
}

}  // namespace
