#!/usr/bin/env bash
# Runs every fuzz target of a ZAPLO_FUZZ build for a bounded time, each on a fresh copy of its seed
# corpus inside the build folder (the repository is never written). Fails on the first crash;
# the crashing input is left in <build>/fuzz-artifacts.
# Usage: tools/fuzz.sh <build dir> [seconds per target]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
seconds="${2:-20}"
# Inputs of up to a few hundred kilobytes: a small quarantine keeps freed memory in reuse instead
# of faulting in fresh pages on every run.
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=16}"

for seeds in "$top"/fuzz/corpus/*/; do
    name="$(basename "$seeds")"
    corpus="$build/fuzz-corpus/$name"
    rm -rf "$corpus"
    mkdir -p "$corpus" "$build/fuzz-artifacts"
    cp "$seeds"/* "$corpus"/
    echo "fuzz_$name: ${seconds}s"
    if ! "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 \
            -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$name-" \
            "$corpus" >"$build/fuzz-artifacts/$name.log" 2>&1; then
        tail -n 40 "$build/fuzz-artifacts/$name.log"
        echo "fuzz_$name failed; input in $build/fuzz-artifacts" >&2
        exit 1
    fi
    grep -E '^#[0-9]+ +DONE|stat::number_of_executed_units|stat::average_exec_per_sec' \
        "$build/fuzz-artifacts/$name.log" || true
done
