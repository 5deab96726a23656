// Patch files: JSON text to a ready engine, with one message naming the
// first problem found.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "common/c_numbers.h"
#include "platform/canvas.h"
#include "plughost/gui_side.h"
#include "plughost/host_error.h"
#include "plughost/library_path.h"
#include "plughost/patch.h"
#include "plughost/paths.h"
#include "plughost/pin_values.h"
#include "se_sdk2/gui_opcodes.h"

namespace plughost {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// More pins than any module declares; a patch asking for more is wrong.
constexpr int64_t kMaxPatchPins = 4096;

std::string trim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  size_t start = 0;
  while (start < s.size() && (s[start] == ' ' || s[start] == '\t')) ++start;
  return s.substr(start);
}

// Runs f; a HostError it throws gains `where` in front, unless its message
// begins with it already.
template <class F>
decltype(auto) in_context(const std::string& where, F&& f) {
  try {
    return f();
  } catch (const HostError& e) {
    const std::string message = e.what();
    throw HostError(message.rfind(where, 0) == 0 ? message : where + ": " + message);
  }
}

const json& member(const json& object, const char* key, const std::string& where) {
  auto it = object.find(key);
  if (it == object.end()) throw HostError(where + ": \"" + key + "\" is missing");
  return *it;
}

std::string text_of(const json& value, const std::string& where) {
  if (!value.is_string()) throw HostError(where + ": expected text");
  return value.get<std::string>();
}

// A number, or a text that is one number as C reads it in the "C" locale
// ("nan", "inf", "0x1p-3", "1.5" whatever the process locale is).
double number_of(const json& value, const std::string& where) {
  if (value.is_number()) return value.get<double>();
  if (value.is_boolean()) return value.get<bool>() ? 1.0 : 0.0;
  if (value.is_string()) {
    const std::string s = value.get<std::string>();
    std::size_t consumed = 0;
    const double v = cnum::readCNumber(s, &consumed);
    if (!s.empty() && consumed == s.size()) return v;
  }
  throw HostError(where + ": expected a number");
}

// A number for a float: any float, infinities and NaN included, but no
// finite number beyond the float range.
float float_of(const json& value, const std::string& where) {
  const double v = number_of(value, where);
  if (std::isfinite(v) && std::fabs(v) > double(FLT_MAX)) {
    throw HostError(where + ": " + value.dump() + " is beyond the float range");
  }
  return static_cast<float>(v);
}

// A whole number from `low` to `high`.
int64_t whole_of(const json& value, const std::string& where, int64_t low, int64_t high) {
  const double v = number_of(value, where);
  if (!(v >= double(low) && v <= double(high)) || v != std::floor(v)) {
    throw HostError(where + ": " + value.dump() + " is not a whole number from " +
                    std::to_string(low) + " to " + std::to_string(high));
  }
  return static_cast<int64_t>(v);
}

uint32_t clock_of(const json& value, const std::string& where) {
  if (!value.is_number_integer() || value.get<int64_t>() < 0 ||
      value.get<int64_t>() > int64_t(UINT32_MAX)) {
    throw HostError(where + ": expected a sample clock (a whole number from 0)");
  }
  return static_cast<uint32_t>(value.get<int64_t>());
}

// "module.pin": module names hold no dot; pin names may hold anything.
std::pair<Instance*, int> find_pin(Engine& engine, const json& value, const std::string& where) {
  const std::string ref = text_of(value, where);
  const size_t dot = ref.find('.');
  if (dot == std::string::npos) {
    throw HostError(where + ": \"" + ref + "\" does not name a pin as module.pin");
  }
  return in_context(where, [&]() -> std::pair<Instance*, int> {
    Instance& instance = engine.instance(ref.substr(0, dot));
    return {&instance, instance.pin_index(ref.substr(dot + 1))};
  });
}

