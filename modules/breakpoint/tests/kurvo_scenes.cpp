#include "kurvo_scenes.h"

#include <cmath>
#include <cstdio>

namespace kurvo_test {

namespace {

// A restored instance on a W x H panel with the given nodes and the
// constructor's colours (the colour pins hold 0).
void restored(KurvoHost& h, int w, int ht, const std::string& nodes, double zoom = 1.0,
              double scroll = 0.0) {
  h.preset("nodes", nodes);
  h.preset("Init Config", "(0.0,5.0)(10.0,5.0)");
  h.preset("Max Points", 32.0);
  h.preset("Horiz Zoom", zoom);
  h.preset("Horiz Scroll Offset", scroll);
  h.open_restored();
  h.size(w, ht);
}

const char* kThree = "(0,2)(4,8)(10,5)";

std::string hundred_nodes() {
  std::string text;
  for (int i = 0; i < 100; ++i) {
    char entry[64];
    const double x = i * 0.1;
    const double y = 5.0 + 4.5 * std::sin(i * 0.19);
    std::snprintf(entry, sizeof entry, "(%.3f,%.3f)", x, y);
    text += entry;
  }
  return text;
}

}  // namespace

const std::vector<Scene>& scenes() {
  static const std::vector<Scene> all = {
      // The worked example: W 200, H 100, nodes (0, 50) and (100, 50).
      {"worked_example", [](KurvoHost& h) { restored(h, 200, 100, "(0,5)(10,5)"); }},
      // A new instance on the panel size it asks for (100 x 60).
      {"default_instance", [](KurvoHost& h) { h.open_new(); }},
      {"hide_scale",
       [](KurvoHost& h) {
         h.preset("Hide Scale", 1);
         restored(h, 200, 100, kThree);
       }},
      {"background_none",
       [](KurvoHost& h) {
         h.preset("Bkgd RGB", -1);
         h.preset("Line RGB", 255);
         h.preset("Scale RGB", 0x00FF00);
         h.preset("Node RGB", 0xFF8000);
         restored(h, 200, 100, kThree);
       }},
      {"zoom_0_05", [](KurvoHost& h) { restored(h, 200, 100, kThree, 0.05); }},
      {"zoom_0_5", [](KurvoHost& h) { restored(h, 200, 100, kThree, 0.5); }},
      {"scroll_30", [](KurvoHost& h) { restored(h, 200, 100, kThree, 1.0, 30.0); }},
      {"padding_10",
       [](KurvoHost& h) {
         h.preset("Scale Padding", 10);
         restored(h, 200, 100, kThree);
       }},
      {"line_width_3",
       [](KurvoHost& h) {
         h.preset("Line Width", 3);
         restored(h, 200, 100, kThree);
       }},
      {"line_width_1",
       [](KurvoHost& h) {
         h.preset("Line Width", 1);
         restored(h, 200, 100, kThree);
       }},
      {"solid_nodes",
       [](KurvoHost& h) {
         h.preset("Solid Nodes", 1);
         restored(h, 200, 100, kThree);
       }},
      // The curve held at W, squares beyond W not drawn.
      {"node_far_right",
       [](KurvoHost& h) { restored(h, 200, 100, "(0,2)(5,8)(9.9,3)(14,6)(30,9)"); }},
      // "nodes" and "Init Config" both empty: no nodes at all.
      {"no_nodes",
       [](KurvoHost& h) {
         h.preset("Horiz Zoom", 1.0);
         h.open_restored();
         h.size(200, 100);
       }},
      {"curve_100_nodes",
       [](KurvoHost& h) {
         h.preset("Line Width", 1);
         restored(h, 400, 300, hundred_nodes(), 0.8);
       }},
      // A curve edited with the mouse: a node added, one dragged, zoomed out.
      {"edited_by_mouse",
       [](KurvoHost& h) {
         h.open_new();
         h.size(200, 100);
         h.click(60, 20);
         h.click(60, 20);           // a node at (60, 20)
         h.drag(199, 50, 170, 80);  // the last node down and left
         h.down(150, 10);
         h.move(130, 10, se::kMouseLeft | se::kMouseShift);  // zoom 0.8
         h.up(130, 10);
       }},
  };
  return all;
}

std::unique_ptr<KurvoHost> make_scene(const Scene& scene) {
  auto host = std::make_unique<KurvoHost>();
  scene.setup(*host);
  return host;
}

}  // namespace kurvo_test
