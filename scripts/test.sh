#!/usr/bin/env bash
# Installs what is missing, builds, checks formatting and the core with clang-tidy
# (scripts/lint.sh), and runs the whole test suite (no display needed); then builds
# and checks the Debian package and the .tar.gz, runs the whole suite again built with
# AddressSanitizer and UBSan in build-asan/, each fuzz target for a short time (scripts/fuzz.sh),
# and the Windows check: the core, velmora-cli and the tests without Qt cross-built and run
# under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
bash scripts/lint.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)"

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
