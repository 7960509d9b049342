#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every fuzz target of a ZAPLO_FUZZ build for a bounded time, as many at once as there are
# cores, each on a fresh copy of its seed corpus inside the build folder (the repository is never
# written). Fails when any target crashes; the crashing input is left in <build>/fuzz-artifacts.
# Usage: tools/fuzz.sh <build dir> [seconds per target]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
seconds="${2:-20}"
jobs="$(nproc)"
# Inputs of up to a few hundred kilobytes: a small quarantine keeps freed memory in reuse instead
# of faulting in fresh pages on every run.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=16}"

run() { # target name
    local name=$1 corpus="$build/fuzz-corpus/$1" log="$build/fuzz-artifacts/$1.log"
    rm -rf "$corpus"
    mkdir -p "$corpus"
    cp "$top/fuzz/corpus/$name"/* "$corpus"/
    if ! "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 \
            -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$name-" \
            "$corpus" >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "fuzz_$name failed; input in $build/fuzz-artifacts" >&2
        return 1
    fi
    echo "fuzz_$name ${seconds}s: $(grep -E 'DONE' "$log")"
}

mkdir -p "$build/fuzz-artifacts"
status=0
running=0
for seeds in "$top"/fuzz/corpus/*/; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n || status=1
        running=$((running - 1))
    fi
    run "$(basename "$seeds")" &
    running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
    wait -n || status=1
    running=$((running - 1))
done
exit $status
