#!/usr/bin/env bash
# Fault injection on karvelo-batch: interrupts, a full disk, runs at the same time, user files where
# work files used to go, one grid twice, outputs named like inputs. After each: inputs unchanged,
# every result either as before or whole and new, no temporary or work file left, a clear message
# and the right exit status.
# usage: safe_runs_tests.sh KARVELO-BATCH SCRATCH-FOLDER
set -u
BATCH="$(realpath "$1")"
SCRATCH="$2"
[ -x "$BATCH" ] || { echo "safe_runs_tests.sh: $1 is not a program"; exit 1; }
mkdir -p "$SCRATCH"
root=$(mktemp -d "$SCRATCH/safe-runs.XXXXXX")
trap 'rm -rf "$root"; jobs -p | xargs -r kill 2>/dev/null' EXIT
in="$root/in"
mkdir -p "$in"
. "$(dirname "$0")/checks.sh"
sums() { (cd "$1" && find . -type f ! -name '.karvelo.lock' -print0 | sort -z | xargs -0 -r md5sum); }
# No writer's temporary file and no work folder anywhere below the folder.
clean() { [ -z "$(find "$1" -name '.*.karvelo-tmp-*' -o -name karvelo-work)" ]; }

# ---- inputs: a 1200 x 1200 case large enough to interrupt, made the same way every time
awk -v n=1200 'BEGIN {
  printf "ncols %d\nnrows %d\nxllcorner 178000\nyllcorner 329000\ncellsize 10\nNODATA_value -9999\n", n, n > "'"$in"'/obs.asc";
  printf "ncols %d\nnrows %d\nxllcorner 178000\nyllcorner 329000\ncellsize 10\nNODATA_value -9999\n", n, n > "'"$in"'/dist.asc";
  printf "ncols %d\nnrows %d\nxllcorner 178000\nyllcorner 329000\ncellsize 10\nNODATA_value -9999\n", n, n > "'"$in"'/soil.asc";
  s = 12345;
  for (r = 0; r < n; r++) {
    lo = ""; ld = ""; ls = "";
    for (c = 0; c < n; c++) {
      s = (s * 1103515245 + 12345) % 2147483648;
      u = s / 2147483648;
      d = ((r * 7 + c * 13) % 1000) / 1000;
      o = (u < 0.004 + 0.01 * (d < 0.3)) ? 1 : (u < 0.03 ? 0 : -9999);
      lo = lo o " "; ld = ld d " "; ls = ls (1 + int((r + c) / 800)) " ";
    }
    print lo > "'"$in"'/obs.asc"; print ld > "'"$in"'/dist.asc"; print ls > "'"$in"'/soil.asc";
  }
}'
# Validation points on the grid: every 37th cell centre, its observation as the code.
awk 'NR > 6 && (NR % 37) == 0 { for (c = 5; c <= NF; c += 97) if ($c != -9999) print 178000 + (c - 0.5) * 10 ";" 329000 + (1206 - NR + 0.5) * 10 ";" $c }' \
  "$in/obs.asc" | sed '1i X;Y;Val' >"$in/points.txt"
echo "my notes on the soil map" >"$in/soil.txt"   # a user's file where class files used to go
inputs_before=$(sums "$in")

batch() { "$BATCH" --seed 7 "$@"; }
cfg="$in/case.txt"
batch --workdir "$root/cfg" config -o "$cfg" --obs "$in/obs.asc:1:0" --aux "$in/dist.asc:8" --aux "$in/soil.asc:1,2,3,4" \
  >/dev/null 2>"$root/cfg.err"
check "config of the case" test $? -eq 0
inputs_before=$(sums "$in")

