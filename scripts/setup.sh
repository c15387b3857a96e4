#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Velmora need, when missing:
# the Windows check's cross compilers and Wine too.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev qt6-svg-dev libgl-dev
  libxml2-dev
  libmodbus-dev nlohmann-json3-dev libncurses-dev
  mbpoll socat python3-pymodbus python3-serial-asyncio
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev clang-tidy clang-format
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix wine64 googletest
  qt6-base-dev-tools librsvg2-bin nsis zip unzip
  fonts-dejavu-core
  xvfb at-spi2-core dbus python3-pyatspi xdotool imagemagick
  dpkg-dev file desktop-file-utils appstream
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "setup: these packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=900 "${missing[@]}"
