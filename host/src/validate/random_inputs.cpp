#include "random_inputs.h"

#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

#include "common/c_numbers.h"
#include "plughost/patch.h"
#include "se_sdk2/gui_opcodes.h"

namespace plughost::validate {

namespace {

// The choice values of a list text: entry values, or a range's ends and
// points between; empty when the list gives none.
std::vector<double> choice_values(const std::string& list, Rng& rng) {
  std::vector<double> values;
  if (list.compare(0, 6, "range:") == 0) {
    const size_t comma = list.find(',');
    if (comma == std::string::npos) return values;
    const double lo = cnum::readCNumber(list.substr(6, comma - 6));
    const double hi = cnum::readCNumber(list.substr(comma + 1));
    if (!(lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi)) return values;
    values = {std::ceil(lo), std::floor(hi)};
    values.push_back(std::floor(lo + (hi - lo) * rng.unit()));
    return values;
  }
  size_t start = 0;
  while (start <= list.size() && !list.empty()) {
    const size_t comma = list.find(',', start);
    const std::string item =
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const size_t eq = item.find('=');
    double v = 0;
    if (list_entry_value(list, item.substr(0, eq), &v)) values.push_back(v);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return values;
}

double clamp_to(double v, double lo, double hi) {
  return v < lo ? lo : v > hi ? hi : v;
}

}  // namespace

const char* signal_name(SignalKind kind) {
  switch (kind) {
    case SignalKind::kSilence:
      return "silence";
    case SignalKind::kFullScale:
      return "full scale";
    case SignalKind::kDenormal:
      return "denormals";
    case SignalKind::kNoise:
      return "noise";
    case SignalKind::kInfinite:
      return "infinities";
    case SignalKind::kNan:
      return "NaN";
  }
  return "?";
}

bool is_finite_kind(SignalKind kind) {
  return kind != SignalKind::kInfinite && kind != SignalKind::kNan;
}

Signal make_signal(SignalKind kind, Rng& rng, uint32_t length) {
  Signal s;
  s.samples.resize(length);
  for (float& x : s.samples) {
    const float noise = static_cast<float>(rng.unit() * 2.0 - 1.0);
    switch (kind) {
      case SignalKind::kSilence:
        x = 0.0f;
        break;
      case SignalKind::kFullScale:
        x = rng.chance(2) ? 1.0f : -1.0f;
        break;
      case SignalKind::kDenormal:
        x = FLT_MIN * noise * 0.5f;
        break;
      case SignalKind::kNoise:
        x = noise;
        break;
      case SignalKind::kInfinite:
        x = rng.chance(8) ? (rng.chance(2) ? INFINITY : -INFINITY) : noise;
        break;
      case SignalKind::kNan:
        x = rng.chance(8) ? std::numeric_limits<float>::quiet_NaN() : noise;
        break;
    }
  }
  return s;
}

bool takes_value(const HostPin& pin) {
  if (pin.direction == DR_OUT || pin.repeat) return false;
  if (pin.flags & IO_FILE_NAME) return false;
  switch (pin.datatype) {
    case DT_CHOICE:
    case DT_SWITCH:
    case DT_FLOAT32:
    case DT_INT32:
    case DT_STRING:
      return true;
    default:
      return false;
  }
}

double random_value(const HostPin& pin, Rng& rng, bool nonfinite) {
  switch (pin.datatype) {
    case DT_CHOICE: {
      const std::vector<double> values = choice_values(pin.list_text, rng);
      if (values.empty()) return double(rng.below(4));
      return clamp_to(values[rng.below(uint32_t(values.size()))], -32768.0, 32767.0);
    }
    case DT_SWITCH:
      return double(rng.below(2));
    case DT_INT32:
      switch (rng.below(6)) {
        case 0:
          return -2147483648.0;
        case 1:
          return 2147483647.0;
        case 2:
          return double(rng.between(-1000, 1000));
        default:
          return double(rng.between(0, 0xFFFFFF));
      }
    case DT_FLOAT32:
    case DT_FSAMPLE:
      switch (rng.below(nonfinite ? 10 : 8)) {
        case 0:
          return 0.0;
        case 1:
          return rng.chance(2) ? double(FLT_MAX) : -double(FLT_MAX);
        case 2:
          return double(FLT_MIN) * 0.25;  // a denormal
        case 3:
          return rng.unit() * 2000.0 - 1000.0;
        case 8:
          return rng.chance(2) ? INFINITY : -INFINITY;
        case 9:
          return std::numeric_limits<double>::quiet_NaN();
        default:
          return rng.unit() * 2.0 - 1.0;
      }
    default:
      return 0.0;
  }
}

std::string random_text(Rng& rng) {
  std::string text;
  switch (rng.below(5)) {
    case 0:  // a node list
      for (int n = int(rng.below(12)); n > 0; --n) {
        text += "(" + std::to_string(rng.between(-20, 120)) + "," +
                std::to_string(rng.between(-20, 120)) + ")";
      }
      return text;
    case 1:  // a number list
      for (int n = int(rng.below(12)); n > 0; --n) {
        text += cnum::formatFixed(rng.unit() * 200.0 - 100.0, int(rng.below(7))) + ",";
      }
      return text;
    case 2:  // printable garbage
      for (int n = int(rng.below(64)); n > 0; --n) text += char(32 + rng.below(95));
      return text;
    case 3:  // bytes of every value but zero
      for (int n = int(rng.below(64)); n > 0; --n) text += char(1 + rng.below(255));
      return text;
    default:  // long
      text.assign(size_t(rng.between(1000, 20000)), '(');
      for (char& c : text) c = "(),.0123456789e-"[rng.below(16)];
      return text;
  }
}

int32_t random_midi(Rng& rng) {
  const int32_t high = rng.chance(16) ? int32_t(rng.below(256)) << 24 : 0;
  if (rng.chance(10)) {
    static const int32_t system[] = {0xF8, 0xFA, 0xFC, 0xFE, 0xFF, 0xF2, 0xF0, 0xF7};
    return high | system[rng.below(8)] | int32_t(rng.below(128)) << 8 |
           int32_t(rng.below(128)) << 16;
  }
  const int32_t status = 0x80 | int32_t(rng.below(7)) << 4 | int32_t(rng.below(16));
  return high | status | int32_t(rng.below(128)) << 8 | int32_t(rng.below(128)) << 16;
}

void preset_pins(Instance& instance, Rng& rng, bool nonfinite) {
  std::vector<HostPin>& pins = instance.pins();
  for (size_t k = 0; k < pins.size(); ++k) {
    const HostPin& pin = pins[k];
    if (!takes_value(pin) || rng.chance(3)) continue;
    if (pin.datatype == DT_STRING) {
      instance.set_text(int(k), random_text(rng));
    } else {
      instance.set_value(int(k), random_value(pin, rng, nonfinite));
    }
  }
}

EventMix schedule_random_events(Engine& engine, Instance& instance, Rng& rng, int count,
                                uint32_t from, uint32_t until, bool nonfinite) {
  EventMix mix;
  std::vector<int> midi_in, value_in, status_in;
  const std::vector<HostPin>& pins = instance.pins();
  for (size_t k = 0; k < pins.size(); ++k) {
    const HostPin& pin = pins[k];
    if (pin.direction == DR_OUT) continue;
    if (pin.datatype == DT_MIDI_STREAM) midi_in.push_back(int(k));
    if (takes_value(pin)) value_in.push_back(int(k));
    if (pin.processing_index >= 0) status_in.push_back(int(k));
  }
  if (until <= from) return mix;
  uint32_t at = from;
  for (int n = 0; n < count; ++n) {
    if (n == 0 || !rng.chance(4)) at = from + rng.below(until - from);  // else with the last
    const uint32_t pick = rng.below(10);
    if (pick < 6 && !midi_in.empty()) {
      engine.schedule_midi(instance, midi_in[rng.below(uint32_t(midi_in.size()))], at,
                           random_midi(rng));
      ++mix.midi;
    } else if (pick < 9 && !value_in.empty()) {
      const int pin = value_in[rng.below(uint32_t(value_in.size()))];
      if (pins[pin].datatype == DT_STRING) {
        engine.schedule_text(instance, pin, at, random_text(rng));
      } else {
        const double v = random_value(pins[pin], rng, nonfinite);
        if (!std::isfinite(v)) mix.nonfinite = true;
        engine.schedule_value(instance, pin, at, v);
      }
      ++mix.values;
    } else if (!status_in.empty()) {
      engine.schedule_status(instance, status_in[rng.below(uint32_t(status_in.size()))], at,
                             int32_t(rng.below(3)));
      ++mix.statuses;
    }
  }
  return mix;
}

// One gesture: a button pressed, dragged and released, mostly on the panel,
// sometimes beyond its edges or far away.
void random_gesture(GuiSide& gui, Rng& rng, int flags) {
  const int w = gui.panel_width() > 0 ? gui.panel_width() : 1;
  const int h = gui.panel_height() > 0 ? gui.panel_height() : 1;
  const auto coordinate = [&](int extent) {
    switch (rng.below(12)) {
      case 0:
        return int(rng.between(-100000, 100000));
      case 1:
        return rng.chance(2) ? INT32_MIN : INT32_MAX;
      case 2:
        return int(rng.between(-10, 0));
      default:
        return int(rng.between(0, extent + 10));
    }
  };
  gui.mouse(se::kGuiButtonDown, coordinate(w), coordinate(h), flags);
  for (int n = int(rng.below(6)); n > 0; --n) {
    gui.mouse(se::kGuiMouseMove, coordinate(w), coordinate(h), flags);
  }
  gui.mouse(se::kGuiButtonUp, coordinate(w), coordinate(h), flags);
  // Sometimes a click at once on the same spot (a double click).
  if (rng.chance(4)) {
    const int x = coordinate(w), y = coordinate(h);
    gui.mouse(se::kGuiButtonDown, x, y, flags);
    gui.mouse(se::kGuiButtonUp, x, y, flags);
    gui.mouse(se::kGuiButtonDown, x, y, flags);
    gui.mouse(se::kGuiButtonUp, x, y, flags);
  }
}

void panel_write(Engine& engine, Instance& instance, Rng& rng) {
  std::vector<HostPin>& pins = instance.pins();
  std::vector<int> writable;
  for (size_t k = 0; k < pins.size(); ++k) {
    if (takes_value(pins[k])) writable.push_back(int(k));
  }
  if (writable.empty() || !instance.has_gui()) return;
  const int pin = writable[rng.below(uint32_t(writable.size()))];
  if (pins[pin].datatype == DT_STRING) {
    instance.set_text(pin, random_text(rng));
  } else {
    instance.set_value(pin, random_value(pins[pin], rng, true));
  }
  instance.gui()->pin_changed(pin, false);
  engine.schedule_status(instance, pin, engine.clock(), ST_ONE_OFF);
}

}  // namespace plughost::validate
