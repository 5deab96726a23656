// The host's own cost per block, beside a direct call of a process entry
// in the same run: Engine::run of one block for a sleeping module (Kurvo,
// which sleeps for good) and for Forka with nothing to pass (it sleeps until
// a message arrives), against calling Forka's process entry directly, which
// is all a host must do per block. Items are blocks; the ratio table of
// bench/main.cpp shows host blocks per second over direct calls per second
// (goal at blocks of 64: 0.5 or more, the host within 2x of the call).
#include <benchmark/benchmark.h>

#include <string>

#include "plughost/engine.h"
#include "plughost/plugin_library.h"

namespace {

void DirectCall(benchmark::State& state) {
  const int block = int(state.range(0));
  plughost::Engine engine(44100.0f, block);
  plughost::Instance& m = engine.add("m", plughost::plugin_beside_executable("Forka"));
  engine.run(uint32_t(block));  // opened
  SEModuleRecord* record = m.record();
  for (auto _ : state) {
    record->process(record->instance, 0, block);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void HostBlock(benchmark::State& state, const std::string& library) {
  const int block = int(state.range(0));
  plughost::Engine engine(44100.0f, block);
  engine.add("m", plughost::plugin_beside_executable(library));
  engine.run(uint32_t(block));  // opened, asleep
  for (auto _ : state) {
    engine.run(uint32_t(block));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

const bool registered = [] {
  benchmark::RegisterBenchmark("host_block/baseline", DirectCall)->Arg(16)->Arg(64)->Arg(512);
  benchmark::RegisterBenchmark("host_block/sleeping_kurvo",
                               [](benchmark::State& s) { HostBlock(s, "Kurvo"); })
      ->Arg(16)
      ->Arg(64)
      ->Arg(512);
  benchmark::RegisterBenchmark("host_block/idle_forka",
                               [](benchmark::State& s) { HostBlock(s, "Forka"); })
      ->Arg(16)
      ->Arg(64)
      ->Arg(512);
  return true;
}();

}  // namespace
