#!/usr/bin/env bash
# Command-line tests of karvelo-batch: exit codes, printed lines, the log it leaves behind.
set -u
BATCH="$1"
DATA="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/checks.sh"

# --help goes to standard output and succeeds; a usage error exits 2.
"$BATCH" --help >"$work/help" 2>&1
check "help exits 0" test $? -eq 0
check "help names info" grep -q "info GRID" "$work/help"
check "help names import" grep -q "import RASTER \[-o OUT.asc\] \[--band N\]" "$work/help"
check "help names align" grep -q "align --like REF.asc RASTER -o OUT.asc \[--resampling near|bilinear|mode\]" "$work/help"
check "help names --geotiff" grep -q -- "--geotiff" "$work/help"
# GDAL is loaded only when a raster is imported, aligned or written: linked in, it costs every run 27 MB.
check "the batch tool does not link GDAL" test "$(ldd "$BATCH" | grep -c libgdal)" -eq 0
# An ASCII grid imported is the same grid: GDAL reads it like any raster, and the cells come back.
"$BATCH" --workdir "$work/import" import "$DATA/../../examples/meuse/soil.asc" -o "$work/import/soil.asc" >"$work/import.out" 2>&1
check "import exits 0" test $? -eq 0
check "import names what it wrote" grep -q "^wrote $work/import/soil.asc$" "$work/import.out"
check "import keeps the cells" cmp -s <(tail -n +7 "$DATA/../../examples/meuse/soil.asc" | tr -s ' \r\n' '\n\n\n' | grep .) \
  <(tail -n +7 "$work/import/soil.asc" | tr -s ' \r\n' '\n\n\n' | grep .)
check "import writes no .prj for a grid without one" test ! -e "$work/import/soil.prj"
"$BATCH" frobnicate >/dev/null 2>"$work/err"
check "unknown command exits 2" test $? -eq 2
"$BATCH" --seed abc info x >/dev/null 2>&1
check "bad seed exits 2" test $? -eq 2
"$BATCH" >/dev/null 2>&1
check "no command exits 2" test $? -eq 2

# info on a small grid, run in a work folder that does not exist yet.
cat >"$work/g.asc" <<'GRID'
ncols 3
nrows 2
xllcorner 178440.5
yllcorner 329600
cellsize 40
NODATA_value -9999
1 2 -9999
3 3 1
GRID
(cd "$work" && "$BATCH" --workdir "$work/out" info g.asc >"$work/info" 2>"$work/info.err")
check "info exits 0" test $? -eq 0
expected="ncols: 3
nrows: 2
xllcorner: 178440.5
yllcorner: 329600
cellsize: 40
NODATA_value: -9999
minvalue: 1
maxvalue: 3
unique: 1 2 3
list text: 3 items"
check "info prints header, range and list" test "$(cat "$work/info")" = "$expected"
check "log written in the work folder" test -f "$work/out/Karvelo.log"
check "log has five CR LF lines" test "$(grep -c $'\r$' "$work/out/Karvelo.log")" -eq 5
check "log saved message on stderr" grep -qx "karvelo: Logfile saved to Karvelo.log" "$work/info.err"

# A grid that is too large: the message, exit 1.
printf 'ncols 10001\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n' >"$work/big.asc"
"$BATCH" --workdir "$work/out" info "$work/big.asc" >/dev/null 2>"$work/big.err"
check "oversized grid exits 1" test $? -eq 1
check "oversized grid message" grep -qx "karvelo: Too many grid cells (10000x10000 cells allowed)." "$work/big.err"
check "oversized grid second line" grep -qx "karvelo: Clip a smaller area and restart." "$work/big.err"

