#!/usr/bin/env bash
# Installs what Velmora needs, builds it, lays out the working folder run/
# with the shipped data.mdb (kept when it is already there, so nothing the
# installer saved is lost), and starts Velmora in it. Once Velmora holds UDP
# port 1550, a controller emulator starts on 127.0.0.2, so "初始IP" 127.0.0.2
# can be read and written at once; it stops when Velmora closes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" build
work="$root/run"
mkdir -p "$work"
[ -f "$work/data.mdb" ] || cp "$root/build/data.mdb" "$work/data.mdb"
cd "$work"

"$root/build/src/app/velmora" &
app=$!
emulator=""
cleanup() { [ -n "$emulator" ] && kill "$emulator" 2>/dev/null; wait 2>/dev/null || true; }
trap cleanup EXIT
for _ in $(seq 1 100); do
  kill -0 "$app" 2>/dev/null || break
  if ss -H -uln 'sport = :1550' 2>/dev/null | grep -q 1550; then
    "$root/build/tools/controller/velmora-controller" --address 127.0.0.2 \
      --state "$work/controller-state.json" --log "$work/controller.log" &
    emulator=$!
    break
  fi
  sleep 0.1
done
wait "$app" || true
