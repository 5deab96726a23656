// Seeded random inputs for an instance, as a patch and a user would give
// them: pin values that fit each pin, texts, MIDI messages, status changes
// and input signals.
#pragma once

#include <cstdint>
#include <string>

#include "check.h"
#include "plughost/engine.h"

namespace plughost::validate {

// The kinds of signal fed to a signal input for a whole run.
enum class SignalKind {
  kSilence,
  kFullScale,  // +1 and -1
  kDenormal,   // subnormal floats of both signs
  kNoise,      // uniform in [-1, 1]
  kInfinite,   // noise with +inf and -inf among it
  kNan,        // noise with NaN among it
};
inline constexpr int kSignalKinds = 6;
const char* signal_name(SignalKind kind);
bool is_finite_kind(SignalKind kind);
// `length` samples of that kind, from clock 0 on.
Signal make_signal(SignalKind kind, Rng& rng, uint32_t length);

// Pins a host writes values to: inputs and settings that hold a number or a
// text. File-name pins are left alone (a write would make the module touch
// the file system).
bool takes_value(const HostPin& pin);
// A value that fits the pin (a choice pin gets an entry of its list); float
// pins get infinities and NaN too when `nonfinite` allows.
double random_value(const HostPin& pin, Rng& rng, bool nonfinite);
// A text for a text pin: number lists, node lists, garbage, long texts.
std::string random_text(Rng& rng);
// A packed short message: mostly channel messages, some system ones; now
// and then with bits 24-31 set, which are not part of the message.
int32_t random_midi(Rng& rng);

// Random values for every pin that takes one, set before the instance opens
// (as a restored patch gives them). Float pins get infinities and NaN too
// when `nonfinite` allows (a patch file may hold "nan").
void preset_pins(Instance& instance, Rng& rng, bool nonfinite = false);

// What random events were scheduled.
struct EventMix {
  int midi = 0;
  int values = 0;
  int statuses = 0;
  bool nonfinite = false;  // a float pin was given an infinity or NaN
};
// `count` random events between clocks `from` and `until` (excluded) on
// the instance's input pins: MIDI messages, value and text writes, status
// changes, some of them at one clock together. `nonfinite`: float pins may
// get infinities and NaN.
EventMix schedule_random_events(Engine& engine, Instance& instance, Rng& rng, int count,
                                uint32_t from, uint32_t until, bool nonfinite);

// One mouse gesture on a panel with one key state (`flags`: left, right,
// Shift, Ctrl in any combination): pressed, dragged, released, now and then
// followed by a double click.
void random_gesture(GuiSide& gui, Rng& rng, int flags);
// A write from the panel's side (an instance with a GUI object): the host's
// pin value changes, as when the user edits it in the host's own pin panel;
// the GUI object is told at once and the processing object at the next
// block.
void panel_write(Engine& engine, Instance& instance, Rng& rng);

}  // namespace plughost::validate