int32_t midi_of(const json& value, const std::string& where) {
  std::vector<int64_t> bytes;
  if (value.is_array()) {
    for (const json& b : value) {
      if (!b.is_number_integer()) throw HostError(where + ": MIDI bytes must be whole numbers");
      bytes.push_back(b.get<int64_t>());
    }
  } else if (value.is_string()) {
    std::istringstream in(value.get<std::string>());
    std::string token;
    while (in >> token) {
      char* end = nullptr;
      const long b = std::strtol(token.c_str(), &end, 16);
      if (!end || *end != '\0') throw HostError(where + ": \"" + token + "\" is not a hex byte");
      bytes.push_back(b);
    }
  } else if (value.is_number_integer()) {
    return static_cast<int32_t>(value.get<int64_t>());  // already packed
  } else {
    throw HostError(where + ": expected MIDI bytes");
  }
  if (bytes.empty() || bytes.size() > 3)
    throw HostError(where + ": a short message has 1 to 3 bytes");
  int32_t packed = 0;
  for (size_t k = 0; k < bytes.size(); ++k) {
    if (bytes[k] < 0 || bytes[k] > 255) throw HostError(where + ": a MIDI byte is 0 to FF");
    packed |= static_cast<int32_t>(bytes[k] << (8 * k));
  }
  return packed;
}

double pin_value_of(const HostPin& pin, const json& value, const std::string& where) {
  if (value.is_string() && pin.datatype == DT_CHOICE) {
    double v = 0;
    if (list_entry_value(pin.list_text, value.get<std::string>(), &v)) return v;
  }
  return number_of(value, where);
}

void apply_module_pins(Instance& instance, const json& pins, const std::string& where) {
  if (!pins.is_object()) throw HostError(where + ": expected an object of pin values");
  for (const auto& item : pins.items()) {
    const std::string name = item.key();
    const json& value = item.value();
    const int pin = in_context(where, [&] { return instance.pin_index(name); });
    const HostPin& p = instance.pins()[pin];
    if (p.datatype == DT_STRING) {
      instance.set_text(pin, text_of(value, where + "." + name));
    } else if (p.datatype == DT_MIDI_STREAM) {
      throw HostError(where + "." + name + ": a MIDI pin holds no value");
    } else {
      instance.set_value(pin, pin_value_of(p, value, where + "." + name));
    }
  }
}

// The values "pins" gave arrive once more as changes at clock 0, in pin
// order, as if the user had set them then: the module hears of each
// (EV_PIN_STATUS), which an initial value alone does not tell it.
void announce_pins(Engine& engine, Instance& instance, const json& pins) {
  std::vector<int> given;
  for (const auto& item : pins.items()) given.push_back(instance.pin_index(item.key()));
  std::sort(given.begin(), given.end());
  for (const int pin : given) {
    const HostPin& p = instance.pins()[pin];
    if (p.datatype == DT_STRING) {
      engine.schedule_text(instance, pin, 0, p.text);
    } else {
      engine.schedule_value(instance, pin, 0, p.value);
    }
  }
}

Signal signal_of(const json& entry, float initial, const std::string& where) {
  Signal signal;
  signal.initial = initial;
  if (entry.contains("initial")) signal.initial = float_of(entry["initial"], where + ".initial");
  if (entry.contains("samples")) {
    const json& samples = entry["samples"];
    if (!samples.is_array() || samples.empty()) {
      throw HostError(where + ".samples: expected a list of numbers");
    }
    if (entry.contains("points")) {
      throw HostError(where + ": a signal has \"points\" or \"samples\", not both");
    }
    signal.table_at = entry.contains("at") ? clock_of(entry["at"], where + ".at") : 0;
    for (size_t k = 0; k < samples.size(); ++k) {
      const std::string at = where + ".samples[" + std::to_string(k) + "]";
      signal.samples.push_back(float_of(samples[k], at));
    }
    return signal;
  }
  const json& points = member(entry, "points", where);
  if (!points.is_array()) throw HostError(where + ".points: expected a list");
  for (size_t k = 0; k < points.size(); ++k) {
    const std::string at = where + ".points[" + std::to_string(k) + "]";
    const json& p = points[k];
    if (!p.is_object()) throw HostError(at + ": expected an object");
    Signal::Point point;
    point.at = clock_of(member(p, "at", at), at + ".at");
    if (p.contains("ramp_to")) {
      point.ramp = true;
      point.value = float_of(p["ramp_to"], at + ".ramp_to");
      point.until = clock_of(member(p, "until", at), at + ".until");
      if (point.until <= point.at) throw HostError(at + ": a ramp ends after it starts");
    } else {
      point.value = float_of(member(p, "value", at), at + ".value");
    }
    if (!signal.points.empty()) {
      const Signal::Point& previous = signal.points.back();
      if (point.at < (previous.ramp ? previous.until : previous.at)) {
        throw HostError(at + ": points must follow each other in time");
      }
    }
    signal.points.push_back(point);
  }
  return signal;
}

}  // namespace

