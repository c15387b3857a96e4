#!/usr/bin/env bash
# `velmora-cli compose` on the maximal project (64 nodes, 14,000 register rows) against
# `xmllint --noout` on the same three files: the ratio of the instructions that callgrind counts
# (deterministic on a busy machine) and the ratio of CPU times of runs interleaved one by one.
# Needs valgrind and xmllint (Debian packages valgrind and libxml2-utils) and a built velmora-cli.
# Usage: bench/compose_vs_xmllint.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-20}
cli="$build/velmora-cli"
for tool in valgrind xmllint; do
    if ! command -v "$tool" >/dev/null; then
        echo "needs $tool: apt-get install valgrind libxml2-utils" >&2
        exit 2
    fi
done
[ -x "$cli" ] || { echo "needs $cli: bash scripts/build.sh" >&2; exit 2; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/bin"
awk 'BEGIN {
    printf "<DNET_Net>"
    for (i = 0; i < 64; i++)
        printf "<row ID=\"%d\" NB_IN=\"93\" NB_OUT=\"93\" Mnemonic=\"Node %d\"/>", i, i + 1
    printf "</DNET_Net>"
}' >"$dir/DNET_Net.xml"
awk 'BEGIN {
    printf "<InfoMod>"
    split("Modbus_Read Modbus_Write", lists, " ")
    for (l = 1; l <= 2; l++) {
        printf "<%s>", lists[l]
        for (i = 0; i < 7000; i++)
            printf "<row Index=\"%d\" NrDNNode=\"%d\" PosComp=\"%d\"/>", i, i % 64 + 1,
                   (i % 93 + 1) * 65536 + (i + 1) % 93 + 1
        printf "</%s>", lists[l]
    }
    printf "</InfoMod>"
}' >"$dir/DefReg.xml"
printf '%s' '<Par_Gen><DNET_DEV_ID>10</DNET_DEV_ID><DNET_BAUD>2</DNET_BAUD><Ser_Baud>7</Ser_Baud><Ser_Par>0</Ser_Par><Ser_ID>1</Ser_ID><Ser_Type>1</Ser_Type><Ser_Prot>0</Ser_Prot><HW_Type>0</HW_Type></Par_Gen>' >"$dir/pargen.xml"
files=("$dir/DNET_Net.xml" "$dir/DefReg.xml" "$dir/pargen.xml")
compose=("$cli" compose "$dir")
parse=(xmllint --noout "${files[@]}")

instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
        sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
composeIr=$(instructions "${compose[@]}")
parseIr=$(instructions "${parse[@]}")

# User plus system seconds of one run.
cpu() {
    local TIMEFORMAT='%3U %3S'
    { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ print $1 + $2 }'
}
composeCpu=0
parseCpu=0
for ((i = 0; i < runs; i++)); do
    composeCpu=$(awk -v a="$composeCpu" -v b="$(cpu "${compose[@]}")" 'BEGIN { print a + b }')
    parseCpu=$(awk -v a="$parseCpu" -v b="$(cpu "${parse[@]}")" 'BEGIN { print a + b }')
done

awk -v c="$composeIr" -v p="$parseIr" 'BEGIN {
    printf "instructions: compose %.1f M, xmllint --noout %.1f M, ratio %.2f\n", c / 1e6, p / 1e6, c / p }'
awk -v c="$composeCpu" -v p="$parseCpu" -v n="$runs" 'BEGIN {
    printf "CPU time (%d interleaved runs): compose %.2f ms, xmllint --noout %.2f ms, ratio %.2f\n",
           n, 1000 * c / n, 1000 * p / n, (p > 0 ? c / p : 0) }'
