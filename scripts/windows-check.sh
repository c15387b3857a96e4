#!/usr/bin/env bash
# Cross-builds velmora_core, velmora-cli.exe and every test program that needs no Qt for 64-bit
# Windows (mingw-w64), runs the tests and velmora-cli on the worked example under Wine, and exits
# non-zero on any failure. Everything goes to build-windows/; the cross-built libxml2 and
# GoogleTest and the Wine prefix are kept there, so a second run rebuilds only what changed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build-windows
deps=$out/deps
host=x86_64-w64-mingw32
toolchain=$root/cmake/mingw-w64-x86_64.cmake
wine=/usr/lib/wine/wine64  # Debian's wine64 keeps its program out of the PATH
jobs=$(nproc)

say() { echo "windows-check: $*"; }

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi

if [ "${VELMORA_WINE_SANDBOX:-}" != inside ]; then
  bash scripts/setup.sh
  # Everything below runs where Wine cannot reach the machine's own serial ports.
  exec bash scripts/wine-sandbox.sh bash "$0" "$@"
fi
VELMORA_WINE_SANDBOX_LIB=1 . scripts/wine-sandbox.sh
mkdir -p "$deps"

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

# libxml2 from Debian's own source package, static, with only what the documents need.
libxml2=$deps/libxml2
if [ ! -f "$libxml2/lib/libxml2.a" ]; then
  ensure_deb_src
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
    ./configure --host=$host --prefix="$libxml2" --enable-static --disable-shared \
      --without-python --without-zlib --without-lzma --without-iconv --without-http \
      --without-ftp --without-threads CFLAGS=-O2
    make -j"$jobs" libxml2.la
    make install-libLTLIBRARIES install-pkgconfigDATA
    make -C include install
  ) >"$deps/libxml2-build.log" 2>&1; then
    tail -n 40 "$deps/libxml2-build.log"
    say "building libxml2 failed; the whole log is $deps/libxml2-build.log"
    exit 1
  fi
fi

# GoogleTest and GoogleMock from Debian's sources.
gtest=$deps/googletest
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  say "cross-building GoogleTest"
  rm -rf "$deps/googletest-build"
  cmake -S /usr/src/googletest -B "$deps/googletest-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$deps/googletest-build" >/dev/null
  cmake --install "$deps/googletest-build" >/dev/null
fi

say "cross-building velmora_core, velmora-cli.exe and the tests without Qt"
export PKG_CONFIG_LIBDIR=$libxml2/lib/pkgconfig PKG_CONFIG_PATH=
cmake -S . -B "$out/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_UI=OFF -DVELMORA_BUILD_BENCH=OFF \
  -DLIBXML2_INCLUDE_DIR="$libxml2/include/libxml2" -DLIBXML2_LIBRARY="$libxml2/lib/libxml2.a" \
  -DGTest_DIR="$gtest/lib/cmake/GTest" >/dev/null
cmake --build "$out/build"

# Wine: its own prefix in the build folder, no display, no add-on installers, UTF-8 arguments.
export WINEPREFIX=$out/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  say "creating the Wine prefix"
  "$wine" wineboot --init >/dev/null 2>&1 || true
fi
# A prefix made before the sandbox existed may still name the console as COM1.
/usr/lib/wine/wineserver -w
wine_hide_console_ports "$WINEPREFIX"
/usr/lib/wine/wineserver -w
wine_check_ports "$WINEPREFIX"
# One server for the whole run: a server that ends between two programs while the next one
# connects fails that program ("Connection reset by peer").
/usr/lib/wine/wineserver -p
# Its services start here, so they hold this script's output and not a test's, which the test
# runner would wait on for ever.
"$wine" cmd /c exit >/dev/null 2>&1 || true

say "running the tests under Wine"
failures=0
ctest --test-dir "$out/build" --output-on-failure -j "$jobs" || failures=$((failures + 1))

