#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, address and undefined-behaviour sanitizers) and runs
# each for a given time, starting from its committed seed corpus.
#
#   scripts/fuzz.sh [seconds per target (default 60)] [target ...]
#
# Targets: dbc_source image_eval exports calibration table_records (default: all).
# Inputs found are kept in <build>/corpus/<target> and reused by the next run; a crashing
# input is saved as <build>/artifacts/<target>/crash-* (replay it with
# <build>/fuzz/fuzz_<target> <file>, or with the GCC replay build/.../fuzz_replay_<target>).
# Environment: MPX_FUZZ_BUILD_DIR (default build/fuzz), MPX_FUZZ_CXX (default clang++-14).
# Exits non-zero when any target finds a fault.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
all_targets=(dbc_source image_eval exports calibration table_records)
targets=("$@")
if ((${#targets[@]} == 0)); then targets=("${all_targets[@]}"); fi

build=${MPX_FUZZ_BUILD_DIR:-build/fuzz}
cxx=${MPX_FUZZ_CXX:-clang++-14}
cc=${cxx/clang++/clang}
sanitize="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_C_FLAGS="$sanitize" -DCMAKE_CXX_FLAGS="$sanitize" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DMPX_BUILD_FUZZ=ON -DMPX_BUILD_TESTS=OFF -DMPX_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
printf '%-15s %12s %10s %8s\n' target executions exec/s corpus
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  artifacts="$build/artifacts/$t/"
  log="$build/fuzz-$t.log"
  mkdir -p "$corpus" "$artifacts"
  status=0
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts" "$corpus" "fuzz/corpus/$t" \
    >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  files=$(find "$corpus" -type f | wc -l)
  printf '%-15s %12s %10s %8s\n' "$t" "${runs:-?}" "${speed:-?}" "$files"
  if ((status != 0)); then
    failed+=("$t")
    echo "fuzz_$t found a fault (exit $status); see $log and $artifacts" >&2
    grep -E 'ERROR|check failed|SUMMARY' "$log" | head -5 >&2 || true
  fi
done
if ((${#failed[@]})); then
  echo "faults found by: ${failed[*]}" >&2
  exit 1
fi
