// How Open builds m_pins from the pin list and the host's pin count, and
// how the pins behave afterwards. The probe reports each m_pins entry as
// index:datatype:variable ("-" for a pin the walk did not reach).
#include "probe_fixture.h"
#include "se_sdk2/host_opcodes.h"

namespace {

using plughost::Engine;

TEST_P(ProbeTest, UiCommunicationPinWithoutDualGetsNoProcessingPinIn2230) {
  Engine engine;
  plughost::Instance& probe = add(engine, /*pin_count=*/2);
  probe.open();
  if (revision() == 2230) {
    // The second processing pin is the third declared one.
    EXPECT_EQ(single(probe, "pins"), "pins 2 0:5:in 1:2:none");
  } else {
    EXPECT_EQ(single(probe, "pins"), "pins 2 0:5:in 1:8:comm");
  }
}

TEST_P(ProbeTest, DeclaredCountWalksEveryPinAndRepeatsTheLast) {
  Engine engine;
  plughost::Instance& probe = add(engine);
  probe.open();
  if (revision() == 2230) {
    // Eight pins qualify; the ninth host pin repeats "Extra In".
    EXPECT_EQ(single(probe, "pins"),
              "pins 9 0:5:in 1:2:none 2:2:none 3:6:level 4:5:out 5:8:dual "
              "6:1:none 7:5:own 8:5:own");
    EXPECT_EQ(probe.pins()[probe.pin_index("Comm")].processing_index, -1);
    EXPECT_EQ(probe.pins()[probe.pin_index("Extra In[1]")].processing_index, 8);
  } else {
    EXPECT_EQ(single(probe, "pins"),
              "pins 9 0:5:in 1:8:comm 2:2:none 3:2:none 4:6:level 5:5:out "
              "6:8:dual 7:1:none 8:5:own");
  }
}

TEST_P(ProbeTest, ExtraHostPinsRepeatTheLastPinWithTheirOwnBuffers) {
  Engine engine(44100.0f, 16);
  plughost::Instance& probe = add(engine, std::nullopt, /*extra=*/2);
  const int first = probe.pin_index("Extra In");
  const int second = probe.pin_index("Extra In[2]");
  probe.set_value(first, 0.5);
  probe.set_value(second, 0.75);
  engine.run(16);
  const int processing_second = probe.pins()[second].processing_index;
  EXPECT_EQ(single(probe, "pins").substr(0, 7), "pins 11");
  // Each repeat reads its own host buffer (asked with host opcode 7).
  engine.schedule_status(probe, second, 16, ST_ONE_OFF);
  engine.schedule_status(probe, first, 16, ST_ONE_OFF);
  engine.run(16);
  auto reports = plughost::testing::take_reports(probe);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], "status pin=" + std::to_string(processing_second) + " value=1 sample=0.75");
  EXPECT_EQ(reports[1], "status pin=" + std::to_string(probe.pins()[first].processing_index) +
                            " value=1 sample=0.5");
}

TEST_P(ProbeTest, StatusOneIsAOneShotAndStatusTwoHolds) {
  Engine engine(44100.0f, 32);
  plughost::Instance& probe = add(engine);
  const int level = probe.pin_index("Level");
  const int processing = probe.pins()[level].processing_index;
  const std::string index = std::to_string(processing);
  engine.schedule_status(probe, level, 10, ST_ONE_OFF);
  engine.run(32);
  EXPECT_EQ(plughost::testing::take_reports(probe),
            std::vector<std::string>{"status pin=" + index + " value=1"});
  EXPECT_EQ(single(probe, "pin_status " + index), "pin_status " + index + " 0");
  engine.schedule_status(probe, level, 40, ST_RUN);
  engine.run(32);
  plughost::testing::take_reports(probe);
  EXPECT_EQ(single(probe, "pin_status " + index), "pin_status " + index + " 2");
}

