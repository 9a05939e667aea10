#!/usr/bin/env bash
# Builds the concurrency tests with ThreadSanitizer and runs them: many threads asking the
# model database (on the test backend and through the shipped libmodeldb.so) and many
# threads opening, reading and closing printers in the spooler stand-in.
#
#   scripts/tsan.sh
#
# Environment: MPX_TSAN_BUILD_DIR (default build/tsan), MPX_TSAN_CXX (default g++; clang++-14
# works too).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${MPX_TSAN_BUILD_DIR:-build/tsan}
cxx=${MPX_TSAN_CXX:-g++}
case "$cxx" in
  *clang++*) cc=${cxx/clang++/clang} ;;
  *) cc=${cxx/g++/gcc} ;;
esac
flags="-fsanitize=thread -fno-omit-frame-pointer"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" \
  -DMPX_BUILD_TOOLS=OFF >/dev/null
targets=(reliability_concurrency_test reliability_concurrency_shared_test)
cmake --build "$build" -j2 --target "${targets[@]}"

# Some kernels randomise mappings more than TSan's shadow layout allows; run without ASLR then.
run=()
if command -v setarch >/dev/null && ! "$build/tests/reliability/reliability_concurrency_test" --gtest_list_tests >/dev/null 2>&1; then
  run=(setarch "$(uname -m)" -R)
fi
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
for t in "${targets[@]}"; do
  "${run[@]}" "$build/tests/reliability/$t"
done
