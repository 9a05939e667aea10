#!/usr/bin/env bash
# Builds the 32-bit Windows DLLs and their tests with the i686 mingw-w64 cross compiler and
# runs the tests under wine, in a throwaway wine prefix.
#
# The cross build runs generators built for this machine (dbc, curvegen); they come from
# the native build MPX_HOST_BUILD (default: the release preset's).
#
# Wine needs a kernel that runs 32-bit programs. Where it does not and qemu stands in for it
# (binfmt_misc), 32-bit wine is not reliable enough to judge the DLLs by (it dies with
# illegal instructions inside wine itself), so the wine run is left out there and said so;
# MPX_WINE_UNDER_QEMU=1 runs it anyway. The DLLs are built and their export and import
# tables checked everywhere.
set -euo pipefail
cd "$(dirname "$0")/.."
MPX_WITH_WINE=1 scripts/install-deps.sh

# qemu: 32-bit programs run through qemu's binfmt_misc entry; native: on this kernel itself;
# none: not at all.
thirty_two_bit_runner() {
  if [[ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]] && grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386; then
    echo qemu
  elif /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo native
  else
    echo none
  fi
}
runner=$(thirty_two_bit_runner)
run_wine=0
if [[ $runner == native || ($runner == qemu && "${MPX_WINE_UNDER_QEMU:-0}" == 1) ]]; then
  run_wine=1
fi

seconds() { date +%s; }
started=$(seconds)

if [[ -n "${MPX_HOST_BUILD:-}" ]]; then
  host_build=$(realpath "$MPX_HOST_BUILD")
  cmake --build "$host_build" -j2 --target dbc curvegen
else
  cmake --preset release >/dev/null
  host_build=$(realpath build/release)
  cmake --build --preset release --target dbc curvegen
fi

cmake --preset windows -DMPX_DBC_EXECUTABLE="$host_build/tools/dbc/dbc" \
  -DCAL_CURVEGEN_EXECUTABLE="$host_build/src/dump/qx_cal/calibmod/curvegen" >/dev/null
# The test programs only when wine runs them.
targets=(modeldb calibmod)
if ((run_wine)); then targets+=(mpx_windows_tests mpx_windows_dll_tests); fi
cmake --build --preset windows --target "${targets[@]}"
built=$(seconds)
echo "test-windows: built in $((built - started)) s"

if ((run_wine == 0)); then
  echo "test-windows: 32-bit programs run here: $runner (not natively); the wine run is left" \
       "out (MPX_WINE_UNDER_QEMU=1 runs it through qemu); checking the DLLs' tables only"
  ctest --preset windows -R '^windows_.*_tables$'
  exit 0
fi

# A prefix of its own, gone afterwards; no desktop integration, no Mono or Gecko installer.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/mpx-wine.XXXXXX")
export WINEPREFIX="$scratch/prefix" WINEARCH=win32 WINEDEBUG=-all
# A crash ends the program at once: no debugger attached to it (that waits for ever).
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# Creating the prefix takes minutes when 32-bit code is emulated, and the process that asked
# for it may stop waiting before it is done (it then reports that kernel32.dll cannot be
# loaded). The setup carries on regardless: wait for every wine process to end, then check.
prefix_ready() {
  [[ -f "$WINEPREFIX/.update-timestamp" && -f "$WINEPREFIX/system.reg" &&
     -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]]
}
for attempt in 1 2 3; do
  wineboot --init >/dev/null 2>&1 || true
  wineserver --wait || true
  if prefix_ready; then break; fi
  echo "test-windows: wine prefix not complete after attempt $attempt"
done
prefix_ready || { echo "test-windows: no wine prefix" >&2; exit 1; }
booted=$(seconds)
echo "test-windows: wine prefix made in $((booted - built)) s"

# One wine server for every run: the session (services, devices) starts only once.
wineserver --persistent
ctest --preset windows
finished=$(seconds)
echo "test-windows: tests ran in $((finished - booted)) s (wine $((finished - built)) s in all)"
