#!/usr/bin/env bash
# The smoke run of the Windows installer and the real window, under Wine and Xvfb; called by
# scripts/windows-check.sh inside the Wine sandbox, after package/ holds the installer:
#   the installer runs silently into a fresh Wine prefix; the installed velmora.exe starts, its
#   main window is found by its caption, and MASTER and PROJECTS appear in its installation
#   folder; started again with a settings file naming a project, it restores that project; the
#   silent uninstall leaves no program file, shortcut or registry entry behind and keeps the
#   projects. A screenshot of the display is kept as build-windows/smoke-failure.png on failure.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "${VELMORA_WINE_SANDBOX:-}" = inside ] || { echo "windows-smoke: run it from windows-check.sh" >&2; exit 1; }
VELMORA_WINE_SANDBOX_LIB=1 . scripts/wine-sandbox.sh
out=$PWD/build-windows
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
version=$(sed -nE 's/^project\(Velmora VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
installer=$PWD/package/velmora-$version-windows-installer.exe
caption="Vostrel Velmora QS48203 DeviceNet-m / Modbus-s"

say() { echo "windows-smoke: $*"; }
[ -f "$installer" ] || { say "no installer at $installer (scripts/package-windows.sh makes it)"; exit 1; }

export WINEPREFIX=$out/smoke-wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
rm -rf "$WINEPREFIX" "$out/smoke-failure.png" "$out/smoke-velmora.log"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
# Every program of the prefix sees the display: the first one starts Wine's desktop process, and
# a desktop started without a display would keep every later window off the screen.
export DISPLAY=$display
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
fail() {
  say "FAILED: $*"
  import -window root "$out/smoke-failure.png" 2>/dev/null &&
    say "the display as it was: $out/smoke-failure.png"
  exit 1
}

say "installing silently into a fresh Wine prefix"
"$wine" wineboot --init >/dev/null 2>&1 || true
"$wineserver" -w
wine_hide_console_ports "$WINEPREFIX"
"$wineserver" -w
wine_check_ports "$WINEPREFIX"
"$wine" "$installer" /S >/dev/null 2>&1 || fail "the installer ended with status $?"
"$wineserver" -w
folder="$WINEPREFIX/drive_c/Program Files/Velmora"
for file in velmora.exe velmora-cli.exe README.txt "Uninstall Velmora.exe"; do
  [ -f "$folder/$file" ] || fail "the installer put no $file into C:\\Program Files\\Velmora"
done
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Velmora.lnk"
[ -f "$shortcut" ] || fail "no Start menu entry"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'
entry=$("$wine" reg query "$key" /reg:64 2>/dev/null | tr -d '\r' || true)
for value in "DisplayVersion    REG_SZ    $version" "Publisher    REG_SZ    Velmora" \
             "DisplayName    REG_SZ    Velmora"; do
  grep -qF "$value" <<<"$entry" || fail "the uninstall entry lacks \"$value\": $entry"
done

# Starts the installed program on the display and waits for a window captioned exactly $1.
start_and_find() {
  "$wine" 'C:\Program Files\Velmora\velmora.exe' >>"$out/smoke-velmora.log" 2>&1 &
  local waited=0
  until xdotool search --name Velmora getwindowname %@ 2>/dev/null | grep -Fqx "$1"; do
    [ "$waited" -lt 90 ] || fail "no window captioned \"$1\" within 90 seconds"
    sleep 1
    waited=$((waited + 1))
  done
}

say "starting velmora.exe"
start_and_find "$caption"
for made in MASTER PROJECTS; do
  [ -d "$folder/$made" ] || fail "velmora.exe made no $made folder in its installation folder"
done
"$wineserver" -k
"$wineserver" -w

say "starting it again with a settings file that names a project"
mkdir -p "$folder/PROJECTS/Plant1"
printf '[lastproj]\r\nprojectname=\\Plant1\r\n' >"$folder/Velmora_DNETM2MRTUs.ini"
start_and_find "$caption :\\Plant1"
"$wineserver" -k
"$wineserver" -w

say "uninstalling silently"
"$wine" 'C:\Program Files\Velmora\Uninstall Velmora.exe' /S >/dev/null 2>&1 || fail "the uninstaller failed"
"$wineserver" -w
for file in velmora.exe velmora-cli.exe README.txt "Uninstall Velmora.exe"; do
  [ ! -e "$folder/$file" ] || fail "$file is still there after the uninstall"
done
[ ! -e "$shortcut" ] || fail "the Start menu entry is still there after the uninstall"
if "$wine" reg query "$key" /reg:64 >/dev/null 2>&1; then fail "the uninstall entry is still there"; fi
[ -d "$folder/PROJECTS/Plant1" ] || fail "the uninstall took the projects with it"
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w
wine_check_ports "$WINEPREFIX"
say "passed"
