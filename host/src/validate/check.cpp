// Seeded numbers, protocol lines and the running of one check.
#include "check.h"

#include <cstdio>
#include <exception>

namespace plughost::validate {

namespace {

// Faults told in full per check; the rest are counted.
constexpr int kFaultsShown = 3;

void line(const std::string& text) {
  std::fputs(kProtocolPrefix, stdout);
  std::fputs(text.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// One line per protocol entry: tabs and line ends of a text become spaces.
std::string one_line(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return text;
}

}  // namespace

uint64_t Rng::next() {
  // splitmix64
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

int64_t Rng::between(int64_t lo, int64_t hi) {
  const uint64_t span = static_cast<uint64_t>(hi - lo) + 1;
  return lo + static_cast<int64_t>(span == 0 ? next() : next() % span);
}

uint64_t check_seed(uint64_t seed, const std::string& check) {
  uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a of the name
  for (unsigned char c : check) h = (h ^ c) * 0x100000001B3ull;
  Rng mix(seed ^ h);
  return mix.next();
}

void note(const std::string& text) {
  line("note " + one_line(text));
}

std::vector<std::string> planned_checks(bool has_gui) {
  std::vector<std::string> names = {
      "descriptor.missing_or_unterminated_text",
      "descriptor.unknown_flags_or_revision",
      "descriptor.answers_for_a_module_it_lacks",
      "descriptor.bad_instance_record",
      "pins.endless_pin_list",
      "pins.missing_or_unterminated_text",
      "pins.unknown_direction_type_or_flag",
      "pins.malformed_list_or_default",
      "pins.refused_flag_combination",
      "pins.crash_with_fewer_host_pins",
      "lifecycle.crash_on_repeated_create_and_destroy",
      "lifecycle.instances_disturb_each_other",
      "lifecycle.memory_left_after_destroy",
      "processing.crash_at_block_size_or_rate",
      "processing.crash_on_extreme_input",
      "processing.nonfinite_output_from_finite_input",
      "processing.event_before_its_clock",
  };
  if (has_gui) {
    for (const char* gui :
         {"gui.crash_on_open_new_or_restored", "gui.crash_painting_or_clicking_at_size",
          "gui.crash_on_gesture_or_pin_write", "gui.crash_with_window_open",
          "gui.child_window_lost_on_reopen", "gui.gdi_objects_left_behind"}) {
      names.push_back(gui);
    }
  }
  return names;
}

void announce_plan(const std::vector<std::string>& names) {
  std::string text = "plan";
  for (const std::string& n : names) text += " " + n;
  line(text);
}

void run_check(const Settings& settings, const std::string& name,
               const std::function<Outcome(Rng&)>& body) {
  line("begin " + name);
  Rng rng(check_seed(settings.seed, name));
  Outcome outcome;
  try {
    outcome = body(rng);
  } catch (const std::exception& e) {
    outcome = Outcome::fail(std::string("the host stopped: ") + e.what());
  }
  switch (outcome.kind) {
    case Outcome::kPass:
      line("pass " + name);
      break;
    case Outcome::kFail:
      line("fail " + name + "\t" + one_line(outcome.text));
      break;
    case Outcome::kSkip:
    case Outcome::kNotRun:  // not a check's own conclusion; told as a skip
      line("skip " + name + "\t" + one_line(outcome.text));
      break;
  }
}

void Faults::add(const std::string& text) {
  if (count_++ < kFaultsShown) shown_.push_back(text);
}

Outcome Faults::outcome() const {
  if (count_ == 0) return Outcome::pass();
  std::string text;
  for (const std::string& s : shown_) text += (text.empty() ? "" : "; ") + s;
  if (count_ > kFaultsShown) text += "; and " + std::to_string(count_ - kFaultsShown) + " more";
  return Outcome::fail(text);
}

}  // namespace plughost::validate
