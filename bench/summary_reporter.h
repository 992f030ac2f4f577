// The console reporter of the benchmarks that print a summary of pairs: it
// keeps the real and CPU time per iteration of every run, by the benchmark's
// name without its arguments ("BlockRead_Direct/iterations:20" is kept as
// "BlockRead_Direct").
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace qv::bench {

class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
        const std::string name = r.benchmark_name().substr(0, r.benchmark_name().find('/'));
        nsPerIteration[name] = r.GetAdjustedRealTime() * Scale(r.time_unit);
        cpuNsPerIteration[name] = r.GetAdjustedCPUTime() * Scale(r.time_unit);
      }
    ConsoleReporter::ReportRuns(runs);
  }
  static double Scale(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kMillisecond: return 1e6;
      case benchmark::kMicrosecond: return 1e3;
      case benchmark::kSecond: return 1e9;
      default: return 1;
    }
  }
  std::map<std::string, double> nsPerIteration;
  std::map<std::string, double> cpuNsPerIteration;
};

}  // namespace qv::bench
