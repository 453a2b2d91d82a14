#!/usr/bin/env bash
# Cross-builds Velmora and its tests for 64-bit Windows into the given folder
# (default: build-win), against the dependency cache of build-deps.sh.
# The build machine's own tools the Windows build needs (the data.mdb maker
# and, for the end-to-end test under Wine, the Linux controller emulator) are
# built first into <folder>/host.
# Usage: scripts/windows/build.sh [build-folder] [extra cmake arguments...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
dir="${1:-build-win}"
shift || true
case "$dir" in /*) ;; *) dir="$root/$dir" ;; esac
deps="${VELMORA_WINDOWS_DEPS:-$root/build-win-deps}"
jobs="${VELMORA_JOBS:-$(nproc)}"

"$here/build-deps.sh" "$deps"

cmake -S "$root" -B "$dir/host" -DCMAKE_BUILD_TYPE=Release -DVELMORA_WITH_QT=OFF -DVELMORA_BENCH=OFF >/dev/null
cmake --build "$dir/host" -j"$jobs" --target velmora-mkdb velmora-controller

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" -DVELMORA_WINDOWS_DEPS="$deps" \
  -DVELMORA_HOST_MKDB="$dir/host/tools/mkdb/velmora-mkdb" \
  -DVELMORA_HOST_CONTROLLER="$dir/host/tools/controller/velmora-controller" \
  -DVELMORA_BENCH=OFF "$@" >/dev/null
cmake --build "$dir" -j"$jobs"