# A missing file and letters among the cells: exit 1 with the file named.
"$BATCH" --workdir "$work/out" info "$work/none.asc" >/dev/null 2>"$work/none.err"
check "missing grid exits 1" test $? -eq 1
check "missing grid named" grep -q "none.asc" "$work/none.err"
printf 'ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n1 abc\n' >"$work/bad.asc"
"$BATCH" --workdir "$work/out" info "$work/bad.asc" >/dev/null 2>"$work/bad.err"
check "bad number exits 1" test $? -eq 1
check "bad number reported" grep -q "bad.asc: line 7: Invalid numeric input" "$work/bad.err"

# The numbers printed do not follow a comma-decimal locale.
LC_ALL=de_DE.UTF-8 "$BATCH" --workdir "$work/out" info "$work/g.asc" >"$work/info.de" 2>/dev/null
check "locale-free numbers" grep -qx "xllcorner: 178440.5" "$work/info.de"

# config: an observation grid and two classified grids make a configuration file.
cat >"$work/aux.asc" <<'GRID'
ncols 3
nrows 2
xllcorner 178440.5
yllcorner 329600
cellsize 40
NODATA_value -9999
0.3 5 -9999
10.7 2 8
GRID
"$BATCH" --workdir "$work/out" config -o "$work/cfg.txt" --obs "$work/g.asc:1:3" --aux "$work/aux.asc:4" \
  --aux "$work/aux.asc:0,1,5,20" >/dev/null 2>"$work/cfg.err"
check "config exits 0" test $? -eq 0
check "config file has 13 + 17 + 16 lines" test "$(wc -l <"$work/cfg.txt")" -eq 46
check "config bounds proposed" grep -q "^     7.20000     10.80700 lower and upper bound of class  4" "$work/cfg.txt"
check "config explicit bounds" grep -q "^     5.00000     20.20000 lower and upper bound of class  3" "$work/cfg.txt"
check "config indicators" grep -q "^    3.00  Value of the indicator for absence" "$work/cfg.txt"
check "config logged" grep -q "was positively checked and saved:" "$work/out/Karvelo.log"
"$BATCH" --workdir "$work/out" config -o "$work/x.txt" --obs "$work/g.asc:-:-" >/dev/null 2>&1
check "config without a role exits 2" test $? -eq 2
"$BATCH" --workdir "$work/out" config -o "$work/x.txt" --aux "$work/aux.asc:1" >/dev/null 2>&1
check "config with one class exits 2" test $? -eq 2
sed 's/cellsize 40/cellsize 20/' "$work/aux.asc" >"$work/aux20.asc"
"$BATCH" --workdir "$work/out" config -o "$work/y.txt" --obs "$work/g.asc:1" --aux "$work/aux20.asc" >/dev/null 2>"$work/y.err"
check "inconsistent grids exit 1" test $? -eq 1
check "inconsistent grids message" grep -qx "karvelo: Cell sizes in the various grids are different:" "$work/y.err"
check "inconsistent grids name grid and field" grep -qx "karvelo: aux20.asc: cellsize 20.00 differs from g.asc: 40.00" "$work/y.err"
check "nothing saved when inconsistent" test ! -e "$work/y.txt"
"$BATCH" --workdir "$work/out" config -o "$work/z.txt" --obs "$work/g.asc:1" >/dev/null 2>"$work/z.err"
check "config without a classified grid exits 1" test $? -eq 1
# Proposals fitted to the values 0.3 2 5 8 10.7 of aux.asc.
"$BATCH" --workdir "$work/out" config -o "$work/q.txt" --obs "$work/g.asc:1:3" --aux "$work/aux.asc:3:quantile" \
  --aux "$work/aux.asc:2:log" --aux "$work/aux.asc:2:breaks" >/dev/null 2>"$work/q.err"
