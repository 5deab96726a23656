// Life-cycle checks: instances made, opened, closed and destroyed many
// times, in every order a host may use; several instances at once that must
// not disturb each other; and nothing left behind once they are gone.
#include <cstring>
#include <map>
#include <memory>
#include <tuple>

#include "check.h"
#include "plughost/engine.h"
#include "random_inputs.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define PLUGHOST_LEAK_CHECK 1
#endif

namespace plughost::validate {

namespace {

// What one instance sent in a run: its output events and recorded signals,
// with the instance's own name taken out, so that two instances compare.
struct Trace {
  std::vector<std::tuple<uint32_t, std::string, int, int32_t>> events;  // clock, pin, kind, value
  std::map<std::string, std::vector<float>> signals;
  bool operator==(const Trace& other) const {
    if (events != other.events || signals.size() != other.signals.size()) return false;
    for (const auto& [pin, samples] : signals) {
      auto it = other.signals.find(pin);
      if (it == other.signals.end() || it->second.size() != samples.size()) return false;
      // Compared as bits, so that NaN equals NaN.
      if (std::memcmp(samples.data(), it->second.data(), samples.size() * sizeof(float)) != 0) {
        return false;
      }
    }
    return true;
  }
};

Trace trace_of(const Engine& engine, Engine& mutable_engine, Instance& instance) {
  Trace t;
  for (const OutputEvent& e : engine.output_events()) {
    if (e.module == instance.name()) t.events.emplace_back(e.clock, e.pin, int(e.kind), e.value);
  }
  const std::vector<HostPin>& pins = instance.pins();
  for (size_t k = 0; k < pins.size(); ++k) {
    if (pins[k].datatype == DT_FSAMPLE && pins[k].direction == DR_OUT) {
      t.signals[pins[k].name] = mutable_engine.recorded(instance, int(k));
    }
  }
  return t;
}

// Runs `count` instances side by side, fed the same inputs, and tells how
// the first one that differs from the first instance differs.
std::string run_side_by_side(const Settings& settings, Rng& rng, int count) {
  const uint64_t inputs_seed = rng.next();
  const bool restored = rng.chance(2);
  Engine engine(48000.0f, 64);
  std::vector<Instance*> instances;
  for (int n = 0; n < count; ++n) {
    Instance& m = engine.add("m" + std::to_string(n), settings.library);
    Rng same(inputs_seed);  // every instance gets the same numbers
    preset_pins(m, same);
    const std::vector<HostPin>& pins = m.pins();
    for (size_t k = 0; k < pins.size(); ++k) {
      if (pins[k].datatype != DT_FSAMPLE) continue;
      if (pins[k].direction == DR_OUT) {
        engine.record(m, int(k));
      } else {
        engine.set_signal(m, int(k), make_signal(SignalKind::kNoise, same, 4096));
      }
    }
    schedule_random_events(engine, m, same, 48, 0, 4096, false);
    instances.push_back(&m);
  }
  engine.run(0);  // opens them
  for (Instance* m : instances) {
    if (m->has_gui()) m->gui()->open(restored);
  }
  engine.run(4096);
  const Trace first = trace_of(engine, engine, *instances[0]);
  for (int n = 1; n < count; ++n) {
    if (!(trace_of(engine, engine, *instances[size_t(n)]) == first)) {
      return std::to_string(count) + " instances fed alike: instance " + std::to_string(n + 1) +
             " sent other outputs than instance 1";
    }
  }
  return "";
}

}  // namespace

void check_lifecycle(const Settings& settings) {
  run_check(settings, "lifecycle.crash_on_repeated_create_and_destroy", [&](Rng& rng) {
    const int rounds = 10 * settings.strictness;
    for (int n = 0; n < rounds; ++n) {
      Engine engine(44100.0f, 64);
      Instance& m = engine.add("m", settings.library);
      switch (n % 5) {
        case 0:  // destroyed without ever being opened
          break;
        case 1:  // opened, destroyed at once
          engine.run(0);
          break;
        case 2:  // opened, GUI side opened, a few blocks
          engine.run(0);
          if (m.has_gui()) m.gui()->open(rng.chance(2));
          engine.run(256);
          break;
        case 3:  // the panel opened before the processing object
          if (m.has_gui()) m.gui()->open(rng.chance(2));
          engine.run(128);
          break;
        default:  // with events, destroyed in the middle of pending ones
          preset_pins(m, rng);
          schedule_random_events(engine, m, rng, 16, 0, 512, false);
          engine.run(200);
          if (m.has_gui()) m.gui()->open(true);
          engine.run(64);
          break;
      }
    }
    return Outcome::pass();
  });

  run_check(settings, "lifecycle.instances_disturb_each_other", [&](Rng& rng) {
    for (int count : {2, 10}) {
      const std::string why = run_side_by_side(settings, rng, count);
      if (!why.empty()) return Outcome::fail(why);
    }
    return Outcome::pass();
  });

  run_check(settings, "lifecycle.memory_left_after_destroy", [&](Rng& rng) {
#if defined(PLUGHOST_LEAK_CHECK)
    for (int n = 0; n < 4; ++n) {
      Engine engine(44100.0f, 64);
      Instance& m = engine.add("m", settings.library);
      preset_pins(m, rng);
      schedule_random_events(engine, m, rng, 16, 0, 512, false);
      engine.run(0);
      if (m.has_gui()) m.gui()->open(n % 2 == 0);
      engine.run(512);
    }
    // Reports each leak with its allocation stack on standard error.
    if (__lsan_do_recoverable_leak_check() != 0) {
      return Outcome::fail(
          "memory allocated by instances is still held after they were "
          "destroyed (LeakSanitizer's report above)");
    }
    return Outcome::pass();
#else
    (void)rng;
    return Outcome::skip("this build has no leak checker (the Linux checking build has)");
#endif
  });
}

}  // namespace plughost::validate
