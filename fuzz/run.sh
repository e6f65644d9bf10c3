#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time, each on its seed corpus and its
# kept crash inputs (fuzz/corpus/<name>/ and fuzz/regressions/<name>/, <name> being the target's
# name without "Fuzz", in lower case). Fails when any target fails; the input that failed is
# left as BUILD_DIR/<Target>-crash-* (copy it to fuzz/regressions/<name>/ once it is fixed).
#   fuzz/run.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=${1:?build directory}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
status=0
found=0
for target in "$build"/bin/*Fuzz; do
    [ -x "$target" ] || continue
    found=1
    name=$(basename "$target" Fuzz)
    folder=$(echo "$name" | tr '[:upper:]' '[:lower:]')
    work=$(mktemp -d)
    for seeds in "$here/corpus/$folder" "$here/regressions/$folder"; do
        if [ -d "$seeds" ]; then
            cp -r "$seeds"/. "$work"/
        fi
    done
    echo "== $name: $seconds s, $(find "$work" -type f | wc -l) seeds"
    if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$build/$name-" "$work" \
            2>"$build/$name.log"; then
        echo "   FAILED: see $build/$name.log and $build/$name-*"
        status=1
    fi
    grep -E '^(#[0-9]+\s+DONE|Done [0-9]+ runs)' "$build/$name.log" | tail -n 1 | sed 's/^/   /' || true
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$build/$name.log" | sed 's/^/   /' || true
    rm -rf "$work"
done
if [ "$found" -eq 0 ]; then
    echo "no fuzz targets in $build/bin" >&2
    exit 1
fi
exit $status
