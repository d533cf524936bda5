#!/usr/bin/env bash
# Install test: an install into a temporary prefix, moved elsewhere, runs the demo from an empty
# folder with its own example data and raster module, and its desktop files validate.
#
# usage: install_tests.sh CMAKE BUILD_DIR SOURCE_DIR
set -u
CMAKE="$1"
BUILD="$2"
SOURCE="$3"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/karvelo-install.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
. "$(dirname "$0")/checks.sh"

if ! "$CMAKE" --install "$BUILD" --prefix "$tmp/staged" >"$tmp/install.log" 2>&1; then
  echo "FAILED: cmake --install"; sed 's/^/  /' "$tmp/install.log"; exit 1
fi
# Nothing may point back at the prefix it was installed to, or at the build: the copy moves.
mv "$tmp/staged" "$tmp/prefix"
prefix="$tmp/prefix"
app=org.karvelo.Karvelo

for f in bin/karvelo bin/karvelo-batch lib/karvelo/libkarvelo-gis.so share/karvelo/examples/meuse/obs.asc \
  share/applications/$app.desktop share/metainfo/$app.metainfo.xml share/icons/hicolor/scalable/apps/$app.svg \
  share/icons/hicolor/48x48/apps/$app.png share/man/man1/karvelo.1.gz share/man/man1/karvelo-batch.1.gz \
  share/bash-completion/completions/karvelo-batch share/doc/karvelo/README.md share/doc/karvelo/copyright \
  share/qgis/python/plugins/karvelo/metadata.txt share/qgis/python/plugins/karvelo/__init__.py \
  share/qgis/python/plugins/karvelo/runner.py share/qgis/python/plugins/karvelo/icon.svg; do
  check "installed: $f" test -s "$prefix/$f"
done
for page in karvelo karvelo-batch; do
  check "man page of $page names its options" bash -c "gzip -dc '$prefix/share/man/man1/$page.1.gz' | grep -q -- 'version'"
done
check "the completion is valid bash" bash -n "$prefix/share/bash-completion/completions/karvelo-batch"
for f in "$prefix"/bin/* "$prefix"/lib/karvelo/*; do
  check "no run path in $(basename "$f")" bash -c "! readelf -d '$f' | grep -q -E 'RPATH|RUNPATH'"
done

# Both programs tell the same version; the window's needs no display for it.
batch_version=$(env -u KARVELO_RASTER_MODULE_DIR "$prefix/bin/karvelo-batch" --version)
check "karvelo-batch --version" test "${batch_version%% *}" = karvelo-batch
window_version=$(QT_QPA_PLATFORM=offscreen "$prefix/bin/karvelo" --version)
check "karvelo --version matches karvelo-batch's" test "$window_version" = "karvelo ${batch_version#karvelo-batch }"

# The demo from an empty folder outside the source tree, with the seed of the golden test: the
# same map as the build's, read from the installed examples.
mkdir -p "$tmp/empty"
(cd "$tmp/empty" && env -u KARVELO_RASTER_MODULE_DIR -u KARVELO_EXAMPLES \
  "$prefix/bin/karvelo-batch" --seed 20261209 --workdir "$tmp/demo" demo >"$tmp/demo.out" 2>"$tmp/demo.err")
status=$?
check "installed demo exits 0" test $status -eq 0
[ $status -eq 0 ] || sed 's/^/  demo: /' "$tmp/demo.err"
check "installed demo's map is the golden one" cmp -s "$tmp/demo/BayesP.asc" "$SOURCE/tests/golden/demo/BayesP.asc"
check "installed demo leaves the empty folder empty" test -z "$(ls -A "$tmp/empty")"
# A raster read through GDAL proves that the installed module is found beside the program.
(cd "$tmp/empty" && env -u KARVELO_RASTER_MODULE_DIR "$prefix/bin/karvelo-batch" --workdir "$tmp/import" \
  import "$prefix/share/karvelo/examples/meuse/soil.asc" -o "$tmp/import/soil.asc" >"$tmp/import.out" 2>&1)
check "installed import exits 0" test $? -eq 0
check "installed import wrote the grid" test -s "$tmp/import/soil.asc"

validates() {  # validates TOOL ARGS...: quiet when clean, the tool's report when not
  "$@" >"$tmp/validate.out" 2>&1 || { sed 's/^/  /' "$tmp/validate.out"; return 1; }
}
if command -v desktop-file-validate >/dev/null; then
  check "desktop entry validates" validates desktop-file-validate "$prefix/share/applications/$app.desktop"
fi
if command -v appstreamcli >/dev/null; then
  check "metainfo validates" validates appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml"
fi

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
