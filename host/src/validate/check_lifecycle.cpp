// Life-cycle checks: instances made, opened, closed and destroyed many
// times, in every order a host may use; several instances at once that must
// not disturb each other; and nothing left behind once they are gone.
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>

#include "check.h"
#include "platform/window_host.h"
#include "plughost/engine.h"
#include "random_inputs.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define PLUGHOST_LEAK_CHECK 1
#endif

namespace plughost::validate {

namespace {

// What one instance gave in a run, with the instance's own name taken out so
// that two instances compare: its output events and recorded signals, the
// pin values as the GUI side sees them (the host keeps them for both
// sides), and the texts of the child windows it made in its panel.
struct Trace {
  std::vector<std::tuple<uint32_t, std::string, int, int32_t>> events;  // clock, pin, kind, value
  std::map<std::string, std::vector<float>> signals;
  struct PinValue {
    std::string name;
    uint64_t bits = 0;  // the value, compared as bits (NaN equals NaN)
    std::string text;
    std::string shown;  // for messages
    bool operator!=(const PinValue& o) const { return bits != o.bits || text != o.text; }
  };
  std::vector<PinValue> pins;
  std::vector<std::pair<std::string, std::string>> windows;  // class, text
  int gui_writes = 0;                                        // pin writes of the GUI object

  // Nothing in it that depends on what the instance did: no events, only
  // silent signals, no pin written from the GUI side, no window text. Two
  // such traces compare equal whatever disturbed the instances.
  bool silent() const {
    if (!events.empty() || gui_writes > 0) return false;
    for (const auto& [pin, samples] : signals) {
      for (float s : samples) {
        if (s != 0.0f) return false;
      }
    }
    for (const auto& w : windows) {
      if (!w.second.empty()) return false;
    }
    return true;
  }

