// Divara_v3 and Divara_v2 through the stand-in host, against the built
// libraries: thresholds, per-sample routing, the pitch outputs, and the
// sleep cycle as the host sees it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "plughost/engine.h"
#include "plughost/patch.h"
#include "plughost_testing.h"

namespace {

using plughost::Engine;
using plughost::Instance;
using plughost::Signal;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

uint32_t bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}

// The float pitch of MIDI note n.
float note_pitch(int n) {
  return static_cast<float>(0.5 + (n - 69) / 120.0);
}

Signal table(std::vector<float> samples, uint32_t at = 0) {
  Signal s;
  s.samples = std::move(samples);
  s.table_at = at;
  return s;
}

struct Split {
  Split(int variant, int block = 64, float rate = 44100.0f)
      : variant(variant),
        engine(rate, block),
        d(engine.add("d", plughost::testing::plugin("Divara_v" + std::to_string(variant)))) {
    for (const char* out : outputs()) engine.record(d, d.pin_index(out));
  }
  std::vector<const char*> outputs() const {
    if (variant == 3) return {"Gate High Out", "Gate Low Out"};
    return {"Gate High Out", "Pitch High Out", "Gate Low Out", "Pitch Low Out"};
  }
  int pin(const char* name) { return d.pin_index(name); }
  void gate(const Signal& s) { engine.set_signal(d, pin("Gate In"), s); }
  void pitch(const Signal& s) { engine.set_signal(d, pin("Pitch In"), s); }
  void break_point(int note) { d.set_value(pin("Break Point"), note); }
  void break_point_at(uint32_t clock, int note) {
    engine.schedule_value(d, pin("Break Point"), clock, note);
  }
  const std::vector<float>& out(const char* name) { return engine.recorded(d, pin(name)); }
  const std::vector<float>& high() { return out("Gate High Out"); }
  const std::vector<float>& low() { return out("Gate Low Out"); }
  // Status changes the outputs sent, as "clock pin status".
  std::vector<std::string> statuses() const {
    std::vector<std::string> s;
    for (const auto& e : engine.output_events()) {
      if (e.kind == plughost::OutputEvent::kStatus) {
        s.push_back(std::to_string(e.clock) + " " + e.pin + " " + std::to_string(e.value));
      }
    }
    return s;
  }

  int variant;
  Engine engine;
  Instance& d;
};

class Divara : public ::testing::TestWithParam<int> {};

TEST_P(Divara, DescribesItselfAndItsPins) {
  Split s(GetParam());
  const SEModuleProperties& p = s.d.library().properties();
  const std::string name = "Divara_v" + std::to_string(GetParam());
  EXPECT_EQ(p.name, name);
  EXPECT_EQ(p.id, name);
  EXPECT_NE(std::string(p.about).find("\n\n"), std::string::npos);  // credit, blank line, contact
  EXPECT_EQ(p.sdk_revision, 2230);
  std::vector<std::string> names;
  for (const auto& pin : s.d.pins()) {
    names.push_back(pin.name);
    EXPECT_EQ(pin.flags, 0) << pin.name;
    EXPECT_EQ(pin.datatype, pin.name == "Break Point" ? DT_CHOICE : DT_FSAMPLE) << pin.name;
    EXPECT_EQ(pin.direction, pin.name.find("Out") != std::string::npos ? DR_OUT : DR_IN);
    EXPECT_NE(pin.variable, nullptr) << pin.name;
  }
  if (GetParam() == 3) {
    EXPECT_EQ(names, (std::vector<std::string>{"Gate In", "Pitch In", "Break Point",
                                               "Gate High Out", "Gate Low Out"}));
  } else {
    EXPECT_EQ(names,
              (std::vector<std::string>{"Gate In", "Pitch In", "Break Point", "Gate High Out",
                                        "Pitch High Out", "Gate Low Out", "Pitch Low Out"}));
  }
  const auto& bp = s.d.pins()[2];
  EXPECT_EQ(bp.default_text, "60");
  EXPECT_EQ(s.d.pins()[0].default_text, "0");
  EXPECT_EQ(bp.list_text.rfind("C-1,C#-1,D-1,D#-1,", 0), 0u);
  EXPECT_EQ(bp.list_text.substr(bp.list_text.size() - 9), "F9,F#9,G9");
  EXPECT_EQ(std::count(bp.list_text.begin(), bp.list_text.end(), ','), 127);
  EXPECT_NE(bp.list_text.find(",B3,C4,C#4,"), std::string::npos);
  double value = -1;
  ASSERT_TRUE(plughost::list_entry_value(bp.list_text, "C4", &value));
  EXPECT_EQ(value, 60.0);
  EXPECT_EQ(s.d.library().make_module()(0, 2, nullptr, 0), nullptr);
}

