#!/usr/bin/env bash
# Puts what the Windows build links against into a cache folder:
#   qt-mingw/    Qt 6.4.2 qtbase (Core, Gui, Widgets, Test; the windows and
#                minimal platforms, the windowsvista style), shared, Release
#   mingw-deps/  static sqlite3 and googletest
#   header-only/ nlohmann-json and CLI11, copied from the build machine
# all for x86_64-w64-mingw32. A prebuilt archive is taken when one with the
# checksum in scripts/windows/SHA256SUMS is found in $VELMORA_WINDOWS_CACHE,
# ../shared/windows beside the repository or /work/shared/windows; otherwise
# everything is rebuilt from Debian's sources (Qt takes about 45 minutes on
# two cores). Set VELMORA_WINDOWS_REBUILD=1 to rebuild even when an archive
# is there.
#
# Usage: scripts/windows/build-deps.sh [cache-folder]   (default: build-win-deps)
# The folder's path is also taken from $VELMORA_WINDOWS_DEPS.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
deps="${1:-${VELMORA_WINDOWS_DEPS:-$root/build-win-deps}}"
case "$deps" in /*) ;; *) deps="$root/$deps" ;; esac
mkdir -p "$deps"
jobs="${VELMORA_JOBS:-$(nproc)}"

qt_archive=qt6-base-6.4.2-mingw64-shared.tar.xz
deps_archive=mingw-deps-sqlite3-3.40.1-gtest.tar.xz
qt_version=6.4.2
sqlite_version=3.40.1

log() { printf 'build-deps: %s\n' "$*" >&2; }

expected_sum() { awk -v f="$1" '$2 == f { print $1 }' "$here/SHA256SUMS"; }

# Prints the path of a cached archive whose checksum matches, or nothing.
find_archive() {
  local name="$1" want dir
  want="$(expected_sum "$name")"
  [ -n "${VELMORA_WINDOWS_REBUILD:-}" ] && return 0
  for dir in ${VELMORA_WINDOWS_CACHE:-} "$root/../shared/windows" /work/shared/windows; do
    [ -f "$dir/$name" ] || continue
    if [ "$(sha256sum "$dir/$name" | cut -d' ' -f1)" = "$want" ]; then
      printf '%s\n' "$dir/$name"
      return 0
    fi
    log "$dir/$name does not match its checksum; not used"
  done
}

# A part counts as present when its stamp names what it was made from.
present() { [ -f "$deps/$1.stamp" ] && [ "$(cat "$deps/$1.stamp")" = "$2" ]; }

unpack() {
  local part="$1" archive="$2"
  log "unpacking $archive"
  rm -rf "${deps:?}/$part"
  tar -xJf "$archive" -C "$deps"
  expected_sum "$(basename "$archive")" >"$deps/$part.stamp"
}

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# apt-get source needs a deb-src entry for bookworm main.
fetch_sources() {
  local src="$deps/src"
  mkdir -p "$src"
  if ! apt-get source --print-uris qt6-base >/dev/null 2>&1; then
    log "adding a deb-src entry for bookworm main"
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
      $SUDO tee /etc/apt/sources.list.d/velmora-deb-src.sources >/dev/null
    $SUDO apt-get update -qq
  fi
  (cd "$src" && apt-get source --download-only "$@")
}

build_mingw_deps() {
  local work="$deps/work" out="$deps/mingw-deps"
  rm -rf "$work/sqlite" "$work/gtest" "$out"
  mkdir -p "$work/sqlite" "$out/lib" "$out/include"
  fetch_sources sqlite3
  local orig
  orig="$(ls "$deps"/src/sqlite3_${sqlite_version}*.orig.tar.* | head -n1)"
  tar -xf "$orig" -C "$work/sqlite" --strip-components=1
  # The amalgamation is generated on the build machine (it needs tclsh) and
  # then compiled for Windows.
  (cd "$work/sqlite" && mkdir -p bld && cd bld && ../configure --disable-tcl >/dev/null && make sqlite3.c >/dev/null)
  x86_64-w64-mingw32-gcc-posix -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION \
    -c "$work/sqlite/bld/sqlite3.c" -o "$work/sqlite/sqlite3.o"
  x86_64-w64-mingw32-ar rcs "$out/lib/libsqlite3.a" "$work/sqlite/sqlite3.o"
  cp "$work/sqlite/bld/sqlite3.h" "$work/sqlite/bld/sqlite3ext.h" "$out/include/"

  # googletest from the sources Debian installs with libgtest-dev.
  cmake -S /usr/src/googletest -B "$work/gtest" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$out" >/dev/null
  cmake --build "$work/gtest" -j"$jobs"
  cmake --install "$work/gtest" >/dev/null
  echo "source:sqlite3-$sqlite_version+googletest" >"$deps/mingw-deps.stamp"
}

build_qt() {
  local work="$deps/work/qt" out="$deps/qt-mingw"
  rm -rf "$work" "$out"
  mkdir -p "$work/src"
  fetch_sources qt6-base
  local orig
  orig="$(ls "$deps"/src/qt6-base_${qt_version}*.orig.tar.* | head -n1)"
  tar -xf "$orig" -C "$work/src" --strip-components=1
  # Debian's repackaged source lacks 3rdparty/wintab, and with OpenGL and
  # Direct2D off the windows platform plugin needs a few guards.
  patch -d "$work/src" -p1 <"$here/qt-mingw.patch"
  cmake -S "$work/src" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out" \
    -DBUILD_SHARED_LIBS=ON -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_dbus=OFF -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_xml=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_direct2d=OFF -DFEATURE_freetype=OFF -DFEATURE_fontconfig=OFF -DFEATURE_jpeg=OFF \
    -DFEATURE_gif=OFF -DFEATURE_ico=OFF -DFEATURE_icu=OFF -DFEATURE_openssl=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_doubleconversion=OFF
  cmake --build "$work/build" -j"$jobs"
  cmake --install "$work/build" >/dev/null
  echo "source:qtbase-$qt_version" >"$deps/qt-mingw.stamp"
}

archive="$(find_archive "$deps_archive")"
if [ -n "$archive" ]; then
  present mingw-deps "$(expected_sum "$deps_archive")" || unpack mingw-deps "$archive"
elif ! present mingw-deps "source:sqlite3-$sqlite_version+googletest"; then
  log "no usable $deps_archive: building sqlite3 and googletest from source"
  build_mingw_deps
fi

archive="$(find_archive "$qt_archive")"
if [ -n "$archive" ]; then
  present qt-mingw "$(expected_sum "$qt_archive")" || unpack qt-mingw "$archive"
elif ! present qt-mingw "source:qtbase-$qt_version"; then
  log "no usable $qt_archive: building Qt from source (about 45 minutes)"
  build_qt
fi
# The header-only libraries (nlohmann-json, CLI11) from Debian's packages,
# copied beside the rest: a cross build must not search /usr/include.
ho="$deps/header-only"
rm -rf "$ho"
mkdir -p "$ho/include" "$ho/share/cmake"
cp -r /usr/include/nlohmann /usr/include/CLI "$ho/include/"
cp -r /usr/share/cmake/nlohmann_json /usr/share/cmake/CLI11 "$ho/share/cmake/"

rm -rf "$deps/work"
log "ready in $deps"
