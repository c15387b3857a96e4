#!/usr/bin/env bash
# Checks what scripts/package.sh made: both programs, the desktop entry, the icon, the
# AppStream metadata and the user guide in the .deb and the .tar.gz; a Depends line that covers every library the
# programs link; a valid desktop entry and metadata; the same version everywhere; and an install
# into an arbitrary prefix. Exits non-zero at the first fault.
set -euo pipefail
cd "$(dirname "$0")/../.."

fail() { echo "check_package: $*" >&2; exit 1; }

deb=$(ls package/*.deb)
tgz=$(ls package/*.tar.gz)
version=$(dpkg-deb -f "$deb" Version)
app_id=com.vostrel.Velmora
expected=(
  usr/bin/velmora
  usr/bin/velmora-cli
  usr/share/applications/$app_id.desktop
  usr/share/icons/hicolor/scalable/apps/velmora.svg
  usr/share/metainfo/$app_id.metainfo.xml
  usr/share/doc/velmora/user-guide.md
)

deb_files=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\./##')
tgz_files=$(tar -tzf "$tgz" | sed 's#^[^/]*/##')
for file in "${expected[@]}"; do
  grep -qx "$file" <<<"$deb_files" || fail "$deb lacks $file"
  grep -qx "${file#usr/}" <<<"$tgz_files" || fail "$tgz lacks ${file#usr/}"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"

# Every shared library the programs need comes from a package named in Depends.
depends=$(dpkg-deb -f "$deb" Depends)
depends_names=$(sed 's/ *([^)]*)//g; s/ *| */\n/g; s/, */\n/g' <<<"$depends")
for program in velmora velmora-cli; do
  for library in $(objdump -p "$work/root/usr/bin/$program" | awk '/NEEDED/ {print $2}'); do
    # Whole pipelines only: a reader that stops early would end the writer with SIGPIPE.
    path=$(ldconfig -p | awk -v lib="$library" '$1 == lib && !found {print $NF; found = 1}')
    [ -n "$path" ] || fail "$library of $program is not installed here"
    owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | awk -F: 'NR == 1 {print $1}') ||
      owner=$(dpkg -S "$path" | awk -F: 'NR == 1 {print $1}')
    grep -Fqx "$owner" <<<"$depends_names" || fail "Depends lacks $owner ($library of $program): $depends"
  done
done

desktop-file-validate "$work/root/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net --pedantic "$work/root/usr/share/metainfo/$app_id.metainfo.xml" >/dev/null ||
  appstreamcli validate --no-net "$work/root/usr/share/metainfo/$app_id.metainfo.xml"

for program in velmora velmora-cli; do
  said=$("$work/root/usr/bin/$program" --version)
  [ "$said" = "$program $version" ] || fail "$program --version says '$said', the package is $version"
done

cmake --install build-package --prefix "$work/prefix" >/dev/null
for file in "${expected[@]}"; do
  [ -f "$work/prefix/${file#usr/}" ] || fail "cmake --install lacks ${file#usr/}"
done

# The Windows installer and zip of the same version; the Windows check installs and runs them.
installer=package/velmora-$version-windows-installer.exe
zip=package/velmora-$version-windows.zip
[ -f "$installer" ] || fail "no $installer"
file -b "$installer" | grep -q 'PE32+ executable (GUI) x86-64' || fail "$installer is $(file -b "$installer")"
zip_files=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$zip_files" = "README.txt velmora-cli.exe velmora.exe " ] || fail "$zip holds $zip_files"
unzip -q "$zip" velmora.exe -d "$work/zip"
[ "$(head -c 2 "$work/zip/velmora.exe")" = MZ ] || fail "velmora.exe in $zip is no Windows program"

echo "check_package: $(basename "$deb"), $(basename "$tgz"), $(basename "$installer") and $(basename "$zip") are complete (version $version)"
