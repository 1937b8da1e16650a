#!/usr/bin/env bash
# Runs every benchmark binary under BUILD/bench and every bench/*.sh script, pinned to one
# core, and prints the machine they ran on (for BENCHMARKS.md).
set -euo pipefail
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
echo "machine: $(lscpu | sed -n 's/^Model name:[[:space:]]*//p') ($(nproc) cores), $(date -u +%F)"
pin=()
command -v taskset >/dev/null && pin=(taskset -c 0)
for b in "$build"/bench/*; do
    [ -f "$b" ] && [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    RDR_ROOT="$build/root" "${pin[@]}" "$b" --benchmark_counters_tabular=true
done
for s in "$root"/bench/*.sh; do
    [ -x "$s" ] || continue
    echo "== $(basename "$s")"
    "$s" "$build"
done
