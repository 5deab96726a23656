// Panels of a patch run: gestures played on them, and painting into PNG files.
#pragma once

#include <string>

#include "plughost/patch.h"

namespace plughost {

// Plays the patch's gestures on the panels, in patch order.
void play_gestures(const PatchRun& run);
// Paints a module's panel (its size from the module, or the default) and
// writes it as a PNG. Throws HostError when the module has no panel or the
// file cannot be written.
void paint_panel(Instance& instance, const std::string& png_path);

}  // namespace plughost
