#pragma once

// Shared pieces of the benchmarks that set a Korvex path beside the bare
// library on the same work: interleaved repetitions, and a table of the two
// paths' median and fastest times with their ratio.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

// Keeps the median and the fastest time of every benchmark as the console
// shows them. Other programs on the machine only ever add time, so the
// fastest runs are the steadiest measure of the work itself.
class TSummaryReporter : public benchmark::ConsoleReporter {
public:
  struct TTimes {
    double Real = 0, CPU = 0;
  };
  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const Run& R : Runs)
      if (R.run_type == Run::RT_Aggregate && (R.aggregate_name == "median" || R.aggregate_name == "min"))
        Times[R.run_name.function_name][R.aggregate_name] = {R.GetAdjustedRealTime(), R.GetAdjustedCPUTime()};
    ConsoleReporter::ReportRuns(Runs);
  }
  std::map<std::string, std::map<std::string, TTimes>> Times;
};

inline double Fastest(const std::vector<double>& Values) { return *std::min_element(Values.begin(), Values.end()); }

// Initialises the library with the repetitions of all benchmarks alternated,
// so that load from elsewhere on the machine falls on both paths alike.
// False when the command line holds arguments the library does not know.
inline bool InitializeInterleaved(int argc, char** argv) {
  std::vector<char*> Args(argv, argv + argc);
  std::string Interleave = "--benchmark_enable_random_interleaving=true";
  Args.insert(Args.begin() + 1, Interleave.data());
  int ArgCount = static_cast<int>(Args.size());
  benchmark::Initialize(&ArgCount, Args.data());
  return !benchmark::ReportUnrecognizedArguments(ArgCount, Args.data());
}

// Wall time is what the user waits; CPU time is the work done, and stays
// comparable when other programs compete for the cores.
inline void PrintComparison(TSummaryReporter& Reporter, const char* Ours, const char* Bare, const char* Heading,
                            const char* OursLabel) {
  auto& OurTimes = Reporter.Times[Ours];
  auto& BareTimes = Reporter.Times[Bare];
  if (OurTimes.size() != 2 || BareTimes.size() != 2)
    return;
  std::printf("\n%s\n                      %7s      bare   ratio\n", Heading, OursLabel);
  for (const char* Statistic : {"median", "min"}) {
    const TSummaryReporter::TTimes K = OurTimes[Statistic], B = BareTimes[Statistic];
    const char* Label = std::string(Statistic) == "min" ? "fastest" : "median ";
    std::printf("  wall time, %s %7.1f ms %7.1f ms  %.3f\n", Label, K.Real, B.Real, K.Real / B.Real);
    std::printf("  CPU time,  %s %7.1f ms %7.1f ms  %.3f\n", Label, K.CPU, B.CPU, K.CPU / B.CPU);
  }
}
