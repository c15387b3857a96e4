#!/usr/bin/env bash
# Builds the Windows installer and the portable zip into package/ (beside the .deb that
# scripts/package.sh makes): velmora-VERSION-windows-installer.exe (NSIS) and
# velmora-VERSION-windows.zip (velmora.exe, velmora-cli.exe, README.txt). The programs come from
# the cross build of scripts/windows-build.sh, stripped. Run scripts/setup.sh first on a fresh
# machine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/windows-build.sh
version=$(sed -nE 's/^project\(Velmora VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
build=build-windows/build
stage=build-windows/stage
rm -rf "$stage"
mkdir -p "$stage" package
for program in velmora velmora-cli; do
  x86_64-w64-mingw32-strip -o "$stage/$program.exe" "$build/$program.exe"
done
# Notepad and every other Windows reader take CR LF.
sed 's/\r$//; s/$/\r/' README.md >"$stage/README.txt"
cp "$build/windows/velmora.ico" "$stage/"
installer=package/velmora-$version-windows-installer.exe
makensis -V2 -DVERSION="$version" -DSTAGE="$PWD/$stage" -DOUTFILE="$PWD/$installer" \
  packaging/windows/velmora.nsi
zip=package/velmora-$version-windows.zip
rm -f "$zip"
(cd "$stage" && zip -q -X "../../$zip" velmora.exe velmora-cli.exe README.txt)
ls "$installer" "$zip"