# ---- reference results: an earlier version (prior 0.3) and the new one (prior 0.5), each whole
run_map() {  # run_map FOLDER PRIOR [MORE...]
  local dir="$1" prior="$2"; shift 2
  batch --workdir "$dir" map "$cfg" --prior manual --prior-p "$prior" "$@"
}
run_map "$root/old" 0.3 --no-uncertainty >/dev/null 2>&1 && run_map "$root/old" 0.3 --uncertainty >/dev/null 2>&1
check "earlier version made" test -f "$root/old/AVGBayesP.asc" -a -f "$root/old/BayesP.asc"
run_map "$root/new" 0.5 --no-uncertainty >/dev/null 2>&1 && run_map "$root/new" 0.5 --uncertainty >/dev/null 2>&1
check "new version made" test -f "$root/new/AVGBayesP.asc"
check "the two versions differ" test "$(md5sum <"$root/old/BayesP.asc")" != "$(md5sum <"$root/new/BayesP.asc")"
check "no work files after whole runs" clean "$root"

# Every result in DIR is byte for byte either the earlier version or the new one.
whole_or_old() {
  local dir="$1" f ok=0
  for f in BayesP.asc BayesP.bmp Bayeslog10P.bmp AVGBayesP.asc SDBayesP.asc BootstrapData.txt BayesAVG-P.bmp Bayeslog10AVG-P.bmp; do
    if ! cmp -s "$dir/$f" "$root/old/$f" && ! cmp -s "$dir/$f" "$root/new/$f"; then echo "  $dir/$f is neither the earlier nor the new version"; ok=1; fi
  done
  return $ok
}
fresh() { rm -rf "$1"; cp -r "$root/old" "$1"; rm -f "$1/.karvelo.lock"; }
# A run's results go in place together: after an interrupt every one of them is the earlier version.
all_old() {
  local dir="$1" f ok=0
  for f in BayesP.asc BayesP.bmp Bayeslog10P.bmp AVGBayesP.asc SDBayesP.asc BootstrapData.txt BayesAVG-P.bmp Bayeslog10AVG-P.bmp; do
    if ! cmp -s "$dir/$f" "$root/old/$f"; then echo "  $dir/$f changed although the run was interrupted"; ok=1; fi
  done
  return $ok
}

# ---- interrupts at several points of a run, by SIGINT and SIGTERM
stopped=0
for sig in INT TERM; do
  for delay in 0.1 0.4 1.0; do
    for mode in --no-uncertainty --uncertainty; do
      d="$root/int-$sig-$delay$mode"
      fresh "$d"
      # exec: the signal goes to karvelo-batch itself, not to a shell around it.
      (exec "$BATCH" --seed 7 --workdir "$d" map "$cfg" --prior manual --prior-p 0.5 "$mode" >/dev/null 2>"$d.err") &
      pid=$!
      # The delay counts from the run's start (its lock), not from the loading of the program.
      for _ in $(seq 200); do [ -e "$d/.karvelo.lock" ] && break; sleep 0.02; done
      sleep "$delay"
      kill -s "$sig" "$pid" 2>/dev/null
      wait "$pid"
      rc=$?
      name="SIG$sig after ${delay}s ($mode)"
      if [ $rc -eq 130 ]; then
        stopped=$((stopped + 1))
        check "$name: says interrupted" grep -qx "karvelo: interrupted" "$d.err"
        check "$name: the log stays as it was" cmp -s "$d/Karvelo.log" "$root/old/Karvelo.log"
        check "$name: every result stays as it was" all_old "$d"
      else
        check "$name: ran to its end (exit $rc)" test $rc -eq 0
        check "$name: a run that ended writes its log" test "$(grep -c 'End of Karvelo run' "$d/Karvelo.log")" -ge 1
        check "$name: no interrupt reported after the results are in place" test ! -s "$d.err" -o -z "$(grep -x 'karvelo: interrupted' "$d.err")"
      fi
      check "$name: results old or whole" whole_or_old "$d"
      check "$name: nothing left over" clean "$d"
    done
  done
done
check "some interrupts landed mid-run ($stopped)" test $stopped -ge 3

# ---- a full disk: the engine's writer fails after N bytes
for limit in 0 3000000 30000000; do
  for mode in --no-uncertainty --uncertainty; do
    d="$root/full-$limit$mode"
    fresh "$d"
    KARVELO_WRITE_LIMIT=$limit run_map "$d" 0.5 "$mode" >/dev/null 2>"$d.err"
    rc=$?
    name="disk full after $limit bytes ($mode)"
    if [ $rc -ne 0 ]; then
      check "$name: exit 1" test $rc -eq 1
      check "$name: names what could not be written" grep -q "cannot write" "$d.err"
    fi
    check "$name: results old or whole" whole_or_old "$d"
    check "$name: nothing left over" clean "$d"
  done
