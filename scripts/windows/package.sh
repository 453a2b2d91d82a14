#!/usr/bin/env bash
# Builds Velmora for Windows and packs Velmora-VERSION-windows-x86_64.zip: the
# program, velmora-cli, the controller emulator, data.mdb, the Qt and MinGW
# runtime DLLs, the platform and style plugins, the licence texts and a
# README.txt, all stripped; and Velmora-VERSION-setup.exe (NSIS), the setup
# program that installs the same files under Program Files. Installs what it
# needs first, so it runs on a fresh Debian 12 machine (as root or with sudo).
# Both land in the build folder.
# Usage: scripts/windows/package.sh [build-folder]     (default: build-win)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
dir="${1:-build-win}"
case "$dir" in /*) ;; *) dir="$root/$dir" ;; esac
deps="${VELMORA_WINDOWS_DEPS:-$root/build-win-deps}"

"$here/install-deps.sh"
"$here/build.sh" "$dir"

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")"
name="Velmora-$version-windows-x86_64"
stage="$dir/package/$name"
rm -rf "$dir/package"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/licenses"

cp "$dir/src/app/velmora.exe" "$dir/src/cli/velmora-cli.exe" "$stage/"
[ -f "$dir/tools/controller/velmora-controller.exe" ] && cp "$dir/tools/controller/velmora-controller.exe" "$stage/"
cp "$dir/data.mdb" "$stage/"
for dll in Qt6Core Qt6Gui Qt6Widgets; do
  cp "$deps/qt-mingw/bin/$dll.dll" "$stage/"
done
cp "$deps/qt-mingw/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$deps/qt-mingw/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
# Qt's own texts in Chinese (message-box buttons, file dialogs), as Debian ships them.
mkdir -p "$stage/translations"
cp /usr/share/qt6/translations/qtbase_zh_CN.qm "$stage/translations/"
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  cp "$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")" "$stage/"
done
find "$stage" \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +

# Licence texts: Qt under the LGPL 3 (which builds on the GPL 3), the MinGW
# runtime libraries, and the program's own.
cp /usr/share/common-licenses/LGPL-3 "$stage/licenses/Qt-LGPL-3.0.txt"
cp /usr/share/common-licenses/GPL-3 "$stage/licenses/GPL-3.0.txt"
cp /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright "$stage/licenses/MinGW-GCC-runtime.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$stage/licenses/MinGW-w64-winpthreads.txt"
qt_source="$(sed -n 's/^source://p' "$deps/qt-mingw.stamp" 2>/dev/null || true)"
cat >"$stage/licenses/Qt-SOURCE.txt" <<TEXT
Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll, platforms\\qwindows.dll and
styles\\qwindowsvistastyle.dll are Qt 6.4.2 (qtbase), used under the GNU Lesser
General Public License version 3 (Qt-LGPL-3.0.txt, with GPL-3.0.txt).

Their source is Debian's qt6-base 6.4.2+dfsg source package (bookworm), as
fetched with "apt-get source qt6-base" (https://packages.debian.org/source/bookworm/qt6-base),
changed by the patch scripts/windows/qt-mingw.patch of the Velmora source and
built with the options in scripts/windows/build-deps.sh there. The DLLs may
be replaced with other builds of the same Qt version.
TEXT
# The code built into the Qt DLLs from qtbase's own copies (zlib, libpng,
# PCRE2, HarfBuzz, double-conversion, md4c and Qt's smaller third-party
# parts) and into the programs (SQLite): the notices of the same upstream
# code as Debian records them.
for notice in zlib:zlib1g libpng:libpng16-16 PCRE2:libpcre2-16-0 HarfBuzz:libharfbuzz0b \
              double-conversion:libdouble-conversion3 md4c:libmd4c0 SQLite:libsqlite3-0 \
              Qt-third-party:libqt6core6; do
  # Not "name": that is the package's own name, used below.
  part="${notice%%:*}" package="${notice#*:}"
  copyright="/usr/share/doc/$package/copyright"
  [ -f "$copyright" ] || { echo "package: no licence notice $copyright for $part" >&2; exit 1; }
  sed 's/$/\r/' "$copyright" >"$stage/licenses/$part.txt"
done
sed 's/$/\r/' "$root/LICENSE" >"$stage/licenses/Velmora-LICENSE.txt"
sed "s/@VERSION@/$version/" "$here/README.txt.in" | sed 's/$/\r/' >"$stage/README.txt"

zip="$dir/$name.zip"
rm -f "$zip"
(cd "$dir/package" && zip -q -9 -r "$zip" "$name")
echo "$zip: $(du -h "$zip" | cut -f1) ($(stat -c %s "$zip") bytes), unpacked $(du -sh "$stage" | cut -f1)"

# The setup program installs the same files, plus the mark that makes the
# installed program keep its data in %LOCALAPPDATA%\Velmora.
cat >"$stage/installed-by-setup.txt" <<'TEXT'
This folder was installed by the Velmora setup program. Velmora keeps its
working data.mdb and history\ in %LOCALAPPDATA%\Velmora, which upgrades and
the uninstaller leave as they are.
TEXT
sed -i 's/$/\r/' "$stage/installed-by-setup.txt"
nsis="$dir/package/nsis"
mkdir -p "$nsis"
# One install line per file and one removal per file and folder, so the
# uninstaller removes exactly what setup installed and nothing else.
(cd "$stage" && find . -mindepth 1 -type d | sed 's|^\./||' | sort) >"$nsis/dirs.txt"
(cd "$stage" && find . -type f | sed 's|^\./||' | sort) >"$nsis/files.txt"
{
  echo 'SetOutPath "$INSTDIR"'
  while read -r f; do
    case "$f" in */*) continue ;; esac
    echo "File \"$stage/$f\""
  done <"$nsis/files.txt"
  while read -r d; do
    echo "SetOutPath \"\$INSTDIR\\${d//\//\\}\""
    echo "File \"$stage/$d/*.*\""
  done <"$nsis/dirs.txt"
  echo 'SetOutPath "$INSTDIR"'
} >"$nsis/files.nsh"
{
  while read -r f; do echo "Delete \"\$INSTDIR\\${f//\//\\}\""; done <"$nsis/files.txt"
  sort -r "$nsis/dirs.txt" | while read -r d; do echo "RMDir \"\$INSTDIR\\${d//\//\\}\""; done
} >"$nsis/unfiles.nsh"
setup="$dir/Velmora-$version-setup.exe"
rm -f "$setup"
makensis -V2 -INPUTCHARSET UTF8 \
  -DVERSION="$version" -DSTAGE="$stage" -DICON="$dir/res/windows/velmora.ico" \
  -DLICENSE="$stage/licenses/Velmora-LICENSE.txt" -DOUTFILE="$setup" \
  -DSIZE_KB="$(du -sk "$stage" | cut -f1)" -DFILES="$nsis/files.nsh" -DUNFILES="$nsis/unfiles.nsh" \
  "$here/setup.nsi"
rm -f "$stage/installed-by-setup.txt"
echo "$setup: $(du -h "$setup" | cut -f1) ($(stat -c %s "$setup") bytes)"
