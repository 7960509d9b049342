#!/usr/bin/env bash
# Builds with warnings as errors and runs every test, then does the same once more under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

cmake -S . -B build-ci -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAPLO_WERROR=ON
cmake --build build-ci -j"$jobs"
ctest --test-dir build-ci --output-on-failure -j"$jobs"
# Coarse guard on relay speed: the real server session against a bare relay, side by side.
python3 bench/driver/relay_bench.py --build build-ci --short --check

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZAPLO_WERROR=ON -DZAPLO_SANITIZE=ON
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"