done

# ---- two runs at once on one folder: the second is refused at once
d="$root/twice"
fresh "$d"
(exec "$BATCH" --seed 7 --workdir "$d" map "$cfg" --prior manual --prior-p 0.5 --uncertainty >/dev/null 2>"$d.first.err") &
pid=$!
for _ in $(seq 100); do [ -d "$d/karvelo-work" ] && break; sleep 0.05; done
run_map "$d" 0.5 --uncertainty >/dev/null 2>"$d.second.err"
check "second run on one folder exits 1" test $? -eq 1
check "second run names the folder" grep -qx "karvelo: Another Karvelo run is using the folder $d." "$d.second.err"
wait "$pid"
check "first run on that folder completes" test $? -eq 0
check "first run's map is whole" cmp -s "$d/AVGBayesP.asc" "$root/new/AVGBayesP.asc"

# ---- two folders over the same grids at once: both exact
rm -rf "$root/a" "$root/b"
run_map "$root/a" 0.5 --uncertainty >/dev/null 2>&1 &
pa=$!
run_map "$root/b" 0.5 --uncertainty >/dev/null 2>&1
rb=$?
wait "$pa"
ra=$?
check "two folders: both succeed" test $ra -eq 0 -a $rb -eq 0
check "two folders: first exact" cmp -s "$root/a/AVGBayesP.asc" "$root/new/AVGBayesP.asc"
check "two folders: second exact" cmp -s "$root/b/AVGBayesP.asc" "$root/new/AVGBayesP.asc"

# ---- declustered priors and random absences
batch --workdir "$root/decl" map "$cfg" --prior decluster --no-uncertainty >/dev/null 2>"$root/decl.err"
check "declustered map" test $? -eq 0 -a -f "$root/decl/Declus.asc"
batch --workdir "$root/pres" config -o "$root/pres-only.txt" --obs "$in/obs.asc:1:-" --aux "$in/dist.asc:8" >/dev/null 2>&1
batch --workdir "$root/pres" map "$root/pres-only.txt" --prior-p 0.1 --no-uncertainty >/dev/null 2>"$root/pres.err"
check "random absences map" test $? -eq 0 -a -f "$root/pres/BayesP.asc"
(exec "$BATCH" --seed 7 --workdir "$root/pres" map "$root/pres-only.txt" --prior-p 0.1 --uncertainty >/dev/null 2>"$root/pres.err") &
pid=$!
sleep 0.4
kill -INT "$pid" 2>/dev/null
wait "$pid"
check "random absences interrupted: stopped or done" test $? -eq 130 -o $? -eq 0
check "random absences: nothing left over" clean "$root/pres"

# ---- validation: interrupted, on a full disk, and whole
v="$root/val"
mkdir -p "$v"
batch --workdir "$v" validate "$in/points.txt" "$root/old/BayesP.asc" >"$v.out" 2>&1
check "validation runs" test $? -eq 0
cp "$v/ValDataComplete.txt" "$root/val-before.txt"
KARVELO_WRITE_LIMIT=100 batch --workdir "$v" validate "$in/points.txt" "$root/new/BayesP.asc" >/dev/null 2>"$v.err"
check "validation on a full disk exits 1" test $? -eq 1
check "validation on a full disk keeps the records" cmp -s "$v/ValDataComplete.txt" "$root/val-before.txt"
check "validation: nothing left over" clean "$v"

# ---- user files and grids where class files and masks used to go
check "the user's soil.txt is untouched" test "$(cat "$in/soil.txt")" = "my notes on the soil map"
cp "$in/dist.asc" "$root/grid.txt"
batch --workdir "$root/txt" config -o "$root/txt.cfg" --obs "$in/obs.asc:1:0" --aux "$root/grid.txt:4" >/dev/null 2>&1
batch --workdir "$root/txt" map "$root/txt.cfg" --no-uncertainty >/dev/null 2>"$root/txt.err"
check "a grid named .txt maps" test $? -eq 0
check "a grid named .txt is unchanged" cmp -s "$root/grid.txt" "$in/dist.asc"
check "a grid named .txt gives a map with values" test "$(sed -n 7p "$root/txt/BayesP.asc" | tr ' ' '\n' | grep -c '^0\.')" -gt 0

