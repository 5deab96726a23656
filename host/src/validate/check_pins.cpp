// Pin list checks: the walk through GetPinProperties ends, each entry's
// texts, codes and flags are ones a host knows, choice lists are well
// formed, no entry has a flag combination that the framework's checking
// build refuses, and the module runs on a host that reports fewer pins than
// it declares.
#include <cstring>
#include <set>

#include "check.h"
#include "plughost/engine.h"
#include "random_inputs.h"
#include "se_sdk2/host_opcodes.h"
#include "text_checks.h"

namespace plughost::validate {

namespace {

// A pin list longer than this is taken as one that never ends.
constexpr int kMaxPins = 4096;

constexpr int32_t kKnownFlags = IO_REPEAT_LAST | IO_FILE_NAME | IO_PRIVATE | IO_UI_COMMUNICATION |
                                IO_UI_DUAL | IO_PATCH_STORE | 0x20000;

bool known_datatype(int32_t t) {
  switch (t) {
    case DT_CHOICE:
    case DT_STRING:
    case DT_MIDI_STREAM:
    case DT_SWITCH:
    case DT_FSAMPLE:
    case DT_FLOAT32:
    case DT_INT32:
      return true;
    default:
      return false;
  }
}

std::string pin_label(int index, const SEPinProperties& p) {
  const bool named = p.name && strnlen(p.name, kMaxPinText) < kMaxPinText;
  return "pin " + std::to_string(index) + (named ? " \"" + std::string(p.name) + "\"" : "");
}

}  // namespace

void check_pins(const Settings& settings) {
  Engine engine;
  Instance& instance = engine.add("m", settings.library);
  std::vector<SEPinProperties> pins;
  bool ended = false;
  for (int j = 0; j < kMaxPins; ++j) {
    SEPinProperties p;
    std::memset(&p, 0, sizeof p);
    if (instance.dispatch(se::kOpPinProperties, j, 0, &p) == 0) {
      ended = true;
      break;
    }
    pins.push_back(p);
  }

  run_check(settings, "pins.endless_pin_list", [&](Rng&) {
    if (ended) return Outcome::pass();
    return Outcome::fail("GetPinProperties still answers true for entry " +
                         std::to_string(kMaxPins - 1));
  });

  run_check(settings, "pins.missing_or_unterminated_text", [&](Rng&) {
    Faults faults;
    std::set<std::string> names;
    for (size_t k = 0; k < pins.size(); ++k) {
      const SEPinProperties& p = pins[k];
      const std::string label = "pin " + std::to_string(k);
      std::string why = text_fault(p.name, kMaxPinText, true);
      if (!why.empty()) {
        faults.add(label + ": its name " + why);
        continue;
      }
      if (!names.insert(p.name).second)
        faults.add(pin_label(int(k), p) + ": a second pin so named");
      why = text_fault(p.default_value, kMaxPinText, false);
      if (!why.empty()) faults.add(pin_label(int(k), p) + ": its default " + why);
      why = text_fault(p.datatype_extra, kMaxPinText, false);
      if (!why.empty()) faults.add(pin_label(int(k), p) + ": its list text " + why);
    }
    return faults.outcome();
  });

  run_check(settings, "pins.unknown_direction_type_or_flag", [&](Rng&) {
    Faults faults;
    for (size_t k = 0; k < pins.size(); ++k) {
      const SEPinProperties& p = pins[k];
      if (p.direction != DR_IN && p.direction != DR_OUT && p.direction != DR_SETTING) {
        faults.add(pin_label(int(k), p) + ": direction " + std::to_string(p.direction));
      }
      if (!known_datatype(p.datatype)) {
        faults.add(pin_label(int(k), p) + ": data type " + std::to_string(p.datatype));
      }
      if (p.flags & ~kKnownFlags) {
        faults.add(pin_label(int(k), p) + ": unknown flag bits " +
                   std::to_string(p.flags & ~kKnownFlags));
      }
      if (p.reserved != 0) faults.add(pin_label(int(k), p) + ": reserved field written");
    }
    return faults.outcome();
  });

  run_check(settings, "pins.malformed_list_or_default", [&](Rng&) {
    Faults faults;
    for (size_t k = 0; k < pins.size(); ++k) {
      const SEPinProperties& p = pins[k];
      if (!text_fault(p.name, kMaxPinText, true).empty()) continue;  // told above
      if (p.datatype == DT_CHOICE && p.datatype_extra &&
          text_fault(p.datatype_extra, kMaxPinText, false).empty()) {
        const std::string why = list_fault(p.datatype_extra);
        if (!why.empty()) faults.add(pin_label(int(k), p) + ": " + why);
      }
      const bool holds_number = p.datatype == DT_CHOICE || p.datatype == DT_SWITCH ||
                                p.datatype == DT_FSAMPLE || p.datatype == DT_FLOAT32 ||
                                p.datatype == DT_INT32;
      if (holds_number && p.default_value && *p.default_value &&
          text_fault(p.default_value, kMaxPinText, false).empty() && !is_number(p.default_value)) {
        faults.add(pin_label(int(k), p) + ": default \"" + p.default_value + "\" is no number");
      }
    }
    return faults.outcome();
  });

  run_check(settings, "pins.refused_flag_combination", [&](Rng&) {
    Faults faults;
    for (size_t k = 0; k < pins.size(); ++k) {
      const SEPinProperties& p = pins[k];
      // An input stored with the patch must be private or a UI-communication pin.
      if ((p.flags & IO_PATCH_STORE) && !(p.flags & IO_PRIVATE) && p.direction != DR_OUT &&
          !(p.flags & IO_UI_COMMUNICATION)) {
        faults.add(pin_label(int(k), p) +
                   ": an input stored with the patch that is neither private nor a "
                   "UI-communication pin");
      }
    }
    return faults.outcome();
  });

  // The host answers the pin count (host opcode 14) and the framework's pin
  // walk stops there: a host may report fewer pins than the module
  // declares, down to none. The module gets inputs on what the host has
  // (MIDI reaches it whatever its pins), its panel is used, and it must
  // neither crash nor reach past the pins it got.
  run_check(settings, "pins.crash_with_fewer_host_pins", [&](Rng& rng) {
    const int declared = static_cast<int>(pins.size());
    if (declared == 0) return Outcome::skip("the module declares no pins");
    std::set<int> counts = {0, 1, declared - 1};
    for (int count : counts) {
      if (count >= declared) continue;
      note("the host reports " + std::to_string(count) + " of " + std::to_string(declared) +
           " pins");
      Engine engine(44100.0f, 64);
      Instance& m = engine.add("m", settings.library, count);
      preset_pins(m, rng);
      for (size_t k = 0; k < m.pins().size(); ++k) {
        const HostPin& pin = m.pins()[k];
        if (pin.datatype == DT_FSAMPLE && pin.direction != DR_OUT) {
          engine.set_signal(m, int(k), make_signal(SignalKind::kNoise, rng, 1024));
        }
      }
      schedule_random_events(engine, m, rng, 32, 0, 1024, false);
      engine.run(0);
      if (m.has_gui()) {
        m.gui()->open(rng.chance(2));
        for (int n = 0; n < 4; ++n) {
          random_gesture(*m.gui(), rng, int(rng.below(16)));
          panel_write(engine, m, rng);
        }
      }
      engine.run(1024);
    }
    return Outcome::pass();
  });
}

}  // namespace plughost::validate
