#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite (no display needed); then the
# whole suite again built with AddressSanitizer and UBSan in build-asan/, each fuzz target for a
# short time (scripts/fuzz.sh), and the Windows check: the core, velmora-cli and the tests
# without Qt cross-built and run under Wine.
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

# No optimisation and line tables only: the sanitized build finds faults and should build quickly.
sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$sanitizers" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O0 -g1" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" -DVELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan
# Memory figures mean nothing here (the sanitizer holds freed memory back to catch its reuse):
# the test that measures resident memory runs in the plain build only, and so do the end-to-end
# scenarios, whose toolkit and bus libraries are not built with the sanitizer.
ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)" -E "KeepsMemoryFlat" -LE e2e

bash scripts/fuzz.sh "${VELMORA_FUZZ_SECONDS:-10}"

bash scripts/windows-check.sh
