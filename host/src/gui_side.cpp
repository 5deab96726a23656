// The host's GUI side of an instance: the GUI object's host callback, pin
// values seen from the GUI, byte blocks between the two objects, painting
// and the mouse.
#include <cstring>

#include "platform/window_host.h"
#include "plughost/engine.h"
#include "plughost/host_error.h"
#include "se_sdk2/gui_opcodes.h"
#include "se_sdk2/host_opcodes.h"

namespace plughost {

namespace {

// Pin notifications that keep causing new writes (two objects answering
// each other forever) end here instead of hanging the host.
constexpr int kMaxNoticeRounds = 10000;

float float_bits_of(int flags) {
  float opt;
  std::memcpy(&opt, &flags, sizeof opt);
  return opt;
}

}  // namespace

intptr_t Instance::gui_callback(SEGuiRecord* record, int32_t opcode, int32_t index, int32_t value,
                                void* data, float opt) {
  auto* self = reinterpret_cast<Instance*>(record->host_word);
  return self->gui_host_call(opcode, index, value, data, opt);
}

void Instance::gui_open(bool restored) {
  if (!gui_ || gui_opened_) return;
  gui_opened_ = true;
  gui_dispatch(se::kGuiOpen, restored ? 1 : 0);
}

intptr_t Instance::gui_dispatch(int opcode, intptr_t index, int value, void* data, float opt) {
  if (!gui_) return 0;
  ++gui_depth_;
  const intptr_t result = gui_->dispatcher(gui_, opcode, index, value, data, opt);
  --gui_depth_;
  if (gui_depth_ == 0) flush_gui_notifications();
  return result;
}

void Instance::paint(HDC dc) {
  gui_dispatch(se::kGuiPaint, reinterpret_cast<intptr_t>(dc), 0, &window_info_);
}

void Instance::mouse(int opcode, int x, int y, int flags) {
  gui_dispatch(opcode, x, y, &window_info_, float_bits_of(flags));
}

void Instance::deliver_gui_messages() {
  if (!gui_ || to_gui_.empty()) return;
  std::vector<GuiMessage> messages;
  messages.swap(to_gui_);
  for (GuiMessage& m : messages) {
    gui_dispatch(se::kGuiDspMessage, static_cast<intptr_t>(m.bytes.size()), m.tag, m.bytes.data());
  }
}

void Instance::pin_changed(int pin, bool from_gui) {
  if (!gui_ || !gui_opened_ || pin >= static_cast<int>(pins_.size())) return;
  if (pins_[pin].repeat) return;  // repeats have no GUI pin
  if (from_gui && engine_.gui_notify() == GuiNotify::kDeferred && gui_depth_ > 0) {
    pending_notices_.push_back(pin);
    return;
  }
  gui_dispatch(se::kGuiPinChanged, pin);
}

void Instance::flush_gui_notifications() {
  for (int round = 0; !pending_notices_.empty(); ++round) {
    if (round >= kMaxNoticeRounds) {
      pending_notices_.clear();
      throw HostError("module \"" + name_ + "\": pin change notices do not settle");
    }
    const int pin = pending_notices_.front();
    pending_notices_.erase(pending_notices_.begin());
    gui_dispatch(se::kGuiPinChanged, pin);
  }
}

void Instance::gui_wrote(int pin) {
  HostPin& p = pins_[pin];
  if (p.processing_index >= 0 && p.datatype != DT_STRING && p.datatype != DT_MIDI_STREAM) {
    write_variable(p);
    if (p.direction != DR_OUT) engine_.schedule_status(*this, pin, engine_.clock(), ST_ONE_OFF);
  }
  pin_changed(pin, true);
}

intptr_t Instance::gui_host_call(int opcode, int index, int value, void* data, float opt) {
  const bool pin_ok = index >= 0 && index < static_cast<int>(pins_.size());
  switch (opcode) {
    case se::kGuiHostRedraw:
      ++redraws_;
      return 0;
    case se::kGuiHostInstanceNumber:
      return instance_number_;
    case se::kGuiHostSendToDsp: {
      if (!data || index <= 0) return 0;
      to_dsp_.emplace_back(static_cast<const char*>(data), static_cast<size_t>(index));
      dispatch(se::kOpGuiMessage, index, 0, data);
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
      for (const HostPin& p : pins_) declared += p.repeat ? 0 : 1;
      return declared;
    }
    case se::kGuiHostSetText: {
      if (!pin_ok || !data) return 0;
      const std::string text = static_cast<const char*>(data);
      if (pins_[index].text == text) return 0;
      pins_[index].text = text;
      gui_wrote(index);
      return 0;
    }
    case se::kGuiHostGetText:
      // Valid until the pin's text next changes.
      return pin_ok ? reinterpret_cast<intptr_t>(pins_[index].text.c_str()) : 0;
    case se::kGuiHostParentWindow:
      return reinterpret_cast<intptr_t>(panel_window());
    case se::kGuiHostGetValue: {
      if (!pin_ok || !data) return 0;
      const HostPin& p = pins_[index];
      if (p.datatype == DT_FLOAT32 || p.datatype == DT_FSAMPLE) {
        *static_cast<float*>(data) = static_cast<float>(p.value);
      } else {
        *static_cast<int32_t*>(data) = static_cast<int32_t>(p.value);
      }
      return 0;
    }
    case se::kGuiHostSetValue: {
      if (!pin_ok) return 0;
      HostPin& p = pins_[index];
      const double v = p.datatype == DT_FLOAT32 ? double(opt) : double(value);
      if (p.value == v) return 0;
      p.value = v;
      gui_wrote(index);
      return 0;
    }
    case se::kGuiHostGetWideText: {
      if (!pin_ok) return 0;
      const std::string& text = pins_[index].text;
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

HWND Instance::panel_window() {
  if (!window_) {
    const int w = window_info_.width > 0 ? window_info_.width : kDefaultPanelWidth;
    const int h = window_info_.height > 0 ? window_info_.height : kDefaultPanelHeight;
    window_ = platform::create_panel_window(w, h, name_.c_str());  // null without a display
  }
  return window_;
}

void Instance::destroy_panel_window() {
  if (window_) platform::destroy_window(window_);
  window_ = nullptr;
}

}  // namespace plughost