# ---- one grid twice, with other classes: each entry counts its own cells
batch --workdir "$root/two" config -o "$root/two.cfg" --obs "$in/obs.asc:1:0" --aux "$in/dist.asc:8" \
  --aux "$in/dist.asc:0,0.5,1" >/dev/null 2>&1
batch --workdir "$root/two" audit "$root/two.cfg" >"$root/two.out" 2>&1
check "audit of one grid twice" test $? -eq 0
truth=$(awk 'NR > 6 { for (c = 1; c <= NF; c++) if ($c >= 0 && $c < 0.5) n++ } END { print n }' "$in/dist.asc")
counted=$(awk '$1 == "dist" && $2 == 1 { row++; if (row == 2) print $3 }' "$root/two.out")
check "second entry's class 1 holds its own cells ($counted = $truth)" test "$counted" = "$truth"

# ---- outputs named like inputs
o="$root/same"
mkdir -p "$o"
cp "$in/obs.asc" "$o/obs.asc"
before=$(md5sum <"$o/obs.asc")
(cd "$o" && batch config -o ./obs.asc --obs obs.asc:1:0 --aux "$in/dist.asc:4" >/dev/null 2>"$o/err")
check "config -o over its input grid exits 1" test $? -eq 1
check "config -o over its input names it" grep -q "obs.asc is an input of this run; choose another name or folder." "$o/err"
check "config -o left the grid as it was" test "$(md5sum <"$o/obs.asc")" = "$before"
cp "$in/dist.asc" "$o/BayesP.asc"
batch --workdir "$o" config -o "$o/c.txt" --obs "$in/obs.asc:1:0" --aux "$o/BayesP.asc:4" >/dev/null 2>&1
before=$(md5sum <"$o/BayesP.asc")
batch --workdir "$o" map "$o/c.txt" --no-uncertainty >/dev/null 2>"$o/err"
check "a map over its input grid exits 1" test $? -eq 1
check "a map over its input grid names it" grep -q "BayesP.asc is an input of this run" "$o/err"
check "a map over its input grid left it" test "$(md5sum <"$o/BayesP.asc")" = "$before"
cp "$in/points.txt" "$o/ValDataComplete.txt"
batch --workdir "$o" validate "$o/ValDataComplete.txt" "$root/old/BayesP.asc" >/dev/null 2>"$o/err"
check "validate over its points file exits 1" test $? -eq 1
check "validate over its points file left it" cmp -s "$o/ValDataComplete.txt" "$in/points.txt"
mkdir -p "$root/mine"
echo "mine" >"$root/mine/report.doc"
batch --workdir "$root/mine" demo >/dev/null 2>"$root/mine.err"
check "demo refuses a folder with other files" test $? -eq 1
check "demo left the user's file" test "$(cat "$root/mine/report.doc")" = "mine"
check "demo wrote nothing there" test "$(ls -A "$root/mine")" = "report.doc"

# A grid whose projection file is named like a result's: the map must not replace or remove it.
cp "$in/dist.asc" "$o/BayesP.grd"
echo 'PROJCS["mine"]' >"$o/BayesP.prj"
batch --workdir "$o" config -o "$o/p.txt" --obs "$in/obs.asc:1:0" --aux "$o/BayesP.grd:4" >/dev/null 2>&1
batch --workdir "$o" map "$o/p.txt" --no-uncertainty >/dev/null 2>"$o/err"
check "a map over a grid's projection exits 1" test $? -eq 1
check "a map over a grid's projection names it" grep -q "BayesP.prj is an input of this run" "$o/err"
check "a map over a grid's projection left it" grep -qx 'PROJCS\["mine"\]' "$o/BayesP.prj"
# An ASCII grid named like a GeoTIFF the map would write.
cp "$in/dist.asc" "$o/AVGBayesP.tif"
batch --workdir "$o" config -o "$o/t.txt" --obs "$in/obs.asc:1:0" --aux "$o/AVGBayesP.tif:4" >/dev/null 2>&1
batch --workdir "$o" map "$o/t.txt" --geotiff >/dev/null 2>"$o/err"
check "map --geotiff over an input named like its GeoTIFF exits 1" test $? -eq 1
check "map --geotiff left that input" cmp -s "$o/AVGBayesP.tif" "$in/dist.asc"

