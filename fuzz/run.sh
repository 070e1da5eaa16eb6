#!/usr/bin/env bash
# Replays a fuzz target's seed corpus, then fuzzes it for a while.
#   fuzz/run.sh <header|profile|strings> [seconds, default 60] [more libFuzzer options]
# The binaries come from $PIXELION_FUZZ_BIN (default build-fuzz/bin). Inputs found while
# fuzzing collect in $PIXELION_FUZZ_WORK/<target>/corpus (default build-fuzz/fuzz-work), so
# each run goes on from the last; an input that fails is saved in .../crashes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
target=${1:?usage: fuzz/run.sh <header|profile|strings> [seconds] [libFuzzer options]}
seconds=${2:-60}
shift $(($# < 2 ? $# : 2))

bin=${PIXELION_FUZZ_BIN:-$root/build-fuzz/bin}/fuzz_$target
seeds=$here/corpus/$target
work=${PIXELION_FUZZ_WORK:-$root/build-fuzz/fuzz-work}/$target
[ -x "$bin" ] || { echo "no fuzz target $bin: build with -DPIXELION_FUZZ=ON first" >&2; exit 2; }
[ -d "$seeds" ] || { echo "no seed corpus $seeds" >&2; exit 2; }

mkdir -p "$work/corpus" "$work/crashes"
# The targets keep their files in one scratch folder per process; a crashed run leaves it here.
rm -rf "$work/tmp" && mkdir -p "$work/tmp"
export TMPDIR=$work/tmp
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
common=(-timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work/crashes/")

report() {
    local status=$1 log=$2
    [ "$status" -eq 0 ] && return 0
    echo "---- fuzz_$target failed (exit $status); the end of its output:"
    grep -v -E '^#[0-9]+\s+(NEW|REDUCE|pulse)' "$log" | tail -n 80
    for f in "$work"/crashes/*; do
        [ -f "$f" ] || continue
        echo "---- input $f (replay: $bin $f):"
        od -A d -c "$f" | head -n 40
    done
    exit "$status"
}

# 1. Regression: every seed once, each must pass.
mapfile -t files < <(find "$seeds" -type f | LC_ALL=C sort)
log=$work/replay.log
status=0
"$bin" "${common[@]}" "${files[@]}" >"$log" 2>&1 || status=$?
report "$status" "$log"
echo "fuzz_$target: replayed ${#files[@]} seed inputs"

# 2. Fuzzing from the seeds and everything earlier runs found.
log=$work/fuzz.log
status=0
"$bin" "${common[@]}" -max_total_time="$seconds" -print_final_stats=1 "$@" \
    "$work/corpus" "$seeds" >"$log" 2>&1 || status=$?
report "$status" "$log"
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
cov=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | sed -n 's/.*\(cov: [0-9]*\).*\(ft: [0-9]*\).*\(corp: [^ ]*\).*/\1 \2 \3/p')
echo "fuzz_$target: ${runs:-?} executions in ${seconds} s (${rate:-?}/s), ${cov:-no coverage line}, no findings"
