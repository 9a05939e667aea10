#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing for what is there.
# MPX_WITH_WINE=1 also installs the i686 cross compiler and 32-bit wine.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev
          libbenchmark-dev libcli11-dev nlohmann-json3-dev clang-14 libclang-rt-14-dev
          python3 valgrind)
if [[ "${MPX_WITH_WINE:-0}" == 1 ]]; then
  packages+=(g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686 wine wine32:i386)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  sudo_cmd=()
  if [[ $(id -u) != 0 ]]; then sudo_cmd=(sudo); fi
  if [[ "${MPX_WITH_WINE:-0}" == 1 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
