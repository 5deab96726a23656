// Samples per second of Divara_v3 and Divara_v2 through their real process
// entry with the gate held on, beside a baseline in the same run: copies
// that read the same two input buffers and write the same output buffers. The ratio (module over
// baseline, per block size) is printed at the end of the run; 1.0 is as fast as the copies.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "plughost/engine.h"
#include "plughost/plugin_library.h"

namespace {

// Moves the bytes the module moves as fast as this machine can: each
// output is a memcpy of one input (the gate, or the pitch). A loop over all
// outputs at once could not be vectorised, as the compiler must assume the
// buffers overlap, and would make a slow limit.
void Baseline(benchmark::State& state, int outputs) {
  const int block = int(state.range(0));
  std::vector<float> gate(block, 1.0f), pitch(block, 0.43f);
  std::vector<std::vector<float>> out(outputs, std::vector<float>(block));
  const size_t bytes = size_t(block) * sizeof(float);
  for (auto _ : state) {
    std::memcpy(out[0].data(), gate.data(), bytes);
    std::memcpy(out[1].data(), pitch.data(), bytes);
    if (outputs == 4) {
      std::memcpy(out[2].data(), gate.data(), bytes);
      std::memcpy(out[3].data(), pitch.data(), bytes);
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
