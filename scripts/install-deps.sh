#!/usr/bin/env bash
# Installs the Debian 12 packages Velmora needs to build, run and test.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail
packages=(
  build-essential cmake ccache pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlite3-dev libgtest-dev nlohmann-json3-dev libcli11-dev
  fonts-noto-cjk qt6-translations-l10n
  clang libclang-rt-14-dev
  librapidcheck-dev
  iproute2 procps
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