check "config with proposals exits 0" test $? -eq 0
check "equal counts: ranks 1 and 3 of 5" grep -q "^     2.00000      8.00000 lower and upper bound of class  2" "$work/q.txt"
check "logarithmic steps: the geometric mean" grep -q "^     0.30000      1.79165 lower and upper bound of class  1" "$work/q.txt"
check "natural breaks: 0.3 2 5 | 8 10.7" grep -q "^     8.00000     10.80700 lower and upper bound of class  2" "$work/q.txt"
sed 's/^0.3 /0 /' "$work/aux.asc" >"$work/aux0.asc"
"$BATCH" --workdir "$work/out" config -o "$work/l.txt" --obs "$work/g.asc:1:3" --aux "$work/aux0.asc:4:log" >/dev/null 2>"$work/l.err"
check "logarithmic steps over a minimum of 0 exit 1" test $? -eq 1
check "logarithmic steps over 0: the message" grep -qx "karvelo: $work/aux0.asc: logarithmic steps need values above 0; the least value of the grid is 0." "$work/l.err"
check "logarithmic steps over 0: nothing saved" test ! -e "$work/l.txt"
"$BATCH" --workdir "$work/out" config -o "$work/x.txt" --obs "$work/g.asc:1" --aux "$work/aux.asc:4:jenks" >/dev/null 2>"$work/x.err"
check "an unknown proposal exits 2" test $? -eq 2
check "an unknown proposal is named" grep -q "the proposal is quantile, log or breaks, not 'jenks'" "$work/x.err"

# audit prints exactly its log lines; map with a seed is repeatable byte for byte.
ex="$DATA/../../examples/meuse"
mkdir -p "$work/m1" "$work/m2"
"$BATCH" --workdir "$work/out" config -o "$work/meuse.txt" --obs "$ex/obs.asc:1:0" --aux "$ex/dist.asc" \
  --aux "$ex/ffreq.asc:1,2,3,4" --aux "$ex/soil.asc:1,2,3,4" >/dev/null 2>"$work/meuse.err"
check "the example's configuration is saved" test -s "$work/meuse.txt"
[ -s "$work/meuse.txt" ] || cat "$work/meuse.err"
"$BATCH" --workdir "$work/m1" audit "$work/meuse.txt" >"$work/audit.out" 2>/dev/null
check "audit exits 0" test $? -eq 0
check "audit starts with the empty line" test "$(head -n 2 "$work/audit.out" | tail -n 1)" = "Grid counting results."
check "audit ends with its verdict" grep -q "^explain some of the variation in presence and/or absence.$" "$work/audit.out"
check "audit output has LF lines" test "$(grep -c $'\r' "$work/audit.out")" -eq 0
for d in m1 m2; do
  "$BATCH" --seed 11 --workdir "$work/$d" map "$work/meuse.txt" --prior frequency >/dev/null 2>&1
done
check "map writes the uncertainty grids" test -s "$work/m1/AVGBayesP.asc"
check "seeded map is repeatable" cmp -s "$work/m1/BootstrapData.txt" "$work/m2/BootstrapData.txt"
check "seeded map grids repeat" cmp -s "$work/m1/SDBayesP.asc" "$work/m2/SDBayesP.asc"
# The number of threads changes no byte of any output.
for t in 1 3; do
  mkdir -p "$work/t$t"
  "$BATCH" --threads "$t" --seed 11 --workdir "$work/t$t" map "$work/meuse.txt" --prior frequency >/dev/null 2>&1
done
for f in AVGBayesP.asc SDBayesP.asc BayesAVG-P.bmp Bayeslog10AVG-P.bmp BootstrapData.txt; do
  check "$f the same on 1 and 3 threads" cmp -s "$work/t1/$f" "$work/t3/$f"
  check "$f the same on 3 threads as by default" cmp -s "$work/m1/$f" "$work/t3/$f"
done
for t in 1 3; do
  "$BATCH" --threads "$t" --workdir "$work/t$t" map "$work/meuse.txt" --no-uncertainty --prior-p 0.4 >/dev/null 2>&1
done
for f in BayesP.asc BayesP.bmp Bayeslog10P.bmp; do
  check "plain map's $f the same on 1 and 3 threads" cmp -s "$work/t1/$f" "$work/t3/$f"
