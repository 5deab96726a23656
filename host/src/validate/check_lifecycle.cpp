// Life-cycle checks: instances made, opened, closed and destroyed many
// times, in every order a host may use; several instances at once that must
// not disturb each other; and nothing left behind once they are gone.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <tuple>

#include "check.h"
#include "platform/window_host.h"
#include "plughost/engine.h"
#include "plughost/host_error.h"
#include "random_inputs.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define PLUGHOST_LEAK_CHECK 1
#endif

namespace plughost::validate {

namespace {

// One thing a host shows of an instance besides its outputs: a pin's value
// as the GUI side sees it (the host keeps pin values for both sides), or
// the text of a child window in its panel; with its value as text (numbers
// exactly, so that two compare).
struct Shown {
  std::string what;  // "pin \"Name\"", "child window 1 (edit)"
  std::string value;
  bool operator==(const Shown& o) const { return what == o.what && value == o.value; }
};

std::vector<Shown> shown_of(Instance& instance) {
  std::vector<Shown> out;
  for (const HostPin& p : instance.pins()) {
    if (p.repeat || p.datatype == DT_FSAMPLE || p.datatype == DT_MIDI_STREAM) continue;
    if (p.datatype == DT_STRING) {
      out.push_back({"pin \"" + p.name + "\"", "\"" + p.text + "\""});
    } else {
      char number[40];
      std::snprintf(number, sizeof number, "%.17g", p.value);
      out.push_back({"pin \"" + p.name + "\"", number});
    }
  }
  if (GuiSide* gui = instance.gui()) {
    // The panel window's own title is the instance's name: only its
    // children count.
    int n = 0;
    for (HWND child : platform::child_windows(gui->panel_window())) {
      out.push_back(
          {"child window " + std::to_string(++n) + " (" + platform::window_class(child) + ")",
           "\"" + platform::window_text(child) + "\""});
    }
  }
  return out;
}

// What one instance gave in a run, with the instance's own name taken out so
// that two instances compare: its output events and recorded signals, and
// every change of what the host shows of it (shown_of), block by block.
struct Trace {
  struct Change {
    uint32_t clock = 0;
    Shown shown;
    bool operator==(const Change& o) const { return clock == o.clock && shown == o.shown; }
  };
  std::vector<std::tuple<uint32_t, std::string, int, int32_t>> events;  // clock, pin, kind, value
  std::map<std::string, std::vector<float>> signals;
  std::vector<Change> changes;
  std::vector<Shown> last;  // as last seen, for the next change
  int gui_writes = 0;       // pin writes of the GUI object

  // Notes what changed since the last look.
  void look(uint32_t clock, Instance& instance) {
    std::vector<Shown> now = shown_of(instance);
    for (size_t k = 0; k < now.size(); ++k) {
      if (k >= last.size() || !(now[k] == last[k])) changes.push_back({clock, now[k]});
    }
    last = std::move(now);
  }

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
    for (const Change& c : changes) {
      if (c.shown.what.rfind("child window", 0) == 0 && c.shown.value != "\"\"") return false;
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
    for (size_t k = 0; k < changes.size() || k < other.changes.size(); ++k) {
      if (k < changes.size() && k < other.changes.size() && changes[k] == other.changes[k]) {
        continue;
      }
      const auto told = [](const Change& c) {
        constexpr size_t kLength = 70;
        const std::string& v = c.shown.value;
        return c.shown.what + " at clock " + std::to_string(c.clock) + " became " +
               (v.size() > kLength ? v.substr(0, kLength) + "..." : v);
      };
      if (k >= changes.size()) return "what it showed: alone, " + told(other.changes[k]);
      if (k >= other.changes.size()) return "what it showed: " + told(changes[k]) + ", not alone";
      return "what it showed: " + told(changes[k]) + ", alone " + told(other.changes[k]);
    }
    return "";
  }
};

// The seeds of what one instance is fed: pin values, events and signals,
// and, for a module with a panel, gestures and pin writes from its side.
struct Feed {
  uint64_t inputs = 0;
  uint64_t panel = 0;
};

// A folder of its own for the files that file-name pins are given, removed
// with everything in it when done.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty() && !error; ++attempt) {
      const std::filesystem::path candidate =
          base / ("plughost-validate-" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate, error)) path_ = candidate;
    }
    if (path_.empty()) {
      throw HostError("cannot make a folder for the files of file-name pins in " + base.string() +
                      (error ? ": " + error.message() : ""));
    }
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The file a feed gives to file-name pins: a name and MIDI bytes of its own
// (one System Exclusive message), so that instances fed otherwise load
// different contents. Written afresh before every run, so that what a run
// saved does not reach the next.
std::string feed_file(const Feed& feed, const std::filesystem::path& folder) {
  char name[32];
  std::snprintf(name, sizeof name, "feed%08x.syx", unsigned(feed.inputs & 0xFFFFFFFFu));
  Rng rng(feed.inputs ^ 0x5EEDF11Eull);
  std::string bytes = "\xF0\x7D";
  for (int n = int(rng.between(1, 96)); n > 0; --n) bytes += char(rng.below(0x80));
  bytes += '\xF7';
  std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw HostError("cannot write " + (folder / name).string());
  return name;
}