TEST_P(ProbeTest, CurrentSampleAtTheFirstSampleOfABlockReadsElementZero) {
  Engine engine(44100.0f, 64);
  plughost::Instance& probe = add(engine);
  const int in = probe.pin_index("Signal In");
  plughost::Signal signal;
  signal.initial = 0.0f;
  signal.points.push_back({128, 0.5f, true, 192});  // a ramp through the third block
  engine.set_signal(probe, in, signal);
  engine.run(256);
  auto reports = plughost::testing::take_reports(probe);
  // Status 2 at 128 (block start: element 0 is the ramp's first sample), 1 at 192.
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], "status pin=0 value=2 sample=0");
  EXPECT_EQ(reports[1], "status pin=0 value=1 sample=0.5");
}

// Between blocks the module's clock stands at the end of the block, one
// past the buffer: CurrentSample must not read beyond it.
TEST_P(ProbeTest, CurrentSampleOutsideTheCurrentBlockReadsZeroNotPastTheBuffer) {
  Engine engine(44100.0f, 64);
  plughost::Instance& probe = add(engine);
  const int in = probe.pin_index("Signal In");
  plughost::Signal signal;
  signal.initial = 0.25f;
  engine.set_signal(probe, in, signal);
  engine.run(64);
  plughost::testing::take_reports(probe);
  const std::string index = std::to_string(probe.pins()[in].processing_index);
  plughost::StderrCapture captured;
  EXPECT_EQ(single(probe, "current_sample " + index), "sample " + index + " 0");
  EXPECT_PRECONDITION_REPORT(captured.text(), "SampleClock() - block_start < GetBlockSize()");
}

TEST_P(ProbeTest, PinStatusForAPinIndexOutsideThePinsChangesNothing) {
  Engine engine(44100.0f, 16);
  plughost::Instance& probe = add(engine, /*pin_count=*/3);
  probe.open();
  plughost::StderrCapture captured;
  for (intptr_t bad : {intptr_t(3), intptr_t(1000), intptr_t(-1)}) {
    probe.inject(event_at(0, EV_PIN_STATUS, ST_ONE_OFF, bad));
  }
  engine.run(16);
  EXPECT_TRUE(plughost::testing::take_reports(probe).empty());
  EXPECT_PRECONDITION_REPORT(captured.text(), "pin_index >= 0 && pin_index < m_pin_count");
}

TEST(PinWalk, PinsTheWalkDidNotReachAreInert) {
  // Forka declares four pins and none repeats: host pins five and six stay
  // uninitialised, and events naming them are ignored.
  Engine engine(44100.0f, 16);
  plughost::Instance& forka =
      engine.add("forka", plughost::testing::plugin("Forka"), /*pin_count=*/6);
  engine.run(16);
  forka.inject(event_at(16, EV_PIN_STATUS, ST_ONE_OFF, 5));
  engine.run(16);
  EXPECT_TRUE(engine.output_events().empty());
}

TEST_P(ProbeTest, NoHostPinsMeansNoPinArray) {
  Engine engine;
  plughost::Instance& probe = add(engine, /*pin_count=*/0);
  probe.open();
  EXPECT_EQ(single(probe, "pins"), "pins 0");
  plughost::StderrCapture captured;
  EXPECT_EQ(single(probe, "get_pin 0"), "get_pin inert");
  EXPECT_PRECONDITION_REPORT(captured.text(), "m_pins != 0");
}

// A host may report fewer pins than the module declares, or none. A pin it
// did not report, asked for all the same, is an inert pin: sending on it
// reaches nobody, and nothing is read or written outside the pin array.
TEST_P(ProbeTest, APinTheHostDidNotReportIsInertAndSendsNothing) {
  for (int count : {0, 2}) {
    SCOPED_TRACE("the host reports " + std::to_string(count) + " pins");
    Engine engine(44100.0f, 16);
    plughost::Instance& probe = add(engine, count);
    probe.open();
    plughost::StderrCapture captured;
    for (int pin : {count, count + 3, 1000, -1}) {
      const std::string p = std::to_string(pin);
      EXPECT_EQ(single(probe, "get_pin " + p), "get_pin inert");
      command(probe, "send_midi 0 144 " + p);
      command(probe, "send_status " + p + " 0 1");
      EXPECT_EQ(single(probe, "connected " + p), "connected " + p + " 0");
      EXPECT_EQ(single(probe, "pin_status " + p), "pin_status " + p + " 0");
    }
    engine.run(16);
    EXPECT_TRUE(engine.output_events().empty());
    EXPECT_PRECONDITION_REPORT(captured.text(),
                               count == 0 ? "m_pins != 0" : "i >= 0 && i < m_pin_count");
  }
}

