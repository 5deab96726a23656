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
#include <string>
#include <system_error>
#include <vector>

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

// Edit distance between two keys, ASCII case folded: insertions, deletions,
// substitutions and swaps of neighbours cost 1 each ("sampel" is 1 from
// "sample").
size_t edit_distance(const std::string& a, const std::string& b) {
  const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t cost = fold(a[i - 1]) == fold(b[j - 1]) ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && fold(a[i - 1]) == fold(b[j - 2]) && fold(a[i - 2]) == fold(b[j - 1])) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// The known name nearest to `given`, or "" when none is near enough to be
// a typo of it (more than a third of its letters, and at least one, apart).
std::string nearest(const std::string& given, const std::vector<std::string>& known) {
  std::string best;
  size_t best_distance = std::max<size_t>(1, given.size() / 3) + 1;
  for (const std::string& name : known) {
    const size_t distance = edit_distance(given, name);
    if (distance < best_distance) {
      best = name;
      best_distance = distance;
    }
  }
  return best;
}

std::string quoted_list(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "\"" : ", \"") + name + "\"";
  return text;
}

// Every key of `object` is one of `known`; `place` says where the object is
// ("the patch", "modules[0]"). A typo names the key it is nearest to.
void check_keys(const json& object, const std::vector<std::string>& known,
                const std::string& place) {
  for (const auto& item : object.items()) {
    if (std::find(known.begin(), known.end(), item.key()) != known.end()) continue;
    const std::string near = nearest(item.key(), known);
    throw HostError("unknown key \"" + item.key() + "\" in " + place +
                    (near.empty() ? " (known keys: " + quoted_list(known) + ")"
                                  : "; did you mean \"" + near + "\"?"));
  }
}

// The one key of `choices` that `object` has; none or several is an error.
std::string one_of(const json& object, const std::vector<std::string>& choices,
                   const std::string& what, const std::string& where) {
  std::vector<std::string> given;
  for (const std::string& key : choices) {
    if (object.contains(key)) given.push_back(key);
  }
  if (given.size() == 1) return given.front();
  std::string listed;
  for (size_t k = 0; k < choices.size(); ++k) {
    listed += (k == 0 ? "" : k + 1 == choices.size() ? " or " : ", ") + ("\"" + choices[k] + "\"");
  }
  if (given.empty()) throw HostError(where + ": " + what + " has " + listed);
  std::string both;
  for (size_t k = 0; k < given.size(); ++k) {
    both += (k == 0 ? "" : k + 1 == given.size() ? " and " : ", ") + ("\"" + given[k] + "\"");
  }
  throw HostError(where + ": " + what + " has one of " + listed + "; this one has " + both);
}

// A clock at which something is to happen during the run: from 0 to
// length - 1 (the run plays clocks 0 to length - 1; anything later would
// never happen).
uint32_t clock_within(const json& value, const std::string& where, uint32_t length) {
  const uint32_t clock = clock_of(value, where);
  if (clock >= length) {
    throw HostError(where + ": " + std::to_string(clock) + " is not before the patch's end (" +
                    "\"length\" " + std::to_string(length) + ": clocks 0 to " +
                    (length == 0 ? std::string("none") : std::to_string(length - 1)) + ")");
  }
  return clock;
}

