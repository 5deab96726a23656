// Every scene drawn here must give the pixels of its golden, made by real GDI
// (platform_goldens under Wine), exactly: in the Windows build this checks
// that GDI still draws the goldens; natively it checks the Linux layer, wide
// pens included (no tolerance is needed: the layer traces wide pens as GDI
// does).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/canvas.h"
#include "scenes.h"

namespace {

using platform::Canvas;
using platform::Image;

// The number of pixels that differ, and where the first one is.
struct Comparison {
  int differing = 0;
  int first_x = -1, first_y = -1;
};

Comparison compare(const Canvas& canvas, const Image& golden) {
  Comparison result;
  const auto ours = canvas.pixels();
  for (int y = 0; y < golden.height; ++y)
    for (int x = 0; x < golden.width; ++x) {
      if (ours[static_cast<size_t>(y) * golden.width + x] == golden.at(x, y)) continue;
      if (result.differing++ == 0) result.first_x = x, result.first_y = y;
    }
  return result;
}

TEST(Golden, EveryScene) {
  namespace fs = std::filesystem;
  const fs::path actual_dir = fs::current_path() / "platform_actual";
  for (const auto& scene : platform::scenes::all()) {
    SCOPED_TRACE(scene.name);
    const auto golden =
        platform::read_png(std::string(PLATFORM_GOLDEN_DIR) + "/" + scene.name + ".png");
    ASSERT_TRUE(golden) << "golden missing; run scripts/make-goldens";
    ASSERT_EQ(golden->width, scene.width);
    ASSERT_EQ(golden->height, scene.height);
    Canvas canvas(scene.width, scene.height);
    scene.draw(canvas.dc());
    const Comparison c = compare(canvas, *golden);
    EXPECT_EQ(c.differing, 0) << "first at (" << c.first_x << ", " << c.first_y << ")";
    if (c.differing > 0) {  // keep what we drew, to look at beside the golden
      fs::create_directories(actual_dir);
      platform::write_png((actual_dir / (scene.name + ".png")).string(), canvas);
    }
  }
}

}  // namespace