// A second Open from the host is refused: the module keeps the pins it
// holds, with their state, and the first pin array is not replaced.
TEST_P(ProbeTest, ASecondOpenIsRefusedAndThePinsStay) {
  Engine engine(44100.0f, 16);
  plughost::Instance& probe = add(engine);
  engine.run(16);
  const int level = probe.pins()[probe.pin_index("Level")].processing_index;
  const std::string l = std::to_string(level);
  probe.inject(event_at(16, EV_PIN_STATUS, ST_RUN, level));
  engine.run(16);
  plughost::testing::take_reports(probe);
  command(probe, "hold_pin " + l);
  const std::string pins = single(probe, "pins");
  plughost::StderrCapture captured;
  probe.dispatch(se::kOpOpen);
  EXPECT_PRECONDITION_REPORT(captured.text(), "!m_opened");
  EXPECT_EQ(single(probe, "held_is " + l), "held_is " + l + " 1");
  EXPECT_EQ(single(probe, "pin_status " + l), "pin_status " + l + " " + std::to_string(ST_RUN));
  EXPECT_EQ(single(probe, "pins"), pins);
}

// Forka and Divara on a host that reports fewer pins than they declare:
// they run, send only on the outputs the host has, and ask the framework
// for no pin they lack.
TEST(PinWalk, ModulesOnAHostReportingFewerPins) {
  for (const char* library : {"Forka", "Divara_v3", "Divara_v2"}) {
    for (int count : {0, 1, 2, 3}) {
      SCOPED_TRACE(std::string(library) + " with " + std::to_string(count) + " host pins");
      plughost::StderrCapture captured;
      Engine engine(44100.0f, 16);
      plughost::Instance& m = engine.add("m", plughost::testing::plugin(library), count);
      for (size_t k = 0; k < m.pins().size(); ++k) {
        const plughost::HostPin& pin = m.pins()[k];
        if (pin.direction == DR_OUT) continue;
        if (pin.datatype == DT_MIDI_STREAM) {
          for (uint32_t t : {3u, 9u, 20u}) engine.schedule_midi(m, int(k), t, 0x7F3C90);
        } else if (pin.datatype == DT_CHOICE) {
          engine.schedule_value(m, int(k), 8, 1);
        } else if (pin.datatype == DT_FSAMPLE) {
          plughost::Signal signal;
          signal.initial = 0.75f;
          engine.set_signal(m, int(k), signal);
        }
      }
      engine.run(64);
      for (const plughost::OutputEvent& e : engine.output_events()) {
        const int host_pin = m.pin_index(e.pin);
        EXPECT_GE(m.pins()[host_pin].processing_index, 0) << e.pin;
        EXPECT_LT(m.pins()[host_pin].processing_index, count) << e.pin;
      }
      EXPECT_EQ(captured.text().find("se_sdk2: precondition"), std::string::npos)
          << captured.text();
    }
  }
}

TEST_P(ProbeTest, IsConnectedAsksTheHost) {
  Engine engine;
  plughost::Instance& probe = add(engine);
  plughost::Instance& other = engine.add("other", library());
  engine.connect(other, other.pin_index("MIDI Out"), probe, probe.pin_index("MIDI In"));
  engine.run(64);
  const std::string midi_in =
      std::to_string(probe.pins()[probe.pin_index("MIDI In")].processing_index);
  EXPECT_EQ(single(probe, "connected " + midi_in), "connected " + midi_in + " 1");
  EXPECT_EQ(single(probe, "connected 0"), "connected 0 0");
}

}  // namespace
