// Processing checks: every block size from 1 to 4096 samples at sample
// rates from 22,050 to 192,000 Hz, with seeded random MIDI, value and status
// events at random times inside blocks, input signals of silence, full
// scale, denormals, infinities and NaN, and quiet stretches in which a
// module may sleep before the next event wakes it.
#include <cmath>
#include <cstdio>

#include "check.h"
#include "plughost/engine.h"
#include "random_inputs.h"

namespace plughost::validate {

namespace {

constexpr int kBlockSizes[] = {1, 2, 3, 16, 64, 512, 4096};
constexpr float kSampleRates[] = {22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f};

struct Combo {
  float rate;
  int block;
};

// Level 1 runs each block size once (at rotating rates); higher levels run
// every pair.
std::vector<Combo> combos(int strictness) {
  std::vector<Combo> out;
  int r = 0;
  for (int block : kBlockSizes) {
    if (strictness <= 1) {
      out.push_back({kSampleRates[r++ % 5], block});
      continue;
    }
    for (float rate : kSampleRates) out.push_back({rate, block});
  }
  return out;
}

const char* clock_fault_kind(ClockFault::Kind kind) {
  switch (kind) {
    case ClockFault::kMidiOut:
      return "sent MIDI";
    case ClockFault::kStatusOut:
      return "sent a status";
    case ClockFault::kPosted:
      return "posted an event";
  }
  return "?";
}

// The findings of one run, for the three checks that share the runs.
struct Findings {
  Faults nonfinite;  // finite inputs, non-finite outputs
  Faults clock;      // events off the clock
};

// One run: a fresh instance, random presets, one signal kind per signal
// input, random events in the first 40% and the last 20% of the run (a
// quiet stretch between, in which the module may sleep), every signal
// output recorded.
void one_run(const Settings& settings, Rng& rng, const Combo& c, int round, bool extreme,
             Findings& findings) {
  const uint32_t length = uint32_t(std::min(std::max(8 * c.block, 2048), 32768));
  char where[160];
  Engine engine(c.rate, c.block);
  Instance& m = engine.add("m", settings.library);
  preset_pins(m, rng);
  bool finite = true;
  std::string kinds;
  const std::vector<HostPin>& pins = m.pins();
  for (size_t k = 0; k < pins.size(); ++k) {
    if (pins[k].datatype != DT_FSAMPLE) continue;
    if (pins[k].direction == DR_OUT) {
      engine.record(m, int(k));
      continue;
    }
    const auto kind = SignalKind(extreme ? rng.below(kSignalKinds) : rng.below(4));
    finite = finite && is_finite_kind(kind);
    if (!kinds.empty()) kinds += ", ";
    kinds += pins[k].name + ": " + signal_name(kind);
    engine.set_signal(m, int(k), make_signal(kind, rng, length));
  }
  const int events = 4 + 4 * settings.strictness;
  EventMix mix = schedule_random_events(engine, m, rng, events, 0, length * 2 / 5, extreme);
  const EventMix wake =
      schedule_random_events(engine, m, rng, events / 4 + 1, length * 4 / 5, length, extreme);
  finite = finite && !mix.nonfinite && !wake.nonfinite;
  std::snprintf(where, sizeof where, "%g Hz, blocks of %d, round %d", double(c.rate), c.block,
                round + 1);
  note(std::string(where) + (kinds.empty() ? "" : " (" + kinds + ")"));
  engine.run(0);
  if (m.has_gui()) m.gui()->open(rng.chance(2));
  engine.run(length);

  if (finite) {
    for (size_t k = 0; k < pins.size(); ++k) {
      if (pins[k].datatype != DT_FSAMPLE || pins[k].direction != DR_OUT) continue;
      const std::vector<float>& out = engine.recorded(m, int(k));
      for (size_t n = 0; n < out.size(); ++n) {
        if (std::isfinite(out[n])) continue;
        char text[400];
        std::snprintf(text, sizeof text, "\"%s\" gave %g at clock %zu from finite inputs (%s)",
                      pins[k].name.c_str(), double(out[n]), n, where);
        findings.nonfinite.add(text);
        break;
      }
    }
  }
  for (const ClockFault& f : m.clock_faults()) {
    char text[400];
    std::snprintf(text, sizeof text, "%s for clock %u while at clock %u (%s)",
                  clock_fault_kind(f.kind), f.time_stamp, f.clock, where);
    findings.clock.add(text);
  }
}

}  // namespace

void check_processing(const Settings& settings) {
  Findings findings;
  const int rounds = 1 + (settings.strictness - 1) / 3;
  run_check(settings, "processing.crash_at_block_size_or_rate", [&](Rng& rng) {
    for (const Combo& c : combos(settings.strictness)) {
      for (int round = 0; round < rounds; ++round)
        one_run(settings, rng, c, round, false, findings);
    }
    return Outcome::pass();
  });
  run_check(settings, "processing.crash_on_extreme_input", [&](Rng& rng) {
    for (const Combo& c : combos(settings.strictness)) {
      for (int round = 0; round < rounds; ++round) one_run(settings, rng, c, round, true, findings);
    }
    return Outcome::pass();
  });
  run_check(settings, "processing.nonfinite_output_from_finite_input",
            [&](Rng&) { return findings.nonfinite.outcome(); });
  run_check(settings, "processing.event_before_its_clock",
            [&](Rng&) { return findings.clock.outcome(); });
}

}  // namespace plughost::validate
