#!/usr/bin/env bash
# Builds both stubs and sfx-pack, then the Debian package sfx-pack_VERSION_ARCH.deb.
#
#   bash scripts/build-deb.sh            # build/host, build/win32, the .deb in build/deb
#
# HOST_DIR, WIN32_DIR and DEB_DIR choose other build and output folders. Prints the
# path of the .deb on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
host=${HOST_DIR:-$root/build/host}
win32=${WIN32_DIR:-$root/build/win32}
out=${DEB_DIR:-$root/build/deb}

cmake -S "$root" -B "$win32" --toolchain "$root/cmake/mingw32-i686.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DSFX_HOST_BUILD="$host" >/dev/null
cmake --build "$win32" -j2 --target sfx-stub >/dev/null
cmake -S "$root" -B "$host" -DCMAKE_BUILD_TYPE=Release -DSFX_WIN32_STUB="$win32/sfx-stub.exe" >/dev/null
cmake --build "$host" -j2 --target sfx-pack sfx-stub sfx-pack-man-page >/dev/null
mkdir -p "$out"
(cd "$host" && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
ls -t "$out"/sfx-pack_*.deb | head -n 1
