// plughost show: a patch played in real time while a person uses its panels
// in real windows. This is the platform-neutral part: the engine paced by
// the wall clock, mouse and typing routed to the GUI opcodes, pin changes
// typed on the terminal, the live text log and the recording of what the
// person did as a patch file. The window system's part is a front end
// (show_qt.cpp on Linux, show_win32.cpp on Windows) that calls the session
// from one thread, its GUI thread, and never from inside a session call.
#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "plughost/patch.h"
#include "plughost/report.h"

struct HDC__;
typedef HDC__* HDC;
struct HWND__;
typedef HWND__* HWND;

namespace plughost::show {

struct Options {
  std::string patch_path;
  std::string module;       // show only this module's panel ("" for every panel)
  std::string record_path;  // write the session as a patch here ("" for none)
};

// An "edit" child window of a panel and the text field that shows it.
//
// The invariant, kept by Session::refresh_edits and Session::edit_typed:
// after every session call `known` is the window's text, and the front end
// shows exactly it (in its own line-break form). The module may change the
// window's text only from inside a session call (a GUI call or an engine
// run); the person only between session calls. So a change seen by
// refresh_edits is the module's (the field follows it), and a change the
// front end reports is the person's (the window follows it and the typing
// is recorded).
struct EditBinding {
  HWND window = nullptr;
  bool first = false;  // the panel's first edit window: the one a patch's "typing" reaches
  std::string known;   // the window's text as both sides last agreed ("\r\n" line breaks)
};

struct Panel {
  Instance* instance = nullptr;
  int width = 0;  // the panel's size in pixels, fixed while shown
  int height = 0;
  bool shown = false;
  int painted_at = -1;  // GuiSide::redraw_requests() when last painted
  std::vector<EditBinding> edits;
};

// The keystrokes (for platform::type_text: printable characters, "\n" for
// Enter, "\b" for Backspace) that turn an edit window holding `before` into
// one holding `after`, both with "\r\n" line breaks: Backspace from the end
// back to their common start, then the rest of `after`.
std::string keystrokes_between(const std::string& before, const std::string& after);

class Session {
 public:
  // Loads the patch (throws HostError) and picks the panels to show;
  // writes the log's heading to `log`, which must outlive the session.
  Session(const Options& options, std::ostream& log);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  std::vector<Panel>& panels() { return panels_; }

  // Shows a panel (GUI opcode 8) in `window` when given (a window the
  // front end made; the GUI side owns it from then on), else in a panel
  // window of the platform layer. A panel the patch showed already is shown
  // again in `window`. Starts the clock when the first panel is shown.
  void open_panel(Panel& panel, HWND window);
  // Closes a panel as a host does (GUI opcode 9, then its window is
  // destroyed with its children).
  void close_panel(Panel& panel);
  bool all_closed() const;

  // Runs the engine up to the present: whole blocks up to the clock the
  // wall clock has reached, at most a tenth of a second's samples per call.
  // Writes the log's new lines.
  void advance();
  // Milliseconds until advance() has something to do: 0 when the engine is
  // behind the wall clock, else until the block of the next scheduled
  // event ends, and at most kTickMilliseconds (modules that run on their
  // own keep producing).
  int milliseconds_until_due() const;
  static constexpr int kTickMilliseconds = 20;

  // The person's mouse on a panel: GUI opcode kGuiButtonDown, kGuiButtonUp
  // or kGuiMouseMove at (x, y) in panel pixels, flags as in a gesture.
  void mouse(Panel& panel, int opcode, int x, int y, int flags);
  // The person changed the text field of `edit` to `wanted` ("\r\n" line
  // breaks): types the difference into the window and records it. Returns
  // the window's text, which the field must then show (typing drops what
  // an edit window does not take).
  std::string edit_typed(Panel& panel, EditBinding& edit, const std::string& wanted);
  // The person typed into `edit` itself (a real edit control, on Windows):
  // records the difference from `known` to the window's text.
  void edit_typed_in_place(Panel& panel, EditBinding& edit);
  // A line typed on the terminal: "module.pin = value" sets an input pin
  // now (value as in a patch's event: a choice's entry, a number, a text,
  // MIDI bytes). Problems are told on `errors`.
  void command(const std::string& line, std::ostream& errors);

  // Finds the panel's edit windows and takes over the text the module left
  // in them. Returns the bindings whose text changed since the last call
  // (the front end shows their new `known`).
  std::vector<EditBinding*> refresh_edits(Panel& panel);
  // The panel asked to be painted again since it was last painted.
  bool needs_paint(const Panel& panel) const;
  // Paints the panel into `dc` (width x height pixels).
  void paint(Panel& panel, HDC dc);

  // Runs the engine to the present, writes the rest of the log and the
  // summary, and the recording when one was asked for (throws HostError
  // when it cannot be written).
  void finish();
  // The recording so far, with what the person did up to now and ending at
  // the block after the present; written whole (a temporary file renamed
  // over it) at most every kRecordMilliseconds while there is something new,
  // so a crash loses little and others can watch it grow. advance() calls it.
  void save_recording(bool now = false);
  static constexpr int kRecordMilliseconds = 100;

 private:
  uint32_t wall_clock_samples() const;
  void note_panel_input(const Instance& instance);
  nlohmann::ordered_json recording(uint32_t end) const;
  uint32_t recording_end() const;
  void person_did_something();

  Options options_;
  std::ostream& log_;
  nlohmann::ordered_json original_;  // the patch as read
  PatchRun run_;
  std::unique_ptr<TextLog> text_log_;
  std::vector<Panel> panels_;
  bool started_ = false;
  std::chrono::steady_clock::time_point start_;
  // What the person did, for the recording, in patch syntax.
  nlohmann::ordered_json events_ = nlohmann::ordered_json::array();
  nlohmann::ordered_json typing_ = nlohmann::ordered_json::array();
  nlohmann::ordered_json gestures_ = nlohmann::ordered_json::array();
  // The gesture the next mouse action joins (same module, nothing else on
  // a panel in between), or null.
  const Instance* open_gesture_ = nullptr;
  int64_t last_input_clock_ = -1;
  bool unsaved_ = false;  // the person did something the recording file does not hold yet
  std::chrono::steady_clock::time_point saved_at_;
};

// Implemented by the front end: the reason no window can be shown here, or
// "" when one can (checked before the patch is loaded).
std::string display_problem();
// Implemented by the front end: shows the session's panels and runs until
// every window is closed. Returns the exit status.
int run_windows(Session& session);

// plughost show: the exit status (1 with a message on the standard error
// for a problem).
int show(const Options& options);

}  // namespace plughost::show
