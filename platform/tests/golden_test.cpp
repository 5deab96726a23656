// Every scene drawn here must give the pixels of its golden, made by real GDI
// (platform_goldens under Wine). In the Windows build this checks that GDI
// still draws the goldens exactly; natively it checks the Linux layer:
// exactly for scenes with one-pixel pens and fills, and within
// wide_pen_tolerance for scenes with wider pens.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/canvas.h"
#include "scenes.h"

namespace {

using platform::Canvas;
using platform::Image;

// A pixel that differs from the golden is "near" when the colour we drew
// appears in the golden within one pixel of it (horizontally, vertically or
// diagonally), and the golden's colour appears in our drawing within one
// pixel: a pen edge shifted by a pixel, not paint in a wrong place.
struct Comparison {
  int differing = 0;
  int far = 0;  // differing pixels that are not near
};

Comparison compare(const Canvas& canvas, const Image& golden) {
  Comparison result;
  const auto ours = canvas.pixels();
  const int w = golden.width, h = golden.height;
  auto found_near = [&](auto colour_at, int x, int y, uint32_t colour) {
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const int nx = x + dx, ny = y + dy;
        if (nx >= 0 && ny >= 0 && nx < w && ny < h && colour_at(nx, ny) == colour) return true;
      }
    return false;
  };
  auto golden_at = [&](int x, int y) { return golden.at(x, y); };
  auto ours_at = [&](int x, int y) { return ours[static_cast<size_t>(y) * w + x]; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (ours_at(x, y) == golden_at(x, y)) continue;
      ++result.differing;
      if (!found_near(golden_at, x, y, ours_at(x, y)) ||
          !found_near(ours_at, x, y, golden_at(x, y)))
        ++result.far;
    }
  return result;
}

#ifdef _WIN32
constexpr bool real_gdi = true;
#else
constexpr bool real_gdi = false;
#endif

// Wider pens: at most this many differing pixels per scene, all near.
constexpr int wide_pen_tolerance = 0;

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
    if (real_gdi || scene.pen_width <= 1) {
      EXPECT_EQ(c.differing, 0);
    } else {
      EXPECT_LE(c.differing, wide_pen_tolerance);
      EXPECT_EQ(c.far, 0);
    }
    if (c.differing > 0) {  // keep what we drew, to look at beside the golden
      fs::create_directories(actual_dir);
      platform::write_png((actual_dir / (scene.name + ".png")).string(), canvas);
    }
  }
}

}  // namespace
