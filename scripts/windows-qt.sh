#!/usr/bin/env bash
# Builds Debian's own qtbase source as a static Qt for 64-bit Windows, with Debian's Linux Qt as
# the host tools, and installs it to $1 (the Windows check's dependency folder keeps it). The
# install is keyed on the source version and this configure line: a change of either builds anew.
# Expects the deb-src entries in place (windows-check.sh adds them).
set -euo pipefail
prefix=$1
toolchain=$(cd "$(dirname "$0")/.." && pwd)/cmake/mingw-w64-x86_64.cmake
work=$(dirname "$prefix")/qtbase-build
jobs=$(nproc)

host_cmake=$(dirname "$(dirname "$(find /usr/lib -path '*/cmake/Qt6/Qt6Config.cmake' -print -quit)")")
[ -d "$host_cmake" ] || { echo "windows-qt: Debian's Qt 6 host tools (qt6-base-dev) are missing" >&2; exit 1; }

options=(
  -release -static -static-runtime -xplatform win32-g++
  -qt-host-path /usr -nomake examples -nomake tests
  -no-opengl -no-dbus -no-icu -no-feature-network -no-feature-sql -no-feature-printsupport
  -no-feature-concurrent -no-feature-xml -no-feature-testlib_selfcover
  -qt-zlib -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -qt-pcre
  # Debian's tarball drops the Windows tablet headers; without Direct2D 1.1 the Windows
  # platform plugin still links, with all of Direct2D off it does not.
  -no-feature-tabletevent -no-feature-direct2d1_1
)
configure=(-prefix "$prefix" "${options[@]}" --
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQT_HOST_PATH_CMAKE_DIR="$host_cmake")
version=$(apt-cache showsrc qt6-base 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -n 1)
# The installed Qt is relocatable: the key leaves out the folders.
key="$version ${options[*]}"
if [ -f "$prefix/velmora-key" ] && [ "$(cat "$prefix/velmora-key")" = "$key" ]; then
  exit 0
fi

echo "windows-qt: building static Qt $version for Windows (about a quarter of an hour on two cores)"
rm -rf "$work" "$prefix"
mkdir -p "$work/src"
(cd "$work/src" && apt-get source -qq --download-only qt6-base >/dev/null 2>&1)
dsc=$(find "$work/src" -maxdepth 1 -name 'qt6-base_*.dsc' -print -quit)
[ -n "$dsc" ] || { echo "windows-qt: apt-get source qt6-base gave no source package" >&2; exit 1; }
# dpkg-source applies Debian's patches, its security fixes among them.
(cd "$work/src" && dpkg-source -q -x "$(basename "$dsc")" qtbase >/dev/null)
mkdir -p "$work/build"
log=$(dirname "$prefix")/qtbase-build.log
if ! (
  cd "$work/build"
  "$work/src/qtbase/configure" "${configure[@]}"
  cmake --build . --parallel "$jobs"
  cmake --install .
) >"$log" 2>&1; then
  tail -n 60 "$log"
  echo "windows-qt: building Qt failed; the whole log is $log" >&2
  exit 1
fi
# Qt for Windows ships no fonts; the offscreen platform of the UI tests (run under Wine) looks
# for them in its library folder: Debian's DejaVu fonts stand there.
ln -sfn /usr/share/fonts/truetype/dejavu "$prefix/lib/fonts"
printf '%s' "$key" >"$prefix/velmora-key"
rm -rf "$work"
