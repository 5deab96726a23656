// GUI checks, for modules with a GUI object: opened as a new instance and
// as a restored one, painted at sizes from 0x0 to 4000x3000, seeded random
// mouse gestures with every key-state combination, random pin writes from
// the patch's side and from the panel's side, under both ways a host
// reports pin changes; and no GDI object left behind.
#include <cstdio>
#include <memory>

#include "check.h"
#include "platform/canvas.h"
#include "plughost/engine.h"
#include "random_inputs.h"
#include "se_sdk2/gui_opcodes.h"

namespace plughost::validate {

namespace {

constexpr GuiNotify kNotifyModes[] = {GuiNotify::kImmediate, GuiNotify::kDeferred};

const char* notify_name(GuiNotify mode) {
  return mode == GuiNotify::kImmediate ? "immediate" : "deferred";
}

// A module with its GUI side open, as a host shows a panel.
struct Panel {
  std::unique_ptr<Engine> engine;
  Instance* instance = nullptr;
  GuiSide* gui() const { return instance->gui(); }
};

Panel open_panel(const Settings& settings, Rng& rng, GuiNotify mode, bool restored) {
  Panel p;
  p.engine = std::make_unique<Engine>(44100.0f, 64);
  p.engine->set_gui_notify(mode);
  p.instance = &p.engine->add("m", settings.library);
  if (restored) preset_pins(*p.instance, rng, rng.chance(2));
  p.engine->run(0);
  p.gui()->open(restored);
  p.engine->run(64);
  return p;
}

void paint_at(GuiSide& gui, int width, int height) {
  SEWndInfo& info = gui.window_info();
  info.width = width;
  info.height = height;
  // A panel of 0 pixels still gets a device context to paint on.
  platform::Canvas canvas(width > 0 ? width : 1, height > 0 ? height : 1);
  gui.paint(canvas.dc());
}

// One gesture: a button pressed, dragged and released, with one key state
// (`flags`: left, right, Shift, Ctrl in any combination), mostly on the
// panel, sometimes beyond its edges or far away.
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

// A write from the panel's side: the host's pin value changes (as when the
// user edits it in the host's own pin panel), the GUI object is told at
// once and the processing object at the next block.
void panel_write(Panel& p, Rng& rng) {
  std::vector<HostPin>& pins = p.instance->pins();
  std::vector<int> writable;
  for (size_t k = 0; k < pins.size(); ++k) {
    if (takes_value(pins[k])) writable.push_back(int(k));
  }
  if (writable.empty()) return;
  const int pin = writable[rng.below(uint32_t(writable.size()))];
  if (pins[pin].datatype == DT_STRING) {
    p.instance->set_text(pin, random_text(rng));
  } else {
    p.instance->set_value(pin, random_value(pins[pin], rng, true));
  }
  p.gui()->pin_changed(pin, false);
  p.engine->schedule_status(*p.instance, pin, p.engine->clock(), ST_ONE_OFF);
}

}  // namespace

void check_gui(const Settings& settings) {
  {
    Engine probe;
    if (!probe.add("m", settings.library).has_gui()) return;  // no GUI object: nothing to check
  }

  run_check(settings, "gui.crash_on_open_new_or_restored", [&](Rng& rng) {
    for (GuiNotify mode : kNotifyModes) {
      for (bool restored : {false, true}) {
        for (int n = 0; n < settings.strictness; ++n) {
          note(std::string(restored ? "restored" : "new") + ", " + notify_name(mode) + " notices");
          Panel p = open_panel(settings, rng, mode, restored);
          paint_at(*p.gui(), p.gui()->panel_width(), p.gui()->panel_height());
        }
      }
    }
    return Outcome::pass();
  });

  run_check(settings, "gui.crash_painting_or_clicking_at_size", [&](Rng& rng) {
    std::vector<std::pair<int, int>> sizes = {{0, 0},     {1, 1},     {0, 100},    {100, 0},
                                              {2, 3},     {13, 7},    {200, 100},  {640, 480},
                                              {4000, 30}, {30, 3000}, {4000, 3000}};
    for (int n = 0; n < 4 * settings.strictness; ++n) {
      sizes.emplace_back(int(rng.between(0, 1200)), int(rng.between(0, 900)));
    }
    for (bool restored : {false, true}) {
      Panel p = open_panel(settings, rng, GuiNotify::kDeferred, restored);
      for (const auto& [w, h] : sizes) {
        note("painting " + std::to_string(w) + "x" + std::to_string(h));
        paint_at(*p.gui(), w, h);
        random_gesture(*p.gui(), rng, int(rng.below(16)));  // on a panel of that size
        paint_at(*p.gui(), w, h);
      }
    }
    return Outcome::pass();
  });

  run_check(settings, "gui.crash_on_gesture_or_pin_write", [&](Rng& rng) {
    for (GuiNotify mode : kNotifyModes) {
      for (int round = 0; round < 2 * settings.strictness; ++round) {
        note(std::string(notify_name(mode)) + " notices, round " + std::to_string(round + 1));
        Panel p = open_panel(settings, rng, mode, rng.chance(2));
        paint_at(*p.gui(), int(rng.between(1, 400)), int(rng.between(1, 300)));
        // Every key-state combination once, then a random mix.
        for (int flags = 0; flags < 16; ++flags) random_gesture(*p.gui(), rng, flags);
        for (int n = 0; n < 8 * settings.strictness; ++n) {
          switch (rng.below(4)) {
            case 0:
              random_gesture(*p.gui(), rng, int(rng.below(16)));
              break;
            case 1:
              panel_write(p, rng);
              break;
            case 2:  // from the patch's side, delivered inside the next block
              schedule_random_events(*p.engine, *p.instance, rng, 2, p.engine->clock(),
                                     p.engine->clock() + 64, true);
              break;
            default:
              paint_at(*p.gui(), p.gui()->panel_width(), p.gui()->panel_height());
              break;
          }
          p.engine->run(64);
        }
      }
    }
    return Outcome::pass();
  });

  run_check(settings, "gui.crash_with_window_open", [&](Rng& rng) {
    for (int round = 0; round < settings.strictness; ++round) {
      note("window round " + std::to_string(round + 1));
      Panel p = open_panel(settings, rng, round % 2 ? GuiNotify::kImmediate : GuiNotify::kDeferred,
                           rng.chance(2));
      if (!p.gui()->panel_window()) return Outcome::skip("no panel window can be made here");
      // Shown, used, closed and shown again, as a user opens and closes a
      // panel; the last time it stays open until the instance goes.
      for (int shown = 0; shown < 2; ++shown) {
        p.gui()->open_window();
        for (int n = 0; n < 4 * settings.strictness; ++n) {
          if (rng.chance(2)) panel_write(p, rng);
          if (rng.chance(2)) random_gesture(*p.gui(), rng, int(rng.below(16)));
          schedule_random_events(*p.engine, *p.instance, rng, 1, p.engine->clock(),
                                 p.engine->clock() + 64, false);
          paint_at(*p.gui(), int(rng.between(0, 300)), int(rng.between(0, 200)));
          p.engine->run(64);
        }
        if (shown == 0) p.gui()->dispatch(se::kGuiWindowClose, 0, 0, &p.gui()->window_info());
      }
    }
    return Outcome::pass();
  });

  run_check(settings, "gui.gdi_objects_left_behind", [&](Rng& rng) {
    const int before = platform::live_gdi_objects();
    if (before < 0) return Outcome::skip("this system does not count GDI objects");
    {
      Panel p = open_panel(settings, rng, GuiNotify::kDeferred, true);
      for (int n = 0; n < 10 * settings.strictness; ++n) {
        if (rng.chance(2)) random_gesture(*p.gui(), rng, int(rng.below(16)));
        paint_at(*p.gui(), int(rng.between(0, 300)), int(rng.between(0, 200)));
      }
    }
    const int after = platform::live_gdi_objects();
    if (after != before) {
      return Outcome::fail(std::to_string(after - before) +
                           " GDI objects more after the GUI object painted and was destroyed");
    }
    return Outcome::pass();
  });
}

}  // namespace plughost::validate
