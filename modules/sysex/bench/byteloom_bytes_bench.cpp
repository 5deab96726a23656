// Throughput of Byteloom's conversions on the largest inputs they meet: a hex
// text that fills the byte array, and a 200 KB file loaded raw and as its text
// dump. Reported in bytes of input per second; the baseline is one plain pass
// over the same hex text (counting its spaces), the least any parser costs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "sysex/ByteloomBytes.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes randomSysex(std::size_t n) {
  std::mt19937 gen(12345);
  Bytes bytes(n);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(gen() & 0x7F);
  bytes.front() = 0xF0;
  bytes.back() = 0xF7;
  return bytes;
}

const std::string& fullText() {
  static const std::string text = byteloom::formatRawAsText(randomSysex(byteloom::kByteArraySize));
  return text;
}

constexpr std::size_t kFileSize = 200 * 1024;

void BM_Baseline_ScanHexText131072(benchmark::State& state) {
  const std::string& text = fullText();
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::count(text.begin(), text.end(), ' '));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_Baseline_ScanHexText131072);

void BM_ParseHexText131072Tokens(benchmark::State& state) {
  const std::string& text = fullText();
  Bytes dest(byteloom::kByteArraySize);
  for (auto _ : state) {
    benchmark::DoNotOptimize(byteloom::parseHexText(dest, text));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ParseHexText131072Tokens);

void BM_DecodeRawFile200KB(benchmark::State& state) {
  const Bytes file = randomSysex(kFileSize);
  for (auto _ : state) {
    benchmark::DoNotOptimize(byteloom::decodeFileContents(file));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(file.size()));
}
BENCHMARK(BM_DecodeRawFile200KB);

void BM_DecodeTextDumpOf200KB(benchmark::State& state) {
  const std::string dump = byteloom::formatTextDump(randomSysex(kFileSize));
  const Bytes file(dump.begin(), dump.end());
  for (auto _ : state) {
    benchmark::DoNotOptimize(byteloom::decodeFileContents(file));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(file.size()));
}
BENCHMARK(BM_DecodeTextDumpOf200KB);

}  // namespace
