// The benchmark program's main: Google Benchmark's console output, then a
// table of ratios. A run named "<group>/baseline/<arg>" is the baseline of
// every run "<group>/<subject>/<arg>" in the same program run; the ratio is
// the subject's items per second over the baseline's (higher is better,
// 1.0 means as fast as the baseline).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      auto it = run.counters.find("items_per_second");
      if (it == run.counters.end()) continue;
      const std::string name = run.benchmark_name();
      const size_t first = name.find('/');
      const size_t last = name.rfind('/');
      if (first == std::string::npos || first == last) continue;
      const std::string group = name.substr(0, first);
      const std::string subject = name.substr(first + 1, last - first - 1);
      const std::string arg = name.substr(last + 1);
      rates_[{group, arg}][subject] = it->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    bool header = false;
    for (const auto& [key, subjects] : rates_) {
      auto base = subjects.find("baseline");
      if (base == subjects.end() || base->second <= 0) continue;
      for (const auto& [subject, rate] : subjects) {
        if (subject == "baseline") continue;
        if (!header) {
          std::printf("\n%-24s %-16s %10s %14s %14s\n", "group", "subject", "arg", "items/s",
                      "ratio");
          header = true;
        }
        std::printf("%-24s %-16s %10s %14.4g %14.3f\n", key.first.c_str(), subject.c_str(),
                    key.second.c_str(), rate, rate / base->second);
      }
    }
  }

 private:
  std::map<std::pair<std::string, std::string>, std::map<std::string, double>> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