done
for t in 1 3; do
  mkdir -p "$work/d$t"
  "$BATCH" --threads "$t" --workdir "$work/d$t" map "$work/meuse.txt" --no-uncertainty --prior decluster >/dev/null 2>&1
done
for f in Declus.asc BayesP.asc; do
  check "declustered run's $f the same on 1 and 3 threads" cmp -s "$work/d1/$f" "$work/d3/$f"
done
check "declustered run writes Declus.asc" test -s "$work/d1/Declus.asc"
"$BATCH" --workdir "$work/out" --threads 0 info x >/dev/null 2>"$work/threads.err"
check "--threads 0 exits 2" test $? -eq 2
check "--threads 0 says what it takes" grep -q "^karvelo-batch: --threads takes a whole number from 1 to 256, not '0'$" "$work/threads.err"
check "work files removed at the end" test ! -e "$work/m1/InsideMap.bin"
check "class masks removed at the end" test ! -e "$ex/dist-1.bin"
"$BATCH" --workdir "$work/m1" map "$work/meuse.txt" --no-uncertainty --prior-p 0.4 >"$work/map.out" 2>&1
check "map prints the overall independence line" grep -qE "^Conditional independence: presences [0-9]+, expected [0-9]+\.[0-9]{2}, ratio [0-9]+\.[0-9]{2}$" "$work/map.out"
check "map prints a pairwise line per pair of grids" test "$(grep -c "^Pairwise independence of presences: " "$work/map.out")" -eq 3
check "map prints the calibrated independence line" grep -qE "^Conditional independence \(calibrated\): presences [0-9]+, expected [0-9]+\.[0-9]{2}, expected/presences [0-9]+\.[0-9]{2}, z -?[0-9]+\.[0-9]{2}, p [0-9]\.[0-9]{4}$" "$work/map.out"
check "map names the weights' table it wrote" grep -qxF "wrote $work/m1/Weights.csv" "$work/map.out"
check "weights' table: its header, then rows of 15 fields with '.' decimals" awk -F, 'NR == 1 { ok = $0 == "Grid,Class,Lower,Upper,Cells,Presences,Absences,W+,s(W+),W-,s(W-),C,s(C),Studentized C,Note\r" } NR > 1 { ok = ok && NF == 15 && $8 ~ /^-?[0-9]+\.[0-9][0-9][0-9][0-9]$/ } END { exit !(ok && NR > 2) }' "$work/m1/Weights.csv"
check "map's lines are the log's" grep -qF "$(grep "^Conditional independence" "$work/map.out")" "$work/m1/Karvelo.log"
check "plain map writes BayesP.asc" grep -q "^NODATA_value  -9999.00" "$work/m1/BayesP.asc"
check "plain map logs the manual prior" grep -q "Prior probability presence: 0.4 (manual input)" "$work/m1/Karvelo.log"
"$BATCH" --workdir "$work/out" map "$work/meuse.txt" --evidence loud >/dev/null 2>&1
check "bad evidence level exits 2" test $? -eq 2

