#!/usr/bin/env bash
# Runs a command where Wine cannot reach the machine's own serial ports.
#
#   bash scripts/wine-sandbox.sh COMMAND [ARG...]
#
# Wine gives every /dev/ttyS* it finds a COM name of its own (COM1 is /dev/ttyS0), and on these
# machines /dev/ttyS0 is the console: a COM probe or a port test under Wine would open it. The
# command runs in a mount namespace of its own in which /dev/null is bound over every /dev/ttyS*
# and /dev is replaced by a copy without them, so Wine finds no such device and makes no COM link
# for it. As root the namespace is made directly; otherwise as a user namespace where the kernel
# allows it. Where neither works the command does not run.
#
# Sourced (with VELMORA_WINE_SANDBOX_LIB=1) it only defines the prefix checks below.
set -euo pipefail

# Hides, in the Wine prefix $1, every COM name that points at /dev/ttyS* (a prefix made outside
# the sandbox keeps such links): the registry value of that name becomes the empty string, Wine's
# way to hide a port, and its dosdevices link goes.
wine_hide_console_ports() {
  local prefix=$1 link name
  for link in "$prefix"/dosdevices/com*; do
    [ -L "$link" ] || continue
    case $(readlink "$link") in
      /dev/ttyS*)
        name=$(basename "$link" | tr '[:lower:]' '[:upper:]')
        WINEPREFIX=$prefix "${VELMORA_WINE:-/usr/lib/wine/wine64}" reg add 'HKLM\Software\Wine\Ports' \
          /v "$name" /t REG_SZ /d "" /f >/dev/null 2>&1
        rm -f "$link"
        ;;
    esac
  done
}

# Fails, naming it, when a COM port of the Wine prefix $1 still points at /dev/ttyS*: a dosdevices
# link, or a value of HKLM\Software\Wine\Ports. Call it with the prefix's wineserver stopped, so
# that the registry file on disk is current.
wine_check_ports() {
  local prefix=$1 bad=""
  bad=$(find "$prefix/dosdevices" -maxdepth 1 -name 'com*' -lname '/dev/ttyS*' 2>/dev/null || true)
  if [ -f "$prefix/system.reg" ]; then
    bad+=$(awk '/^\[/ { inports = ($0 ~ /^\[Software\\\\Wine\\\\Ports\]/) }
                inports && /\/dev\/ttyS/ { print "registry: " $0 }' "$prefix/system.reg")
  fi
  if [ -n "$bad" ]; then
    echo "wine-sandbox: a COM port of $prefix points at the machine's own serial ports:" >&2
    echo "$bad" >&2
    return 1
  fi
}

if [ "${VELMORA_WINE_SANDBOX_LIB:-}" = 1 ]; then
  return 0 2>/dev/null || exit 0
fi

if [ $# -eq 0 ]; then
  echo "usage: bash scripts/wine-sandbox.sh COMMAND [ARG...]" >&2
  exit 2
fi

if [ "${VELMORA_WINE_SANDBOX:-}" != inside ]; then
  if [ "$(id -u)" -eq 0 ]; then
    unshare=(unshare --mount --propagation private)
  else
    unshare=(unshare --map-root-user --mount --propagation private)
  fi
  if ! "${unshare[@]}" true 2>/dev/null; then
    echo "wine-sandbox: no mount namespace can be made here (${unshare[*]}); Wine is not run" >&2
    exit 1
  fi
  VELMORA_WINE_SANDBOX=inside exec "${unshare[@]}" bash "$0" "$@"
fi

# Inside the namespace: nothing done here is seen outside it.
for dev in /dev/ttyS*; do
  [ -e "$dev" ] && mount --bind /dev/null "$dev"
done
newdev=$(mktemp -d)
mount -t tmpfs -o mode=755 velmora-dev "$newdev"
for entry in /dev/* /dev/.[!.]*; do
  [ -e "$entry" ] || [ -L "$entry" ] || continue
  name=${entry#/dev/}
  case $name in ttyS[0-9]* | pts | ptmx) continue ;; esac
  if [ -L "$entry" ]; then
    cp -P "$entry" "$newdev/$name"
  elif [ -d "$entry" ]; then
    mkdir "$newdev/$name"
    mount --rbind "$entry" "$newdev/$name"
  else
    : >"$newdev/$name"
    mount --bind "$entry" "$newdev/$name"
  fi
done
mount --move "$newdev" /dev
rmdir "$newdev" 2>/dev/null || true
# Pseudo-terminals of the sandbox's own (the tests' stand-in serial ports): a private devpts
# instance, reached through /dev/ptmx as the C library expects.
mkdir /dev/pts
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 velmora-pts /dev/pts
ln -s pts/ptmx /dev/ptmx
if compgen -G '/dev/ttyS*' >/dev/null; then
  echo "wine-sandbox: /dev/ttyS* still visible inside the sandbox" >&2
  exit 1
fi
export VELMORA_WINE_SANDBOX=inside
exec "$@"
