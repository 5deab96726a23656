// Panels of a patch run: the patch's mouse gestures played on them, and a
// panel painted into a PNG file.
#include "plughost/panel.h"

#include "platform/canvas.h"
#include "plughost/host_error.h"

namespace plughost {

void play_gestures(const PatchRun& run) {
  for (const Gesture& g : run.gestures) g.instance->gui()->mouse(g.opcode, g.x, g.y, g.flags);
}

void paint_panel(Instance& instance, const std::string& png_path) {
  if (!instance.has_gui()) throw HostError("module \"" + instance.name() + "\" has no panel");
  GuiSide& gui = *instance.gui();
  SEWndInfo& info = gui.window_info();
  if (info.width <= 0) info.width = kDefaultPanelWidth;
  if (info.height <= 0) info.height = kDefaultPanelHeight;
  platform::Canvas canvas(info.width, info.height);
  gui.paint(canvas.dc());
  if (!platform::write_png(png_path, canvas)) throw HostError("cannot write " + png_path);
}

}  // namespace plughost
