#include "ratio_report.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace mdbbench {

namespace {

// Passes every run on to the console and keeps both times per iteration of each
// repetition, and the medians the library computes.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal: the library applies --benchmark_color to its own reporter,
  // not to one passed in.
  CollectingReporter()
      : ConsoleReporter(isatty(fileno(stdout)) != 0 ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
      const Times times{run.GetAdjustedCPUTime() / unit, run.GetAdjustedRealTime() / unit};
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Iteration) {
        repetitions_[name].push_back(times);
      } else if (run.aggregate_name == "median") {
        medians_[name] = times;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The median of the repetitions in seconds; negative when the benchmark did not run.
  double Median(const std::string& name, Clock clock) const {
    if (const auto m = medians_.find(name); m != medians_.end()) return m->second.Of(clock);
    const auto r = repetitions_.find(name);
    if (r == repetitions_.end() || r->second.empty()) return -1;
    std::vector<double> values;
    for (const Times& t : r->second) values.push_back(t.Of(clock));
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  }

 private:
  struct Times {
    double cpu;
    double real;
    double Of(Clock clock) const { return clock == Clock::Cpu ? cpu : real; }
  };
  std::map<std::string, std::vector<Times>> repetitions_;
  std::map<std::string, Times> medians_;
};

std::string FormatTime(double seconds) {
  char text[32];
  if (seconds >= 1) {
    std::snprintf(text, sizeof text, "%.3f s", seconds);
  } else if (seconds >= 1e-3) {
    std::snprintf(text, sizeof text, "%.3f ms", seconds * 1e3);
  } else if (seconds >= 1e-6) {
    std::snprintf(text, sizeof text, "%.3f us", seconds * 1e6);
  } else {
    std::snprintf(text, sizeof text, "%.2f ns", seconds * 1e9);
  }
  return text;
}

}  // namespace

int RunWithRatios(int argc, char** argv, const std::vector<RatioSpec>& ratios) {
  // Defaults first, so that the caller's own flags (parsed later) win.
  std::vector<std::string> defaults{"--benchmark_repetitions=7",
                                    "--benchmark_enable_random_interleaving=true",
                                    "--benchmark_display_aggregates_only=true"};
  std::vector<char*> arguments{argv[0]};
  for (std::string& flag : defaults) arguments.push_back(flag.data());
  for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
  int count = static_cast<int>(arguments.size());
  arguments.push_back(nullptr);
  benchmark::Initialize(&count, arguments.data());
  if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 2;

  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  int result = 0;
  std::printf("\nRatios of medians measured side by side in this run:\n");
  std::printf("  %-50s %5s %12s %12s %8s %8s\n", "", "clock", "numerator", "denominator", "ratio",
              "target");
  for (const RatioSpec& ratio : ratios) {
    const double top = reporter.Median(ratio.numerator, ratio.clock);
    const double bottom = reporter.Median(ratio.denominator, ratio.clock);
    const char* clock = ratio.clock == Clock::Cpu ? "CPU" : "real";
    if (top < 0 || bottom <= 0) {
      std::printf("  %-50s %5s %12s %12s %8s\n", ratio.label.c_str(), clock, "-", "-", "not run");
      result = std::max(result, 2);
      continue;
    }
    const double value = top / bottom;
    const bool missed = ratio.target > 0 && value > ratio.target;
    char target[16] = "";
    if (ratio.target > 0) std::snprintf(target, sizeof target, "%.2f", ratio.target);
    std::printf("  %-50s %5s %12s %12s %8.2f %8s%s\n", ratio.label.c_str(), clock,
                FormatTime(top).c_str(), FormatTime(bottom).c_str(), value, target,
                missed ? "  MISSED" : "");
    if (missed && result == 0) result = 3;
  }
  std::fflush(stdout);
  return result;
}

}  // namespace mdbbench
