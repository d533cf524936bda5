#!/usr/bin/env bash
# Builds the whole project with AddressSanitizer and UndefinedBehaviorSanitizer into ./build-asan and
# runs every test suite there but the fault-injection one (it times real runs of the Release build).
# Any sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKARVELO_SANITIZE=ON
cmake --build build-asan -j "$(nproc)"
cd build-asan
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --output-on-failure -j "$(nproc)" -E safe_runs
