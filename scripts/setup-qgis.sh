#!/usr/bin/env bash
# Installs QGIS with its Python modules (the plugin's tests) and Xvfb (the guide's picture of the
# plugin's dialog) on Debian 12; run as root, or with sudo.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends qgis python3-qgis xvfb xauth
