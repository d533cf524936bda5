#!/usr/bin/env bash
# Rewrites tests/golden/demo from a fresh demo run and shows what changed, for a person to review.
#
# usage: scripts/regenerate-golden.sh [BUILD_DIR]   (default: build)
# Review `git diff tests/golden` before committing: every changed line is a changed output.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
cmake --build "$BUILD" --target karvelo-batch karvelo_golden_pixels
tests/golden/run_golden_test.sh "$BUILD/karvelo-batch" "$BUILD/tests/karvelo_golden_pixels" --update
git status --short tests/golden
git diff --stat tests/golden
