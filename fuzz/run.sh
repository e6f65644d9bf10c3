#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time, each on its seed corpus.
#   fuzz/run.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=${1:?build directory}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
status=0
for target in "$build"/bin/*Fuzz; do
    name=$(basename "$target" Fuzz)
    corpus="$here/corpus/$(echo "$name" | tr '[:upper:]' '[:lower:]')"
    work=$(mktemp -d)
    [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/ 2>/dev/null || true
    echo "== $name: $seconds s"
    if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$build/$name-" "$work" 2>"$build/$name.log"; then
        echo "   FAILED: see $build/$name.log and $build/$name-*"
        status=1
    fi
    grep -E '^(#[0-9]+\s+DONE|Done [0-9]+ runs)' "$build/$name.log" | tail -n 1 | sed 's/^/   /'
    rm -rf "$work"
done
exit $status
