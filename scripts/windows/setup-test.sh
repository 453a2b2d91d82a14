#!/usr/bin/env bash
# Tries the setup program as an installer's laptop would have it, under Wine:
# a Windows user named "张伟", a silent install into a folder whose name is
# Chinese, a silent upgrade and a silent uninstall refused while the installed
# emulator or the window runs, the installed program started until its window shows, the installed
# velmora-cli.exe working from a Chinese working folder against the Linux
# controller emulator (read to a Chinese file name, a Set with its backup in
# %LOCALAPPDATA%\Velmora\history, a snapshot written back, a library export
# over an existing file and an import), then a silent uninstall: the program's
# files, shortcuts and registry entry gone, the user's data kept.
# Runs in a private network namespace with its own Wine prefix and display.
# Usage: scripts/windows/setup-test.sh [build-folder]     (default: build-win)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
dir="${1:-build-win}"
case "$dir" in /*) ;; *) dir="$root/$dir" ;; esac

if [ -z "${VELMORA_IN_NETNS:-}" ]; then
  exec unshare -n env VELMORA_IN_NETNS=1 "$0" "$dir"
fi
ip link set lo up

setup="$(ls "$dir"/Velmora-*-setup.exe | head -1)"
emulator_program="$dir/host/tools/controller/velmora-controller"
work="$dir/setup-test"
rm -rf "$work"
mkdir -p "$work"
export LANG=C.UTF-8 USER=张伟
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset QT_PLUGIN_PATH WINEPATH QT_QPA_PLATFORM
# Where Wine's menu builder would put the setup's Start-menu entries as menu
# files of the Linux desktop: the test's own folder, checked to stay empty.
export XDG_DATA_HOME="$work/xdg-data" XDG_CONFIG_HOME="$work/xdg-config"
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY="$display"
emulator=""
cleanup() {
  [ -n "$emulator" ] && kill "$emulator" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT

fail() { echo "setup test: FAILED: $*" >&2; exit 1; }
step() { echo "setup test: $*"; }

wineboot -i >/dev/null 2>&1 || true
wineserver -w 2>/dev/null || true
drive="$WINEPREFIX/drive_c"
profile="$drive/users/张伟"
[ -d "$profile" ] || fail "Wine made no profile for the user 张伟"
local_appdata="$profile/AppData/Local"
[ -d "$local_appdata" ] || local_appdata="$profile/Local Settings/Application Data"
data="$local_appdata/Velmora"

# Silent install into a Chinese folder. /D= is last and unquoted; Wine would
# quote a name with a space, which the installer then ignores.
target_win='C:\中控配置工具'
target="$drive/中控配置工具"
cp "$setup" "$work/setup.exe"
wine "$work/setup.exe" /S "/D=$target_win" >/dev/null 2>&1 || true
wineserver -w
for f in velmora.exe velmora-cli.exe velmora-controller.exe data.mdb uninstall.exe installed-by-setup.txt \
         Qt6Core.dll platforms/qwindows.dll licenses/Velmora-LICENSE.txt licenses/zlib.txt \
         licenses/libpng.txt licenses/PCRE2.txt licenses/HarfBuzz.txt licenses/double-conversion.txt; do
  [ -f "$target/$f" ] || fail "setup did not install $f into $target_win"
done
start_menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Velmora"
for f in "Velmora.lnk" "Velmora 中控模拟器.lnk" "卸载 Velmora.lnk"; do
  [ -f "$start_menu/$f" ] || fail "no Start-menu entry $f"
done
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'
wine reg query "$key" /v UninstallString 2>/dev/null | grep -q 'uninstall.exe' || fail "no uninstall entry"
wine reg query "$key" /v DisplayVersion 2>/dev/null | grep -q '[0-9]' || fail "no version in the uninstall entry"
step "installed into $target_win: program files, Start-menu entries and the uninstall entry are there"
menus="$(find "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" -iname '*velmora*' 2>/dev/null | head -3 || true)"
[ -z "$menus" ] || fail "Wine wrote the setup's menu entries into the desktop's menus: $menus"

# The emulator's Start-menu entry, started in the install folder as the
# shortcut starts it, keeps its state and log in %LOCALAPPDATA%\Velmora.
emulator_args="$(sed -n 's/^!define EMULATOR_ARGS "\(.*\)"$/\1/p' "$root/scripts/windows/setup.nsi")"
[ -n "$emulator_args" ] || fail "no EMULATOR_ARGS in setup.nsi"
# shellcheck disable=SC2086
(cd "$target" && exec timeout 6 wine velmora-controller.exe $emulator_args --port 0) >/dev/null 2>&1 || true
[ -f "$data/controller-state.json" ] || fail "the emulator shortcut made no state file in %LOCALAPPDATA%\\Velmora"
[ -f "$data/controller.log" ] || fail "the emulator shortcut made no log in %LOCALAPPDATA%\\Velmora"
[ -e "$target/controller-state.json" ] && fail "the emulator shortcut wrote its state into the install folder"
step "the emulator's shortcut keeps its state and log in %LOCALAPPDATA%\\Velmora"

# What setup and the uninstaller may not touch while a program of the
# installation runs: every installed file (name, size, inode, change time),
# the Start-menu entries and the uninstall entry.
installation() {
  find "$target" "$start_menu" -printf '%P %s %i %C@\n' 2>/dev/null | sort
  wine reg query "$key" 2>/dev/null | tr -d '\r'
}
# Whether a process of this test's own Wine prefix (not another one on the
# machine) runs with a command line that matches PATTERN.
runs_here() {
  local pid
  for pid in $(pgrep -f -i -- "$1" || true); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}
# Waits until no copy of the uninstaller runs any more: a silent uninstall
# starts a copy of itself from %TEMP% and returns at once.
wait_for_uninstaller() {
  for _ in $(seq 1 60); do
    runs_here '~nsu[^ ]*[.]tmp' || return 0
    sleep 0.5
  done
  fail "the uninstaller's copy is still running"
}
# A silent upgrade and a silent uninstall while PROGRAM (a name in the
# running installation) runs: both refuse with a non-zero exit and change
# nothing. The uninstall entry is made to look like an older version's, so
# an upgrade that went ahead would show.
refused_while_running() {
  local program="$1" before after rc
  wine reg add "$key" /v DisplayVersion /d 0.9 /f >/dev/null 2>&1
  before="$(installation)"
  rc=0; wine "$work/setup.exe" /S "/D=$target_win" >/dev/null 2>&1 || rc=$?
  [ "$rc" -ne 0 ] || fail "a silent upgrade while $program runs exited 0"
  after="$(installation)"
  [ "$before" = "$after" ] || fail "a silent upgrade while $program runs changed the installation:
$(diff <(echo "$before") <(echo "$after") | head -10)"
  # With _?= the uninstaller runs in place and its exit code is its own.
  rc=0; wine "$target_win\\uninstall.exe" /S "_?=$target_win" >/dev/null 2>&1 || rc=$?
  [ "$rc" -ne 0 ] || fail "a silent uninstall while $program runs exited 0"
  wine "$target_win\\uninstall.exe" /S >/dev/null 2>&1 || true
  wait_for_uninstaller
  after="$(installation)"
  [ "$before" = "$after" ] || fail "a silent uninstall while $program runs changed the installation:
$(diff <(echo "$before") <(echo "$after") | head -10)"
  wine reg add "$key" /v DisplayVersion /d "$version" /f >/dev/null 2>&1
}
version="$(wine reg query "$key" /v DisplayVersion 2>/dev/null | tr -d '\r' | awk '/DisplayVersion/ {print $3}')"

# The installed emulator, as its shortcut starts it, keeps the installation
# as it is; once it has ended, an upgrade goes ahead again.
# shellcheck disable=SC2086
(cd "$target" && exec timeout 120 wine velmora-controller.exe $emulator_args --port 0) >/dev/null 2>&1 &
running=$!
for _ in $(seq 1 60); do
  runs_here 'velmora-controller\.exe' && break
  sleep 0.5
done
sleep 1
refused_while_running velmora-controller.exe
kill "$running" 2>/dev/null || true
wait "$running" 2>/dev/null || true
wineserver -w 2>/dev/null || true
rc=0; wine "$work/setup.exe" /S "/D=$target_win" >/dev/null 2>&1 || rc=$?
wineserver -w 2>/dev/null || true
[ "$rc" -eq 0 ] || fail "a silent upgrade with nothing running exited $rc"
step "setup and the uninstaller refused, changing nothing, while the installed emulator ran; the upgrade went ahead after it ended"

# The installed program starts far enough to show its window, and keeps its
# working data.mdb in the user's folder, not in the setup's.
(cd "$target" && exec wine velmora.exe) >/dev/null 2>&1 &
shown=""
for _ in $(seq 1 120); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"Velmora"'; then shown=1; break; fi
  sleep 0.5
done
[ -n "$shown" ] || fail "the installed program showed no window"
[ -f "$data/data.mdb" ] || fail "the installed program made no per-user data.mdb in %LOCALAPPDATA%\\Velmora"
refused_while_running velmora.exe
step "setup and the uninstaller refused, changing nothing, while the installed program's window was open"
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
step "the installed program showed its window and copied data.mdb to the user's folder"

# The installed command line, from a working folder named as a school names it.
room="$profile/学校 配置"
mkdir -p "$room"
"$emulator_program" --address 127.0.0.2 --state "$work/state.json" --log "$work/emulator-log.txt" \
  2>"$work/emulator.stderr" &
emulator=$!
sleep 0.5
cli() { (cd "$room" && wine "$target_win\\velmora-cli.exe" "$@") 2>&1 | tr -d '\r'; }
out="$(cli get 127.0.0.2 --out 教室101.json)" || fail "get: $out"
[ -s "$room/教室101.json" ] || fail "get --out wrote no 教室101.json: $out"
out="$(cli set 127.0.0.2 --server-ip 127.0.0.9)" || fail "set: $out"
grep -q '"127.0.0.9"' "$work/state.json" || fail "the emulator did not take the server IP: $out"
ls "$data/history/127.0.0.2/"*.json >/dev/null 2>&1 || fail "no backup in %LOCALAPPDATA%\\Velmora\\history: $out"
out="$(cli set 127.0.0.2 --from 教室101.json)" || fail "set --from 教室101.json: $out"
grep -q '"127.0.0.9"' "$work/state.json" && fail "the snapshot was not written back: $out"
echo "old" >"$room/投影机代码.csv"
out="$(cli library export 投影机代码.csv)" || fail "library export: $out"
out="$(cli library export 投影机代码.csv)" || fail "library export over an existing file: $out"
head -c 200 "$room/投影机代码.csv" | grep -q ',' || fail "the export wrote no CSV"
out="$(cli library import 投影机代码.csv --dry-run --on-conflict keep)" || fail "library import --dry-run: $out"
printf '安装测试 投影机,9600,无,0A,0B,0C,0D\r\n' >>"$room/投影机代码.csv"
out="$(cli library import 投影机代码.csv --on-conflict keep)" || fail "library import: $out"
echo "$out" | grep -q '1 new' || fail "the import did not write the new model: $out"
kill "$emulator" 2>/dev/null || true
wait "$emulator" 2>/dev/null || true
emulator=""
step "velmora-cli.exe read, set with a backup, wrote a snapshot back, exported twice and imported, all on Chinese paths"

# Silent uninstall: the program goes, the user's data stays.
wine "$target_win\\uninstall.exe" /S >/dev/null 2>&1 || true
wineserver -w
sleep 1
wineserver -w 2>/dev/null || true
[ -e "$target" ] && fail "the uninstaller left $(cd "$target" && find . -type f | head -5 | tr '\n' ' ')"
[ -e "$start_menu" ] && fail "the uninstaller left the Start-menu folder"
wine reg query "$key" >/dev/null 2>&1 && fail "the uninstaller left the uninstall entry"
[ -f "$data/data.mdb" ] || fail "the uninstaller removed the user's data.mdb"
ls "$data/history/127.0.0.2/"*.json >/dev/null 2>&1 || fail "the uninstaller removed the user's history"
[ -f "$room/教室101.json" ] || fail "the uninstaller removed the user's snapshot"
step "uninstalled: program files, shortcuts and registry entry gone; data.mdb, history and snapshots kept"
echo "Setup test: all passed"
