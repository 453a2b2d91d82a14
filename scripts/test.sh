#!/usr/bin/env bash
# Installs what Velmora needs, builds it with its tests and runs every test.
# Usage: scripts/test.sh [build-folder] [extra cmake arguments...]
# VELMORA_TEST_FILTER, when set, runs only the tests whose names match it
# (ctest -R); VELMORA_BUILD_TARGETS builds only the named targets.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-build}"
shift || true
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$dir" "$@"
case "$dir" in /*) ;; *) dir="$root/$dir" ;; esac
filter=()
if [ -n "${VELMORA_TEST_FILTER:-}" ]; then
  filter=(-R "$VELMORA_TEST_FILTER")
fi
QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300 "${filter[@]}"
