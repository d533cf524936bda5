#!/usr/bin/env bash
# Builds the Debian package of a finished build (build/karvelo_<version>_amd64.deb) and checks it
# with lintian; with --install it is installed with apt and its demo run from an empty folder.
set -euo pipefail
cd "$(dirname "$0")/../build"
rm -f karvelo_*.deb
cpack -G DEB
deb=$(ls karvelo_*_amd64.deb)
# Kept warnings: the ldconfig calls CPack adds for any library under /usr/lib (the raster module's
# private folder holds no library that ldconfig serves, but they do no harm).
lintian --fail-on error --suppress-tags maintscript-calls-ldconfig "$deb"
if [ "${1:-}" = "--install" ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get install -y "./$deb"
  empty=$(mktemp -d)
  (cd "$empty" && karvelo-batch --workdir "$empty/demo" demo >/dev/null)
  test -s "$empty/demo/BayesP.asc"
  karvelo --version
  rm -rf "$empty"
fi
