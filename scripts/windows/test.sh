#!/usr/bin/env bash
# Runs every test program of the Windows build under Wine: each program whole
# (one Wine process per program, not per case), on a virtual X display, in a
# private network namespace with loopback only, and with a Wine prefix and
# wineserver of its own, so nothing else on the machine shares port 1550 with
# the tests. The end-to-end test drives the Windows classes against the Linux
# controller emulator. Each program's output lands in <build>/wine-results/.
# The Windows user is "张伟", so the user's folders (%LOCALAPPDATA%, the
# temporary folder every test folder is made in) have Chinese names, and every
# test program runs in a working folder named "学校 配置".
# Usage: scripts/windows/test.sh [build-folder]      (default: build-win)
# With VELMORA_WINDOWS_SCREENSHOT=/path/file.png the end-to-end test saves a
# picture of the window after its first read (the README's). With
# VELMORA_WINDOWS_ONLY=NAME only the test programs whose name holds NAME run.
# Needs root (or CAP_SYS_ADMIN) for the network namespace.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
dir="${1:-build-win}"
case "$dir" in /*) ;; *) dir="$root/$dir" ;; esac
deps="${VELMORA_WINDOWS_DEPS:-$root/build-win-deps}"

if [ -z "${VELMORA_IN_NETNS:-}" ]; then
  exec unshare -n env VELMORA_IN_NETNS=1 "$0" "$dir"
fi
ip link set lo up
# The emulator's addresses on loopback (127.0.0.0/8 is all local already).

export LANG=C.UTF-8 USER=张伟
export WINEPREFIX="$dir/wineprefix-zh" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export QT_QPA_PLATFORM=windows QT_PLUGIN_PATH="Z:$deps/qt-mingw/plugins"
gcc_dir="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"
winpthread="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")"
export WINEPATH="Z:$deps/qt-mingw/bin;Z:$gcc_dir;Z:$winpthread"

display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY="$display"
cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
  # The server that made the new prefix must be gone before a persistent
  # one starts: otherwise "wineserver -p" finds it and fails.
  wineserver -w 2>/dev/null || true
fi
wineserver -p 2>/dev/null || true
wineboot >/dev/null 2>&1 || true

# The end-to-end test: the Windows classes under Wine hold UDP port 1550, and
# once they do, the Linux emulator joins on 127.0.0.2 (two Wine programs cannot
# share the port). The test reads the emulator's state file at the end.
run_end_to_end() {
  local program="$1" out="$2" work emulator="" test_pid rc
  work="$(mktemp -d)"
  (cd "$(dirname "$program")" && VELMORA_E2E_STATE="Z:$work/state.json" \
     exec env ${VELMORA_WINDOWS_SCREENSHOT:+VELMORA_SCREENSHOT="Z:$VELMORA_WINDOWS_SCREENSHOT"} timeout 300 wine "$program" -o "Z:$out,txt" >/dev/null 2>"$results/$name.stderr") &
  test_pid=$!
  for _ in $(seq 1 600); do
    kill -0 "$test_pid" 2>/dev/null || break
    if ss -H -uln 'sport = :1550' 2>/dev/null | grep -q 1550; then
      "$dir/host/tools/controller/velmora-controller" --address 127.0.0.2 \
        --state "$work/state.json" --log "$work/log.txt" 2>"$results/emulator.stderr" &
      emulator=$!
      break
    fi
    sleep 0.1
  done
  rc=0
  wait "$test_pid" || rc=$?
  if [ -n "$emulator" ]; then
    kill "$emulator" 2>/dev/null || true
    wait "$emulator" 2>/dev/null || true
  fi
  cp "$work/log.txt" "$results/emulator-log.txt" 2>/dev/null || true
  rm -rf "$work"
  return "$rc"
}

[ -d "$WINEPREFIX/drive_c/users/张伟" ] || { echo "Wine made no profile for the user 张伟" >&2; exit 1; }
workdir="$dir/wine-work/学校 配置"
mkdir -p "$workdir"
results="$dir/wine-results"
rm -rf "$results"
mkdir -p "$results"
failed=()
while read -r kind program; do
  [ -n "$program" ] || continue
  name="$(basename "$program" .exe)"
  case "$name" in *"${VELMORA_WINDOWS_ONLY:-}"*) ;; *) continue ;; esac
  out="$results/$name.txt"
  start=$(date +%s)
  set +e
  if [ "$name" = velmora_e2e_tests ]; then
    run_end_to_end "$program" "$out"
  elif [ "$kind" = qtest ]; then
    (cd "$workdir" && timeout 600 wine "$program" -o "Z:$out,txt" >/dev/null 2>"$results/$name.stderr")
  else
    (cd "$workdir" && timeout 600 wine "$program" --gtest_color=no >"$out" 2>"$results/$name.stderr")
  fi
  rc=$?
  set -e
  summary="$(grep -E '^Totals:|^\[  PASSED  \]|^\[  FAILED  \] [0-9]+ test|^\[  SKIPPED \] [0-9]+ test' "$out" 2>/dev/null | tr '\n' ' ')"
  printf '%-34s %s  (%ss)  %s\n' "$name" "$([ $rc -eq 0 ] && echo ok || echo "FAILED rc=$rc")" \
    "$(( $(date +%s) - start ))" "$summary"
  if [ $rc -ne 0 ]; then
    failed+=("$name")
    grep -E 'FAIL|^\[  FAILED' "$out" 2>/dev/null | head -20 || true
  fi
done <"$dir/windows-tests.txt"

# The command line takes a plan whose path is Chinese (under the user's
# folder, as installers keep them): the plan is found and read, and refused
# for naming one address twice, before anything is sent.
if [ -z "${VELMORA_WINDOWS_ONLY:-}" ] && [ -f "$dir/src/cli/velmora-cli.exe" ]; then
  plan_dir="$WINEPREFIX/drive_c/users/张伟/计划 二楼"
  mkdir -p "$plan_dir"
  printf 'room,address\n甲,127.0.0.9\n乙,127.0.0.9\n' >"$plan_dir/计划.csv"
  cp "$dir/data.mdb" "$plan_dir/data.mdb"
  set +e
  (cd "$plan_dir" && timeout 120 wine "$dir/src/cli/velmora-cli.exe" batch 'C:\users\张伟\计划 二楼\计划.csv' \
     --db data.mdb >"$results/cli-chinese-plan.txt" 2>&1)
  rc=$?
  set -e
  if [ $rc -eq 2 ] && grep -q "one address" "$results/cli-chinese-plan.txt" &&
     ! grep -q "does not exist" "$results/cli-chinese-plan.txt"; then
    printf '%-34s ok\n' "velmora-cli batch 计划.csv"
  else
    printf '%-34s FAILED rc=%s\n' "velmora-cli batch 计划.csv" "$rc"
    cat "$results/cli-chinese-plan.txt"
    failed+=("velmora-cli batch 计划.csv")
  fi
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo "Windows tests failed: ${failed[*]}" >&2
  exit 1
fi
echo "Windows tests: all passed"