// Runs one instance per feed side by side in one engine (the panels shown
// where a panel window can be had) and returns what each gave, in order.
std::vector<Trace> run_side_by_side(const Settings& settings, const std::vector<Feed>& feeds,
                                    bool restored) {
  std::unique_ptr<ScratchFolder> folder;  // made when a pin names a file
  Engine engine(48000.0f, 64);
  std::vector<Instance*> instances;
  std::vector<Rng> panel_inputs;
  for (size_t n = 0; n < feeds.size(); ++n) {
    Instance& m = engine.add("m" + std::to_string(n), settings.library);
    Rng inputs(feeds[n].inputs);
    preset_pins(m, inputs);
    // File-name pins (which random inputs leave alone) name the feed's file.
    for (size_t k = 0; k < m.pins().size(); ++k) {
      const HostPin& pin = m.pins()[k];
      if (pin.datatype != DT_STRING || !(pin.flags & IO_FILE_NAME) || pin.direction == DR_OUT) {
        continue;
      }
      if (!folder) {
        folder = std::make_unique<ScratchFolder>();
        engine.set_base_dir(folder->path().string());
      }
      m.set_text(int(k), feed_file(feeds[n], folder->path()));
    }
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
  std::vector<Trace> traces(instances.size());
  const auto look = [&] {
    for (size_t n = 0; n < instances.size(); ++n) traces[n].look(engine.clock(), *instances[n]);
  };
  look();
  constexpr int kRounds = 8;
  constexpr int kBlocksPerRound = 8;
  for (int round = 0; round < kRounds; ++round) {
    for (size_t n = 0; n < instances.size(); ++n) {
      Instance& m = *instances[n];
      if (!m.has_gui()) continue;
      Rng& panel = panel_inputs[n];
      if (panel.chance(2)) random_gesture(*m.gui(), panel, int(panel.below(16)));
      if (panel.chance(4)) panel_write(engine, m, panel);
    }
    look();
    for (int block = 0; block < kBlocksPerRound; ++block) {
      engine.run(64);
      look();
    }
  }
  for (size_t n = 0; n < instances.size(); ++n) {
    for (const OutputEvent& e : engine.output_events()) {
      if (e.module == instances[n]->name()) {
        traces[n].events.emplace_back(e.clock, e.pin, int(e.kind), e.value);
      }
    }
    const std::vector<HostPin>& pins = instances[n]->pins();
    for (size_t k = 0; k < pins.size(); ++k) {
      if (pins[k].datatype == DT_FSAMPLE && pins[k].direction == DR_OUT) {
        traces[n].signals[pins[k].name] = engine.recorded(*instances[n], int(k));
      }
    }
    if (instances[n]->has_gui()) traces[n].gui_writes = instances[n]->gui()->pin_writes();
  }
  return traces;  // the instances go before the folder does
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
    // fed alike or otherwise: instances that share state by mistake may
    // agree when fed alike (each makes the same mess), not when fed
    // otherwise.
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
    }
    // Beside nine others fed otherwise; every second level once more, in
    // other company.
    for (int round = 0; round < (settings.strictness + 1) / 2; ++round) {
      std::vector<Feed> feeds = {feed};
      while (feeds.size() < 10) feeds.push_back({rng.next(), rng.next()});
      const std::string differs = run_side_by_side(settings, feeds, restored)[0].difference(alone);
      if (!differs.empty()) {
        return Outcome::fail(
            "beside 9 instances fed otherwise: instance 1 differs from one "
            "instance alone in " +
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
