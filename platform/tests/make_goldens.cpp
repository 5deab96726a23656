// Draws every scene onto a Canvas and writes DIR/<scene>.png. Built for
// Windows and run under Wine it makes the goldens from real GDI
// (scripts/make-goldens); built natively it shows what the Linux layer draws.
#include <cstdio>

#include "platform/canvas.h"
#include "scenes.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: platform_goldens DIR\n");
    return 2;
  }
  int failed = 0;
  for (const auto& scene : platform::scenes::all()) {
    platform::Canvas canvas(scene.width, scene.height);
    scene.draw(canvas.dc());
    const std::string path = std::string(argv[1]) + "/" + scene.name + ".png";
    if (!platform::write_png(path, canvas)) {
      std::fprintf(stderr, "platform_goldens: cannot write %s\n", path.c_str());
      failed = 1;
    }
  }
  return failed;
}