bool list_entry_value(const std::string& list_text, const std::string& entry, double* value) {
  std::istringstream in(list_text);
  std::string item;
  int position = 0;
  while (std::getline(in, item, ',')) {
    const size_t eq = item.find('=');
    const std::string name = trim(item.substr(0, eq));
    if (name == entry) {
      *value = eq == std::string::npos ? position : cnum::readCNumber(item.substr(eq + 1));
      return true;
    }
    ++position;
  }
  return false;
}

PatchRun load_patch(const std::string& json_text, const std::string& base_dir) {
  json patch;
  try {
    patch = json::parse(json_text);
  } catch (const json::exception& e) {
    // Syntax errors, and numbers beyond the range of double ("1e999").
    throw HostError(std::string("malformed JSON: ") + e.what());
  }
  if (!patch.is_object()) throw HostError("a patch is a JSON object");

  PatchRun run;
  const float rate =
      patch.contains("sample_rate") ? float_of(patch["sample_rate"], "sample_rate") : 44100.0f;
  int block = 64;
  if (patch.contains("block_size")) {
    const double b = number_of(patch["block_size"], "block_size");
    if (!(b >= 1 && b <= 1 << 20) || b != std::floor(b)) {
      throw HostError("block_size: expected a whole number from 1 to 1048576");
    }
    block = static_cast<int>(b);
  }
  if (!(rate > 0.0f) || !std::isfinite(rate)) throw HostError("sample_rate: must be above 0");
  run.engine = std::make_unique<Engine>(rate, block);
  Engine& engine = *run.engine;
  if (patch.contains("gui_notify")) {
    const std::string when = text_of(patch["gui_notify"], "gui_notify");
    if (when == "immediate") {
      engine.set_gui_notify(GuiNotify::kImmediate);
    } else if (when == "deferred") {
      engine.set_gui_notify(GuiNotify::kDeferred);
    } else if (when == "every_write") {
      engine.set_gui_notify(GuiNotify::kEveryWrite);
    } else {
      throw HostError("gui_notify: \"immediate\", \"deferred\" or \"every_write\"");
    }
  }
  engine.set_base_dir(base_dir);
  run.length = clock_of(member(patch, "length", "patch"), "length");

  const json& modules = member(patch, "modules", "patch");
  if (!modules.is_array() || modules.empty())
    throw HostError("modules: expected a list of modules");
  for (size_t k = 0; k < modules.size(); ++k) {
    const std::string where = "modules[" + std::to_string(k) + "]";
    const json& m = modules[k];
    if (!m.is_object()) throw HostError(where + ": expected an object");
    const std::string name = text_of(member(m, "name", where), where + ".name");
    if (name.empty() || name.find('.') != std::string::npos) {
      throw HostError(where + ".name: a module name is not empty and holds no dot");
    }
    const std::string library = in_context(where + ".library", [&] {
      return locate_library(text_of(member(m, "library", where), where + ".library"),
                            LibraryContext::patch(base_dir));
    });
    std::optional<int> pin_count;
    if (m.contains("pin_count")) {
      pin_count = int(whole_of(m["pin_count"], where + ".pin_count", 0, kMaxPatchPins));
    }
    const int extra = m.contains("extra_pins")
                          ? int(whole_of(m["extra_pins"], where + ".extra_pins", 0, kMaxPatchPins))
                          : 0;
    Instance& instance = engine.add(name, library, pin_count, extra);
    if (m.contains("pins")) apply_module_pins(instance, m["pins"], where + ".pins");
    if (m.contains("announce")) {
      if (!m["announce"].is_boolean()) throw HostError(where + ".announce: expected true or false");
      if (m["announce"].get<bool>() && m.contains("pins")) {
        in_context(where + ".announce", [&] { announce_pins(engine, instance, m["pins"]); });
      }
    }
    bool restored = m.contains("pins");
    if (m.contains("gui_open")) {
      const std::string how = text_of(m["gui_open"], where + ".gui_open");
      if (how != "new" && how != "restored") {
        throw HostError(where + ".gui_open: \"new\" or \"restored\"");
      }
      restored = how == "restored";
    }
    if (instance.has_gui()) instance.gui()->open(restored);
    if (m.contains("panel")) {
      // The panel's size as the user left it (the module only proposes one).
      const json& panel = m["panel"];
      if (!instance.has_gui())
        throw HostError(where + ".panel: module \"" + name + "\" has no panel");
      if (!panel.is_array() || panel.size() != 2) {
        throw HostError(where + ".panel: expected [width, height] in pixels");
      }
      instance.gui()->window_info().width =
          int(whole_of(panel[0], where + ".panel[0]", 1, platform::Canvas::max_size));
      instance.gui()->window_info().height =
          int(whole_of(panel[1], where + ".panel[1]", 1, platform::Canvas::max_size));
    }
    if (m.contains("window")) {
      const json& window = m["window"];
      if (!window.is_string() || window.get<std::string>() != "open")
        throw HostError(where + ".window: \"open\" (the panel window is shown)");
      if (!instance.has_gui())
        throw HostError(where + ".window: module \"" + name + "\" has no panel");
      instance.gui()->open_window();
    }
  }

  if (patch.contains("connections")) {
    const json& connections = patch["connections"];
    if (!connections.is_array()) throw HostError("connections: expected a list");
    for (size_t k = 0; k < connections.size(); ++k) {
      const std::string where = "connections[" + std::to_string(k) + "]";
      const json& c = connections[k];
      const bool pair = c.is_array() && c.size() == 2;
      if (!pair && !c.is_object()) throw HostError(where + ": expected {\"from\", \"to\"}");
      const std::pair<Instance*, int> from_from_pin =
          find_pin(engine, pair ? c[0] : member(c, "from", where), where + ".from");
      Instance* const from = from_from_pin.first;
      const int from_pin = from_from_pin.second;
      const std::pair<Instance*, int> to_to_pin =
          find_pin(engine, pair ? c[1] : member(c, "to", where), where + ".to");
      Instance* const to = to_to_pin.first;
      const int to_pin = to_to_pin.second;
      in_context(where, [&] { engine.connect(*from, from_pin, *to, to_pin); });
    }
  }

  if (patch.contains("signals")) {
    const json& signals = patch["signals"];
    if (!signals.is_array()) throw HostError("signals: expected a list");
    for (size_t k = 0; k < signals.size(); ++k) {
      const std::string where = "signals[" + std::to_string(k) + "]";
      if (!signals[k].is_object()) throw HostError(where + ": expected an object");
      const std::pair<Instance*, int> target =
          find_pin(engine, member(signals[k], "to", where), where + ".to");
      Instance* const to = target.first;
      const int pin = target.second;
      const Signal signal = signal_of(signals[k], to_float(to->pins()[pin].value), where);
      in_context(where, [&] { engine.set_signal(*to, pin, signal); });
    }
  }

  if (patch.contains("events")) {
    const json& events = patch["events"];
    if (!events.is_array()) throw HostError("events: expected a list");
    for (size_t k = 0; k < events.size(); ++k) {
      const std::string where = "events[" + std::to_string(k) + "]";
      const json& e = events[k];
      if (!e.is_object()) throw HostError(where + ": expected an object");
      const uint32_t time = clock_of(member(e, "time", where), where + ".time");
      const std::pair<Instance*, int> target =
          find_pin(engine, member(e, "to", where), where + ".to");
      Instance* const to = target.first;
      const int pin = target.second;
      in_context(where, [&] {
        if (e.contains("midi")) {
          engine.schedule_midi(*to, pin, time, midi_of(e["midi"], where + ".midi"));
        } else if (e.contains("value")) {
          engine.schedule_value(*to, pin, time,
                                pin_value_of(to->pins()[pin], e["value"], where + ".value"));
        } else if (e.contains("text")) {
          engine.schedule_text(*to, pin, time, text_of(e["text"], where + ".text"));
        } else if (e.contains("status")) {
          engine.schedule_status(
              *to, pin, time,
              int32_t(whole_of(e["status"], where + ".status", INT32_MIN, INT32_MAX)));
        } else {
          throw HostError(where + ": an event has \"midi\", \"value\", \"text\" or \"status\"");
        }
      });
    }
  }

  if (patch.contains("typing")) {
    const json& typing = patch["typing"];
    if (!typing.is_array()) throw HostError("typing: expected a list");
    for (size_t k = 0; k < typing.size(); ++k) {
      const std::string where = "typing[" + std::to_string(k) + "]";
      const json& t = typing[k];
      if (!t.is_object()) throw HostError(where + ": expected an object");
      const uint32_t time = clock_of(member(t, "time", where), where + ".time");
      Instance* instance = in_context(where, [&] {
        return &engine.instance(text_of(member(t, "module", where), where + ".module"));
      });
      const std::string text = text_of(member(t, "text", where), where + ".text");
      in_context(where, [&] { engine.schedule_typing(*instance, time, text); });
    }
  }

  if (patch.contains("gestures")) {
    const json& gestures = patch["gestures"];
    if (!gestures.is_array()) throw HostError("gestures: expected a list");
    for (size_t k = 0; k < gestures.size(); ++k) {
      const std::string where = "gestures[" + std::to_string(k) + "]";
      const json& g = gestures[k];
      if (!g.is_object()) throw HostError(where + ": expected an object");
      Instance* instance = in_context(where, [&] {
        return &engine.instance(text_of(member(g, "module", where), where + ".module"));
      });
      if (!instance->has_gui())
        throw HostError(where + ": module \"" + instance->name() + "\" has no panel");
      const json& actions = member(g, "actions", where);
      if (!actions.is_array()) throw HostError(where + ".actions: expected a list");
      for (size_t a = 0; a < actions.size(); ++a) {
        const std::string at = where + ".actions[" + std::to_string(a) + "]";
        const json& action = actions[a];
        if (!action.is_object()) throw HostError(at + ": expected an object");
        Gesture gesture;
        gesture.instance = instance;
        const json* point = nullptr;
        for (const auto& [key, opcode] : {std::pair<const char*, int>{"down", se::kGuiButtonDown},
                                          {"move", se::kGuiMouseMove},
                                          {"up", se::kGuiButtonUp}}) {
          if (action.contains(key)) {
            gesture.opcode = opcode;
            point = &action[key];
          }
        }
        if (!point) throw HostError(at + ": an action has \"down\", \"move\" or \"up\"");
        if (!point->is_array() || point->size() != 2 || !(*point)[0].is_number_integer() ||
            !(*point)[1].is_number_integer()) {
          throw HostError(at + ": a point is [x, y] in whole pixels");
        }
        gesture.x = (*point)[0].get<int>();
        gesture.y = (*point)[1].get<int>();
        if (action.contains("flags"))
          gesture.flags = int(whole_of(action["flags"], at + ".flags", 0, 0xFFFF));
        run.gestures.push_back(gesture);
      }
    }
  }

  if (patch.contains("record")) {
    const json& record = patch["record"];
    if (!record.is_array()) throw HostError("record: expected a list of module.pin");
    for (size_t k = 0; k < record.size(); ++k) {
      const std::string where = "record[" + std::to_string(k) + "]";
      const std::pair<Instance*, int> source = find_pin(engine, record[k], where);
      Instance* const from = source.first;
      const int pin = source.second;
      in_context(where, [&] { engine.record(*from, pin); });
      run.recorded.emplace_back(from, pin);
    }
  } else {
    for (auto& instance : engine.instances()) {
      for (size_t k = 0; k < instance->pins().size(); ++k) {
        const HostPin& p = instance->pins()[k];
        if (p.datatype == DT_FSAMPLE && p.direction == DR_OUT) {
          engine.record(*instance, static_cast<int>(k));
          run.recorded.emplace_back(instance.get(), static_cast<int>(k));
        }
      }
    }
  }
  return run;
}

PatchRun load_patch_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw HostError("cannot read patch file " + path);
  std::ostringstream text;
  text << in.rdbuf();
  fs::path folder = fs::path(path).parent_path();
  if (folder.empty()) folder = ".";
  return in_context(path, [&] { return load_patch(text.str(), folder.string()); });
}

}  // namespace plughost
