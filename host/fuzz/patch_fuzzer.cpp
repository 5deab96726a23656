// Patch files from anywhere: any text is loaded as a patch against the
// built plug-ins, run for a few blocks, its gestures played and its panels
// painted. A patch may be refused with a HostError; nothing else may happen:
// no crash, no undefined behaviour, no leak, no other exception.
#include <dlfcn.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/canvas.h"
#include "plughost/host_error.h"
#include "plughost/panel.h"
#include "plughost/patch.h"

namespace {

// More samples than this are not run: the blocks are what is tested, and a
// patch may ask for four billion samples.
constexpr uint32_t kMaxSamples = 4096;

void run_patch(const std::string& text) {
  plughost::PatchRun run = plughost::load_patch(text, SE_PLUGIN_DIR);
  run.engine->run(std::min(run.length, kMaxSamples));
  plughost::play_gestures(run);
  for (auto& instance : run.engine->instances()) {
    if (!instance->has_gui()) continue;
    plughost::GuiSide& gui = *instance->gui();
    const int w = std::clamp(gui.panel_width() > 0 ? gui.panel_width() : 200, 1, 512);
    const int h = std::clamp(gui.panel_height() > 0 ? gui.panel_height() : 100, 1, 512);
    platform::Canvas canvas(w, h);
    gui.paint(canvas.dc());
  }
}

}  // namespace

// Every plug-in beside the fuzzer's host stays loaded for the whole run:
// their coverage counters, which the fuzzer reads after each input, must
// not be unmapped when a patch's engine unloads a library.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  for (const auto& entry : std::filesystem::directory_iterator(SE_PLUGIN_DIR)) {
    if (entry.path().extension() == ".so") dlopen(entry.path().c_str(), RTLD_NOW | RTLD_NODELETE);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    run_patch(text);
  } catch (const plughost::HostError&) {
    // A refused patch: what the host must do with bad input.
  }
  return 0;
}