// Float values in the order of their bit patterns, for bisection.
int64_t order_of(float f) {
  const int32_t b = static_cast<int32_t>(bits(f));
  return b < 0 ? -int64_t(b & 0x7FFFFFFF) : int64_t(b);
}
float float_of(int64_t order) {
  const uint32_t b = order < 0 ? uint32_t(-order) | 0x80000000u : uint32_t(order);
  float f;
  std::memcpy(&f, &b, 4);
  return f;
}

// The module's threshold for a Break Point, found through the host: the
// largest float pitch that still routes the gate low.
float threshold_of(Split& s, int note) {
  s.d.set_value(s.pin("Gate In"), 1.0);
  s.break_point_at(s.engine.clock(), note);
  const auto routes_high = [&](float pitch) {
    s.d.set_value(s.pin("Pitch In"), pitch);
    s.engine.run(1);
    const auto& high = s.high();
    return !high.empty() && high.back() == 1.0f;
  };
  int64_t low = order_of(-1.0f);  // routes low for every note
  int64_t high = order_of(2.0f);  // routes high for every note
  while (high - low > 1) {
    const int64_t mid = low + (high - low) / 2;
    (routes_high(float_of(mid)) ? high : low) = mid;
  }
  return float_of(low);
}

std::string nine_places(float f) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9f", double(f));
  return text;
}

// The thresholds given for notes 0, 9, 60, 69 and 127, to the nine decimal
// places given, and for the notes whose given value pins down one float,
// that float bit for bit.
TEST_P(Divara, GivenThresholdsHold) {
  Split s(GetParam(), 1);
  EXPECT_EQ(nine_places(threshold_of(s, 0)), "-0.074999981");
  EXPECT_EQ(nine_places(threshold_of(s, 9)), "0.000000024");
  EXPECT_EQ(nine_places(threshold_of(s, 60)), "0.425000042");
  EXPECT_EQ(nine_places(threshold_of(s, 69)), "0.500000060");
  EXPECT_EQ(nine_places(threshold_of(s, 127)), "0.983333349");
  EXPECT_EQ(bits(threshold_of(s, 60)), bits(0.425000042f));
  EXPECT_EQ(bits(threshold_of(s, 69)), bits(0.500000060f));
  EXPECT_EQ(bits(threshold_of(s, 127)), bits(0.983333349f));
}

// For every Break Point the threshold is equal to or slightly above the
// float pitch of its note, so the note's own pitch routes low.
TEST_P(Divara, EveryThresholdIsAtOrJustAboveItsNotesPitch) {
  Split s(GetParam(), 1);
  for (int n = 0; n < 128; ++n) {
    const float t = threshold_of(s, n);
    EXPECT_GE(t, note_pitch(n)) << "note " << n;
    EXPECT_LT(double(t) - double(note_pitch(n)), 1e-6) << "note " << n;
  }
}

