#!/usr/bin/env bash
# Checks the sources without running them: every tracked C++ source and header must be as
# clang-format would write it (.clang-format), and clang-tidy (.clang-tidy) must find nothing in
# the core, the sources of velmora_core, read through the compile_commands.json of BUILD_DIR
# (default build/, made by scripts/build.sh). Exits non-zero at the first check that fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}

fail() { echo "lint: $*" >&2; exit 1; }

# Formatting: clang-format prints every line it would change and fails.
listed=$(git ls-files '*.cpp' '*.h') || fail "git cannot list the tracked sources"
mapfile -t sources <<<"$listed"
[ -n "$listed" ] || fail "git lists no C++ sources"
clang-format --dry-run -Werror "${sources[@]}" ||
  fail "the files above are not formatted: run clang-format -i on them"

# The core's translation units, picked from the compilation database by their target.
database="$build_dir/compile_commands.json"
[ -f "$database" ] || fail "$database is missing: build first (bash scripts/build.sh)"
mapfile -t core_files < <(python3 - "$database" <<'PY'
import json, re, sys
for entry in json.load(open(sys.argv[1])):
    if "velmora_core.dir" in entry["command"]:
        print("^" + re.escape(entry["file"]) + "$")
PY
)
[ ${#core_files[@]} -gt 0 ] || fail "$database names no source of velmora_core"

# run-clang-tidy prints each command line, colours the findings, and clang-tidy counts the
# warnings it dropped from system headers; keep only the findings.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
run-clang-tidy -p "$build_dir" -j 2 -quiet "${core_files[@]}" >"$log" 2>&1 || status=$?
sed -e 's/\x1b\[[0-9;]*m//g' -e '/^[^ ]*clang-tidy[^ ]* /d' \
  -e '/^[0-9]* warnings\{0,1\} generated\.$/d' -e '/^$/d' "$log"
[ "$status" -eq 0 ] || fail "clang-tidy found faults in the core (see above)"
echo "lint: formatting and clang-tidy clean (${#core_files[@]} core sources)"
