// Runs the registered benchmarks and prints ratios of their times measured in the same run,
// since absolute times on a shared machine drift: each benchmark is repeated, the
// repetitions of all benchmarks are interleaved at random, and a ratio compares medians.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mdbbench {

// Which time a ratio compares. CPU time suits work that never waits (a query, a lookup): a
// busy machine that takes the processor away does not count. Real time suits work that
// waits for the disk (a calibration, a copy).
enum class Clock : uint8_t { Cpu, Real };

struct RatioSpec {
  std::string label;
  std::string numerator;    // benchmark names as Google Benchmark prints them
  std::string denominator;
  double target;            // the ratio must not exceed it; 0 when there is none
  Clock clock;
};

// Initialises Google Benchmark with argv (defaults: 7 repetitions, random interleaving,
// aggregates only on the console; arguments given override them), runs the benchmarks and
// prints the ratios. 0 when every ratio with a target meets it, 3 when one misses it, 2
// when a benchmark of a ratio did not run (for instance, filtered out) or on bad arguments.
int RunWithRatios(int argc, char** argv, const std::vector<RatioSpec>& ratios);

}  // namespace mdbbench
