// A Kurvo instance in the stand-in host, as the tests, the scene painter
// and the benchmark drive it: pins set from outside with the change report
// the host gives the panel, mouse commands, paints.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "plughost/engine.h"
#include "plughost/gui_side.h"
#include "plughost/plugin_library.h"
#include "se_sdk2/gui_opcodes.h"

namespace kurvo_test {

using plughost::GuiNotify;

// Every way a host may report the panel's own pin writes: inside the write,
// after the call that wrote, and after the call for every write, also one
// that leaves the value as it was. Each scenario runs under all three.
inline constexpr GuiNotify kNotifyModes[] = {GuiNotify::kImmediate, GuiNotify::kDeferred,
                                             GuiNotify::kEveryWrite};
inline const char* notify_name(GuiNotify notify) {
  switch (notify) {
    case GuiNotify::kImmediate:
      return "Immediate";
    case GuiNotify::kDeferred:
      return "Deferred";
    case GuiNotify::kEveryWrite:
      return "EveryWrite";
  }
  return "?";
}

class KurvoHost {
 public:
  explicit KurvoHost(GuiNotify notify = GuiNotify::kDeferred, const std::string& library = "")
      : engine_(std::make_unique<plughost::Engine>()) {
    engine_->set_gui_notify(notify);
    k_ =
        &engine_->add("k", library.empty() ? plughost::plugin_beside_executable("Kurvo") : library);
  }

  plughost::Engine& engine() { return *engine_; }
  bool every_write() const { return engine_->gui_notify() == GuiNotify::kEveryWrite; }
  plughost::Instance& k() { return *k_; }
  int pin(const std::string& name) const { return k_->pin_index(name); }

  // Before open: values the patch holds.
  void preset(const std::string& name, const std::string& text) { k_->set_text(pin(name), text); }
  void preset(const std::string& name, double value) { k_->set_value(pin(name), value); }
  void open_new() { k_->gui()->open(false); }
  void open_restored() { k_->gui()->open(true); }

  // After open: a value from outside (another module, the patch editor),
  // reported to the panel as the host reports it: changes only, or every
  // write on a host that reports every write.
  void set(const std::string& name, const std::string& text) {
    const int p = pin(name);
    if (k_->pins()[p].text == text && !every_write()) return;
    k_->set_text(p, text);
    k_->gui()->pin_changed(p, false);
  }
  void set(const std::string& name, double value) {
    const int p = pin(name);
    if (k_->pins()[p].value == value && !every_write()) return;
    k_->set_value(p, value);
    k_->gui()->pin_changed(p, false);
  }

  std::string text(const std::string& name) const { return k_->pins()[pin(name)].text; }
  double value(const std::string& name) const { return k_->pins()[pin(name)].value; }
  std::string nodes() const { return text("nodes"); }
  std::string xs() const { return text("X Array Out"); }
  std::string ys() const { return text("Y Array Out"); }
  double count() const { return value("# Points"); }

  void size(int w, int h) {
    k_->gui()->window_info().width = w;
    k_->gui()->window_info().height = h;
  }
  int width() const { return k_->gui()->panel_width(); }
  int height() const { return k_->gui()->panel_height(); }
  int redraws() const { return k_->gui()->redraw_requests(); }

  void down(int x, int y, int flags = se::kMouseLeft) {
    k_->gui()->mouse(se::kGuiButtonDown, x, y, flags);
  }
  void move(int x, int y, int flags = se::kMouseLeft) {
    k_->gui()->mouse(se::kGuiMouseMove, x, y, flags);
  }
  void up(int x, int y, int flags = 0) { k_->gui()->mouse(se::kGuiButtonUp, x, y, flags); }
  void click(int x, int y, int flags = 0) {
    down(x, y, flags | se::kMouseLeft);
    up(x, y, flags);
  }
  void drag(int x0, int y0, int x1, int y1, int flags = 0) {
    down(x0, y0, flags | se::kMouseLeft);
    move(x1, y1, flags | se::kMouseLeft);
    up(x1, y1, flags);
  }

  void paint(HDC dc) { k_->gui()->paint(dc); }
  // Paints the panel on a canvas of its size (at least 1 x 1).
  std::vector<uint32_t> paint() {
    platform::Canvas canvas(std::clamp(width(), 1, platform::Canvas::max_size),
                            std::clamp(height(), 1, platform::Canvas::max_size));
    paint(canvas.dc());
    return canvas.pixels();
  }
  std::unique_ptr<platform::Canvas> paint_canvas() {
    auto canvas =
        std::make_unique<platform::Canvas>(std::clamp(width(), 1, platform::Canvas::max_size),
                                           std::clamp(height(), 1, platform::Canvas::max_size));
    paint(canvas->dc());
    return canvas;
  }

 private:
  std::unique_ptr<plughost::Engine> engine_;
  plughost::Instance* k_;
};

}  // namespace kurvo_test
