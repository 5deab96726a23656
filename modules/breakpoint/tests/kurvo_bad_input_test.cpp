// Kurvo given pins and panels outside their meaning: a clear result, never a
// hang, an overflow or a crash; pictures of values in range unchanged.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <limits>
#include <string>

#include "kurvo_fixture.h"

namespace {

using kurvo_test::KurvoHost;
using plughost::GuiNotify;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int L = se::kMouseLeft;
constexpr int S = se::kMouseShift;

// A restored instance on a 200 x 100 panel with three nodes.
std::unique_ptr<KurvoHost> restored(const std::string& pin = "", double value = 0,
                                    const std::string& nodes = "(0,2)(4,8)(10,5)") {
  auto h = std::make_unique<KurvoHost>();
  h->preset("nodes", nodes);
  h->preset("Horiz Zoom", 1.0);
  if (!pin.empty()) h->preset(pin, value);
  h->open_restored();
  h->size(200, 100);
  return h;
}

// Paints, and says how long it took.
double paint_seconds(KurvoHost& h, std::vector<uint32_t>* pixels = nullptr) {
  const auto start = std::chrono::steady_clock::now();
  auto p = h.paint();
  if (pixels) *pixels = std::move(p);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Everything a user can do on the panel, once.
void play(KurvoHost& h) {
  h.click(100, 50);
  h.click(100, 50);
  h.click(61, 23);
  h.click(61, 23);
  h.drag(80, 20, 95, 35);
  h.drag(0, 80, 20, 60);
  h.down(150, 10);
  h.move(160, 10, L | S);
  h.move(140, 10, L);
  h.up(140, 10);
  h.click(50, 10, S);
  h.click(50, 10, S | se::kMouseCtrl);
}

TEST(KurvoBadInput, ZoomOutsideItsMeaning) {
  const std::pair<double, double> cases[] = {{kNaN, 1.0},    {kInf, 1.0},   {-kInf, 1.0},
                                             {1e-30, 0.01f}, {1e30, 100.0}, {-0.0, 1.0}};
  for (const auto& [given, taken] : cases) {
    SCOPED_TRACE(given);
    // At open and as a change.
    auto at_open = restored("Horiz Zoom", given);
    auto changed = restored();
    changed->set("Horiz Zoom", given);
    auto reference = restored("Horiz Zoom", taken);
    for (KurvoHost* h : {at_open.get(), changed.get()}) {
      EXPECT_EQ(float(h->value("Horiz Zoom")), float(taken));
      std::vector<uint32_t> pixels;
      EXPECT_LT(paint_seconds(*h, &pixels), 2.0);
      EXPECT_TRUE(pixels == reference->paint());
      play(*h);
      h->paint();
    }
  }
}

TEST(KurvoBadInput, ScrollOffsetNaNOrHuge) {
  auto nan = restored("Horiz Scroll Offset", kNaN);
  EXPECT_EQ(nan->value("Horiz Scroll Offset"), 0.0);
  EXPECT_TRUE(nan->paint() == restored()->paint());
  for (double huge : {1e30, -1e30, 3e9, -3e9, 1e12, double(FLT_MAX)}) {
    SCOPED_TRACE(huge);
    for (double zoom : {0.01, 1.0, 100.0}) {
      auto h = restored("Horiz Scroll Offset", huge);
      h->set("Horiz Zoom", zoom);
      EXPECT_LT(paint_seconds(*h), 2.0);
      play(*h);
      EXPECT_LT(paint_seconds(*h), 2.0);
    }
  }
  auto changed = restored();
  changed->set("Horiz Scroll Offset", kInf);
  EXPECT_EQ(changed->value("Horiz Scroll Offset"), 0.0);
}

TEST(KurvoBadInput, MaxPointsNaNOrNegativeAddNothing) {
  for (double max : {kNaN, -5.0, -kInf}) {
    auto h = restored("Max Points", max);
    h->click(61, 23);
    h->click(61, 23);
    EXPECT_EQ(h->count(), 3.0) << max;
  }
  auto h = restored("Max Points", 1e30);
  h->click(61, 23);
  h->click(61, 23);
  EXPECT_EQ(h->count(), 4.0);
}

TEST(KurvoBadInput, ChoicesBeyondTheirListsAreHeldToThem) {
  EXPECT_TRUE(restored("Scale Padding", 1000)->paint() == restored("Scale Padding", 30)->paint());
  EXPECT_TRUE(restored("Scale Padding", -7)->paint() == restored()->paint());
  EXPECT_TRUE(restored("Scale Padding", 32767)->paint() == restored("Scale Padding", 30)->paint());
  EXPECT_TRUE(restored("Line Width", 99)->paint() == restored("Line Width", 3)->paint());
  EXPECT_TRUE(restored("Line Width", 32767)->paint() == restored("Line Width", 3)->paint());
  EXPECT_TRUE(restored("Line Width", -1)->paint() == restored()->paint());
  EXPECT_TRUE(restored("Line Width", -32768)->paint() == restored()->paint());
  // A freeze choice outside the list counts as "None": the first node moves.
  auto h = restored("Freeze Points", 77);
  h->drag(0, 80, 10, 80);
  EXPECT_EQ(h->xs(), "0.5,4,10,");
}

TEST(KurvoBadInput, ColoursDrawTheirLowThreeBytes) {
  auto high = restored("Line RGB", double(0x01FF0000));
  auto plain = restored("Line RGB", double(0x00FF0000));
  EXPECT_TRUE(high->paint() == plain->paint());
}

TEST(KurvoBadInput, PanelSizes) {
  for (auto [w, ht] : {std::pair{0, 0},
                       {1, 1},
                       {4000, 3000},
                       {-5, -5},
                       {0, 100},
                       {200, 0},
                       {INT_MAX, INT_MAX},
                       {INT_MIN, 50}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(ht));
    for (GuiNotify notify : kurvo_test::kNotifyModes) {
      KurvoHost h(notify);
      h.preset("nodes", "(0,2)(4,8)(10,5)");
      h.preset("Solid Nodes", 1);
      h.preset("Init Config", "(0,5)(10,5)");
      h.open_restored();
      h.size(w, ht);
      // Paint on a canvas as large as the panel, up to 4000 x 3000.
      const bool paintable = w >= 1 && ht >= 1 && w <= 4000 && ht <= 3000;
      auto paint = [&] {
        if (paintable) return paint_seconds(h);
        platform::Canvas canvas(50, 50);
        const auto start = std::chrono::steady_clock::now();
        h.paint(canvas.dc());
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      };
      EXPECT_LT(paint(), 5.0);
      const std::string before = h.nodes();
      h.drag(0, 20, 3, 25);
      h.drag(1, 1, 50, 50);
      if (w <= 0 || ht <= 0) {
        EXPECT_EQ(h.nodes(), before);  // nothing to drag in
      }
      play(h);
      EXPECT_LT(paint(), 5.0);
      EXPECT_FALSE(std::isnan(h.value("Horiz Zoom")));
      EXPECT_NE(h.xs().find_first_of("0123456789"), std::string::npos) << h.xs();
    }
  }
}

TEST(KurvoBadInput, AHundredThousandNodes) {
  std::string text;
  text.reserve(100000 * 12);
  for (int i = 0; i < 100000; ++i) {
    text += "(" + std::to_string(i * 0.0001) + "," + std::to_string(i % 10) + ")";
  }
  for (GuiNotify notify : kurvo_test::kNotifyModes) {
    KurvoHost h(notify);
    h.preset("nodes", text);
    h.open_restored();
    h.size(400, 300);
    EXPECT_EQ(h.count(), 100000.0);
    EXPECT_LT(paint_seconds(h), 5.0);
    h.drag(4, 270, 6, 250);
    EXPECT_EQ(h.count(), 100000.0);
    EXPECT_LT(paint_seconds(h), 5.0);
  }
}

TEST(KurvoBadInput, NodesAtNaNAndInfinity) {
  for (const char* nodes : {"(nan,nan)(inf,-inf)(1e30,1e30)(-1e30,5)", "(-inf,inf)(nan,5)",
                            "(1e38,1e38)(3e38,-3e38)", "(5,5)(nan,2)(1,1)"}) {
    SCOPED_TRACE(nodes);
    auto h = restored("", 0, nodes);
    EXPECT_LT(paint_seconds(*h), 2.0);
    play(*h);
    h->down(100, 50);
    h->move(120, 40, L);
    h->up(120, 40);
    EXPECT_LT(paint_seconds(*h), 2.0);
  }
}

TEST(KurvoBadInput, PointerAtTheEndsOfTheIntRange) {
  auto h = restored();
  for (int x : {INT_MIN, INT_MAX, 0}) {
    for (int y : {INT_MIN, INT_MAX, 0}) {
      h->down(100, 50);
      h->move(x, y, L);
      h->move(x, y, L | se::kMouseRight);
      h->move(x, y, L | S);
      h->up(x, y);
      h->click(x, y);
      h->click(x, y);
      h->click(x, y, S);
    }
  }
  EXPECT_LT(paint_seconds(*h), 2.0);
}

}  // namespace
