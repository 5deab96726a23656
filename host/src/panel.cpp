// Panels of a patch run: the patch's mouse gestures played on them, and a
// panel painted into a PNG file.
#include "plughost/panel.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/canvas.h"
#include "platform/window_host.h"
#include "plughost/host_error.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace plughost {

void play_gestures(const PatchRun& run) {
  for (const Gesture& g : run.gestures) g.instance->gui()->mouse(g.opcode, g.x, g.y, g.flags);
}

namespace {

void write_file(const std::string& path, const std::vector<unsigned char>& bytes) {
  if (path == "-") {
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);  // no CR before LF in the PNG
#endif
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
        std::fflush(stdout) != 0) {
      throw HostError(std::string("cannot write the standard output: ") + std::strerror(errno));
    }
    return;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) throw HostError("cannot write " + path + ": " + std::strerror(errno));
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int saved = errno;
  if (std::fclose(file) != 0 || !written) {
    throw HostError("cannot write " + path + ": " + std::strerror(written ? errno : saved));
  }
}

}  // namespace

PaintedPanel paint_panel(Instance& instance, const std::string& png_path) {
  if (!instance.has_gui()) throw HostError("module \"" + instance.name() + "\" has no panel");
  GuiSide& gui = *instance.gui();
  SEWndInfo& info = gui.window_info();
  if (info.width <= 0) info.width = kDefaultPanelWidth;
  if (info.height <= 0) info.height = kDefaultPanelHeight;
  platform::Canvas canvas(info.width, info.height);
  gui.paint(canvas.dc());

  PaintedPanel painted;
  painted.width = canvas.width();
  painted.height = canvas.height();
  const std::vector<uint32_t> pixels = canvas.pixels();
  bool one_colour = true;
  for (uint32_t p : pixels) one_colour = one_colour && p == pixels.front();
  if (one_colour) painted.single_colour = pixels.front();
  if (HWND window = gui.existing_panel_window()) {
    for (HWND child : platform::child_windows(window)) {
      if (platform::window_class(child) == "edit") {
        painted.edit_texts.push_back(platform::window_text(child));
      }
    }
  }
  write_file(png_path, platform::encode_png(canvas));
  return painted;
}

}  // namespace plughost