say "running velmora-cli.exe on the worked example under Wine"
cli=$out/build/velmora-cli.exe
example=$out/example
project="Prüfstand"
rm -rf "$example"
mkdir -p "$example/$project/bin"
printf '%s' '<DNET_Net><row ID="5" NB_IN="4" NB_OUT="2" Mnemonic="Drive"/><row ID="9" NB_IN="8" NB_OUT="6" Mnemonic=""/></DNET_Net>' \
  >"$example/$project/DNET_Net.xml"
printf '%s' '<InfoMod><Modbus_Read><row Index="0" NrDNNode="1" PosComp="0"/><row Index="7" NrDNNode="3" PosComp="3"/></Modbus_Read><Modbus_Write><row Index="100" NrDNNode="2" PosComp="2"/></Modbus_Write></InfoMod>' \
  >"$example/$project/DefReg.xml"
printf '%s' '<Par_Gen><DNET_DEV_ID>20</DNET_DEV_ID><DNET_BAUD>2</DNET_BAUD><Ser_Baud>7</Ser_Baud><Ser_Par>0</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type>1</Ser_Type><Ser_Prot>0</Ser_Prot><HW_Type>0</HW_Type></Par_Gen>' \
  >"$example/$project/pargen.xml"
expected="10 00 00 00 22 00 00 00 29 00 00 00 30 00 00 00 05 04 00 02 00 00 00 00 00 09 08 00 06 00 04 00 02 00 00 00 00 00 00 00 00 64 00 02 00 00 00 01 14 02 07 00 01 01 00 02 01 00 01 00 00"
bank=$example/$project/bin/bank.bin
check() {  # check DESCRIPTION EXPECTED_STATUS COMMAND...
  local what=$1 want=$2 status=0
  shift 2
  (cd "$example" && "$wine" "$cli" "$@") >"$example/out.txt" 2>"$example/err.txt" || status=$?
  if [ "$status" -ne "$want" ]; then
    say "FAILED: $what: exit status $status, expected $want"
    cat "$example/out.txt" "$example/err.txt"
    failures=$((failures + 1))
  fi
}
image() { od -An -tx1 -v "$bank" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }
check_image() {
  if [ "$(image)" != "$expected" ]; then
    say "FAILED: $1: bank.bin is not the worked example's 61 bytes"
    failures=$((failures + 1))
  fi
}

check "compose" 0 compose "$project"
check_image "compose"
check "compose over the existing bank.bin" 0 compose "$project"
check_image "compose over the existing bank.bin"
check "inspect" 0 inspect "$project/bin/bank.bin"
# Targets named relative to the current folder or without a drive are replaced too.
rm -f "$example/bank.bin"
for run in first second; do
  check "compose --output bank.bin ($run run)" 0 compose "$project" --output bank.bin
done
cmp -s "$example/bank.bin" "$bank" || { say "FAILED: --output bank.bin differs from bin/bank.bin"; failures=$((failures + 1)); }
driveless=$(printf '%s' "$example/driveless.bin")  # a Unix absolute path: no drive, forward slashes
for run in first second; do
  check "compose --output $driveless ($run run)" 0 compose "$project" --output "$driveless"
done
cmp -s "$example/driveless.bin" "$bank" || { say "FAILED: the drive-less output differs from bin/bank.bin"; failures=$((failures + 1)); }
chmod a-w "$bank"
check "compose over a read-only bank.bin" 1 compose "$project"
check_image "compose over a read-only bank.bin"
chmod u+w "$bank"
check "--version" 0 --version
version=$(sed -nE 's/^project\(Velmora VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
if [ "$(tr -d '\r' <"$example/out.txt")" != "velmora-cli $version" ]; then
  say "FAILED: --version printed '$(cat "$example/out.txt")'"
  failures=$((failures + 1))
fi

/usr/lib/wine/wineserver -k
/usr/lib/wine/wineserver -w
wine_check_ports "$WINEPREFIX" || failures=$((failures + 1))

if [ "$failures" -ne 0 ]; then
  say "$failures check(s) failed"
  exit 1
fi
say "all passed"
