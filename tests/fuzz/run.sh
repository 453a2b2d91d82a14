#!/usr/bin/env bash
# Builds the reply-reader fuzz target with clang in its own build folder and
# runs it for a bounded time.
#   tests/fuzz/run.sh [BUILD_DIR=build-fuzz] [SECONDS=60]
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${1:-build-fuzz}"
seconds="${2:-60}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac

cmake -S "$root" -B "$build" \
  -DVELMORA_FUZZ=ON -DVELMORA_WITH_QT=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target fuzz_reply -j"$(nproc)"

# New inputs go to a scratch corpus; the checked-in seeds are only read.
work="$build/fuzz-corpus/reply"
mkdir -p "$work"
"$build/tests/fuzz/fuzz_reply" -max_total_time="$seconds" -print_final_stats=1 \
  "$work" "$here/corpus"
