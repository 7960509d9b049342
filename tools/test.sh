#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks formatting, the layering and the licence tags, builds with warnings as errors and runs
# every test, builds the Qt-free protocol core with clang as well and fuzzes it for a short
# while, then builds and tests everything once more under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
./tools/check_layers.sh .
./tools/spdx.sh

cmake -S . -B build-ci -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAPLO_WERROR=ON
cmake --build build-ci -j"$jobs"
ctest --test-dir build-ci --output-on-failure -j"$jobs"
# Coarse guard on relay speed: the real server session against a bare relay, side by side.
python3 bench/driver/relay_bench.py --build build-ci --short --check

cmake -S . -B build-clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DZAPLO_WERROR=ON -DZAPLO_CORE_ONLY=ON
cmake --build build-clang -j"$jobs"
ctest --test-dir build-clang --output-on-failure -j"$jobs"

# Each fuzz target 20 s from its seeds; any crash, leak or undefined behaviour fails.
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DZAPLO_WERROR=ON -DZAPLO_CORE_ONLY=ON -DZAPLO_FUZZ=ON
cmake --build build-fuzz --target zaplo_fuzzers -j"$jobs"
./tools/fuzz.sh build-fuzz 20

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DZAPLO_WERROR=ON -DZAPLO_SANITIZE=ON
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"
