#!/usr/bin/env bash
# Runs every benchmark binary under BUILD/bench and every bench/*.sh script, pinned to one
# core (binaries named *_threads, which measure threaded work, to two), and prints the
# machine they ran on (for BENCHMARKS.md).
set -euo pipefail
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
echo "machine: $(lscpu | sed -n 's/^Model name:[[:space:]]*//p') ($(nproc) cores), $(date -u +%F)"
pin=() pin2=()
command -v taskset >/dev/null && pin=(taskset -c 0) pin2=(taskset -c 0,1)
for b in "$build"/bench/*; do
    [ -f "$b" ] && [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    cores=("${pin[@]}")
    case $b in *_threads) cores=("${pin2[@]}") ;; esac
    RDR_ROOT="$build/root" "${cores[@]}" "$b" --benchmark_counters_tabular=true
done
for s in "$root"/bench/*.sh; do
    [ -x "$s" ] || continue
    echo "== $(basename "$s")"
    "$s" "$build"
done
