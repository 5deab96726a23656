// The host's GUI side of one instance: the GUI object (instance kind 2) of a
// module that offers one, its host callback, the panel it paints on, the
// mouse, and the notices that tell it a pin's value changed.
//
// Pin values belong to the Instance: the GUI side reads and writes the same
// HostPin entries as the processing side. A GUI write reaches the processing
// object as a value and an EV_PIN_STATUS event at the current clock, and
// comes back to the GUI object as GUI opcode 7, inside the write or after
// the GUI call that wrote it has returned (Engine::gui_notify()).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "se_sdk2/se_gui_types.h"

namespace plughost {

class Instance;

class GuiSide {
 public:
  // Made by the Instance that owns it, before the GUI object exists; the
  // record is attached with attach() once makeModule has made it.
  explicit GuiSide(Instance& instance);
  // Closes the GUI object (GUI opcode 1, after which it destroys itself)
  // and the panel window.
  ~GuiSide();
  GuiSide(const GuiSide&) = delete;
  GuiSide& operator=(const GuiSide&) = delete;

  // The host callback handed to makeModule for kind 2; its host word is
  // the GuiSide.
  static intptr_t callback(SEGuiRecord* record, int32_t opcode, int32_t index, int32_t value,
                           void* data, float opt);
  void attach(SEGuiRecord* record) { record_ = record; }
  SEGuiRecord* record() const { return record_; }

  // GUI opcode 0 with index 1 (restored) or 0 (new instance); once.
  void open(bool restored);
  bool is_open() const { return opened_; }
  // The GUI dispatcher; deferred pin notices follow when the outermost call
  // returns. Throws HostError, after the outermost call has returned, when
  // the notices do not settle (each notice causes another write, forever).
  intptr_t dispatch(int opcode, intptr_t index = 0, int value = 0, void* data = nullptr,
                    float opt = 0.0f);
  // Paint into a device context of the panel's size.
  void paint(HDC dc);
  // Mouse commands: opcode kGuiButtonDown, kGuiButtonUp or kGuiMouseMove;
  // flags 0x1 left, 0x2 right, 0x4 Shift, 0x8 Ctrl.
  void mouse(int opcode, int x, int y, int flags);
  // Delivers the byte blocks the GUI object sent that are still pending
  // (dispatcher opcode 12), then those the processing object sent (GUI
  // opcode 6).
  void deliver_messages();
  // Byte blocks from the GUI object not yet delivered to the processing one.
  bool has_pending_to_dsp() const { return !pending_to_dsp_.empty(); }
  // The panel is shown: GUI opcode 8 with the window info (its window
  // reference names the panel window).
  void open_window();
  // The panel is closed as a host closes it: GUI opcode 9 with the window
  // info, then the panel window is destroyed with every child window in it.
  // A later open_window() shows the panel in a new window.
  void close_window();
  // Types `text` into the first "edit" child window of the panel as a user
  // would (platform::type_text). Throws HostError when there is none.
  void type_into_edit(const std::string& text);

  SEWndInfo& window_info() { return window_info_; }
  int panel_width() const { return window_info_.width; }
  int panel_height() const { return window_info_.height; }
  int redraw_requests() const { return redraws_; }
  // Writes of the GUI object (GUI host opcodes 6 and 15) that changed a pin.
  int pin_writes() const { return pin_writes_; }
  bool mouse_captured() const { return captured_; }
  // GUI host opcodes 4, 11 and 13 as (opcode, index), in call order.
  const std::vector<std::pair<int, int>>& setup_calls() const { return setup_calls_; }
  // Byte blocks the GUI object sent with GUI host opcode 2, in order. Each
  // reaches the processing object as dispatcher opcode 12 of its own, after
  // the GUI call that sent it has returned (so a GUI object that writes
  // shared data after sending has finished before the other side reacts).
  const std::vector<std::string>& messages_to_dsp() const { return to_dsp_; }
  // The native window the panel lives in (created when first asked for;
  // null where no display can be had).
  HWND panel_window();
  // The panel window if one was made (open_window, a module's request), else
  // null; makes none.
  HWND existing_panel_window() const { return window_; }
  // Shows the panel in `window` from now on (a window the caller made, such
  // as a child of its own frame window), instead of one made by
  // platform::create_panel_window. The GuiSide owns it from this call and
  // destroys it in close_window() or its destructor. Call it while no panel
  // window exists (before open_window, or after close_window).
  void use_panel_window(HWND window) { window_ = window; }
  // open_window() was called and close_window() not since.
  bool window_shown() const { return window_shown_; }

  // A pin's host value changed; the GUI object hears of it (GUI opcode 7).
  // from_gui: the GUI object's own write, reported per Engine::gui_notify().
  void pin_changed(int pin, bool from_gui);

 private:
  intptr_t host_call(int opcode, int index, int value, void* data, float opt);
  void flush_notices();
  void flush_to_dsp();
  bool reports_every_write() const;
  // A write from the GUI object reaches the processing side.
  void wrote(int pin);

  Instance& instance_;
  SEGuiRecord* record_ = nullptr;  // the plug-in's, until GUI opcode 1 destroys it
  bool opened_ = false;
  int depth_ = 0;                     // GUI calls in progress (for deferred notices)
  bool flushing_ = false;             // flush_notices() is delivering
  bool unsettled_ = false;            // a notice was dropped: the outermost call fails
  std::vector<int> pending_notices_;  // pins to report with GUI opcode 7
  SEWndInfo window_info_{};
  int redraws_ = 0;
  int pin_writes_ = 0;
  bool captured_ = false;
  std::vector<std::pair<int, int>> setup_calls_;
  std::vector<std::string> to_dsp_;
  std::vector<std::string> pending_to_dsp_;  // sent, not yet delivered
  HWND window_ = nullptr;
  bool window_shown_ = false;
};

}  // namespace plughost
