#!/usr/bin/env bash
# Command-line tests of cross-validation and the grids' importance on the example data.
set -u
BATCH="$1"
ex="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/checks.sh"

"$BATCH" --workdir "$work/c" config -o "$work/meuse.txt" --obs "$ex/obs.asc:1:0" --aux "$ex/dist.asc" \
  --aux "$ex/ffreq.asc:1,2,3,4" --aux "$ex/soil.asc:1,2,3,4" >/dev/null 2>&1
check "the configuration is saved" test -s "$work/meuse.txt"

# A seeded cross-validation repeats byte for byte; its line has the documented shape; every one of
# the 45 presences and 58 absences is held out in exactly one fold.
for d in r1 r2; do
  "$BATCH" --seed 5 --workdir "$work/$d" cv "$work/meuse.txt" --prior frequency >"$work/$d.out" 2>"$work/$d.err"
  check "cv exits 0 ($d)" test $? -eq 0
done
check "cv repeats: output" cmp -s <(grep -v "^wrote " "$work/r1.out") <(grep -v "^wrote " "$work/r2.out")
check "cv repeats: table" cmp -s "$work/r1/Cross-validation.csv" "$work/r2/Cross-validation.csv"
check "cv repeats: picture" cmp -s "$work/r1/Folds.bmp" "$work/r2/Folds.bmp"
check "cv line" grep -Eq '^Cross-validation AUC \(5 folds, random cells\): mean [01]\.[0-9]{3}, sd [01]\.[0-9]{3}, folds( [01]\.[0-9]{2}){5}$' "$work/r1.out"
check "cv logged" grep -q '^Cross-validation AUC (5 folds, random cells)' "$work/r1/Karvelo.log"
check "cv folds hold every observation once" test "$(tail -n +2 "$work/r1/Cross-validation.csv" | tr -d '\r' |
  awk -F, '{p += $2; a += $3; n++} END {print n, p, a}')" = "5 45 58"
# The mean is the mean of the folds' AUCs as the table holds them.
mean=$(tail -n +2 "$work/r1/Cross-validation.csv" | tr -d '\r' | awk -F, '{s += $4; n++} END {printf "%.3f", s / n}')
check "cv mean over folds" grep -q "mean $mean," "$work/r1.out"
"$BATCH" --seed 6 --workdir "$work/r3" cv "$work/meuse.txt" --prior frequency >"$work/r3.out" 2>/dev/null
check "another seed deals other folds" test "$(cmp -s "$work/r1/Cross-validation.csv" "$work/r3/Cross-validation.csv"; echo $?)" -ne 0

# Blocks: the line names them; presence-only data with an entered prior is scored too.
"$BATCH" --seed 5 --workdir "$work/b" cv "$work/meuse.txt" --split blocks --block-size 20 --folds 4 >"$work/b.out" 2>&1
check "cv blocks exits 0" test $? -eq 0
check "cv blocks line" grep -Eq '^Cross-validation AUC \(4 folds, blocks of 20 cells\): mean ' "$work/b.out"
"$BATCH" --workdir "$work/c" config -o "$work/po.txt" --obs "$ex/obs.asc:1:-" --aux "$ex/dist.asc" \
  --aux "$ex/ffreq.asc:1,2,3,4" >/dev/null 2>&1
"$BATCH" --seed 5 --workdir "$work/po" cv "$work/po.txt" --prior-p 0.3 >"$work/po.out" 2>&1
check "cv presence-only exits 0" test $? -eq 0
check "cv presence-only scores every fold" grep -Eq 'folds( [01]\.[0-9]{2}){5}$' "$work/po.out"
"$BATCH" --workdir "$work/po2" cv "$work/po.txt" --prior frequency >/dev/null 2>&1
check "cv frequency priors without absences exit 2" test $? -eq 2

# Usage errors exit 2; an output named like an input is refused with exit 1, nothing written.
"$BATCH" --workdir "$work/u" cv "$work/meuse.txt" --folds 1 >/dev/null 2>&1
check "one fold exits 2" test $? -eq 2
"$BATCH" --workdir "$work/u" cv "$work/meuse.txt" --block-size 5 >/dev/null 2>&1
check "a block size without blocks exits 2" test $? -eq 2
mkdir -p "$work/in"
cp "$work/meuse.txt" "$work/in/Cross-validation.csv"
"$BATCH" --workdir "$work/in" cv "$work/in/Cross-validation.csv" >/dev/null 2>"$work/in.err"
check "cv refuses to replace its configuration" test $? -eq 1
check "cv names the input" grep -q "Cross-validation.csv is an input of this run" "$work/in.err"
check "cv wrote no picture" test ! -e "$work/in/Folds.bmp"

# Importance on the points: a grid of random numbers carries no information, so leaving it out
# loses next to nothing; distance to the river, the strong grid, matters more than it.
awk 'BEGIN {srand(7)} NR <= 6 {print; next} {for (i = 1; i <= NF; i++) printf "%s%s", ($i == -9999 ? -9999 : sprintf("%.4f", rand())), (i < NF ? " " : "\n")}' \
  "$ex/dist.asc" >"$work/noise.asc"
"$BATCH" --workdir "$work/c" config -o "$work/noise.txt" --obs "$ex/obs.asc:1:0" --aux "$ex/dist.asc" \
  --aux "$ex/ffreq.asc:1,2,3,4" --aux "$work/noise.asc:4:quantile" >/dev/null 2>&1
"$BATCH" --seed 5 --workdir "$work/i" importance "$work/noise.txt" "$ex/validation.txt" --prior frequency >"$work/i.out" 2>&1
check "importance exits 0" test $? -eq 0
check "importance table" grep -q "^Grid .*AUC without.*AUC alone.*Loss" "$work/i.out"
loss() { tr -d '\r' <"$1" | awk -F, -v g="$2" '$1 == g {print ($5 < 0 ? -$5 : $5)}'; }
check "importance lists the grids" test "$(tail -n +2 "$work/i/Importance.csv" | cut -d, -f1 | tr '\n' ' ')" = "dist.asc ffreq.asc noise.asc "
check "noise carries no importance" awk -v l="$(loss "$work/i/Importance.csv" noise.asc)" 'BEGIN {exit !(l != "" && l < 0.03)}'
check "distance matters more than noise" awk -v d="$(loss "$work/i/Importance.csv" dist.asc)" -v n="$(loss "$work/i/Importance.csv" noise.asc)" \
  'BEGIN {exit !(d > n + 0.01)}'
check "importance picture" test -s "$work/i/Importance.bmp"
# Without points the cross-validation scores the maps, repeatably.
for d in k1 k2; do
  "$BATCH" --seed 5 --workdir "$work/$d" importance "$work/meuse.txt" --prior frequency --folds 3 >"$work/$d.out" 2>&1
done
check "importance by cv" grep -q "scored on 3 folds, random cells, mean AUC" "$work/k1.out"
check "importance by cv repeats" cmp -s "$work/k1/Importance.csv" "$work/k2/Importance.csv"
"$BATCH" --workdir "$work/u" importance "$work/meuse.txt" --x 2 >/dev/null 2>&1
check "columns without points exit 2" test $? -eq 2

echo "$passed passed, $failed failed"
test "$failed" -eq 0
