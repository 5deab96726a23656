// libFuzzer target for Kurvo's panel: the built plug-in, loaded by the
// stand-in host, given random pin values (NaN, infinities and huge numbers
// included), random panel sizes and random gestures, and painted. Built with
// AddressSanitizer and UndefinedBehaviorSanitizer (float-cast-overflow
// included), so an overflowing conversion, a bad access or a leak aborts;
// a hang shows as a libFuzzer timeout.
//
// Input, read with FuzzedDataProvider: the notify mode, new or restored,
// pin values before open, then up to 64 steps (a pin change from outside,
// a panel size, a press, a move, a release, a paint), then a last paint.
#include <dlfcn.h>
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "platform/canvas.h"
#include "plughost/engine.h"
#include "plughost/gui_side.h"
#include "plughost/host_error.h"
#include "se_sdk2/gui_opcodes.h"

namespace {

constexpr int kPins = 19;

double pick_number(FuzzedDataProvider& in, int datatype) {
  static const double special[] = {std::numeric_limits<double>::quiet_NaN(),
                                   std::numeric_limits<double>::infinity(),
                                   -std::numeric_limits<double>::infinity(),
                                   1e-30,
                                   1e30,
                                   -1e30,
                                   0.0,
                                   -0.0,
                                   0.01,
                                   100.0,
                                   3e9,
                                   -1.0,
                                   30.0};
  switch (datatype) {
    case DT_FLOAT32:
      if (in.ConsumeBool()) return special[in.ConsumeIntegralInRange<size_t>(0, 12)];
      return static_cast<double>(in.ConsumeFloatingPoint<float>());
    case DT_CHOICE:
      return in.ConsumeIntegral<int16_t>();
    default:  // int and switch pins: 32-bit integers
      return in.ConsumeIntegral<int32_t>();
  }
}

std::string pick_text(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: {  // many well-formed nodes
      const int n = in.ConsumeIntegralInRange(0, 300);
      std::string text;
      for (int i = 0; i < n; ++i) {
        text += "(" + std::to_string(in.ConsumeFloatingPoint<float>()) + "," +
                std::to_string(in.ConsumeIntegralInRange(-20, 30)) + ")";
      }
      return text;
    }
    case 1:
      return "(nan,inf)(-inf,1e30)(1e38,-1e38)(5,5)";
    default:
      return in.ConsumeRandomLengthString(400);
  }
}

void set_pin(plughost::Instance& k, int pin, FuzzedDataProvider& in, bool report) {
  plughost::HostPin& p = k.pins()[pin];
  try {
    if (p.datatype == DT_STRING) {
      k.set_text(pin, pick_text(in));
    } else {
      k.set_value(pin, pick_number(in, p.datatype));
    }
  } catch (const plughost::HostError&) {
    return;  // a value the host refuses for this pin
  }
  if (report) k.gui()->pin_changed(pin, false);
}

int pick_size(FuzzedDataProvider& in) {
  static const int sizes[] = {0,
                              1,
                              2,
                              60,
                              100,
                              200,
                              400,
                              4000,
                              -1,
                              -100,
                              std::numeric_limits<int>::max(),
                              std::numeric_limits<int>::min()};
  // Sizes beyond any real panel make every paint slow (lines a million
  // pixels long), so they come rarely.
  switch (in.ConsumeIntegralInRange(0, 15)) {
    case 0:
      return in.ConsumeIntegral<int32_t>();
    case 1:
    case 2:
    case 3:
      return sizes[in.ConsumeIntegralInRange<size_t>(0, 11)];
    default:
      return in.ConsumeIntegralInRange(-10, 500);
  }
}

int pick_coordinate(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange(0, 7) == 0) return in.ConsumeIntegral<int32_t>();
  return in.ConsumeIntegralInRange(-50, 450);
}

void paint(plughost::GuiSide& gui) {
  const int w = std::clamp(gui.panel_width(), 1, 256);
  const int h = std::clamp(gui.panel_height(), 1, 256);
  platform::Canvas canvas(w, h);
  gui.paint(canvas.dc());
}

}  // namespace

// The plug-in stays loaded for the whole run: libFuzzer keeps the coverage
// counters of every module it has seen, and clears them before each input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  dlopen(KURVO_PLUGIN_PATH, RTLD_NOW | RTLD_NODELETE);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  plughost::Engine engine;
  engine.set_gui_notify(
      in.PickValueInArray({plughost::GuiNotify::kImmediate, plughost::GuiNotify::kDeferred,
                           plughost::GuiNotify::kEveryWrite}));
  plughost::Instance& k = engine.add("k", KURVO_PLUGIN_PATH);
  plughost::GuiSide& gui = *k.gui();
  const bool restored = in.ConsumeBool();
  const int presets = in.ConsumeIntegralInRange(0, 8);
  for (int i = 0; i < presets; ++i) set_pin(k, in.ConsumeIntegralInRange(0, kPins - 1), in, false);
  gui.open(restored);
  gui.window_info().width = pick_size(in);
  gui.window_info().height = pick_size(in);

  const int steps = in.ConsumeIntegralInRange(0, 64);
  for (int s = 0; s < steps && in.remaining_bytes() > 0; ++s) {
    switch (in.ConsumeIntegralInRange(0, 6)) {
      case 0:
        set_pin(k, in.ConsumeIntegralInRange(0, kPins - 1), in, true);
        break;
      case 1:
        gui.window_info().width = pick_size(in);
        gui.window_info().height = pick_size(in);
        break;
      case 2:
        gui.mouse(se::kGuiButtonDown, pick_coordinate(in), pick_coordinate(in),
                  in.ConsumeIntegralInRange(0, 15));
        break;
      case 3:
      case 4: {
        const int moves = in.ConsumeIntegralInRange(1, 20);
        const int flags = in.ConsumeIntegralInRange(0, 15);
        for (int m = 0; m < moves; ++m) {
          gui.mouse(se::kGuiMouseMove, pick_coordinate(in), pick_coordinate(in), flags);
        }
        break;
      }
      case 5:
        gui.mouse(se::kGuiButtonUp, pick_coordinate(in), pick_coordinate(in),
                  in.ConsumeIntegralInRange(0, 15));
        break;
      default:
        paint(gui);
        break;
    }
  }
  paint(gui);
  return 0;
}
