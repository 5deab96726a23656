// GUI checks, for modules with a GUI object: opened as a new instance and
// as a restored one, painted at sizes from 0x0 to 4000x3000, seeded random
// mouse gestures with every key-state combination, random pin writes from
// the patch's side and from the panel's side, under each of the three ways
// a host reports pin changes (inside the write, after the call, after the
// call for every write, also one that keeps the value); the panel window shown, closed and shown
// again, in the same window and in a new one; and no GDI object left behind.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>

#include "check.h"
#include "platform/canvas.h"
#include "platform/window_host.h"
#include "plughost/engine.h"
#include "random_inputs.h"
#include "se_sdk2/gui_opcodes.h"

namespace plughost::validate {

namespace {

constexpr GuiNotify kNotifyModes[] = {GuiNotify::kImmediate, GuiNotify::kDeferred,
                                      GuiNotify::kEveryWrite};

const char* notify_name(GuiNotify mode) {
  switch (mode) {
    case GuiNotify::kImmediate:
      return "immediate";
    case GuiNotify::kDeferred:
      return "deferred";
    case GuiNotify::kEveryWrite:
      return "every-write";
  }
  return "?";
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

// The classes of a window's children, sorted ("edit, edit"), or "none".
std::string child_classes(HWND window) {
  std::vector<std::string> classes;
  for (HWND child : platform::child_windows(window))
    classes.push_back(platform::window_class(child));
  std::sort(classes.begin(), classes.end());
  std::string text;
  for (const std::string& c : classes) text += (text.empty() ? "" : ", ") + c;
  return text.empty() ? "none" : text;
}

void paint_at(GuiSide& gui, int width, int height) {
  SEWndInfo& info = gui.window_info();
  info.width = width;
  info.height = height;
  // A panel of 0 pixels still gets a device context to paint on.
  platform::Canvas canvas(width > 0 ? width : 1, height > 0 ? height : 1);
  gui.paint(canvas.dc());
}

}  // namespace

void check_gui(const Settings& settings) {
  {
    Engine probe;
    if (!probe.add("m", settings.library).has_gui()) return;  // no GUI object: nothing to check
  }
  const std::vector<std::string> all = planned_checks(true);
  announce_plan(
      {all.begin() + static_cast<std::ptrdiff_t>(planned_checks(false).size()), all.end()});

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
              panel_write(*p.engine, *p.instance, rng);
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
      Panel p = open_panel(settings, rng, kNotifyModes[size_t(round) % std::size(kNotifyModes)],
                           rng.chance(2));
      if (!p.gui()->panel_window()) return Outcome::skip("no panel window can be made here");
      // Shown, used and closed with the window kept (a host that hides a
      // panel), shown again, closed with the window destroyed (a host that
      // closes a panel), shown in a new window; the last time it stays open
      // until the instance goes.
      for (int shown = 0; shown < 3; ++shown) {
        p.gui()->open_window();
        for (int n = 0; n < 4 * settings.strictness; ++n) {
          if (rng.chance(2)) panel_write(*p.engine, *p.instance, rng);
          if (rng.chance(2)) random_gesture(*p.gui(), rng, int(rng.below(16)));
          schedule_random_events(*p.engine, *p.instance, rng, 1, p.engine->clock(),
                                 p.engine->clock() + 64, false);
          paint_at(*p.gui(), int(rng.between(0, 300)), int(rng.between(0, 200)));
          p.engine->run(64);
        }
        if (shown == 0) p.gui()->dispatch(se::kGuiWindowClose, 0, 0, &p.gui()->window_info());
        if (shown == 1) p.gui()->close_window();
      }
    }
    return Outcome::pass();
  });

  run_check(settings, "gui.child_window_lost_on_reopen", [&](Rng& rng) {
    for (bool restored : {false, true}) {
      Panel p = open_panel(settings, rng, GuiNotify::kDeferred, restored);
      if (!p.gui()->panel_window()) return Outcome::skip("no panel window can be made here");
      p.gui()->open_window();
      paint_at(*p.gui(), p.gui()->panel_width(), p.gui()->panel_height());
      const std::string first = child_classes(p.gui()->panel_window());
      // Closed as a host closes a panel (its window destroyed with the
      // module's child windows), then shown in a new window: a module must
      // make its child windows again there, not keep the handles of the dead
      // ones.
      p.gui()->close_window();
      p.engine->run(64);
      p.gui()->open_window();
      paint_at(*p.gui(), p.gui()->panel_width(), p.gui()->panel_height());
      p.engine->run(64);
      const std::string again = child_classes(p.gui()->panel_window());
      if (again != first) {
        return Outcome::fail(std::string(restored ? "restored" : "new") +
                             " panel: shown first, it had child windows (" + first +
                             "); closed, its window destroyed and shown in a new window, it has (" +
                             again + ")");
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
