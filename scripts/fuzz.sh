#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and UBSan) in build-fuzz/ and runs
# each for SECONDS (default 60), starting from its seeds in tests/fuzz/corpus/ (modbus_fuzzer and
# monitor_fuzzer: from the frames written in hexadecimal in tests/fuzz/NAME_seeds.txt). Prints
# the executions per target; fails on any crash, leak, time-out or sanitizer report.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
bash scripts/setup.sh

sanitizers="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$sanitizers -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF -DVELMORA_BUILD_FUZZERS=ON >/dev/null
cmake --build build-fuzz --target velmora_fuzzers

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p build-fuzz/artifacts
# The Modbus seeds are kept as text in the tree and become binary files here.
for target in modbus monitor; do
  mkdir -p "build-fuzz/seeds/$target"
  while read -r name hex; do
    case "$name" in ''|'#'*) continue ;; esac
    printf '%b' "$(sed 's/../\\x&/g' <<<"$hex")" >"build-fuzz/seeds/$target/$name"
  done <"tests/fuzz/${target}_seeds.txt"
done

failed=()
for target in documents compose decode settings modbus monitor eds; do
  seeds="tests/fuzz/corpus/$target"
  [ -f "tests/fuzz/${target}_seeds.txt" ] && seeds="build-fuzz/seeds/$target"
  # New inputs go to a scratch corpus: the seeds in the tree stay as they are.
  found="build-fuzz/corpus/$target"
  log="build-fuzz/$target.log"
  mkdir -p "$found"
  if build-fuzz/tests/fuzz/"${target}_fuzzer" "$found" "$seeds" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="build-fuzz/artifacts/$target-" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $target: ${runs:-?} executions in ${seconds} s, clean"
  else
    echo "fuzz: $target: FAILED (log: $log)" >&2
    tail -n 40 "$log" >&2
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
