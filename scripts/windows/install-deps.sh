#!/usr/bin/env bash
# Installs the Debian 12 packages the Windows cross-build, its packaging and
# its test run under Wine need, on top of the Linux set of scripts/install-deps.sh.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
"$root/scripts/install-deps.sh"
packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine64 wine xvfb xauth x11-utils
  ninja-build tcl xz-utils zip unzip python3 nsis
  dpkg-dev iproute2 util-linux
  # their copyright files are the licence notices of the code built into the Qt DLLs
  zlib1g libpng16-16 libpcre2-16-0 libharfbuzz0b libdouble-conversion3 libmd4c0 libsqlite3-0 libqt6core6
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
