#!/usr/bin/env bash
# Runs every benchmark binary of a release build, with repetitions, and keeps the JSON results.
#   bench/run.sh BUILD_DIR
set -euo pipefail
build=${1:?build directory}
out="$build/bench-results"
mkdir -p "$out"
for target in "$build"/bin/*Bench; do
    name=$(basename "$target")
    echo "== $name"
    "$target" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
        --benchmark_out="$out/$name.json" --benchmark_out_format=json
done