  // The first part in which this trace differs from `other`, the trace of
  // one instance alone, or "".
  std::string difference(const Trace& other) const {
    if (events != other.events) return "its output events";
    if (signals.size() != other.signals.size()) return "its signals";
    for (const auto& [pin, samples] : signals) {
      auto it = other.signals.find(pin);
      // Compared as bits, so that NaN equals NaN.
      if (it == other.signals.end() || it->second.size() != samples.size() ||
          std::memcmp(samples.data(), it->second.data(), samples.size() * sizeof(float)) != 0) {
        return "signal \"" + pin + "\"";
      }
    }
    if (pins.size() != other.pins.size()) return "its pins";
    for (size_t k = 0; k < pins.size(); ++k) {
      if (pins[k] != other.pins[k]) {
        return "pin \"" + pins[k].name + "\": " + pins[k].shown + " where alone it had " +
               other.pins[k].shown;
      }
    }
    if (windows != other.windows) return "the child windows of its panel";
    return "";
  }
};

Trace trace_of(Engine& engine, Instance& instance) {
  Trace t;
  for (const OutputEvent& e : engine.output_events()) {
    if (e.module == instance.name()) t.events.emplace_back(e.clock, e.pin, int(e.kind), e.value);
  }
  const std::vector<HostPin>& pins = instance.pins();
  for (size_t k = 0; k < pins.size(); ++k) {
    const HostPin& p = pins[k];
    if (p.datatype == DT_FSAMPLE && p.direction == DR_OUT) {
      t.signals[p.name] = engine.recorded(instance, int(k));
    }
    if (p.repeat || p.datatype == DT_FSAMPLE || p.datatype == DT_MIDI_STREAM) continue;
    Trace::PinValue v;
    v.name = p.name;
    static_assert(sizeof v.bits == sizeof p.value);
    std::memcpy(&v.bits, &p.value, sizeof v.bits);
    v.text = p.text;
    if (p.datatype == DT_STRING) {
      constexpr size_t kShown = 60;
      v.shown = "\"" + p.text.substr(0, kShown) + (p.text.size() > kShown ? "...\"" : "\"");
    } else {
      char number[32];
      std::snprintf(number, sizeof number, "%.9g", p.value);
      v.shown = number;
    }
    t.pins.push_back(std::move(v));
  }
  if (GuiSide* gui = instance.gui()) {
    t.gui_writes = gui->pin_writes();
    // The panel window's own title is the instance's name: only its
    // children count.
    for (HWND child : platform::child_windows(gui->panel_window())) {
      t.windows.emplace_back(platform::window_class(child), platform::window_text(child));
    }
  }
  return t;
}

// The seeds of what one instance is fed: pin values, events and signals,
// and, for a module with a panel, gestures and pin writes from its side.
struct Feed {
  uint64_t inputs = 0;
  uint64_t panel = 0;
};

// Runs one instance per feed side by side in one engine (the panels shown
// where a panel window can be had) and returns what each gave, in order.
std::vector<Trace> run_side_by_side(const Settings& settings, const std::vector<Feed>& feeds,
                                    bool restored) {
  Engine engine(48000.0f, 64);
  std::vector<Instance*> instances;
  std::vector<Rng> panel_inputs;
  for (size_t n = 0; n < feeds.size(); ++n) {
    Instance& m = engine.add("m" + std::to_string(n), settings.library);
    Rng inputs(feeds[n].inputs);
    preset_pins(m, inputs);
    const std::vector<HostPin>& pins = m.pins();
    for (size_t k = 0; k < pins.size(); ++k) {
      if (pins[k].datatype != DT_FSAMPLE) continue;
      if (pins[k].direction == DR_OUT) {
        engine.record(m, int(k));
      } else {
        engine.set_signal(m, int(k), make_signal(SignalKind::kNoise, inputs, 4096));
      }
    }
    schedule_random_events(engine, m, inputs, 48, 0, 4096, false);
    instances.push_back(&m);
    panel_inputs.emplace_back(feeds[n].panel);
  }
  engine.run(0);  // opens them
  for (Instance* m : instances) {
    if (!m->has_gui()) continue;
    m->gui()->open(restored);
    if (m->gui()->panel_window()) m->gui()->open_window();
  }
  constexpr int kRounds = 8;
  for (int round = 0; round < kRounds; ++round) {
    for (size_t n = 0; n < instances.size(); ++n) {
      Instance& m = *instances[n];
      if (!m.has_gui()) continue;
      Rng& panel = panel_inputs[n];
      if (panel.chance(2)) random_gesture(*m.gui(), panel, int(panel.below(16)));
      if (panel.chance(4)) panel_write(engine, m, panel);
    }
    engine.run(4096 / kRounds);
  }
  std::vector<Trace> traces;
  for (Instance* m : instances) traces.push_back(trace_of(engine, *m));
  return traces;
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
    // What one instance gives alone is what it must give beside others,
    // whether they are fed alike or otherwise (fed otherwise, instances
    // that share state by mistake show it even when fed alike they would
    // all make the same mess).
    const bool restored = rng.chance(2);
    const Feed feed{rng.next(), rng.next()};
    const Trace alone = run_side_by_side(settings, {feed}, restored)[0];
    for (int count : {2, 10}) {
      const std::vector<Trace> alike =
          run_side_by_side(settings, std::vector<Feed>(size_t(count), feed), restored);
      for (size_t n = 0; n < alike.size(); ++n) {
        const std::string differs = alike[n].difference(alone);
        if (!differs.empty()) {
          return Outcome::fail(std::to_string(count) + " instances fed alike: instance " +
                               std::to_string(n + 1) + " differs from one instance alone in " +
                               differs);
        }
      }
      std::vector<Feed> feeds = {feed};
      while (feeds.size() < size_t(count)) feeds.push_back({rng.next(), rng.next()});
      const std::string differs = run_side_by_side(settings, feeds, restored)[0].difference(alone);
      if (!differs.empty()) {
        return Outcome::fail("beside " + std::to_string(count - 1) +
                             " instances fed otherwise: instance 1 differs from one instance "
                             "alone in " +
                             differs);
      }
    }
    if (alone.silent()) {
      return Outcome::skip(
          "the instance sent no events, only silent signals, wrote no pin from the GUI side "
          "and showed no window text: nothing to compare");
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
