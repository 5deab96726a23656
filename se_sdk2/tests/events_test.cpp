// Event delivery through OnEvent: MIDI, deferred calls, other types, and the
// time rules of events.
#include "probe_fixture.h"

namespace {

using plughost::Engine;
using V = std::vector<std::string>;

TEST_P(ProbeTest, MidiEventsArriveWithTheirTimeAndTheLow16BitsOfTheSecondValue) {
  Engine engine(44100.0f, 64);
  plughost::Instance& probe = add(engine);
  // Bits 24-31 reach the module as sent.
  probe.inject(event_at(21, EV_MIDI, 0x7F643C90, 0, 0x12345));
  engine.run(64);
  EXPECT_EQ(plughost::testing::take_reports(probe), V{"midi 21 7F643C90 9029"});
}

TEST_P(ProbeTest, PostedCallRunsAtItsOwnTimeAndSplitsTheBlock) {
  Engine engine(44100.0f, 64);
  plughost::Instance& probe = add(engine);
  engine.run(64);
  command(probe, "report");
  probe.send_gui_message("post_call 74");
  plughost::testing::take_reports(probe);
  engine.run(64);
  EXPECT_EQ(plughost::testing::take_reports(probe),
            (V{"process 0 10 64", "called 74", "process 10 54 74"}));
}

TEST_P(ProbeTest, EventsOfUnknownTypesChangeNothing) {
  Engine engine(44100.0f, 64);
  plughost::Instance& probe = add(engine);
  for (int type : {6, 7, 1, 99}) {
    probe.inject(event_at(5, type, 1));
  }
  engine.run(64);
  EXPECT_TRUE(plughost::testing::take_reports(probe).empty());
  EXPECT_EQ(single(probe, "pin_status 0"), "pin_status 0 0");
}

TEST_P(ProbeTest, AnEventDeliveredAtAnotherClockIsReported) {
  Engine engine(44100.0f, 64);
  plughost::Instance& probe = add(engine);
  engine.run(64);  // the clock is now 64
  SEEventRecord e = event_at(10, EV_MIDI, 0x90);
  plughost::StderrCapture captured;
  probe.record()->event(probe.record()->instance, &e);  // straight in, bypassing the host's timing
  EXPECT_PRECONDITION_REPORT(captured.text(), "e->time_stamp == SampleClock()");
  EXPECT_EQ(plughost::testing::take_reports(probe), V{"midi 10 00000090 0"});
}

TEST_P(ProbeTest, PostingIntoThePastIsReported) {
  Engine engine(44100.0f, 64);
  plughost::Instance& probe = add(engine);
  engine.run(128);
  plughost::StderrCapture captured;
  command(probe, "post_call 5");
  EXPECT_PRECONDITION_REPORT(captured.text(), "p_time_stamp >= SampleClock()");
  // The host still delivers it (late), which releases revision 2020's call record.
  engine.run(64);
  EXPECT_EQ(plughost::testing::take_reports(probe), V{"called 5"});
}

TEST_P(ProbeTest, SendingMidiIntoThePastIsReported) {
  Engine engine(44100.0f, 64);
  plughost::Instance& probe = add(engine);
  engine.run(128);
  const int out = probe.pins()[probe.pin_index("MIDI Out")].processing_index;
  {
    plughost::StderrCapture captured;
    command(probe, "send_midi 128 9437328 " + std::to_string(out));  // at the clock: fine
    EXPECT_EQ(captured.text().find("se_sdk2: precondition"), std::string::npos);
  }
  plughost::StderrCapture captured;
  command(probe, "send_midi 100 9437328 " + std::to_string(out));
  EXPECT_PRECONDITION_REPORT(captured.text(), "sampleclock >= m_module->SampleClock()");
  ASSERT_EQ(engine.output_events().size(), 2u);
  EXPECT_EQ(engine.output_events()[1].clock, 100u);
  EXPECT_EQ(engine.output_events()[1].pin, "MIDI Out");
}

}  // namespace
