// Kurvo's panel pixel for pixel against real GDI (goldens drawn by the
// Windows build under Wine), and the end states of the three ways a host
// reports pin changes compared scenario by scenario.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "kurvo_scenes.h"

namespace {

using kurvo_test::KurvoHost;
using plughost::GuiNotify;

TEST(KurvoGolden, EveryScenePaintsAsRealGdi) {
  namespace fs = std::filesystem;
  const fs::path actual_dir = fs::current_path() / "kurvo_actual";
  for (const auto& scene : kurvo_test::scenes()) {
    SCOPED_TRACE(scene.name);
    const auto golden =
        platform::read_png(std::string(KURVO_GOLDEN_DIR) + "/" + scene.name + ".png");
    ASSERT_TRUE(golden) << "golden missing; run scripts/make-goldens";
    auto host = kurvo_test::make_scene(scene);
    auto canvas = host->paint_canvas();
    ASSERT_EQ(golden->width, canvas->width());
    ASSERT_EQ(golden->height, canvas->height());
    const auto ours = canvas->pixels();
    int differing = 0, first_x = -1, first_y = -1;
    for (int y = 0; y < golden->height; ++y)
      for (int x = 0; x < golden->width; ++x) {
        if (ours[static_cast<size_t>(y) * golden->width + x] == golden->at(x, y)) continue;
        if (differing++ == 0) first_x = x, first_y = y;
      }
    EXPECT_EQ(differing, 0) << "first at (" << first_x << ", " << first_y << ")";
    if (differing > 0) {
      fs::create_directories(actual_dir);
      platform::write_png((actual_dir / (scene.name + ".png")).string(), *canvas);
    }
  }
}

// What a user and the patch see of an instance.
struct EndState {
  std::string nodes, xs, ys;
  double count = 0, zoom = 0, scroll = 0;
  std::vector<uint32_t> pixels;
  bool operator==(const EndState&) const = default;
};

EndState end_state(KurvoHost& h) {
  return {
      h.nodes(), h.xs(), h.ys(), h.count(), h.value("Horiz Zoom"), h.value("Horiz Scroll Offset"),
      h.paint()};
}

using Scenario = std::function<void(KurvoHost&)>;

// Runs the scenario on one host of each kind and compares each end state
// with the immediate host's.
void expect_same_end(const char* name, const Scenario& scenario) {
  SCOPED_TRACE(name);
  KurvoHost immediate(GuiNotify::kImmediate);
  scenario(immediate);
  const EndState a = end_state(immediate);
  for (GuiNotify notify : {GuiNotify::kDeferred, GuiNotify::kEveryWrite}) {
    SCOPED_TRACE(kurvo_test::notify_name(notify));
    KurvoHost other(notify);
    scenario(other);
    const EndState b = end_state(other);
    EXPECT_EQ(a.nodes, b.nodes);
    EXPECT_EQ(a.xs, b.xs);
    EXPECT_EQ(a.ys, b.ys);
    EXPECT_EQ(a.count, b.count);
    EXPECT_EQ(a.zoom, b.zoom);
    EXPECT_EQ(a.scroll, b.scroll);
    EXPECT_TRUE(a.pixels == b.pixels) << "the panels differ";
  }
}

TEST(KurvoNotify, EveryScenePaintsTheSameUnderEveryHost) {
  for (const auto& scene : kurvo_test::scenes()) expect_same_end(scene.name.c_str(), scene.setup);
}

TEST(KurvoNotify, EditsEndTheSameUnderEveryHost) {
  const auto fresh = [](KurvoHost& h) {
    h.open_new();
    h.size(200, 100);
  };
  expect_same_end("new instance", [&](KurvoHost& h) { fresh(h); });
  expect_same_end("restored with stale outputs", [](KurvoHost& h) {
    h.preset("X Array Out", "7,");
    h.preset("Y Array Out", "9,9,9,");
    h.preset("nodes", "(1,2)(3,4)");
    h.open_restored();
    h.size(200, 100);
  });
  expect_same_end("add, drag with fractions, remove", [&](KurvoHost& h) {
    fresh(h);
    h.click(63, 27);
    h.click(63, 27);
    h.down(63, 27);
    for (int k = 1; k <= 50; ++k) h.move(63 + k * 7 % 23, 27 + k * 3 % 11, se::kMouseLeft);
    h.up(70, 30);
    h.down(199, 50);
    for (int k = 1; k <= 30; ++k) h.move(199 - k, 50 + k % 7, se::kMouseLeft | se::kMouseCtrl);
    h.up(169, 52);
    h.click(10, 10);
    h.click(10, 10);
    h.click(10, 10);
    h.click(10, 10);
  });
  expect_same_end("long drag", [&](KurvoHost& h) {
    fresh(h);
    h.down(199, 50);
    for (int k = 1; k <= 500; ++k) h.move(199 - k % 97, 50 + k % 41, se::kMouseLeft);
    h.up(150, 60);
  });
  expect_same_end("zoom, scroll, fit", [&](KurvoHost& h) {
    fresh(h);
    h.down(150, 10);
    h.move(137, 10, se::kMouseLeft | se::kMouseShift);
    h.move(141, 10, se::kMouseLeft);
    h.move(131, 10, se::kMouseLeft | se::kMouseRight);
    h.up(131, 10);
    h.click(50, 10, se::kMouseShift);
  });
  expect_same_end("reset", [&](KurvoHost& h) {
    fresh(h);
    h.click(60, 20);
    h.click(60, 20);
    h.set("Horiz Zoom", 2.0);
    h.click(50, 10, se::kMouseShift | se::kMouseCtrl);
  });
  expect_same_end("reset, empty init config", [&](KurvoHost& h) {
    fresh(h);
    h.set("Init Config", "");
    h.click(50, 10, se::kMouseShift | se::kMouseCtrl);
  });
  expect_same_end("arrays from outside, then an edit", [&](KurvoHost& h) {
    fresh(h);
    h.set("Y Array Out", "3,4,");
    h.set("X Array Out", "1,2,");
    h.click(100, 20);
    h.click(100, 20);
  });
  expect_same_end("nodes from outside, incomplete", [&](KurvoHost& h) {
    fresh(h);
    h.set("nodes", "(1,2)junk");
    h.set("Horiz Zoom", -3.0);
  });
  expect_same_end("new instance over patch values", [](KurvoHost& h) {
    h.preset("nodes", "(3,3)(4,4)");
    h.preset("Horiz Zoom", 5.0);
    h.preset("Bkgd RGB", 0x102030);
    h.open_new();
    h.size(200, 100);
  });
}

}  // namespace
