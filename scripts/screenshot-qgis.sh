#!/usr/bin/env bash
# Retakes the guide's picture of the QGIS plugin's map dialog under Xvfb (scripts/setup-qgis.sh
# installs QGIS and Xvfb); the dialog shows the example's configuration as the demo saves it.
set -euo pipefail
cd "$(dirname "$0")/.."
export KARVELO_BATCH="$PWD/build/karvelo-batch"
xvfb-run -a -s "-screen 0 1280x1024x24" /usr/bin/python3 scripts/qgis_dialog_picture.py "$PWD/qgis" \
  karvelo-demo/meuse-configuration.txt docs/images/qgis-map-dialog.png
