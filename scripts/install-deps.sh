#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing for what is there.
# MPX_WITH_WINE=1 also installs the i686 cross compiler and 32-bit wine, and on a kernel
# that runs no 32-bit programs lets qemu run them.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev
          libbenchmark-dev libcli11-dev nlohmann-json3-dev clang-14 libclang-rt-14-dev
          python3 valgrind)
if [[ "${MPX_WITH_WINE:-0}" == 1 ]]; then
  packages+=(g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686 wine wine32:i386
             qemu-user-static binfmt-support)
fi

sudo_cmd=()
if [[ $(id -u) != 0 ]]; then sudo_cmd=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  if [[ "${MPX_WITH_WINE:-0}" == 1 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A kernel built without 32-bit emulation cannot start the 32-bit wine loader ("Exec format
# error"); asked for (MPX_WINE_UNDER_QEMU=1), qemu registered with binfmt_misc runs every
# 32-bit program instead.
if [[ "${MPX_WITH_WINE:-0}" == 1 && "${MPX_WINE_UNDER_QEMU:-0}" == 1 ]] &&
   ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  if ! mountpoint -q /proc/sys/fs/binfmt_misc; then
    "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  if [[ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]]; then
    echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      "${sudo_cmd[@]}" tee /proc/sys/fs/binfmt_misc/register >/dev/null
  fi
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || {
    echo "install-deps: 32-bit programs still do not start; wine cannot run here" >&2
    exit 1
  }
fi
