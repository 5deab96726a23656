// Kurvo's panel through the host, as a user's mouse drives it.
//
// kurvo_drag/move/N: one handled drag move of a middle node of an N-node
// curve (OnMouseMove with publishNodes: the node-list text, both axis array
// texts and the count written to the pins), then the repaint it asks for,
// on a 400 x 300 panel. kurvo_drag/baseline/N: the node-list text alone at
// the same size (formatNodeText). Goal: a whole move within 1 ms at 1,000
// nodes (a 1 kHz mouse).
//
// kurvo_paint/paint/1000: one Paint of a 1,000-node curve on 400 x 300, the
// scale shown. kurvo_paint/baseline/1000: the background fill alone (one
// FillRect of the panel). Goal: within 1 ms.
//
// The time per operation is Google Benchmark's "Time" column; the ratio
// table at the end compares each subject with its baseline.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "breakpoint/node_store.h"
#include "kurvo_fixture.h"
#include "platform/win32.h"

namespace {

std::string curve_text(int nodes) {
  std::string text;
  for (int i = 0; i < nodes; ++i) {
    char entry[64];
    std::snprintf(entry, sizeof entry, "(%.6f,%.6f)", 10.0 * i / nodes,
                  5.0 + 4.0 * std::sin(i * 0.37));
    text += entry;
  }
  return text;
}

void DragBaseline(benchmark::State& state) {
  const int nodes = static_cast<int>(state.range(0));
  kurvo::NodeStore store;
  store.parseNodeText(curve_text(nodes), "");
  for (auto _ : state) {
    std::string text = store.formatNodeText();
    benchmark::DoNotOptimize(text);
  }
  state.SetItemsProcessed(state.iterations());
}

// A restored instance holding a `nodes`-node curve at zoom 1 on a 400x300
// panel, as both the drag and the paint are measured on.
void open_curve(kurvo_test::KurvoHost& h, int nodes) {
  h.preset("nodes", curve_text(nodes));
  h.preset("Horiz Zoom", 1.0);
  h.open_restored();
  h.size(400, 300);
}

void DragMove(benchmark::State& state) {
  const int nodes = static_cast<int>(state.range(0));
  kurvo_test::KurvoHost h;
  open_curve(h, nodes);
  platform::Canvas canvas(400, 300);
  // Grab the middle node where it is drawn.
  const int middle = nodes / 2;
  const int x = static_cast<int>(400.0 * 0.01 * (100.0 * middle / nodes));
  const int y =
      static_cast<int>(300.0 * 0.01 * (10.0 - (5.0 + 4.0 * std::sin(middle * 0.37))) * 10);
  h.down(x, y);
  int step = 0;
  for (auto _ : state) {
    h.move(x, y + (++step % 2 ? 3 : -3));
    h.paint(canvas.dc());
  }
  h.up(x, y);
  if (h.count() != nodes) state.SkipWithError("the drag lost nodes");
  state.SetItemsProcessed(state.iterations());
}

void PaintBaseline(benchmark::State& state) {
  platform::Canvas canvas(400, 300);
  for (auto _ : state) {
    HBRUSH brush = CreateSolidBrush(0xB18D52);
    const RECT all{0, 0, 401, 301};
    FillRect(canvas.dc(), &all, brush);
    DeleteObject(brush);
  }
  state.SetItemsProcessed(state.iterations());
}

void PaintCurve(benchmark::State& state) {
  const int nodes = static_cast<int>(state.range(0));
  kurvo_test::KurvoHost h;
  open_curve(h, nodes);
  platform::Canvas canvas(400, 300);
  for (auto _ : state) h.paint(canvas.dc());
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(DragBaseline)
    ->Name("kurvo_drag/baseline")
    ->Arg(32)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(DragMove)
    ->Name("kurvo_drag/move")
    ->Arg(32)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(PaintBaseline)->Name("kurvo_paint/baseline")->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(PaintCurve)->Name("kurvo_paint/paint")->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
