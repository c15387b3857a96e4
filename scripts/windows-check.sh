#!/usr/bin/env bash
# Cross-builds Velmora for 64-bit Windows (scripts/windows-build.sh) and proves it under Wine:
# every test program (UI tests on Qt's offscreen platform, the Win32 serial layer on COM5, which
# is a pseudo-terminal), velmora-cli on the worked example, then the installer and the real
# window (scripts/windows-smoke.sh). Exits non-zero on any failure. The build and the Wine prefix
# go to build-windows/, the built dependencies to the cache of scripts/windows-cache.sh, so a
# second run rebuilds only what changed. Wine runs only inside scripts/wine-sandbox.sh, where the
# machine's own serial ports do not exist.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build-windows
wine=/usr/lib/wine/wine64  # Debian's wine64 keeps its program out of the PATH
jobs=$(nproc)

say() { echo "windows-check: $*"; }

if [ "${VELMORA_WINE_SANDBOX:-}" != inside ]; then
  bash scripts/setup.sh
  bash scripts/windows-build.sh
  # Everything below runs where Wine cannot reach the machine's own serial ports.
  exec bash scripts/wine-sandbox.sh bash "$0" "$@"
fi
VELMORA_WINE_SANDBOX_LIB=1 . scripts/wine-sandbox.sh

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

# COM5 is one end of a pseudo-terminal pair: the one port the tests find and open.
ptys=$(mktemp -d)
socat pty,raw,echo=0,link="$ptys/com5" pty,raw,echo=0,link="$ptys/peer" &
socat=$!
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; kill $socat 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$ptys/com5" ] && break; sleep 0.1; done
com5=$(readlink -f "$ptys/com5")
case $com5 in /dev/pts/*) ;; *) say "socat made no pseudo-terminal for COM5"; exit 1 ;; esac
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$com5" /f >/dev/null 2>&1
ln -sfn "$com5" "$WINEPREFIX/dosdevices/com5"
export VELMORA_TEST_COM_PORT=COM5

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

say "velmora-cli.exe simulate under Wine, read and written by a master outside Wine"
sim=$example/simulate
mkdir -p "$sim/P"
cp "$example/$project/DNET_Net.xml" "$example/$project/pargen.xml" "$sim/P/"
printf '%s' '<InfoMod><Modbus_Read><row Index="0" NrDNNode="1" PosComp="2"/></Modbus_Read><Modbus_Write><row Index="100" NrDNNode="2" PosComp="2"/></Modbus_Write></InfoMod>' \
  >"$sim/P/DefReg.xml"
printf '%s' '{"1": {"out": [18, 52]}}' >"$sim/data.json"
# simulate_under_wine WHAT PROBE_LINK... -- SIMULATE_ARGS...: starts the simulator, waits for its
# first line, has the probe read register 0 (node 1's second output byte, 52), write 4660 to
# register 100 (its low byte, 52, goes to node 2's second input byte) and read a register outside
# the map; then stops the simulator with Ctrl+C (Wine turns SIGINT into the console's Ctrl+C).
simulate_under_wine() {
  local what=$1 link=() args=() sim_pid answers first status=0
  shift
  while [ "$1" != -- ]; do link+=("$1"); shift; done
  shift
  args=("$@")
  rm -f "$sim/state.json" "$sim/out.txt"
  (cd "$sim" && exec "$wine" "$cli" simulate P "${args[@]}" --data data.json --state state.json \
    >"$sim/out.txt" 2>&1) &
  sim_pid=$!
  for _ in $(seq 300); do
    first=$(head -n 1 "$sim/out.txt" 2>/dev/null | tr -d '\r')
    [ -n "$first" ] && break
    sleep 0.1
  done
  if [ "${link[0]}" = tcp ]; then link+=(127.0.0.1 "${first##*:}"); fi
  answers=$(timeout 30 python3 scripts/modbus_probe.py "${link[@]}" 1 read:0 write:100:4660 read:5 2>&1 |
    tr '\n' ' ') || true
  if [ "$answers" != "52 ok exception 2 " ]; then
    say "FAILED: simulate $what: the master got '$answers' (first line '$first')"
    cat "$sim/out.txt"
    failures=$((failures + 1))
  elif ! grep -q '"2":{"in":\[0,52,0,0,0,0,0,0\]' "$sim/state.json"; then
    say "FAILED: simulate $what: the state file does not hold the written byte"
    cat "$sim/state.json"
    failures=$((failures + 1))
  fi
  kill -INT "$sim_pid" 2>/dev/null || true
  for _ in $(seq 100); do kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$sim_pid" 2>/dev/null; then
    say "FAILED: simulate $what did not stop on Ctrl+C"
    kill -KILL "$sim_pid" 2>/dev/null || true
    failures=$((failures + 1))
  fi
  wait "$sim_pid" || status=$?
  if [ "$status" -ne 0 ]; then
    say "FAILED: simulate $what ended with status $status after Ctrl+C"
    cat "$sim/out.txt"
    failures=$((failures + 1))
  fi
}
simulate_under_wine "over TCP" tcp -- --tcp 127.0.0.1:0
simulate_under_wine "on COM5 (Modbus RTU)" rtu "$ptys/peer" 19200 -- --rtu COM5

/usr/lib/wine/wineserver -k
/usr/lib/wine/wineserver -w
wine_check_ports "$WINEPREFIX" || failures=$((failures + 1))

say "the installer and the real window"
bash scripts/package-windows.sh >/dev/null
bash scripts/windows-smoke.sh || failures=$((failures + 1))

if [ "$failures" -ne 0 ]; then
  say "$failures check(s) failed"
  exit 1
fi
say "all passed"