// The pin of `instance` named `name`; a name not found suggests the nearest.
int pin_of(const Instance& instance, const std::string& name) {
  std::vector<std::string> names;
  for (const HostPin& pin : instance.pins()) {
    if (pin.name == name) return instance.pin_index(name);
    if (!pin.repeat) names.push_back(pin.name);
  }
  const std::string near = nearest(name, names);
  if (near.empty()) return instance.pin_index(name);  // throws, listing the pins
  throw HostError("module \"" + instance.name() + "\" has no pin \"" + name +
                  "\"; did you mean \"" + near + "\"?");
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
    return {&instance, pin_of(instance, ref.substr(dot + 1))};
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

// A list entry's value as people write it: "1", "0.5".
std::string number_text(double value) {
  std::string text = cnum::formatFixed(value, 6);
  if (text.find('.') == std::string::npos) return text;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

// Whether `v` is on a choice pin's list, and the list as a patch may give
// it. A list is entries ("off,on": positions 0 and 1; "on=1,off=0": the
// values given) or a range of whole numbers ("range: 0,30"). An empty list
// (no list, or a list of the machine's MIDI ports that has none) says
// nothing, and any value is taken.
bool on_choice_list(const std::string& list, double v, std::string* shown) {
  if (trim(list).empty()) return true;
  if (list.rfind("range:", 0) == 0) {
    const size_t comma = list.find(',');
    const std::string low = trim(list.substr(6, comma == std::string::npos ? 0 : comma - 6));
    const std::string high = comma == std::string::npos ? "" : trim(list.substr(comma + 1));
    *shown = "whole numbers from " + low + " to " + high;
    return v >= cnum::readCNumber(low) && v <= cnum::readCNumber(high) && v == std::floor(v);
  }
  std::vector<std::string> entries;
  bool found = false;
  std::istringstream in(list);
  std::string item;
  int position = 0;
  while (std::getline(in, item, ',')) {
    const size_t eq = item.find('=');
    const double value =
        eq == std::string::npos ? double(position) : cnum::readCNumber(item.substr(eq + 1));
    found = found || value == v;
    entries.push_back("\"" + trim(item.substr(0, eq)) + "\" (" + number_text(value) + ")");
    ++position;
  }
  // Long lists (128 notes) are shown by their ends.
  constexpr size_t kShown = 6;
  for (size_t k = 0; k < entries.size(); ++k) {
    if (entries.size() > kShown && k >= kShown / 2 && k + kShown / 2 < entries.size()) {
      if (k == kShown / 2) *shown += ", ...";
      continue;
    }
    *shown += (k == 0 ? "" : ", ") + entries[k];
  }
  return found;
}

double pin_value_of(const Instance& instance, const HostPin& pin, const json& value,
                    const std::string& where) {
  double v = 0;
  if (value.is_string() && pin.datatype == DT_CHOICE &&
      list_entry_value(pin.list_text, value.get<std::string>(), &v)) {
    return v;
  }
  std::string shown;
  const auto off_the_list = [&](const std::string& given) {
    return HostError(where + ": " + given + " is not on the list of module \"" + instance.name() +
                     "\" pin \"" + pin.name + "\": " + shown);
  };
  if (pin.datatype != DT_CHOICE) return number_of(value, where);
  try {
    v = number_of(value, where);
  } catch (const HostError&) {
    if (value.is_string() && !on_choice_list(pin.list_text, NAN, &shown))
      throw off_the_list(value.dump());
    throw;
  }
  // A value no choice pin can hold is the engine's to refuse, with its reason.
  if (value_misfit(pin, v).empty() && !on_choice_list(pin.list_text, v, &shown)) {
    throw off_the_list(value.dump());
  }
  return v;
}

// A text for a pin. On a file-name pin, "{temp}" at the start stands for
// the system's temporary folder (std::filesystem::temp_directory_path:
// TMPDIR or /tmp on Linux, GetTempPath's on Windows), so that a patch can
// write files without naming a folder of one machine.
std::string pin_text_of(const HostPin& pin, const json& value, const std::string& where) {
  std::string text = text_of(value, where);
  if (!(pin.flags & IO_FILE_NAME) || text.empty() || text[0] != '{') return text;
  const size_t close = text.find('}');
  const std::string placeholder = text.substr(0, close == std::string::npos ? 0 : close + 1);
  const std::string rest = close == std::string::npos ? "" : text.substr(close + 1);
  if (placeholder != "{temp}" || (!rest.empty() && rest[0] != '/' && rest[0] != '\\')) {
    if (placeholder.empty()) return text;  // no placeholder: a name that begins with "{"
    throw HostError(where + ": unknown placeholder \"" + placeholder +
                    "\" (a file name may begin with \"{temp}/\", the temporary folder)");
  }
  std::error_code failed;
  const fs::path folder = fs::temp_directory_path(failed);
  if (failed) throw HostError(where + ": no temporary folder: " + failed.message());
  return rest.size() <= 1 ? folder.string() : (folder / fs::path(rest.substr(1))).string();
}

void apply_module_pins(Instance& instance, const json& pins, const std::string& where) {
  if (!pins.is_object()) throw HostError(where + ": expected an object of pin values");
  for (const auto& item : pins.items()) {
    const std::string name = item.key();
    const json& value = item.value();
    const int pin = in_context(where, [&] { return pin_of(instance, name); });
    const HostPin& p = instance.pins()[pin];
    if (p.datatype == DT_STRING) {
      instance.set_text(pin, pin_text_of(p, value, where + "." + name));
    } else if (p.datatype == DT_MIDI_STREAM) {
      throw HostError(where + "." + name + ": a MIDI pin holds no value");
    } else {
      instance.set_value(pin, pin_value_of(instance, p, value, where + "." + name));
    }
  }
}

// The values "pins" gave arrive once more as changes at clock 0, in pin
// order, as if the user had set them then: the module hears of each
// (EV_PIN_STATUS), which an initial value alone does not tell it.
void announce_pins(Engine& engine, Instance& instance, const json& pins) {
  std::vector<int> given;
  for (const auto& item : pins.items()) given.push_back(pin_of(instance, item.key()));
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

// A signal's points and tables start before the patch's end (`length`).
Signal signal_of(const json& entry, float initial, const std::string& where, uint32_t length) {
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
    signal.table_at = entry.contains("at") ? clock_within(entry["at"], where + ".at", length) : 0;
    for (size_t k = 0; k < samples.size(); ++k) {
      const std::string at = where + ".samples[" + std::to_string(k) + "]";
      signal.samples.push_back(float_of(samples[k], at));
    }
    return signal;
  }
  if (entry.contains("at")) {
    throw HostError(where + ": \"at\" goes with \"samples\" (each point has its own)");
  }
  const json& points = member(entry, "points", where);
  if (!points.is_array()) throw HostError(where + ".points: expected a list");
  for (size_t k = 0; k < points.size(); ++k) {
    const std::string at = where + ".points[" + std::to_string(k) + "]";
    const json& p = points[k];
    if (!p.is_object()) throw HostError(at + ": expected an object");
    check_keys(p, {"at", "value", "ramp_to", "until"}, at);
    Signal::Point point;
    point.at = clock_within(member(p, "at", at), at + ".at", length);
    if (one_of(p, {"value", "ramp_to"}, "a point", at) == "ramp_to") {
      point.ramp = true;
      point.value = float_of(p["ramp_to"], at + ".ramp_to");
      point.until = clock_of(member(p, "until", at), at + ".until");
      if (point.until <= point.at) throw HostError(at + ": a ramp ends after it starts");
    } else {
      if (p.contains("until")) throw HostError(at + ": \"until\" goes with \"ramp_to\"");
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

// Builds the document from the parser's events and keeps, for a text that
// is no JSON, where the parser stopped and why.
class DocumentBuilder : public nlohmann::json_sax<json> {
 public:
  json document;
  size_t error_position = 0;  // characters read when the parser stopped, 1 on
  std::string error_token;    // what the parser read last
  int error_id = 0;           // the parser's error number (406: number overflow)

  bool null() override { return add(nullptr); }
  bool boolean(bool value) override { return add(value); }
  bool number_integer(number_integer_t value) override { return add(value); }
  bool number_unsigned(number_unsigned_t value) override { return add(value); }
  bool number_float(number_float_t value, const string_t&) override { return add(value); }
  bool string(string_t& value) override { return add(value); }
  bool binary(binary_t& value) override { return add(json::binary(value)); }
  bool start_object(std::size_t) override { return open(json::object()); }
  bool key(string_t& value) override {
    key_ = value;
    return true;
  }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(json::array()); }
  bool end_array() override { return close(); }
  bool parse_error(std::size_t position, const std::string& last_token,
                   const json::exception& e) override {
    error_position = position;
    error_token = last_token;
    error_id = e.id;
    return false;
  }

 private:
  // The new value's place: the document, the end of the open list or the
  // last key of the open object. Containers never move while open: a list
  // grows only while none of its elements is open.
  json* place(json value) {
    if (open_.empty()) {
      document = std::move(value);
      return &document;
    }
    json& container = *open_.back();
    if (container.is_array()) {
      container.push_back(std::move(value));
      return &container.back();
    }
    json& slot = container[key_];
    slot = std::move(value);
    return &slot;
  }
  bool add(json value) {
    place(std::move(value));
    return true;
  }
  bool open(json container) {
    open_.push_back(place(std::move(container)));
    return true;
  }
  bool close() {
    open_.pop_back();
    return true;
  }

  std::vector<json*> open_;
  std::string key_;
};

bool is_word_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '.' || c == '+' || c == '-';
}

// "line L, column C" of the byte at `index` (both from 1; columns count
// characters, not the bytes of UTF-8 sequences; a tab is one column).
std::string line_and_column(const std::string& text, size_t index) {
  size_t line = 1;
  size_t column = 1;
  for (size_t k = 0; k < index && k < text.size(); ++k) {
    if (text[k] == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80) {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// The parser's stop as a person reads it: the place of the fault in the
// text and what is wrong there.
std::string describe_json_error(const std::string& text, const DocumentBuilder& parser) {
  const std::string& token = parser.error_token;
  if (parser.error_id == 406) {  // a number beyond the range of double
    const size_t start =
        parser.error_position >= token.size() ? parser.error_position - token.size() : 0;
    return line_and_column(text, start) + ": the number " + token +
           " is beyond the range of numbers (about 1.8e308)";
  }
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
    return line_and_column(text, text.size()) + ": the text is empty (a patch is a JSON object)";
  }
  if (parser.error_position == 0 || parser.error_position > text.size()) {
    return line_and_column(text, text.size()) +
           ": the text ends before the JSON does (a closing '\"', ']' or '}' is missing)";
  }
  size_t at = parser.error_position - 1;  // the character the parser stopped at
  const char c = text[at];
  const auto before = [&](size_t k) {
    while (k > 0 && (text[k - 1] == ' ' || text[k - 1] == '\t' || text[k - 1] == '\r' ||
                     text[k - 1] == '\n')) {
      --k;
    }
    return k > 0 ? text[k - 1] : '\0';
  };
  if (c == '"' && token.size() >= 2 && token.front() == '"' && token.size() <= at + 1) {
    // A whole text in quotes where none belongs.
    const size_t start = at + 1 - token.size();
    return line_and_column(text, start) + ": unexpected " + token +
           " (is a ',' or ':' missing before it?)";
  }
  if (static_cast<unsigned char>(c) < 0x20) {
    return line_and_column(text, at) +
           ": a line break or control character inside quotes (write a line break as \\n)";
  }
  if (at > 0 && text[at - 1] == '\\') {
    return line_and_column(text, at - 1) + ": \\" + std::string(1, c) +
           " is no escape JSON knows (\\\" \\\\ \\/ \\b \\f \\n \\r \\t \\uXXXX)";
  }
  if ((c == ']' || c == '}') && before(at) == ',') {
    return line_and_column(text, at) + ": a comma before '" + std::string(1, c) +
           "' (JSON allows none after the last item)";
  }
  if (c == '\'') return line_and_column(text, at) + ": JSON takes double quotes, not '";
  if (c == '/') return line_and_column(text, at) + ": JSON has no comments";
  // A word: the parser stops at its first letter or just after its end.
  if (!is_word_char(c) && at > 0 && is_word_char(text[at - 1])) --at;
  if (is_word_char(text[at])) {
    size_t start = at;
    while (start > 0 && is_word_char(text[start - 1])) --start;
    size_t end = at;
    while (end < text.size() && is_word_char(text[end])) ++end;
    return line_and_column(text, start) + ": unexpected " + text.substr(start, end - start) +
           " (texts are in double quotes; the words JSON knows are true, false and null)";
  }
  return line_and_column(text, at) + ": unexpected '" + std::string(1, c) + "'";
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

void schedule_event(Engine& engine, const json& e, const std::string& where, uint32_t length) {
  check_keys(e, {"time", "to", "midi", "value", "text", "status"}, where);
  const uint32_t time = clock_within(member(e, "time", where), where + ".time", length);
  const std::pair<Instance*, int> target = find_pin(engine, member(e, "to", where), where + ".to");
  Instance* const to = target.first;
  const int pin = target.second;
  const std::string kind = one_of(e, {"midi", "value", "text", "status"}, "an event", where);
  in_context(where, [&] {
    const HostPin& p = to->pins()[pin];
    if (kind == "midi") {
      engine.schedule_midi(*to, pin, time, midi_of(e["midi"], where + ".midi"));
    } else if (kind == "value") {
      engine.schedule_value(*to, pin, time, pin_value_of(*to, p, e["value"], where + ".value"));
    } else if (kind == "text") {
      engine.schedule_text(*to, pin, time, pin_text_of(p, e["text"], where + ".text"));
    } else {
      engine.schedule_status(
          *to, pin, time, int32_t(whole_of(e["status"], where + ".status", INT32_MIN, INT32_MAX)));
    }
  });
}

PatchRun load_patch(const std::string& json_text, const std::string& base_dir) {
  DocumentBuilder parser;
  // Syntax errors, and numbers beyond the range of double ("1e999"), stop it.
  if (!json::sax_parse(json_text, &parser)) {
    throw HostError(describe_json_error(json_text, parser));
  }
  const json& patch = parser.document;
  if (!patch.is_object()) throw HostError("a patch is a JSON object");
  check_keys(patch,
             {"sample_rate", "block_size", "length", "gui_notify", "modules", "connections",
              "signals", "events", "typing", "gestures", "record"},
             "the patch");

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
    check_keys(m,
               {"name", "library", "pins", "announce", "gui_open", "panel", "window", "pin_count",
                "extra_pins"},
               where);
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
      if (!pair) check_keys(c, {"from", "to"}, where);
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
      check_keys(signals[k], {"to", "initial", "points", "samples", "at"}, where);
      const std::pair<Instance*, int> target =
          find_pin(engine, member(signals[k], "to", where), where + ".to");
      Instance* const to = target.first;
      const int pin = target.second;
      const Signal signal =
          signal_of(signals[k], to_float(to->pins()[pin].value), where, run.length);
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
      schedule_event(engine, e, where, run.length);
    }
  }

  // Typing and timed mouse actions happen at the start of a block (clocks
  // that are multiples of the block size), the first at or after their
  // time, which must lie before the patch's end.
  const auto check_block_start = [&](uint32_t time, const std::string& where, const char* done) {
    const uint64_t boundary = (uint64_t(time) + uint64_t(block) - 1) / uint64_t(block) * block;
    if (boundary >= run.length) {
      throw HostError(where + ": " + std::to_string(time) + " is " + done + " at the block start " +
                      std::to_string(boundary) + ", not before the patch's end (\"length\" " +
                      std::to_string(run.length) + ")");
    }
  };

  if (patch.contains("typing")) {
    const json& typing = patch["typing"];
    if (!typing.is_array()) throw HostError("typing: expected a list");
    for (size_t k = 0; k < typing.size(); ++k) {
      const std::string where = "typing[" + std::to_string(k) + "]";
      const json& t = typing[k];
      if (!t.is_object()) throw HostError(where + ": expected an object");
      check_keys(t, {"time", "module", "text"}, where);
      const uint32_t time = clock_within(member(t, "time", where), where + ".time", run.length);
      check_block_start(time, where + ".time", "typed");
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
      check_keys(g, {"module", "actions"}, where);
      Instance* instance = in_context(where, [&] {
        return &engine.instance(text_of(member(g, "module", where), where + ".module"));
      });
      if (!instance->has_gui())
        throw HostError(where + ": module \"" + instance->name() + "\" has no panel");
      const json& actions = member(g, "actions", where);
      if (!actions.is_array()) throw HostError(where + ".actions: expected a list");
      uint32_t previous_time = 0;
      for (size_t a = 0; a < actions.size(); ++a) {
        const std::string at = where + ".actions[" + std::to_string(a) + "]";
        const json& action = actions[a];
        if (!action.is_object()) throw HostError(at + ": expected an object");
        check_keys(action, {"down", "move", "up", "flags", "time"}, at);
        Gesture gesture;
        gesture.instance = instance;
        const std::string kind = one_of(action, {"down", "move", "up"}, "an action", at);
        gesture.opcode = kind == "down"   ? se::kGuiButtonDown
                         : kind == "move" ? se::kGuiMouseMove
                                          : se::kGuiButtonUp;
        const json* point = &action[kind];
        if (!point->is_array() || point->size() != 2 || !(*point)[0].is_number_integer() ||
            !(*point)[1].is_number_integer()) {
          throw HostError(at + ": a point is [x, y] in whole pixels");
        }
        gesture.x = (*point)[0].get<int>();
        gesture.y = (*point)[1].get<int>();
        if (action.contains("flags"))
          gesture.flags = int(whole_of(action["flags"], at + ".flags", 0, 0xFFFF));
        // A gesture's actions are all timed (played during the run) or all
        // untimed (played after it, by paint); timed ones in time order.
        const bool timed = action.contains("time");
        if (a > 0 && timed != actions[0].contains("time")) {
          throw HostError(at + ": give every action of a gesture a \"time\", or none");
        }
        if (!timed) {
          run.gestures.push_back(gesture);
          continue;
        }
        const uint32_t time = clock_within(action["time"], at + ".time", run.length);
        if (time < previous_time) {
          throw HostError(at + ".time: " + std::to_string(time) + " comes before the action " +
                          "before it (" + std::to_string(previous_time) + ")");
        }
        previous_time = time;
        check_block_start(time, at + ".time", "played");
        engine.schedule_mouse(*instance, time, gesture.opcode, gesture.x, gesture.y, gesture.flags);
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