# validate: the AUC line as drawn, and the full precision.
"$BATCH" --workdir "$work/m1" validate "$ex/validation.txt" "$work/m1/BayesP.asc" >"$work/val.out" 2>/dev/null
check "validate exits 0" test $? -eq 0
check "validate prints the AUC" grep -qE "^AUC = ( 0\.[0-9]{2}| 1\.00)$" "$work/val.out"
check "validate prints full precision" grep -qE "^AUC \(full precision\) = [01]\.[0-9]{6}$" "$work/val.out"
check "validate writes the complete records" test -s "$work/m1/ValDataComplete.txt"
check "validate saves the ROC picture" test -s "$work/m1/ROC of BayesP.asc.bmp"
check "validate prints DeLong's interval" grep -qE "^AUC 95% CI \(DeLong\) = \[[01]\.[0-9]{4}, [01]\.[0-9]{4}\]$" "$work/val.out"
check "validate prints the bootstrap interval" grep -qE "^AUC 95% CI \(bootstrap\) = \[[01]\.[0-9]{4}, [01]\.[0-9]{4}\]$" "$work/val.out"
check "validate prints the gain at 10, 20 and 50%" test "$(grep -cE "^Gain at (10|20|50)% of the area: finds [0-9]+\.[0-9]{2}%, gain (-?[0-9]\.[0-9]{4}|-)$" "$work/val.out")" -eq 3
check "validate writes the gain table" test "$(wc -l <"$work/m1/Gain of BayesP.asc.txt")" -eq 21
check "validate saves the gain picture" test -s "$work/m1/Gain of BayesP.asc.bmp"
"$BATCH" --workdir "$work/m1" --seed 5 validate "$ex/validation.txt" "$work/m1/BayesP.asc" >"$work/val5a.out" 2>/dev/null
"$BATCH" --workdir "$work/m1" --seed 5 validate "$ex/validation.txt" "$work/m1/BayesP.asc" >"$work/val5b.out" 2>/dev/null
check "a seeded validate repeats its bootstrap interval" cmp -s "$work/val5a.out" "$work/val5b.out"
"$BATCH" --workdir "$work/m1" validate "$ex/validation.txt" "$work/m1/BayesP.asc" --finds 7 >/dev/null 2>"$work/val.err"
check "validate without finds exits 1" test $? -eq 1
check "validate without finds says so" grep -q "no find" "$work/val.err"
# Beside the AUC: thresholds, the Boyce index, prediction-area, a binary map and a comparison.
"$BATCH" --workdir "$work/m1" validate "$ex/validation.txt" "$work/m1/BayesP.asc" --config "$work/meuse.txt" \
  --binary youden --compare "$work/m1/AVGBayesP.asc" >"$work/val2.out" 2>"$work/val2.err"
