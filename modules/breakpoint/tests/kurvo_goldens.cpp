// Paints every Kurvo scene through the built plug-in and writes
// DIR/<scene>.png. The Windows build, run under Wine, paints with real GDI
// and makes the goldens (scripts/make-goldens); built natively it shows what
// the Linux layer paints.
#include <cstdio>
#include <exception>

#include "kurvo_scenes.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kurvo_goldens DIR\n");
    return 2;
  }
  int failed = 0;
  for (const auto& scene : kurvo_test::scenes()) {
    try {
      auto host = kurvo_test::make_scene(scene);
      auto canvas = host->paint_canvas();
      const std::string path = std::string(argv[1]) + "/" + scene.name + ".png";
      if (!platform::write_png(path, *canvas)) {
        std::fprintf(stderr, "kurvo_goldens: cannot write %s\n", path.c_str());
        failed = 1;
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "kurvo_goldens: %s: %s\n", scene.name.c_str(), e.what());
      failed = 1;
    }
  }
  return failed;
}
