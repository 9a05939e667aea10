#!/usr/bin/env bash
# Builds the benchmarks in a release build of their own and runs them: key lookup against
# the directory's length, queries beside their floors with the mode-space sweep, and
# calibration beside cp. Each program measures its ratios side by side in one run; this
# script prints them together at the end. Arguments go to every benchmark program (for
# instance --benchmark_repetitions=3 for a quicker run).
#
# MPX_BENCH_BUILD_DIR: the build directory (default build/bench).
# MPX_BENCH_DIR: where the calibration benchmark writes its table files (default: the build
# directory); cp and the calibration both work there.
# Exit status: 0 when every ratio meets its target, 3 when one misses it, other on errors.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${MPX_BENCH_BUILD_DIR:-build/bench}"

if [[ "${MPX_BENCH_SKIP_DEPS:-0}" != 1 ]]; then scripts/install-deps.sh; fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMPX_BUILD_BENCH=ON \
      -DMPX_BUILD_TESTS=OFF -DMPX_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_lookup bench_queries bench_calibration

export MPX_BENCH_DIR="${MPX_BENCH_DIR:-$build}"
status=0
summary=""
for program in bench_lookup bench_queries bench_calibration; do
  log="$build/$program.log"
  echo "== $program (full output in $log)"
  set +e
  "$build/bench/$program" "$@" >"$log" 2>&1
  rc=$?
  set -e
  # The program's own preamble (what it measured on) and its ratio table.
  grep -v -E '^(BM_|-{10,}|Benchmark |Run on|Running |Load Average|\*\*\*WARNING|[0-9]{4}-[0-9]{2}-)' "$log" |
    grep -v -E '^\s*$' | grep -v -E '^\s+L[123] |^CPU Caches' || true
  summary+=$'\n'"$program:"$'\n'"$(sed -n '/^Ratios of medians/,$p' "$log")"$'\n'
  if ((rc == 3)); then
    status=3
  elif ((rc != 0)); then
    echo "$program failed (exit status $rc); see $log" >&2
    status=$rc
  fi
done

echo
echo "== All ratios, each measured side by side within its own program"
printf '%s\n' "$summary"
exit "$status"
