// The host's GUI side of an instance: the GUI object's host callback, pin
// values seen from the GUI, byte blocks between the two objects, painting
// and the mouse.
#include "plughost/gui_side.h"

#include <algorithm>
#include <cstring>

#include "platform/window_host.h"
#include "plughost/engine.h"
#include "plughost/host_error.h"
#include "plughost/pin_values.h"
#include "se_sdk2/gui_opcodes.h"
#include "se_sdk2/host_opcodes.h"

namespace plughost {

namespace {

// Pin notices that keep causing new writes (a GUI object answering its own
// notices forever) end with an error instead of hanging the host: deferred
// notices after this many in one flush, notices inside the write (immediate)
// at this nesting depth, which keeps the stack small.
constexpr int kMaxNoticeRounds = 10000;
constexpr int kMaxNoticeDepth = 64;

float float_bits_of(int flags) {
  float opt;
  std::memcpy(&opt, &flags, sizeof opt);
  return opt;
}

}  // namespace

GuiSide::GuiSide(Instance& instance) : instance_(instance) {
  // GUI host opcode 12 turns the reference into the panel window.
  window_info_.window_ref = instance.instance_number();
}

GuiSide::~GuiSide() {
  if (record_) record_->dispatcher(record_, se::kGuiClose, 0, 0, nullptr, 0.0f);
  record_ = nullptr;
  if (window_) platform::destroy_window(window_);
  window_ = nullptr;
}

intptr_t GuiSide::callback(SEGuiRecord* record, int32_t opcode, int32_t index, int32_t value,
                           void* data, float opt) {
  auto* self = reinterpret_cast<GuiSide*>(record->host_word);
  return self->host_call(opcode, index, value, data, opt);
}

void GuiSide::open(bool restored) {
  if (!record_ || opened_) return;
  opened_ = true;
  dispatch(se::kGuiOpen, restored ? 1 : 0);
}

intptr_t GuiSide::dispatch(int opcode, intptr_t index, int value, void* data, float opt) {
  if (!record_) return 0;
  ++depth_;
  const intptr_t result = record_->dispatcher(record_, opcode, index, value, data, opt);
  --depth_;
  if (depth_ == 0) {
    flush_to_dsp();
    // Each notice of a flush is a dispatch of its own that returns to depth
    // 0; the flush in progress delivers what those notices cause.
    if (!flushing_) flush_notices();
  }
  return result;
}

void GuiSide::paint(HDC dc) {
  dispatch(se::kGuiPaint, reinterpret_cast<intptr_t>(dc), 0, &window_info_);
}

void GuiSide::mouse(int opcode, int x, int y, int flags) {
  dispatch(opcode, x, y, &window_info_, float_bits_of(flags));
}

void GuiSide::flush_to_dsp() {
  while (!pending_to_dsp_.empty()) {
    std::string bytes = std::move(pending_to_dsp_.front());
    pending_to_dsp_.erase(pending_to_dsp_.begin());
    instance_.dispatch(se::kOpGuiMessage, static_cast<int>(bytes.size()), 0, bytes.data());
  }
}

void GuiSide::open_window() {
  window_shown_ = true;
  dispatch(se::kGuiWindowOpen, 0, 0, &window_info_);
}

void GuiSide::close_window() {
  window_shown_ = false;
  dispatch(se::kGuiWindowClose, 0, 0, &window_info_);
  if (window_) platform::destroy_window(window_);
  window_ = nullptr;
}

void GuiSide::type_into_edit(const std::string& text) {
  HWND panel = panel_window();
  if (panel) {
    for (HWND child : platform::child_windows(panel)) {
      if (platform::window_class(child) != "edit") continue;
      platform::type_text(child, text);
      return;
    }
  }
  throw HostError("module \"" + instance_.name() + "\" has no edit window to type into" +
                  (panel ? "" : " (no panel window: a display is needed)"));
}

void GuiSide::deliver_messages() {
  if (depth_ == 0) flush_to_dsp();
  std::vector<GuiMessage>& queued = instance_.messages_to_gui();
  if (queued.empty()) return;
  std::vector<GuiMessage> messages;
  messages.swap(queued);
  for (GuiMessage& m : messages) {
    dispatch(se::kGuiDspMessage, static_cast<intptr_t>(m.bytes.size()), m.tag, m.bytes.data());
  }
}

void GuiSide::pin_changed(int pin, bool from_gui) {
  const std::vector<HostPin>& pins = instance_.pins();
  if (!record_ || !opened_ || pin < 0 || pin >= static_cast<int>(pins.size())) return;
  if (pins[pin].repeat) return;  // repeats have no GUI pin
  if (from_gui && depth_ > 0) {
    if (instance_.engine_.gui_notify() != GuiNotify::kImmediate) {
      pending_notices_.push_back(pin);
      return;
    }
    // Inside the write: one GUI call deeper. Too deep, the notice is dropped
    // and the outermost call fails once the plug-in has returned from it
    // (no exception crosses the plug-in's frames).
    if (depth_ >= kMaxNoticeDepth) {
      unsettled_ = true;
      return;
    }
  }
  dispatch(se::kGuiPinChanged, pin);
}

void GuiSide::flush_notices() {
  // Called at depth 0 only, never while a flush runs: one loop and one round
  // counter deliver the pending notices and every notice they cause.
  struct Flushing {
    bool& flag;
    explicit Flushing(bool& f) : flag(f) { flag = true; }
    ~Flushing() { flag = false; }
  } flushing(flushing_);
  for (int round = 0; !pending_notices_.empty() && !unsettled_; ++round) {
    if (round >= kMaxNoticeRounds) {
      unsettled_ = true;
      break;
    }
    const int pin = pending_notices_.front();
    pending_notices_.erase(pending_notices_.begin());
    dispatch(se::kGuiPinChanged, pin);
  }
  if (unsettled_) {
    unsettled_ = false;
    pending_notices_.clear();
    throw HostError("module \"" + instance_.name() + "\": pin change notices do not settle");
  }
}

bool GuiSide::reports_every_write() const {
  return instance_.engine_.gui_notify() == GuiNotify::kEveryWrite;
}

void GuiSide::wrote(int pin) {
  ++pin_writes_;
  HostPin& p = instance_.pins()[pin];
  if (p.processing_index >= 0 && p.datatype != DT_STRING && p.datatype != DT_MIDI_STREAM) {
    instance_.write_variable(p);
    Engine& engine = instance_.engine_;
    if (p.direction != DR_OUT) engine.schedule_status(instance_, pin, engine.clock(), ST_ONE_OFF);
  }
  pin_changed(pin, true);
}

intptr_t GuiSide::host_call(int opcode, int index, int value, void* data, float opt) {
  std::vector<HostPin>& pins = instance_.pins();
  const bool pin_ok = index >= 0 && index < static_cast<int>(pins.size());
  switch (opcode) {
    case se::kGuiHostRedraw:
      ++redraws_;
      return 0;
    case se::kGuiHostInstanceNumber:
      return instance_.instance_number();
    case se::kGuiHostSendToDsp: {
      if (!data || index <= 0) return 0;
      to_dsp_.emplace_back(static_cast<const char*>(data), static_cast<size_t>(index));
      pending_to_dsp_.push_back(to_dsp_.back());
      return 0;
    }
    case se::kGuiHostPanelSize:
      window_info_.width = index;
      window_info_.height = value;
      return 0;
    case se::kGuiHostSetup4:
    case se::kGuiHostSetup11:
    case se::kGuiHostSetup13:
      setup_calls_.emplace_back(opcode, index);
      return 0;
    case se::kGuiHostPinCount: {
      int declared = 0;
      for (const HostPin& p : pins) declared += p.repeat ? 0 : 1;
      return declared;
    }
    case se::kGuiHostSetText: {
      if (!pin_ok || !data) return 0;
      const std::string text = static_cast<const char*>(data);
      if (pins[index].text == text && !reports_every_write()) return 0;
      pins[index].text = text;
      if (pins[index].datatype == DT_STRING) instance_.engine_.note_panel_text(instance_, index);
      wrote(index);
      return 0;
    }
    case se::kGuiHostGetText:
      // Valid until the pin's text next changes.
      return pin_ok ? reinterpret_cast<intptr_t>(pins[index].text.c_str()) : 0;
    case se::kGuiHostParentWindow:
      return reinterpret_cast<intptr_t>(panel_window());
    case se::kGuiHostGetValue: {
      if (!pin_ok || !data) return 0;
      const HostPin& p = pins[index];
      if (p.datatype == DT_FLOAT32 || p.datatype == DT_FSAMPLE) {
        *static_cast<float*>(data) = to_float(p.value);
      } else {
        *static_cast<int32_t*>(data) = to_int32(p.value);
      }
      return 0;
    }
    case se::kGuiHostSetValue: {
      if (!pin_ok) return 0;
      HostPin& p = pins[index];
      const double v = p.datatype == DT_FLOAT32 ? double(opt) : double(value);
      if (p.value == v && !reports_every_write()) return 0;
      p.value = v;
      wrote(index);
      return 0;
    }
    case se::kGuiHostGetWideText: {
      if (!pin_ok) return 0;
      const std::string& text = pins[index].text;
      if (!data) return static_cast<intptr_t>(text.size());
      if (value <= 0) return 0;
      // Latin-1 to UTF-16, at most `value` characters, terminated when room.
      auto* out = static_cast<char16_t*>(data);
      const size_t n = std::min(text.size(), static_cast<size_t>(value));
      for (size_t k = 0; k < n; ++k) out[k] = static_cast<unsigned char>(text[k]);
      if (n < static_cast<size_t>(value)) out[n] = u'\0';
      return static_cast<intptr_t>(n);
    }
    case se::kGuiHostCaptureMouse:
      captured_ = true;
      return 0;
    case se::kGuiHostReleaseMouse:
      captured_ = false;
      return 0;
    case se::kGuiHostHasCapture:
      return captured_ ? 1 : 0;
    default:
      return 0;
  }
}

HWND GuiSide::panel_window() {
  if (!window_) {
    const int w = window_info_.width > 0 ? window_info_.width : kDefaultPanelWidth;
    const int h = window_info_.height > 0 ? window_info_.height : kDefaultPanelHeight;
    window_ =
        platform::create_panel_window(w, h, instance_.name().c_str());  // null without a display
  }
  return window_;
}

}  // namespace plughost