// The same rule as the module meets it in one run at several block sizes: a
// Break Point change before every pair of samples, the note's own pitch
// (low) and a quarter tone above it (high).
TEST_P(Divara, EveryNotesOwnPitchRoutesLowAndAQuarterToneAboveRoutesHigh) {
  for (int block : {1, 5, 64}) {
    Split s(GetParam(), block);
    std::vector<float> pitch;
    for (int n = 0; n < 128; ++n) {
      s.break_point_at(uint32_t(2 * n), n);
      pitch.push_back(note_pitch(n));
      pitch.push_back(note_pitch(n) + 1.0f / 240.0f);
    }
    s.gate(table(std::vector<float>(256, 1.0f)));
    s.pitch(table(pitch));
    s.engine.run(256);
    for (int n = 0; n < 128; ++n) {
      EXPECT_EQ(s.low()[2 * n], 1.0f) << "note " << n << " block " << block;
      EXPECT_EQ(s.high()[2 * n], 0.0f) << "note " << n << " block " << block;
      EXPECT_EQ(s.high()[2 * n + 1], 1.0f) << "note " << n << " block " << block;
    }
  }
}

TEST_P(Divara, C4AndA4SplitAsThePitchConventionSays) {
  Split s(GetParam());
  s.gate(table({1, 1, 1, 1, 1}));
  s.pitch(table({0.425f, 0.4333333f, 0.5f, 0.5f, 0.50000012f}));
  s.break_point_at(2, 69);
  s.engine.run(5);
  EXPECT_EQ(s.low(), (std::vector<float>{1, 0, 1, 1, 0}));
  EXPECT_EQ(s.high(), (std::vector<float>{0, 1, 0, 0, 1}));
}

TEST_P(Divara, UnconnectedPitchIsNoteNine) {
  Split s(GetParam());
  s.gate(table(std::vector<float>(128, 1.0f)));
  for (int n = 0; n < 128; ++n) s.break_point_at(uint32_t(n), n);
  s.engine.run(128);
  for (int n = 0; n < 128; ++n) {
    EXPECT_EQ(s.high()[n], n <= 8 ? 1.0f : 0.0f) << n;
    EXPECT_EQ(s.low()[n], n <= 8 ? 0.0f : 1.0f) << n;
  }
}

TEST_P(Divara, GateLevelsPassBitForBitAndOffGatesGiveZero) {
  Split s(GetParam(), 256);
  const float denormal = std::numeric_limits<float>::denorm_min();
  const std::vector<float> gate = {0.8f, denormal, 3.5f, kInf, std::numeric_limits<float>::max(),
                                   1.0f};
  std::vector<float> pitch = {0.9f, 0.1f, 0.9f, 0.1f, kNaN, 0.43f};  // NaN pitch routes low
  s.break_point(60);
  s.gate(table(gate));
  s.pitch(table(pitch));
  s.engine.run(6);
  const std::vector<bool> high = {true, false, true, false, false, true};
  for (size_t k = 0; k < gate.size(); ++k) {
    EXPECT_EQ(bits(s.high()[k]), bits(high[k] ? gate[k] : 0.0f)) << k;
    EXPECT_EQ(bits(s.low()[k]), bits(high[k] ? 0.0f : gate[k])) << k;
  }
  // Off: 0.0, -0.0, negative and NaN gates each end routing with zeros.
  for (float off : {0.0f, -0.0f, -1.0f, kNaN}) {
    Split t(GetParam());
    t.gate(table({1.0f, off, 1.0f}));
    t.engine.run(3);
    EXPECT_EQ(bits(t.high()[1]), 0u);
    EXPECT_EQ(bits(t.low()[1]), 0u);
  }
}