check "validate beyond the AUC exits 0" test $? -eq 0
check "validate prints five thresholds" test "$(grep -cE "^Threshold \((Youden's J|equal sensitivity and specificity|maximum kappa|minimum training presence|10th percentile training presence)\): [0-9]+\.[0-9]{6}, sensitivity [01]\.[0-9]{4}, " "$work/val2.out")" -eq 5
check "validate prints the Boyce index" grep -qE "^Boyce index \(continuous\): -?[01]\.[0-9]{3}$" "$work/val2.out"
check "validate prints the prediction-area intersection" grep -qE "^Prediction-area intersection: threshold [0-9]+\.[0-9]{6}, finds [01]\.[0-9]{4}, area [01]\.[0-9]{4}$" "$work/val2.out"
check "validate compares two maps" grep -qE "^Compared with AVGBayesP\.asc: AUC [01]\.[0-9]{4} vs [01]\.[0-9]{4}, difference -?[01]\.[0-9]{4}, 95% CI \[-?[0-9.]+, -?[0-9.]+\], p [01]\.[0-9]{4}$" "$work/val2.out"
check "validate writes the Boyce table and picture" test -s "$work/m1/Boyce of BayesP.asc.txt" -a -s "$work/m1/Boyce of BayesP.asc.bmp"
check "validate writes the prediction-area picture" test -s "$work/m1/Prediction-area of BayesP.asc.bmp"
check "the binary map keeps the map's header" cmp -s <(head -n 6 "$work/m1/BayesP.asc") <(head -n 6 "$work/m1/Binary of BayesP.asc")
check "the binary map holds 1, 0 and no-data only" test -z "$(tail -n +7 "$work/m1/Binary of BayesP.asc" | tr -s ' \r\n' '\n' | grep -vxE '0|1|-9999(\.0+)?' | grep . | head -n 1)"
check "the binary map has its picture" test -s "$work/m1/Binary of BayesP.bmp"
# Presence-only points: no AUC, but the Boyce index; non-finds only are refused.
awk -F';' 'NR == 1 || $3 == 1' "$ex/validation.txt" >"$work/finds-only.txt"
awk -F';' 'NR == 1 || $3 == 0' "$ex/validation.txt" >"$work/nonfinds-only.txt"
"$BATCH" --workdir "$work/m1" validate "$work/finds-only.txt" "$work/m1/BayesP.asc" >"$work/po.out" 2>"$work/po.err"
check "presence-only validate exits 0" test $? -eq 0
check "presence-only validate prints no AUC" test "$(grep -c "^AUC" "$work/po.out")" -eq 0
check "presence-only validate says why" grep -q "hold finds only: the ROC and the AUC need non-finds" "$work/po.out"
check "presence-only validate prints the Boyce index" grep -qE "^Boyce index \(continuous\): -?[01]\.[0-9]{3}$" "$work/po.out"
"$BATCH" --workdir "$work/m1" validate "$work/nonfinds-only.txt" "$work/m1/BayesP.asc" --finds 1 >/dev/null 2>"$work/nf.err"
check "non-finds only exit 1" test $? -eq 1
check "non-finds only say there is no find" grep -q "The validation records hold no find" "$work/nf.err"
"$BATCH" --workdir "$work/m1" validate "$ex/validation.txt" "$work/m1/BayesP.asc" --binary lots >/dev/null 2>"$work/bin.err"
check "a bad --binary exits 2" test $? -eq 2
"$BATCH" --workdir "$work/m1" validate "$ex/validation.txt" "$work/m1/BayesP.asc" --compare "$work/meuse.txt" >/dev/null 2>"$work/cmp.err"
check "a comparison map that is no grid exits 1" test $? -eq 1
"$BATCH" --workdir "$work/m1" validate "$ex/validation.txt" "$work/m1/BayesP.asc" --binary youden --compare "$work/m1/Binary of BayesP.asc" >/dev/null 2>"$work/cmp2.err"
check "a comparison map that the binary map would replace is refused" grep -q "^karvelo: $work/m1/Binary of BayesP.asc is an input of this run" "$work/cmp2.err"
check "a comparison map that is no grid is named" grep -q "^karvelo: $work/meuse.txt: line 1: the header has no" "$work/cmp.err"

# A grid in degrees (cells of 3 arc seconds) through configuration, map and validation: the corner and
# cell size survive every file, so the points still land on their cells.
deg="$work/deg"
mkdir -p "$deg"
hdr='ncols 6\nnrows 4\nxllcorner 5.712345678\nyllcorner 50.98765\ncellsize 0.000833333\nNODATA_value -9999\n'
printf "$hdr"'1 1 0 0 0 -9999\n1 1 0 0 0 0\n1 0 0 0 1 0\n1 1 0 0 0 0\n' >"$deg/obs.asc"
printf "$hdr"'1 1 2 2 2 2\n1 1 2 2 2 2\n1 1 2 2 2 2\n1 1 2 2 2 2\n' >"$deg/aux.asc"
"$BATCH" --seed 3 --workdir "$deg" config -o "$deg/c.txt" --obs "$deg/obs.asc:1:0" --aux "$deg/aux.asc:1,2,3" >/dev/null 2>"$deg/err"
check "degrees: config" test $? -eq 0
check "degrees: the configuration keeps the cell size" grep -q "0.000833333" "$deg/c.txt"
"$BATCH" --seed 3 --workdir "$deg" map "$deg/c.txt" --no-uncertainty --prior-p 0.4 >/dev/null 2>>"$deg/err"
check "degrees: map" test $? -eq 0
check "degrees: the map keeps the corner" grep -q "^xllcorner *5.712345678" "$deg/BayesP.asc"
check "degrees: the map keeps the cell size" grep -q "^cellsize *0.000833333" "$deg/BayesP.asc"
{ echo "X;Y;Val"
  awk 'BEGIN { for (r = 0; r < 4; r++) for (c = 0; c < 6; c++) {
    x = 5.712345678 + (c + 0.5) * 0.000833333; y = 50.98765 + (4 - r - 0.5) * 0.000833333;
    printf "%.9f;%.9f;%d\n", x, y, (c < 2) } }'; } >"$deg/points.txt"
"$BATCH" --workdir "$deg" validate "$deg/points.txt" "$deg/BayesP.asc" >"$deg/val.out" 2>>"$deg/err"
check "degrees: validation" test $? -eq 0
check "degrees: every point found its cell" test "$(grep -c . "$deg/ValDataComplete.txt")" -eq 24
check "degrees: the map ranks the points" grep -q "^AUC =  1.00" "$deg/val.out"

# Presences only, a prior of 0.01 and four grids alike: every cell outside the presences' class falls
# below what 8 decimals hold, and the validation records there tie at 0.
low="$work/low"
mkdir -p "$low"
hdr='ncols 20\nnrows 20\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n'
awk 'BEGIN { for (r = 0; r < 20; r++) { for (c = 0; c < 20; c++) printf "%s ", ((r == 0 && c == 0) || (r == 19 && c == 19)) ? "1" : "-9999"; print "" } }' \
  | { printf "$hdr"; cat; } >"$low/obs.asc"
awk 'BEGIN { for (r = 0; r < 20; r++) { for (c = 0; c < 20; c++) printf "%s ", ((r == 0 && c == 0) || (r == 19 && c == 19)) ? "1" : "2"; print "" } }' \
  | { printf "$hdr"; cat; } >"$low/aux.asc"
for g in a b c d; do cp "$low/aux.asc" "$low/$g.asc"; done
"$BATCH" --workdir "$low" config -o "$low/c.txt" --obs "$low/obs.asc:1:-" --aux "$low/a.asc:1,2,3" --aux "$low/b.asc:1,2,3" \
  --aux "$low/c.asc:1,2,3" --aux "$low/d.asc:1,2,3" >/dev/null 2>"$low/err"
check "low probabilities: config" test $? -eq 0
"$BATCH" --seed 5 --workdir "$low" map "$low/c.txt" --no-uncertainty --prior-p 0.01 >/dev/null 2>"$low/map.err"
check "low probabilities: map" test $? -eq 0
check "low probabilities: map notes the cells written as 0 on standard error" grep -qx \
  "karvelo: 398 cells of BayesP.asc (99.5%) hold probabilities below 0.000000005 and are written as 0.00000000, so they cannot be told apart. A larger prior or fewer grids keeps them apart." \
  "$low/map.err"
check "low probabilities: the note is logged" grep -q "^398 cells of BayesP.asc (99.5%)" "$low/Karvelo.log"
{ echo "X;Y;Val"; echo "0.5;19.5;1"; echo "19.5;0.5;1"
  for i in $(seq 1 18); do echo "$i.5;10.5;0"; done; } >"$low/points.txt"
"$BATCH" --workdir "$low" validate "$low/points.txt" "$low/BayesP.asc" --finds 1 >"$low/val.out" 2>"$low/val.err"
check "low probabilities: validation" test $? -eq 0
check "low probabilities: the tie at the lowest value is noted" grep -qx \
  "Note: 18 records share the lowest map value; their order is unknown to the ROC." "$low/val.out"
# Equal counts over a grid that is 2 nearly everywhere leave 2 classes, and the log says so.
"$BATCH" --workdir "$low" config -o "$low/q.txt" --obs "$low/obs.asc:1:-" --aux "$low/a.asc:8:quantile" >/dev/null 2>"$low/err"
check "equal counts over ties: config" test $? -eq 0
check "equal counts over ties: 2 classes" grep -q "^  2       Number of classes" "$low/q.txt"
check "equal counts over ties: logged" grep -q "a.asc: Equal counts (quantiles) gave 2 classes of the 8 asked for" "$low/Karvelo.log"

echo "$passed passed, $failed failed"
test "$failed" -eq 0
