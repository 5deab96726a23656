// Samples per second of Divara_v3 and Divara_v2 through their real process
// entry with the gate held on, beside a baseline in the same run: a plain
// loop that reads the same two input buffers and writes the same output
// buffers. The ratio (module over baseline, per block size) is printed at the
// end of the run; 1.0 is as fast as the plain loop.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "plughost/engine.h"
#include "plughost/plugin_library.h"

namespace {

void Baseline(benchmark::State& state, int outputs) {
  const int block = int(state.range(0));
  std::vector<float> gate(block, 1.0f), pitch(block, 0.43f);
  std::vector<std::vector<float>> out(outputs, std::vector<float>(block));
  for (auto _ : state) {
    const float* g = gate.data();
    const float* p = pitch.data();
    float* o0 = out[0].data();
    float* o1 = out[1].data();
    if (outputs == 2) {
      for (int k = 0; k < block; ++k) {
        o0[k] = g[k];
        o1[k] = p[k];
      }
    } else {
      float* o2 = out[2].data();
      float* o3 = out[3].data();
      for (int k = 0; k < block; ++k) {
        o0[k] = g[k];
        o1[k] = p[k];
        o2[k] = g[k];
        o3[k] = p[k];
      }
    }
    benchmark::DoNotOptimize(out[0].data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * block);
}

void Module(benchmark::State& state, const std::string& library) {
  const int block = int(state.range(0));
  plughost::Engine engine(44100.0f, block);
  plughost::Instance& d = engine.add("d", plughost::plugin_beside_executable(library));
  d.set_value(d.pin_index("Gate In"), 1.0);
  d.set_value(d.pin_index("Pitch In"), 0.43);
  engine.run(uint32_t(block));  // opened and running
  SEModuleRecord* record = d.record();
  const SEProcessEntry process = record->process;
  for (auto _ : state) {
    process(record->instance, 0, block);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * block);
}

// Names "<group>/baseline/<block>" and "<group>/<subject>/<block>" pair up in
// the ratio table that bench/main.cpp prints.
const bool registered = [] {
  for (const auto& [library, outputs] :
       std::vector<std::pair<std::string, int>>{{"Divara_v3", 2}, {"Divara_v2", 4}}) {
    const int n = outputs;
    benchmark::RegisterBenchmark((library + "/baseline").c_str(),
                                 [n](benchmark::State& s) { Baseline(s, n); })
        ->Arg(64)
        ->Arg(256)
        ->Arg(4096);
    benchmark::RegisterBenchmark((library + "/process").c_str(),
                                 [library](benchmark::State& s) { Module(s, library); })
        ->Arg(64)
        ->Arg(256)
        ->Arg(4096);
  }
  return true;
}();

}  // namespace
