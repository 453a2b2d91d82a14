#!/usr/bin/env bash
# Configures and builds Velmora into the given folder (default: build).
# Extra arguments go to cmake's configure step. VELMORA_BUILD_TARGETS, when
# set, names the targets to build (a blank-separated list) instead of all.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-build}"
shift || true
case "$dir" in /*) ;; *) dir="$root/$dir" ;; esac
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
targets=()
for target in ${VELMORA_BUILD_TARGETS:-}; do
  targets+=(--target "$target")
done
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
