#!/usr/bin/env bash
# Times the whole `varnolt convert` process on the largest accepted input against `cp` of
# the same file, side by side in one hyperfine run, and prints the ratio.
# Usage: bench/compare.sh [BUILD_DIR]   (default build; built by scripts/demo or scripts/test)
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")/.."
build=${1:-build}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/make_bench_input" largest "$work/largest.dat"
varnolt=$(readlink -f "$build/varnolt")

hyperfine --warmup 20 --min-runs 200 -N --export-csv "$work/times.csv" \
  --command-name "varnolt convert" "$varnolt convert --channels 5 $work/largest.dat" \
  --command-name "cp" "cp $work/largest.dat $work/copy.dat"

# Ratio of the means (seconds), and peak memory of one conversion.
awk -F, 'NR > 1 { mean[$1] = $2 } END {
  printf "varnolt convert / cp = %.2f (%.2f ms / %.2f ms)\n", mean["varnolt convert"] / mean["cp"],
         mean["varnolt convert"] * 1000, mean["cp"] * 1000 }' "$work/times.csv"
peak=$( { /usr/bin/time -f '%M' "$varnolt" convert --channels 5 "$work/largest.dat" >/dev/null; } 2>&1)
echo "peak memory of one conversion: $peak KiB"
