// Panels of a patch run: gestures played on them, and painting into PNG files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plughost/patch.h"

namespace plughost {

// Plays the patch's gestures on the panels, in patch order.
void play_gestures(const PatchRun& run);

// What a painted panel shows, beyond its pixels.
struct PaintedPanel {
  int width = 0;
  int height = 0;
  // The one colour (0x00RRGGBB) of an image whose pixels are all alike.
  std::optional<uint32_t> single_colour;
  // The panel's "edit" child windows and their texts, in window order. The
  // module's Paint does not draw them (the system does, on screen), so the
  // PNG shows none of it.
  std::vector<std::string> edit_texts;
};

// Paints a module's panel (its size from the module, or the default) and
// writes it as a PNG to `png_path` ("-": standard output). Throws HostError
// when the module has no panel or the file cannot be written.
PaintedPanel paint_panel(Instance& instance, const std::string& png_path);

}  // namespace plughost
