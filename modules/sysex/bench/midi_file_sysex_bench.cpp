// Throughput of the Standard MIDI File reader on a file of about 1 MB made
// here: 16 tracks of System Exclusive messages (of 20 to 1000 bytes, every
// third one split into F7 packets) between note events with running status,
// and tempo changes in the first track. Reported in bytes of file per second;
// the baseline is a plain read of the same bytes from memory (a copy into a
// new buffer), the least any reader of the file costs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "sysex/MidiFileSysex.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void putNumber(Bytes& out, std::uint32_t value) {
  std::uint8_t groups[4];
  int n = 0;
  do {
    groups[n++] = value & 0x7F;
    value >>= 7;
  } while (value != 0);
  while (n-- > 0) out.push_back(static_cast<std::uint8_t>(groups[n] | (n > 0 ? 0x80 : 0)));
}

void putChunk(Bytes& file, const char* type, const Bytes& body) {
  file.insert(file.end(), type, type + 4);
  const auto size = static_cast<std::uint32_t>(body.size());
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back((size >> shift) & 0xFF);
  file.insert(file.end(), body.begin(), body.end());
}

const Bytes& megabyteFile() {
  static const Bytes file = [] {
    constexpr int kTracks = 16;
    constexpr std::size_t kTrackBytes = 64 * 1024;
    std::mt19937 gen(2024);
    Bytes out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, kTracks, 0x01, 0xE0};
    for (int t = 0; t < kTracks; ++t) {
      Bytes track;
      int message = 0;
      while (track.size() < kTrackBytes) {
        if (t == 0 && message % 8 == 0) {  // a tempo change
          track.insert(track.end(), {0x10, 0xFF, 0x51, 0x03, 0x07, 0xA1,
                                     static_cast<std::uint8_t>(gen() & 0xFF)});
        }
        // Notes: a status, then running status.
        track.insert(track.end(), {0x00, 0x90, 0x3C, 0x40});
        for (int n = 0; n < 20; ++n)
          track.insert(track.end(), {static_cast<std::uint8_t>(gen() & 0x3F),
                                     static_cast<std::uint8_t>(0x30 + n), 0x40});
        Bytes data(20 + gen() % 981);
        for (auto& b : data) b = gen() & 0x7F;
        data.push_back(0xF7);
        if (++message % 3 == 0) {  // in packets of at most 128 bytes
          for (std::size_t p = 0; p < data.size(); p += 128) {
            const std::size_t n = std::min<std::size_t>(128, data.size() - p);
            track.push_back(0x05);
            track.push_back(p == 0 ? 0xF0 : 0xF7);
            putNumber(track, static_cast<std::uint32_t>(n));
            track.insert(track.end(), data.begin() + static_cast<std::ptrdiff_t>(p),
                         data.begin() + static_cast<std::ptrdiff_t>(p + n));
          }
        } else {
          track.insert(track.end(), {0x05, 0xF0});
          putNumber(track, static_cast<std::uint32_t>(data.size()));
          track.insert(track.end(), data.begin(), data.end());
        }
      }
      track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
      putChunk(out, "MTrk", track);
    }
    return out;
  }();
  return file;
}

void count(benchmark::State& state, std::size_t bytes) {
  const auto processed = state.iterations() * static_cast<std::int64_t>(bytes);
  state.SetBytesProcessed(processed);
  state.SetItemsProcessed(processed);
}

void BM_MidiFileBaseline(benchmark::State& state) {
  const Bytes& file = megabyteFile();
  for (auto _ : state) {
    Bytes copy(file.size());
    std::memcpy(copy.data(), file.data(), file.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  count(state, file.size());
}
BENCHMARK(BM_MidiFileBaseline)
    ->Name("MidiFile1MB/baseline")
    ->Arg(16)
    ->Unit(benchmark::kMicrosecond);

void BM_ReadMidiFileSysex(benchmark::State& state) {
  const Bytes& file = megabyteFile();
  std::size_t messages = 0;
  for (auto _ : state) {
    const byteloom::MidiFileSysex read = byteloom::readMidiFileSysex(file);
    if (!read.ok) state.SkipWithError(read.error.c_str());
    messages = read.messages.size();
    benchmark::DoNotOptimize(read.bytes.data());
  }
  count(state, file.size());
  state.counters["file_bytes"] = static_cast<double>(file.size());
  state.counters["messages"] = static_cast<double>(messages);
}
BENCHMARK(BM_ReadMidiFileSysex)
    ->Name("MidiFile1MB/readMidiFileSysex")
    ->Arg(16)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
