#!/usr/bin/env bash
# Installs what Velmora needs, builds it with its tests and runs every test.
# Usage: scripts/test.sh [build-folder] [extra cmake arguments...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-build}"
shift || true
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$dir" "$@"
case "$dir" in /*) ;; *) dir="$root/$dir" ;; esac
QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300
