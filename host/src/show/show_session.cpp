// plughost show, the platform-neutral part: see show_session.h.
#include "show_session.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/window_host.h"
#include "plughost/host_error.h"
#include "se_sdk2/gui_opcodes.h"

namespace plughost::show {

using ordered_json = nlohmann::ordered_json;

std::string keystrokes_between(const std::string& before, const std::string& after) {
  size_t common = 0;
  while (common < before.size() && common < after.size() && before[common] == after[common]) {
    ++common;
  }
  // Never between the two characters of a line break: Backspace takes both.
  const auto splits = [common](const std::string& text) {
    return common > 0 && common < text.size() && text[common - 1] == '\r' && text[common] == '\n';
  };
  if (splits(before) || splits(after)) --common;
  std::string keys;
  for (size_t k = common; k < before.size(); ++k) {
    if (before[k] == '\r' && k + 1 < before.size() && before[k + 1] == '\n') ++k;
    keys += '\b';
  }
  for (size_t k = common; k < after.size(); ++k) {
    if (after[k] == '\r' && k + 1 < after.size() && after[k + 1] == '\n') continue;  // "\n" follows
    keys += after[k];
  }
  return keys;
}

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw HostError("cannot read patch file " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

const char* action_name(int opcode) {
  return opcode == se::kGuiButtonDown ? "down" : opcode == se::kGuiButtonUp ? "up" : "move";
}

// The block start at which something timed at `time` happens (typing and
// timed mouse actions: the first at or after it).
uint64_t block_start_of(uint64_t time, int block) {
  return (time + block - 1) / block * block;
}

}  // namespace

Session::Session(const Options& options, std::ostream& log) : options_(options), log_(log) {
  // load_patch_file checks everything; the text is read again here, kept
  // as it is (key order included) for the recording.
  run_ = load_patch_file(options.patch_path);
  original_ = ordered_json::parse(read_file(options.patch_path));
  // A session has no end fixed in advance: it keeps no signal samples.
  run_.engine->stop_recording();
  run_.recorded.clear();
  std::string names;
  for (auto& instance : run_.engine->instances()) {
    if (!instance->has_gui()) continue;
    if (!options.module.empty() && instance->name() != options.module) continue;
    Panel panel;
    panel.instance = instance.get();
    GuiSide& gui = *instance->gui();
    panel.width = gui.panel_width() > 0 ? gui.panel_width() : kDefaultPanelWidth;
    panel.height = gui.panel_height() > 0 ? gui.panel_height() : kDefaultPanelHeight;
    gui.window_info().width = panel.width;
    gui.window_info().height = panel.height;
    panels_.push_back(panel);
    names += (names.empty() ? "" : ", ") + instance->name() + " (" + std::to_string(panel.width) +
             "x" + std::to_string(panel.height) + ")";
  }
  if (!options.module.empty() && panels_.empty()) {
    Instance& named = run_.engine->instance(options.module);  // throws for an unknown name
    throw HostError("module \"" + named.name() + "\" has no panel");
  }
  if (panels_.empty()) throw HostError("no module of the patch has a panel to show");
  Engine& engine = *run_.engine;
  log_ << "plughost: " << options.patch_path << ": " << engine.instances().size()
       << (engine.instances().size() == 1 ? " module, " : " modules, ")
       << double(engine.sample_rate()) << " Hz, blocks of " << engine.block_size() << ", showing "
       << names << '\n';
  text_log_ = std::make_unique<TextLog>(log_, engine);
  text_log_->heading(false);
  save_recording(true);  // a recording that cannot be written stops show before its windows
}

Session::~Session() = default;

void Session::open_panel(Panel& panel, HWND window) {
  GuiSide& gui = *panel.instance->gui();
  if (window) {
    if (gui.existing_panel_window()) gui.close_window();
    gui.use_panel_window(window);
  }
  if (!gui.window_shown()) gui.open_window();
  panel.shown = true;
  panel.painted_at = -1;
  if (!started_) {
    started_ = true;
    start_ = std::chrono::steady_clock::now();
  }
}

void Session::close_panel(Panel& panel) {
  if (!panel.shown) return;
  panel.shown = false;
  panel.edits.clear();
  panel.instance->gui()->close_window();
}

bool Session::all_closed() const {
  return std::none_of(panels_.begin(), panels_.end(), [](const Panel& p) { return p.shown; });
}

uint32_t Session::wall_clock_samples() const {
  if (!started_) return 0;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const double samples = seconds * double(run_.engine->sample_rate());
  return samples >= double(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(samples);
}

void Session::advance() {
  Engine& engine = *run_.engine;
  const uint32_t block = static_cast<uint32_t>(engine.block_size());
  const uint32_t target = wall_clock_samples() / block * block;
  if (target > engine.clock()) {
    const uint32_t most =
        std::max(block, static_cast<uint32_t>(engine.sample_rate() / 10) / block * block);
    engine.run(std::min(target - engine.clock(), most));
  }
  text_log_->timeline_before(engine.clock());
  save_recording();
}

void Session::person_did_something() {
  last_input_clock_ = run_.engine->clock();
  unsaved_ = true;
}

uint32_t Session::recording_end() const {
  // Everything the person did happens at a block start before the end.
  const Engine& engine = *run_.engine;
  return int64_t(engine.clock()) > last_input_clock_ ? engine.clock()
                                                     : engine.clock() + engine.block_size();
}

void Session::save_recording(bool now) {
  if (options_.record_path.empty() || (!unsaved_ && !now)) return;
  const auto clock = std::chrono::steady_clock::now();
  if (!now && clock - saved_at_ < std::chrono::milliseconds(kRecordMilliseconds)) return;
  const std::string temporary = options_.record_path + ".partial";
  {
    std::ofstream out(temporary, std::ios::binary);
    out << recording(recording_end()).dump(2) << '\n';
    out.close();
    if (!out) throw HostError("cannot write " + temporary + ": " + std::strerror(errno));
  }
  std::error_code failed;
  std::filesystem::rename(temporary, options_.record_path, failed);
  if (failed) {
    throw HostError("cannot write " + options_.record_path + ": " + failed.message());
  }
  unsaved_ = false;
  saved_at_ = clock;
}

int Session::milliseconds_until_due() const {
  const Engine& engine = *run_.engine;
  const uint32_t block = static_cast<uint32_t>(engine.block_size());
  const uint32_t now = wall_clock_samples();
  if (now >= uint64_t(engine.clock()) + block) return 0;
  const std::optional<uint32_t> next = engine.next_scheduled_clock();
  if (!next) return kTickMilliseconds;
  // The block holding the event runs once the wall clock reaches its end.
  const uint64_t due = (uint64_t(std::max(*next, engine.clock())) / block + 1) * block;
  const double ms = double(due - now) * 1000.0 / double(engine.sample_rate());
  return static_cast<int>(std::clamp(std::ceil(ms), 0.0, double(kTickMilliseconds)));
}

void Session::note_panel_input(const Instance& instance) {
  person_did_something();
  if (open_gesture_ != &instance) open_gesture_ = nullptr;
}

void Session::mouse(Panel& panel, int opcode, int x, int y, int flags) {
  Instance& instance = *panel.instance;
  note_panel_input(instance);
  ordered_json action;
  action[action_name(opcode)] = {x, y};
  if (flags) action["flags"] = flags;
  action["time"] = run_.engine->clock();
  if (!open_gesture_) {
    gestures_.push_back({{"module", instance.name()}, {"actions", ordered_json::array()}});
    open_gesture_ = &instance;
  }
  gestures_.back()["actions"].push_back(action);
  instance.gui()->mouse(opcode, x, y, flags);
}

std::string Session::edit_typed(Panel& panel, EditBinding& edit, const std::string& wanted) {
  const std::string before = platform::window_text(edit.window);
  const std::string keys = keystrokes_between(before, wanted);
  if (!keys.empty()) {
    platform::type_text(edit.window, keys);
    edit.known = before;  // edit_typed_in_place records from here
    edit_typed_in_place(panel, edit);
  }
  edit.known = platform::window_text(edit.window);
  return edit.known;
}

void Session::edit_typed_in_place(Panel& panel, EditBinding& edit) {
  const std::string now = platform::window_text(edit.window);
  const std::string keys = keystrokes_between(edit.known, now);
  edit.known = now;
  if (keys.empty()) return;
  if (!edit.first) {
    std::cerr << "plughost: note: typing into a second edit window of module \""
              << panel.instance->name() << "\" is not recorded (a patch types into the first)\n";
    return;
  }
  // Keys typed within one block join the typing before them.
  const uint32_t clock = run_.engine->clock();
  if (!typing_.empty() && typing_.back()["time"] == clock &&
      typing_.back()["module"] == panel.instance->name() && last_input_clock_ == clock) {
    typing_.back()["text"] = typing_.back()["text"].get<std::string>() + keys;
  } else {
    typing_.push_back({{"time", clock}, {"module", panel.instance->name()}, {"text", keys}});
  }
  note_panel_input(*panel.instance);
}

void Session::command(const std::string& line, std::ostream& errors) {
  const std::string text = trim(line);
  if (text.empty()) return;
  const size_t equals = text.find('=');
  if (equals == std::string::npos) {
    errors << "plughost: \"" << text << "\": set a pin as module.pin = value\n";
    return;
  }
  const std::string pin_ref = trim(text.substr(0, equals));
  const std::string value_text = trim(text.substr(equals + 1));
  try {
    Engine& engine = *run_.engine;
    const size_t dot = pin_ref.find('.');
    if (dot == std::string::npos) throw HostError("\"" + pin_ref + "\" names no pin as module.pin");
    Instance& instance = engine.instance(pin_ref.substr(0, dot));
    const HostPin& pin = instance.pins().at(instance.pin_index(pin_ref.substr(dot + 1)));
    // A value as a patch gives it: JSON when it reads as JSON ("on", 1,
    // "a text"), else the words as typed (on, a text, 90 3C 64).
    // A text pin takes the words as typed unless they are in quotes.
    ordered_json value = ordered_json::parse(value_text, nullptr, false);
    if (value.is_discarded() || value.is_object() || value.is_array() ||
        (pin.datatype == DT_STRING && !value.is_string())) {
      value = value_text;
    }
    const char* kind = pin.datatype == DT_MIDI_STREAM ? "midi"
                       : pin.datatype == DT_STRING    ? "text"
                                                      : "value";
    ordered_json event = {{"time", engine.clock()}, {"to", pin_ref}, {kind, value}};
    schedule_event(engine, nlohmann::json::parse(event.dump()), pin_ref, UINT32_MAX);
    events_.push_back(event);
    person_did_something();
  } catch (const std::exception& e) {
    errors << "plughost: " << pin_ref << ": " << e.what() << '\n';
  }
}

std::vector<EditBinding*> Session::refresh_edits(Panel& panel) {
  std::vector<EditBinding*> changed;
  if (!panel.shown) return changed;
  HWND parent = panel.instance->gui()->existing_panel_window();
  std::vector<HWND> windows;
  for (HWND child : platform::child_windows(parent)) {
    if (platform::window_class(child) == "edit") windows.push_back(child);
  }
  const bool same = windows.size() == panel.edits.size() &&
                    std::equal(windows.begin(), windows.end(), panel.edits.begin(),
                               [](HWND w, const EditBinding& e) { return w == e.window; });
  if (!same) {
    panel.edits.clear();
    for (HWND w : windows) panel.edits.push_back({w, panel.edits.empty(), {}});
    for (EditBinding& e : panel.edits) changed.push_back(&e);
  }
  for (EditBinding& e : panel.edits) {
    const std::string now = platform::window_text(e.window);
    if (now == e.known) continue;
    e.known = now;
    if (std::find(changed.begin(), changed.end(), &e) == changed.end()) changed.push_back(&e);
  }
  return changed;
}

bool Session::needs_paint(const Panel& panel) const {
  return panel.shown && panel.painted_at != panel.instance->gui()->redraw_requests();
}

void Session::paint(Panel& panel, HDC dc) {
  GuiSide& gui = *panel.instance->gui();
  panel.painted_at = gui.redraw_requests();
  gui.paint(dc);
}

void Session::finish() {
  Engine& engine = *run_.engine;
  advance();
  // The recording ends after the last block that ran, and after everything
  // the person did (which a block start before its end plays again).
  if (int64_t(engine.clock()) <= last_input_clock_) engine.run(uint32_t(engine.block_size()));
  text_log_->finish(run_);
  if (options_.record_path.empty()) return;
  save_recording(true);
  log_ << "plughost: recorded " << engine.clock() << " samples, " << gestures_.size()
       << (gestures_.size() == 1 ? " gesture, " : " gestures, ") << typing_.size() << " typing"
       << (typing_.size() == 1 ? ", " : "s, ") << events_.size()
       << (events_.size() == 1 ? " event" : " events") << " in " << options_.record_path << '\n';
  log_.flush();
}

// The original patch as the session played it, and what the person did:
// "length" is the session's end; what lay at or after it never happened
// and is left out, as are gestures without times (paint plays them after a
// run; the session never did); shown panels get "window": "open" (their
// edit windows exist, as typing needs).
ordered_json Session::recording(uint32_t end) const {
  const int block = run_.engine->block_size();
  ordered_json patch = original_;
  patch["length"] = end;
  for (ordered_json& m : patch["modules"]) {
    for (const Panel& p : panels_) {
      if (m["name"] == p.instance->name()) m["window"] = "open";
    }
  }
  const auto keep_if = [&patch](const char* key, auto keep) {
    if (!patch.contains(key)) return;
    ordered_json kept = ordered_json::array();
    for (ordered_json& item : patch[key]) {
      if (keep(item)) kept.push_back(item);
    }
    patch[key] = kept;
  };
  const auto clock_of = [](const ordered_json& value) {
    return value.is_number() ? value.get<double>() : std::stod(value.get<std::string>());
  };
  keep_if("events", [&](ordered_json& e) { return clock_of(e["time"]) < end; });
  keep_if("typing", [&](ordered_json& t) {
    return block_start_of(uint64_t(clock_of(t["time"])), block) < end;
  });
  keep_if("signals", [&](ordered_json& s) {
    if (s.contains("samples")) return !s.contains("at") || clock_of(s["at"]) < end;
    if (!s.contains("points")) return true;
    ordered_json points = ordered_json::array();
    for (ordered_json& point : s["points"]) {
      if (clock_of(point["at"]) < end) points.push_back(point);
    }
    s["points"] = points;
    return true;
  });
  keep_if("gestures", [&](ordered_json& g) {
    ordered_json actions = ordered_json::array();
    for (ordered_json& a : g["actions"]) {
      if (a.contains("time") && block_start_of(uint64_t(clock_of(a["time"])), block) < end) {
        actions.push_back(a);
      }
    }
    g["actions"] = actions;
    return !actions.empty();
  });
  const auto append = [&patch](const char* key, const ordered_json& items) {
    if (items.empty()) return;
    if (!patch.contains(key)) patch[key] = ordered_json::array();
    for (const ordered_json& item : items) patch[key].push_back(item);
  };
  append("events", events_);
  append("typing", typing_);
  append("gestures", gestures_);
  return patch;
}

int show(const Options& options) {
  try {
    const std::string problem = display_problem();
    if (!problem.empty()) throw HostError(problem);
    Session session(options, std::cout);
    const int status = run_windows(session);
    if (status != 0) return status;
    session.finish();
    return 0;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "plughost: error: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace plughost::show
