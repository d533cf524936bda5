#!/usr/bin/env bash
# Installs what building and testing Karvelo needs on Debian 12 (run as root, or with sudo).
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  g++ cmake ninja-build pkg-config \
  qt6-base-dev qt6-base-dev-tools libgl-dev libglx-dev \
  libgtest-dev googletest \
  libgdal-dev gdal-bin \
  locales fonts-dejavu-core \
  help2man desktop-file-utils appstream dpkg-dev file lintian \
  chromium tidy poppler-utils python3
# The tests run once under a comma-decimal locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen
fi