// A gate that falls at sample j of a call routes 0..j-1, zeros sample j,
// leaves the rest as the buffers held them, and sends status 1 on every
// output at the call's clock.
TEST_P(Divara, GateFallingInsideABlockStopsTheCall) {
  Split s(GetParam(), 64);
  std::vector<float> gate(100, 0.8f);
  gate.push_back(0.0f);    // falls at clock 100, inside the block from 64
  gate.resize(200, 1.0f);  // and rises again without a status event
  s.gate(table(gate));
  s.pitch(table(std::vector<float>(200, 0.1f)));  // below C4: low
  s.engine.run(128);
  const auto& low = s.low();
  for (int k = 64; k < 100; ++k) EXPECT_EQ(low[k], 0.8f) << k;
  EXPECT_EQ(low[100], 0.0f);
  EXPECT_EQ(s.high()[100], 0.0f);
  for (int k = 101; k < 128; ++k) {
    EXPECT_EQ(bits(low[k]), bits(low[k - 64])) << "sample " << k << " was written";
  }
  std::vector<std::string> expected;
  for (const char* pin : s.variant == 3
                             ? std::vector<const char*>{"Gate High Out", "Gate Low Out"}
                             : std::vector<const char*>{"Pitch High Out", "Pitch Low Out",
                                                        "Gate High Out", "Gate Low Out"}) {
    expected.push_back(std::string("0 ") + pin + " 2");
  }
  const size_t opening = expected.size();
  for (size_t k = 0; k < opening; ++k) {
    expected.push_back("64" + expected[k].substr(1, expected[k].size() - 2) + "1");
  }
  EXPECT_EQ(s.statuses(), expected);
}

TEST_P(Divara, BreakPointChangeWhileANoteIsHeldMovesTheGateAtOnce) {
  Split s(GetParam(), 32);
  s.gate(table(std::vector<float>(100, 1.0f)));
  s.pitch(table(std::vector<float>(100, 0.43f)));  // between C4 and C#4
  s.break_point(60);
  s.break_point_at(50, 62);
  s.engine.run(100);
  for (int k = 0; k < 100; ++k) {
    EXPECT_EQ(s.high()[k], k < 50 ? 1.0f : 0.0f) << k;
    EXPECT_EQ(s.low()[k], k < 50 ? 0.0f : 1.0f) << k;
  }
}

TEST_P(Divara, GlideAcrossTheThresholdSwitchesAtTheFirstSampleAbove) {
  Split s(GetParam(), 64);
  s.gate(table(std::vector<float>(300, 1.0f)));
  Signal glide;
  glide.initial = 0.40f;
  glide.points.push_back({0, 0.45f, true, 256});
  s.pitch(glide);
  s.engine.run(256);
  const float threshold = 0.425000042f;
  for (uint32_t k = 0; k < 256; ++k) {
    const bool above = glide.at(k) > threshold;
    EXPECT_EQ(s.high()[k], above ? 1.0f : 0.0f) << k;
    EXPECT_EQ(s.low()[k], above ? 0.0f : 1.0f) << k;
    if (s.variant == 2) {
      EXPECT_EQ(bits(s.out("Pitch High Out")[k]), bits(glide.at(k))) << k;
      EXPECT_EQ(bits(s.out("Pitch Low Out")[k]), bits(glide.at(k))) << k;
    }
  }
}

