// Parse and format of Kurvo's node list for curves of 32, 1,000 and 100,000
// nodes. Each benchmark also measures, in the same run, the same work done
// by the rules written out step by step with strtod and snprintf
// (tests/reference), and reports "ref_us" (its time per operation) and
// "ratio" (this library's time over it; below 1 is faster).
//
// "drag" is what one mouse move over a curve costs the module: the node-list
// text and both axis array texts written anew.
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "breakpoint/node_store.h"
#include "reference_nodes.h"

namespace {

using Clock = std::chrono::steady_clock;

// A curve as a user draws it: X rising over the panel, Y anywhere, all
// digits used (not a grid).
kurvo::NodeStore makeCurve(int nodes) {
  std::mt19937 random(static_cast<unsigned>(nodes));
  std::uniform_real_distribution<float> height(0.0f, 10.0f);
  std::string text;
  for (int i = 0; i < nodes; ++i) {
    text += "(" + std::to_string(10.0 * i / nodes) + "," + std::to_string(height(random)) + ")";
  }
  kurvo::NodeStore store;
  store.parseNodeText(text, "");
  return store;
}

const kurvo::NodeStore& curve(int nodes) {
  static std::map<int, kurvo::NodeStore> curves;
  auto it = curves.find(nodes);
  if (it == curves.end()) it = curves.emplace(nodes, makeCurve(nodes)).first;
  return it->second;
}

// Seconds per call of `work`, measured once per (name, nodes) for at least
// 20 ms and 3 calls.
template <typename Work>
double baseline(const char* name, int nodes, Work work) {
  static std::map<std::pair<std::string, int>, double> measured;
  const auto key = std::make_pair(std::string(name), nodes);
  if (auto it = measured.find(key); it != measured.end()) return it->second;
  int calls = 0;
  const auto start = Clock::now();
  Clock::duration elapsed{};
  do {
    work();
    ++calls;
    elapsed = Clock::now() - start;
  } while (calls < 3 || elapsed < std::chrono::milliseconds(20));
  const double seconds = std::chrono::duration<double>(elapsed).count() / calls;
  measured.emplace(key, seconds);
  return seconds;
}

// Runs the benchmark loop over `work`, timed here as well, and reports the
// ratio against the baseline.
template <typename Work>
void run(benchmark::State& state, double referenceSeconds, Work work) {
  const auto start = Clock::now();
  for (auto _ : state) work();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count() /
                         static_cast<double>(state.iterations());
  state.counters["ref_us"] = referenceSeconds * 1e6;
  state.counters["ratio"] = seconds / referenceSeconds;
  state.counters["nodes"] = static_cast<double>(state.range(0));
}

void BM_ParseNodeText(benchmark::State& state) {
  const int nodes = static_cast<int>(state.range(0));
  const std::string text = curve(nodes).formatNodeText();
  const double reference = baseline("parse", nodes, [&] {
    std::vector<kurvo::BreakpointNode> parsed;
    benchmark::DoNotOptimize(kurvo_reference::parseNodeText(parsed, text, ""));
    benchmark::DoNotOptimize(parsed.data());
  });
  kurvo::NodeStore store;
  run(state, reference, [&] {
    benchmark::DoNotOptimize(store.parseNodeText(text, ""));
    benchmark::ClobberMemory();
  });
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_FormatNodeText(benchmark::State& state) {
  const int nodes = static_cast<int>(state.range(0));
  const kurvo::NodeStore& store = curve(nodes);
  const double reference = baseline("format", nodes, [&] {
    benchmark::DoNotOptimize(kurvo_reference::formatNodeText(store.nodes()));
  });
  run(state, reference, [&] { benchmark::DoNotOptimize(store.formatNodeText()); });
}

void BM_FormatAxisArrays(benchmark::State& state) {
  const int nodes = static_cast<int>(state.range(0));
  const kurvo::NodeStore& store = curve(nodes);
  const double reference = baseline("axis", nodes, [&] {
    benchmark::DoNotOptimize(kurvo_reference::formatAxisArrays(store.nodes()));
  });
  run(state, reference, [&] { benchmark::DoNotOptimize(store.formatAxisArrays()); });
}

void BM_JoinAxisArrays(benchmark::State& state) {
  const int nodes = static_cast<int>(state.range(0));
  const kurvo::AxisArrays arrays = curve(nodes).formatAxisArrays();
  const double reference = baseline("join", nodes, [&] {
    benchmark::DoNotOptimize(kurvo_reference::joinAxisArrays(arrays.x, arrays.y));
  });
  run(state, reference,
      [&] { benchmark::DoNotOptimize(kurvo::joinAxisArrays(arrays.x, arrays.y)); });
}

void BM_DragRebuild(benchmark::State& state) {
  const int nodes = static_cast<int>(state.range(0));
  kurvo::NodeStore store = curve(nodes);
  const double reference = baseline("drag", nodes, [&] {
    benchmark::DoNotOptimize(kurvo_reference::formatNodeText(store.nodes()));
    benchmark::DoNotOptimize(kurvo_reference::formatAxisArrays(store.nodes()));
  });
  float y = 0.0f;
  run(state, reference, [&] {
    store[static_cast<std::size_t>(nodes / 2)].y = y;  // the dragged node
    y = y < 100.0f ? y + 0.5f : 0.0f;
    benchmark::DoNotOptimize(store.formatNodeText());
    benchmark::DoNotOptimize(store.formatAxisArrays());
  });
}

#define KURVO_SIZES Arg(32)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_ParseNodeText)->KURVO_SIZES;
BENCHMARK(BM_FormatNodeText)->KURVO_SIZES;
BENCHMARK(BM_FormatAxisArrays)->KURVO_SIZES;
BENCHMARK(BM_JoinAxisArrays)->KURVO_SIZES;
BENCHMARK(BM_DragRebuild)->KURVO_SIZES;

}  // namespace
