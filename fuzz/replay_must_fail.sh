#!/bin/sh
# Runs a fuzz replay that must fail, and checks how: replay_must_fail.sh PATTERN REPLAY INPUT...
# passes when the replay exits non-zero (or dies) and its output matches PATTERN (grep -E).
pattern=$1
shift
if output=$("$@" 2>&1); then
    printf '%s\n' "$output"
    echo "FAIL: the replay passed" >&2
    exit 1
fi
printf '%s\n' "$output"
if ! printf '%s\n' "$output" | grep -Eq "$pattern"; then
    echo "FAIL: no line matches: $pattern" >&2
    exit 1
fi