TEST(DivaraV2, PitchOutputsCarryThePitchOnlyWhileTheGateIsOn) {
  Split s(2, 16);
  // Gate on for 0..9, off at 10, on again at 20 (steps, each with a status event).
  Signal gate;
  gate.initial = 1.0f;
  gate.points.push_back({10, 0.0f, false, 0});
  gate.points.push_back({20, 1.0f, false, 0});
  s.gate(gate);
  std::vector<float> pitch;
  for (int k = 0; k < 48; ++k) pitch.push_back(note_pitch(40 + k));
  s.pitch(table(pitch));
  s.break_point(0);  // all above: the Break Point has no effect on the pitch outputs
  s.engine.run(48);
  const auto& ph = s.out("Pitch High Out");
  const auto& pl = s.out("Pitch Low Out");
  for (int k = 0; k < 48; ++k) {
    if (k < 10 || k >= 20) {
      EXPECT_EQ(bits(ph[k]), bits(pitch[k])) << k;
      EXPECT_EQ(bits(pl[k]), bits(pitch[k])) << k;
    }
  }
  // Gate off from 10 to 19: nothing written. Samples 10..15 keep the host
  // buffer's initial zeros; 16..19 keep what the first block wrote there.
  for (int k = 10; k < 16; ++k) {
    EXPECT_EQ(bits(ph[k]), 0u) << k;
    EXPECT_EQ(bits(pl[k]), 0u) << k;
  }
  for (int k = 16; k < 20; ++k) {
    EXPECT_EQ(bits(ph[k]), bits(pitch[k - 16])) << k;
    EXPECT_EQ(bits(pl[k]), bits(pitch[k - 16])) << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, Divara, ::testing::Values(3, 2),
                         [](const auto& info) { return "v" + std::to_string(info.param); });

// The sleep cycle, driven by the host's own scheduling at several block
// sizes and sample rates.
class DivaraSleep : public ::testing::TestWithParam<std::tuple<int, int, float>> {};

TEST_P(DivaraSleep, WindsDownSleepsAndWakesOnlyForAGateStatusWithTheGateOn) {
  const auto [variant, block, rate] = GetParam();
  Split s(variant, block, rate);
  const int gate_in = s.pin("Gate In");
  const uint32_t fall = 3 * uint32_t(block) + uint32_t(block) / 2;  // inside a block
  s.engine.schedule_value(s.d, gate_in, 0, 1.0);
  s.engine.schedule_value(s.d, gate_in, fall, 0.0);
  s.engine.run(fall + 1);
  EXPECT_TRUE(s.d.awake());
  // Winding down: the countdown of one block size runs from the fall's call,
  // restarting at every call that meets the gate off, so sleep comes within
  // three blocks.
  s.engine.run(3 * uint32_t(block));
  EXPECT_FALSE(s.d.awake()) << "did not ask to sleep";
  const int calls = s.d.process_calls();
  s.engine.run(10 * uint32_t(block));
  EXPECT_EQ(s.d.process_calls(), calls) << "the host kept calling a sleeping module";

  // A Gate In status event with the gate at 0: it runs (the event woke it)
  // but stays winding down and sleeps again.
  const uint32_t poke = s.engine.clock() + 1;
  s.engine.schedule_status(s.d, gate_in, poke, ST_ONE_OFF);
  s.engine.run(4 * uint32_t(block));
  EXPECT_FALSE(s.d.awake());
  for (const auto& e : s.engine.output_events()) {
    if (e.kind == plughost::OutputEvent::kStatus && e.clock >= poke) {
      EXPECT_EQ(e.value, 1);
    }
  }

  // The gate rises: a status event with the gate above 0 wakes it into running.
  const uint32_t rise = s.engine.clock() + uint32_t(block) / 3;
  s.engine.schedule_value(s.d, gate_in, rise, 0.6);
  s.engine.run(5 * uint32_t(block));
  EXPECT_TRUE(s.d.awake());
  const auto statuses = s.statuses();
  ASSERT_FALSE(statuses.empty());
  const std::string last = statuses.back();
  EXPECT_EQ(last.substr(0, last.find(' ')), std::to_string(rise));
  EXPECT_EQ(last.back(), '2');
  ASSERT_GT(s.low().size(), size_t(rise));
  EXPECT_EQ(s.low()[rise], 0.6f);
}

INSTANTIATE_TEST_SUITE_P(BlocksAndRates, DivaraSleep,
                         ::testing::Combine(::testing::Values(3, 2), ::testing::Values(16, 64, 256),
                                            ::testing::Values(44100.0f, 96000.0f)),
                         [](const auto& info) {
                           return "v" + std::to_string(std::get<0>(info.param)) + "_block" +
                                  std::to_string(std::get<1>(info.param)) + "_rate" +
                                  std::to_string(int(std::get<2>(info.param)));
                         });

}  // namespace
