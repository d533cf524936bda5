#!/usr/bin/env bash
# Runs every test suite of a finished build.
set -euo pipefail
cd "$(dirname "$0")/../build"
ctest --output-on-failure -j "$(nproc)"
