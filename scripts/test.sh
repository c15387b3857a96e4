#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite (no display needed).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)"

# The Win32 serial port layer and the Win32 start of the updater are built only on Windows: the
# mingw-w64 cross compiler checks that they still compile (syntax and types only, nothing is
# linked or run; a few seconds).
x86_64-w64-mingw32-g++ -std=c++20 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -Isrc \
  src/update/port_layer_win32.cpp src/update/comm_port.cpp \
  src/update/run_and_wait.cpp src/update/updater_command.cpp

# The Debian package and the .tar.gz, built and checked.
bash scripts/package.sh >/dev/null
bash tests/package/check_package.sh
