#!/usr/bin/env bash
# Runs the whole test suite once under valgrind memcheck: every test executable (and every
# child it starts) under valgrind, any error or leak fails the test.
#
#   scripts/valgrind.sh [ctest arguments, e.g. -R reliability]
#
# Slow: expect well over an hour for the whole suite on two cores.
# Environment: MPX_VALGRIND_BUILD_DIR (default build/valgrind).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${MPX_VALGRIND_BUILD_DIR:-build/valgrind}
# The emulator runs every test command through valgrind (scripts/valgrind-run.sh).
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/scripts/valgrind-run.sh" >/dev/null
cmake --build "$build" -j2
# Valgrind is some twenty times slower: give every test time.
ctest --test-dir "$build" --output-on-failure -j2 --timeout 3600 "$@"