# ---- the demo knows its own files from a user's
dm="$root/demo"
batch --workdir "$dm" demo >/dev/null 2>"$dm.err"
check "demo in a new folder" test $? -eq 0
check "demo records what it wrote" test -s "$dm/.karvelo-demo"
touch "$dm/.BayesP.asc.karvelo-tmp-999999999-0"   # left by a run that was killed
batch --workdir "$dm" demo >/dev/null 2>"$dm.err"
check "demo again over its own files and a killed run's leftover" test $? -eq 0
check "the killed run's leftover is gone" test ! -e "$dm/.BayesP.asc.karvelo-tmp-999999999-0"
for own in obs.asc README.txt BayesP.asc; do
  cp -r "$dm" "$dm-$own"
  echo "my own $own" >"$dm-$own/$own"
  batch --workdir "$dm-$own" demo >/dev/null 2>"$dm-$own.err"
  check "demo refuses a user's $own" test $? -eq 1
  check "demo names the user's $own" grep -q "holds $own, which is not a file of an earlier demo" "$dm-$own.err"
  check "demo left the user's $own" test "$(cat "$dm-$own/$own")" = "my own $own"
done

# ---- out of memory ends the step with a message, never an abort; a small grid needs little
(ulimit -v 450000; exec "$BATCH" --workdir "$root/small" info "$in/obs.asc") >/dev/null 2>"$root/small.err"
check "info of a grid in 450 MB of address space" test $? -eq 0
(ulimit -v 250000; exec "$BATCH" --workdir "$root/oom" map "$cfg" --prior manual --prior-p 0.5 --no-uncertainty) >/dev/null 2>"$root/oom.err"
rc=$?
check "a map without the memory it needs exits 1 ($rc)" test $rc -eq 1
check "a map without the memory it needs says so" grep -Eq "^karvelo: Not enough memory for map \(about [0-9]+ MB needed\)$" "$root/oom.err"
check "a map without the memory it needs leaves nothing" clean "$root/oom"

# ---- rasters: an align of a small file that declares 100000 x 100000 cells stays within bounded
# memory and stops on SIGINT within a second, the earlier output kept
if command -v gdal_create >/dev/null; then
  r="$root/raster"
  mkdir -p "$r"
  gdal_create -q -of GTiff -outsize 100000 100000 -bands 1 -ot Byte -co SPARSE_OK=YES -co TILED=YES \
    -a_ullr 0 100000 100000 0 "$r/big.tif"
  awk 'BEGIN { printf "ncols 100\nnrows 100\nxllcorner 0\nyllcorner 0\ncellsize 1000\nNODATA_value -9999\n";
               for (r = 0; r < 100; r++) { l = ""; for (c = 0; c < 100; c++) l = l "1 "; print l } }' >"$r/ref.asc"
  echo "earlier grid" >"$r/out.asc"
  (exec "$BATCH" --workdir "$r" align --like "$r/ref.asc" "$r/big.tif" -o "$r/out.asc" >/dev/null 2>"$r/align.err") &
  pid=$!
  sleep 3
  rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
  check "align of a vast raster in bounded memory (${rss:-?} kB)" test "${rss:-0}" -gt 0 -a "${rss:-0}" -lt 800000
  kill -INT "$pid" 2>/dev/null
  for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
  check "align stops within a second of SIGINT" test "$(kill -0 "$pid" 2>/dev/null && echo running)" = ""
  wait "$pid"
  check "interrupted align exits 130" test $? -eq 130
  check "interrupted align keeps the earlier grid" test "$(cat "$r/out.asc")" = "earlier grid"
  check "interrupted align leaves nothing" clean "$r"
fi

check "no input changed" test "$(sums "$in")" = "$inputs_before"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
