#!/usr/bin/env bash
# Takes the user guide's pictures (docs/images/guide-*.png) from a window run on the example data.
#
# usage: scripts/screenshots.sh [BUILD_DIR]   (default: build)
# The pictures come from the window test that drives the four tabs through examples/meuse
# (tests/ui/test_exampletour.cpp) on the offscreen platform, so they show a real run and look the
# same on every machine with the same fonts. The tour also opens tab 4's results window
# (guide-4-results.png) after an evaluation with a binary map and a second map. The folds dialog and
# the cross-validation and importance windows (guide-4-folds.png, guide-4-cross-validation.png,
# guide-4-importance.png) come from tests/ui/test_insight.cpp on the same data. Look at each one
# before committing it; pictures that differ only in the name of the test's temporary folder need no
# new commit.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$(cd "${1:-build}" && pwd)
cmake --build "$BUILD" --target karvelo_ui_tests karvelo-batch karvelo_gis_module
SHOTS=$(mktemp -d "${TMPDIR:-/tmp}/karvelo-shots.XXXXXX")
trap 'rm -rf "$SHOTS"' EXIT
# The whole window suite runs (it cannot run one suite alone); only the guide's pictures are kept.
# The raster module lies beside the programs in the build folder; the raster tests need it.
if ! QT_QPA_PLATFORM=offscreen KARVELO_SCREENSHOT_DIR="$SHOTS" KARVELO_BATCH="$BUILD/karvelo-batch" KARVELO_RASTER_MODULE_DIR="$BUILD" \
  "$BUILD/tests/karvelo_ui_tests" >"$SHOTS/log.txt" 2>&1; then
  grep -E '^(FAIL|   )' "$SHOTS/log.txt" >&2 || tail -n 30 "$SHOTS/log.txt" >&2
  echo "the window tests failed; no pictures were copied" >&2
  exit 1
fi
shopt -s nullglob
pictures=("$SHOTS"/guide-*.png)
if [ ${#pictures[@]} -eq 0 ]; then
  echo "the window tests saved no guide pictures" >&2
  exit 1
fi
mkdir -p docs/images
for p in "${pictures[@]}"; do
  cp "$p" docs/images/
  printf '%7d bytes  docs/images/%s\n' "$(stat -c %s "$p")" "$(basename "$p")"
done
