#!/usr/bin/env bash
# Runs every fuzzer built under BUILD/fuzzers for SECONDS each, with its corpus and the
# kept crash inputs (fuzz/corpus/<name>/) as seeds. New findings stop the run.
set -euo pipefail
build=$1
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for fuzzer in "$build"/fuzzers/*; do
    [ -f "$fuzzer" ] && [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    work=$build/fuzz-work/$name
    mkdir -p "$work/corpus" "$work/artifacts"
    seeds=()
    for d in "$root/fuzz/corpus/$name" "$root"/*/fuzz/corpus/"$name"; do
        [ -d "$d" ] && seeds+=("$d")
    done
    echo "== $name for ${seconds}s"
    if ! "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
        -artifact_prefix="$work/artifacts/" "$work/corpus" "${seeds[@]}"; then
        echo "fuzz: $name found a failing input under $work/artifacts" >&2
        status=1
    fi
done
exit $status
