#!/usr/bin/env bash
# Cross-builds the whole of Velmora for 64-bit Windows (mingw-w64) into build-windows/build:
# velmora.exe, velmora-cli.exe and every test program. What it links is built first from
# Debian's own source packages, statically: libxml2, GoogleTest and Qt (scripts/windows-qt.sh).
# Those are kept in a cache outside the clone (scripts/windows-cache.sh says where), each keyed
# on its source version and build options, so every clone on a machine after the first reuses
# them and builds only Velmora itself. Run scripts/setup.sh first on a fresh machine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build-windows
deps=$(bash scripts/windows-cache.sh)
host=x86_64-w64-mingw32
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=$(nproc)

say() { echo "windows-build: $*"; }

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
mkdir -p "$deps" "$out"
# One clone at a time builds into the cache; another waits for it and then reuses what it built.
exec 9>"$deps/lock"
if ! flock -n 9; then
  say "waiting for another build of the Windows dependencies in $deps"
  flock 9
fi

# Adds deb-src entries for the machine's own Debian suites when no source entry is configured.
ensure_deb_src() {
  local lists=(/etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources)
  if grep -qsE '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' "${lists[@]}"; then
    return
  fi
  local codename
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  say "adding deb-src entries for $codename"
  # One-line entries "deb [options] URI SUITE COMPONENTS..." and deb822 stanzas whose suite is
  # one of ours, with their type changed.
  local lines stanzas
  lines=$(grep -hsE "^[[:space:]]*deb[[:space:]].*[[:space:]]${codename}(-[a-z]+)?[[:space:]]" \
    /etc/apt/sources.list /etc/apt/sources.list.d/*.list | sed -E 's/^[[:space:]]*deb/deb-src/' || true)
  stanzas=$(awk -v codename="$codename" '
    BEGIN { RS = ""; ORS = "\n\n" }
    /(^|\n)Types:[^\n]*deb/ && match($0, /(^|\n)Suites:[^\n]*/) {
      if (substr($0, RSTART, RLENGTH) ~ ("[[:space:]]" codename "(-[a-z]+)?([[:space:]]|$)")) {
        sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print
      }
    }' /dev/null /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  if [ -z "$lines$stanzas" ]; then
    say "no Debian suite of $codename found in the apt sources"
    exit 1
  fi
  [ -z "$lines" ] || printf '%s\n' "$lines" |
    "${sudo[@]}" tee /etc/apt/sources.list.d/velmora-deb-src.list >/dev/null
  [ -z "$stanzas" ] || printf '%s\n' "$stanzas" |
    "${sudo[@]}" tee /etc/apt/sources.list.d/velmora-deb-src.sources >/dev/null
  "${sudo[@]}" apt-get update -qq
}

# libxml2 from Debian's own source package, static, with only what the documents need. The
# library is used where it was installed: its libtool and pkg-config files name that folder.
libxml2=$deps/libxml2
libxml2_options=(--enable-static --disable-shared --without-python --without-zlib --without-lzma
  --without-iconv --without-http --without-ftp --without-threads CFLAGS=-O2)
ensure_deb_src
libxml2_key="$(apt-cache showsrc libxml2 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -n 1) ${libxml2_options[*]}"
if [ ! -f "$libxml2/lib/libxml2.a" ] || [ "$(cat "$libxml2/velmora-key" 2>/dev/null)" != "$libxml2_key" ]; then
  rm -rf "$deps/src" "$libxml2"
  mkdir -p "$deps/src"
  say "fetching and cross-building libxml2"
  (cd "$deps/src" && apt-get source -qq libxml2 2>&1 | grep -v '^dpkg-source: info:' || true)
  src=$(find "$deps/src" -mindepth 1 -maxdepth 1 -type d -name 'libxml2-*' | head -n 1)
  [ -n "$src" ] || { say "apt-get source libxml2 gave no source folder"; exit 1; }
  # Debian's patches touch Makefile.am; the shipped Makefile.in is current for the library.
  find "$src" -name Makefile.am -exec touch -r "$src/configure.ac" {} +
  if ! (
    cd "$src"
    ./configure --host=$host --prefix="$libxml2" "${libxml2_options[@]}"
    make -j"$jobs" libxml2.la
    make install-libLTLIBRARIES install-pkgconfigDATA
    make -C include install
  ) >"$deps/libxml2-build.log" 2>&1; then
    tail -n 40 "$deps/libxml2-build.log"
    say "building libxml2 failed; the whole log is $deps/libxml2-build.log"
    exit 1
  fi
  printf '%s' "$libxml2_key" >"$libxml2/velmora-key"
  rm -rf "$deps/src"
fi

# GoogleTest and GoogleMock from Debian's sources, keyed on the googletest package's version.
gtest=$deps/googletest
gtest_key=$(dpkg-query -W -f='${Version}' googletest 2>/dev/null || true)
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ] || [ "$(cat "$gtest/velmora-key" 2>/dev/null)" != "$gtest_key" ]; then
  say "cross-building GoogleTest"
  rm -rf "$deps/googletest-build" "$gtest"
  cmake -S /usr/src/googletest -B "$deps/googletest-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$deps/googletest-build" >/dev/null
  cmake --install "$deps/googletest-build" >/dev/null
  printf '%s' "$gtest_key" >"$gtest/velmora-key"
  rm -rf "$deps/googletest-build"
fi

# Qt from Debian's qtbase source, static, with Debian's Linux Qt as its host tools.
qt=$deps/qt
bash scripts/windows-qt.sh "$qt"
# The dependencies are built: another clone may build its own Velmora beside this one.
flock -u 9

# nlohmann-json is headers only: Debian's copy serves, kept apart from the host's /usr/include so
# that no Linux header reaches the Windows compiler.
json=$out/nlohmann_json
rm -rf "$json"
mkdir -p "$json/include" "$json/share/cmake"
cp -r /usr/include/nlohmann "$json/include/"
cp -r /usr/share/cmake/nlohmann_json "$json/share/cmake/"

say "cross-building velmora.exe, velmora-cli.exe and the tests"
export PKG_CONFIG_LIBDIR=$libxml2/lib/pkgconfig PKG_CONFIG_PATH=
host_qt_cmake=$(dirname "$(dirname "$(find /usr/lib -path '*/cmake/Qt6/Qt6Config.cmake' -print -quit)")")
cmake -S . -B "$out/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_BENCH=OFF \
  -DLIBXML2_INCLUDE_DIR="$libxml2/include/libxml2" -DLIBXML2_LIBRARY="$libxml2/lib/libxml2.a" \
  -DGTest_DIR="$gtest/lib/cmake/GTest" -Dnlohmann_json_DIR="$json/share/cmake/nlohmann_json" \
  -DCMAKE_FIND_ROOT_PATH="$qt;$json" -DCMAKE_PREFIX_PATH="$qt" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_qt_cmake" >/dev/null
cmake --build "$out/build"

