#!/usr/bin/env bash
# Runs every benchmark binary of a release build with repetitions, keeps the JSON results, and
# writes bench/REPORT.md and bench/records-per-second.png from them.
#   bench/run.sh BUILD_DIR
# BENCH_REPETITIONS (5) and BENCH_MIN_TIME (0.2 seconds per repetition) shorten or lengthen the
# run; BENCH_FILTER (a regular expression) runs only the matching benchmarks.
set -uo pipefail
build=${1:?build directory}
here=$(cd "$(dirname "$0")" && pwd)
out="$build/bench-results"
repetitions=${BENCH_REPETITIONS:-5}
min_time=${BENCH_MIN_TIME:-0.2}
filter=${BENCH_FILTER:-.}

# Results of an earlier run would pass for this one's.
rm -rf "$out"
mkdir -p "$out"
failed=()
for target in "$build"/bin/*Bench; do
    name=$(basename "$target")
    echo "== $name"
    # A binary that crashes leaves its rows "not yet measured" but does not stop the others.
    if ! "$target" --benchmark_repetitions="$repetitions" --benchmark_min_time="$min_time" \
        --benchmark_report_aggregates_only=true --benchmark_filter="$filter" \
        --benchmark_out="$out/$name.json" --benchmark_out_format=json; then
        failed+=("$name")
        echo "$name failed" >>"$out/failed.txt"
    fi
done

/usr/bin/python3 "$here/report.py" "$build" "$here/REPORT.md" "$out/records-per-second.dat"
if command -v gnuplot >/dev/null; then
    gnuplot -e "datafile='$out/records-per-second.dat'; outfile='$here/records-per-second.png'" \
        "$here/plot.gnuplot"
else
    echo "gnuplot is missing: bench/records-per-second.png not drawn" >&2
fi
if [ ${#failed[@]} -gt 0 ]; then
    echo "failed: ${failed[*]}" >&2
fi
