#!/usr/bin/env bash
# Bad input fed to karvelo-batch: each kind must end in a clear message, the right exit status, no hang
# and no changed file outside the work folder.
# usage: bad_input_tests.sh KARVELO-BATCH SCRATCH-FOLDER
set -u
BATCH="$(realpath "$1")"   # the runs start in another folder
SCRATCH="$2"
[ -x "$BATCH" ] || { echo "bad_input_tests.sh: $1 is not a program"; exit 1; }
mkdir -p "$SCRATCH"
root=$(mktemp -d "$SCRATCH/bad-input.XXXXXX")
trap 'rm -rf "$root"' EXIT
in="$root/in"       # the inputs: nothing here may change
here="$root/here"   # the current folder of every run: nothing may land here either
work="$root/work"   # the work folder of every run
logs="$root/logs"   # what each run printed
mkdir -p "$in" "$here" "$logs"
passed=0
failed=0

fail() { failed=$((failed + 1)); echo "FAILED: $1"; }

# The state of everything outside the work folder and the logs: names and contents.
snapshot() { (cd "$root" && find . \( -path ./work -o -path ./logs \) -prune -o -print0 | sort -z | xargs -0 -r md5sum 2>&1); }

# expect NAME STATUS TEXT... -- ARGS...: runs karvelo-batch ARGS in the work folder and checks the
# exit status, that every TEXT stands in one "karvelo:" line of standard error (in that order),
# that it ends within 60 seconds and that no input changed.
expect() {
  local name="$1" status="$2"; shift 2
  local texts=()
  while [ "$1" != "--" ]; do texts+=("$1"); shift; done
  shift
  local before after rc ok=1
  before=$(snapshot)
  rm -rf "$work"
  (cd "$here" && timeout 60 "$BATCH" --workdir "$work" "$@" >"$logs/out" 2>"$logs/err")
  rc=$?
  after=$(snapshot)
  if [ $rc -eq 124 ]; then fail "$name: no answer within 60 s"; return; fi
  if [ $rc -ne "$status" ]; then ok=0; echo "  $name: exit status $rc, expected $status"; fi
  if grep -q -E "Sanitizer|runtime error:" "$logs/err"; then ok=0; echo "  $name: sanitizer report"; fi
  local line pattern=""
  for t in "${texts[@]}"; do
    line=$(grep -a -F -- "$t" "$logs/err" | head -n 1)  # -a: a message may quote bytes of a binary file
    case "$line" in "karvelo: "*) ;; *) ok=0; echo "  $name: no message line with: $t" ;; esac
  done
  if [ "$before" != "$after" ]; then ok=0; echo "  $name: a file outside the work folder changed"; fi
  if [ $ok -eq 1 ]; then passed=$((passed + 1)); else fail "$name"; sed 's/^/    | /' "$logs/err" | head -n 8; fi
}

header() {  # header NCOLS NROWS [CELLSIZE] [XLL]
  printf 'ncols %s\nnrows %s\nxllcorner %s\nyllcorner 0\ncellsize %s\nNODATA_value -9999\n' "$1" "$2" "${4:-0}" "${3:-1}"
}

# ---- grids
header 3 2 >"$in/obs.asc"; printf '1 0 1\n0 1 0\n' >>"$in/obs.asc"
header 3 2 >"$in/aux.asc"; printf '1 2 3\n4 5 6\n' >>"$in/aux.asc"
header 3 2 1 5 >"$in/shifted.asc"; printf '1 2 3\n4 5 6\n' >>"$in/shifted.asc"
header 3 2 2 >"$in/coarse.asc"; printf '1 2 3\n4 5 6\n' >>"$in/coarse.asc"
header 3 3 >"$in/cut-number.asc"; printf '1 2 3\n4 5 1.5e' >>"$in/cut-number.asc"
header 3 3 >"$in/fewer-cells.asc"; printf '1 2 3\n4 5' >>"$in/fewer-cells.asc"
header 3 2 >"$in/letters.asc"; printf '1 2 3\n4 b 6\n' >>"$in/letters.asc"
header 99999999999 2 >"$in/wide.asc"; printf '1 2\n' >>"$in/wide.asc"
header 2 99999999999 >"$in/tall.asc"; printf '1 2\n' >>"$in/tall.asc"
header -5 2 >"$in/negative.asc"; printf '1 2\n' >>"$in/negative.asc"
header 2 2 1e308 >"$in/cellsize308.asc"; printf '1 0\n0 1\n' >>"$in/cellsize308.asc"
header 2 2 1e999 >"$in/cellsize-inf.asc"; printf '1 0\n0 1\n' >>"$in/cellsize-inf.asc"
printf 'ncols 2\nnrows 2\nxllcorner 0\n' >"$in/three-lines.asc"
printf '\x00\x01\x02binary\xff\xfe\n' >"$in/binary.asc"

expect "missing grid" 1 "$in/missing.asc" "cannot open the file" -- info "$in/missing.asc"
expect "grid is a folder" 1 "$in" -- info "$in"
expect "grid cut inside a number" 1 "$in/cut-number.asc" "line 8: Invalid numeric input" -- info "$in/cut-number.asc"
expect "letters in a grid" 1 "$in/letters.asc" "line 8: Invalid numeric input (found \"b\")" -- info "$in/letters.asc"
expect "ncols 99999999999" 1 "Too many grid cells (10000x10000 cells allowed)." "Clip a smaller area" -- info "$in/wide.asc"
expect "nrows 99999999999" 1 "Too many grid cells" -- info "$in/tall.asc"
expect "config with a grid too large" 1 "Too many grid cells" -- config -o "$work/c.txt" --obs "$in/wide.asc:1:0" --aux "$in/aux.asc:2"
# A grid is read as its header says or refused with the file and the line: cells that are not
# there never read as 0, no field of a header stays from another grid, no grid without cells or
# with cells of no size is scanned.
expect "fewer cells than the header states" 1 "$in/fewer-cells.asc: the header announces 9 values, the file holds 5" -- \
  info "$in/fewer-cells.asc"
expect "config over a grid with fewer cells" 1 "$in/fewer-cells.asc: the header announces 9 values" -- \
  config -o "$work/c.txt" --obs "$in/obs.asc:1:0" --aux "$in/fewer-cells.asc:2"
[ ! -e "$work/c.txt" ] && passed=$((passed + 1)) || fail "no configuration is saved over a grid with fewer cells"
printf 'X;Y;Val\n1.5;0.5;1\n2.5;1.5;0\n' >"$in/grid-points.txt"
expect "map to validate with fewer cells" 1 "$in/fewer-cells.asc: the header announces 9 values" -- \
  validate "$in/grid-points.txt" "$in/fewer-cells.asc"
expect "negative ncols" 1 "$in/negative.asc: line 1: ncols must be at least 1 (found \"-5\")" -- info "$in/negative.asc"
header 2 0 >"$in/no-rows.asc"
expect "nrows 0" 1 "$in/no-rows.asc: line 2: nrows must be at least 1 (found \"0\")" -- info "$in/no-rows.asc"
expect "cellsize 1e308" 1 "$in/cellsize308.asc: line 5: cellsize 1e+308 puts the grid's far corner beyond the range of numbers" -- \
  info "$in/cellsize308.asc"
for size in 0 -1; do
  header 3 2 "$size" >"$in/cellsize$size.asc"; printf '1 0 1\n0 1 0\n' >>"$in/cellsize$size.asc"
  expect "cellsize $size" 1 "$in/cellsize$size.asc: line 5: cellsize must be above 0 (found \"$size\")" -- info "$in/cellsize$size.asc"
done
expect "header of three lines" 1 "$in/three-lines.asc: line 4: the header has no yllcorner, cellsize and NODATA_value (the file ends here)" -- \
  info "$in/three-lines.asc"
printf 'ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata -9999\n1 0 1\n0 1 0\n' >"$in/misspelt.asc"
expect "misspelt header key" 1 "$in/misspelt.asc: line 6: the header has no NODATA_value (found \"nodata -9999\")" -- info "$in/misspelt.asc"
expect "binary bytes as a grid" 1 "$in/binary.asc: line 1: the header has no ncols, nrows, xllcorner, yllcorner, cellsize and NODATA_value" -- \
  info "$in/binary.asc"
: >"$in/empty.asc"
# After a good grid, a file that is no grid must not take its header: config stops at it.
expect "config over an empty grid after a good one" 1 "$in/empty.asc: line 1: the header has no ncols" -- \
  config -o "$work/c.txt" --obs "$in/obs.asc:1:0" --aux "$in/empty.asc:2"
[ ! -e "$work/c.txt" ] && passed=$((passed + 1)) || fail "no configuration is saved over an empty grid"
sed 's/^yllcorner 0$/yllcorner abc/' "$in/obs.asc" >"$in/yll-text.asc"
expect "header value not a number" 1 "$in/yll-text.asc: line 4: yllcorner is not a number (found \"abc\")" -- info "$in/yll-text.asc"
sed 's/^ncols 3$/ncols 7.5/' "$in/obs.asc" >"$in/ncols-fraction.asc"
expect "ncols not whole" 1 "$in/ncols-fraction.asc: line 1: ncols is not a whole number (found \"7.5\")" -- info "$in/ncols-fraction.asc"
printf 'ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ndx 1\ndy 2\nNODATA_value -9999\n1 0 1\n0 1 0\n' >"$in/dxdy.asc"
expect "dx and dy differ" 1 "$in/dxdy.asc: line 6: dx 1 and dy 2 differ, but the cells of a grid must be square" -- info "$in/dxdy.asc"
printf 'ncols 3\nnrows 2\nxllcorner 0\nxllcenter 0.5\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n1 0 1\n0 1 0\n' >"$in/twice.asc"
expect "a header key twice" 1 "$in/twice.asc: line 4: the header gives the X position twice (xllcorner on line 3, xllcenter on line 4)" -- \
  info "$in/twice.asc"
# What other programs write is read as meant: keys in any case, tabs, exponent form, CR line ends,
# the centre of the lower-left cell, equal dx and dy.
printf 'Ncols\t3e0\r NROWS 2\rxllcenter 0.5\rYllCenter 0.5\rdx 1\rdy 1\rnodata_value -9999\r1 0 1\r0 1 0\r' >"$in/spellings.asc"
expect "header spellings of other programs" 0 -- info "$in/spellings.asc"
{ grep -qx "ncols: 3" "$logs/out" && grep -qx "xllcorner: 0" "$logs/out" && grep -qx "cellsize: 1" "$logs/out" &&
  grep -qx "NODATA_value: -9999" "$logs/out" && grep -qx "unique: 0 1" "$logs/out"; } && passed=$((passed + 1)) ||
  fail "header spellings read as meant"
expect "config of grids in other spellings" 0 -- config -o "$work/c.txt" --obs "$in/spellings.asc:1:0" --aux "$in/aux.asc:2"
# Indicators must mark cells: a value no cell holds, the no-data value, one value for both.
expect "presence value no cell holds" 1 "$in/obs.asc: no cell holds the value 2, so it cannot mark presences." -- \
  config -o "$work/c.txt" --obs "$in/obs.asc:2:0" --aux "$in/aux.asc:2"
expect "absence value the no-data value" 1 "$in/obs.asc: -9999 is the grid's no-data value, so it cannot mark absences." -- \
  config -o "$work/c.txt" --obs "$in/obs.asc:1:-9999" --aux "$in/aux.asc:2"
expect "one value for presences and absences" 1 "$in/obs.asc: 1 marks presences already; absences need a value of their own." -- \
  config -o "$work/c.txt" --obs "$in/obs.asc:1:1" --aux "$in/aux.asc:2"
[ ! -e "$work/c.txt" ] && passed=$((passed + 1)) || fail "no configuration is saved with an indicator that marks nothing"
# Classes that hold nothing or overlap are not saved.
expect "class bounds not ascending" 1 "cannot save the configuration: class 2 of \"$in/aux.asc\" runs from 5 to 3.03" -- \
  config -o "$work/c.txt" --obs "$in/obs.asc:1:0" --aux "$in/aux.asc:1,5,3"
[ ! -e "$work/c.txt" ] && passed=$((passed + 1)) || fail "no configuration is saved with classes that do not ascend"

# Values beyond a double's range are refused where they are read, with the line.
header 2 2 >"$in/huge-value.asc"; printf '1 2\n3 1e400\n' >>"$in/huge-value.asc"
header 2 2 1 >"$in/nodata-nan.asc"; sed -i 's/^NODATA_value -9999$/NODATA_value nan/' "$in/nodata-nan.asc"; printf '1 0\n0 1\n' >>"$in/nodata-nan.asc"
expect "grid value 1e400" 1 "$in/huge-value.asc: line 8: Number out of range (found \"1e400\")" -- info "$in/huge-value.asc"
expect "header cell size 1e999" 1 "$in/cellsize-inf.asc: line 5: cellsize is not a finite number (found \"1e999\")" -- \
  info "$in/cellsize-inf.asc"
expect "header NODATA_value nan" 1 "$in/nodata-nan.asc: line 6: NODATA_value is not a finite number" -- info "$in/nodata-nan.asc"
expect "config over a grid value 1e400" 1 "line 8: Number out of range" -- \
  config -o "$work/c.txt" --obs "$in/obs.asc:1:0" --aux "$in/huge-value.asc:2"
[ ! -e "$work/c.txt" ] && passed=$((passed + 1)) || fail "no configuration is saved over a value 1e400"
# Values that a double holds but whose range it does not: no classes can be formed.
header 2 2 >"$in/range-overflow.asc"; printf -- '-1e308 0\n1 1.5e308\n' >>"$in/range-overflow.asc"
expect "config over a range beyond a double" 1 "$in/range-overflow.asc: the values run from -1e+308 to 1.5e+308" \
  "cannot be divided into classes" -- config -o "$work/c.txt" --obs "$in/obs.asc:1:0" --aux "$in/range-overflow.asc:8"
[ ! -e "$work/c.txt" ] && passed=$((passed + 1)) || fail "no configuration is saved over a range beyond a double"

# A file without line breaks: refused at the limit, at once, in bounded memory. The 2 GB file is
# sparse, so it takes no room on the disk; the large files stand beside the logs, out of the
# checksums of every run.
timed() {  # timed NAME SECONDS: the last run of expect took at most SECONDS
  local took=$(( ($(date +%s%N) - started) / 1000000 ))
  [ "$took" -le $(( $2 * 1000 )) ] && passed=$((passed + 1)) || fail "$1 took $took ms"
}
started=$(date +%s%N)
expect "info /dev/zero" 1 "/dev/zero: cannot read the file: it is a device, not a file" -- info /dev/zero
timed "info /dev/zero" 5
mkfifo "$logs/pipe.asc"
started=$(date +%s%N)
expect "info of a FIFO" 1 "$logs/pipe.asc: cannot read the file: it is a FIFO (named pipe), not a file" -- info "$logs/pipe.asc"
timed "info of a FIFO" 5
expect "a FIFO as the points file" 1 "$logs/pipe.asc: cannot read the file: it is a FIFO" -- validate "$logs/pipe.asc" "$in/obs.asc"
rm -f "$logs/pipe.asc"
truncate -s 2G "$logs/no-line-breaks.asc"
started=$(date +%s%N)
expect "grid of 2 GB without a line break" 1 "$logs/no-line-breaks.asc: line 1 is longer than 64 MiB" -- info "$logs/no-line-breaks.asc"
timed "grid of 2 GB without a line break" 5
{ header 2 2; head -c 70000000 /dev/zero | tr '\0' ' '; } >"$logs/long-row.asc"
expect "grid row over 64 MiB" 1 "$logs/long-row.asc: line 7 is longer than 64 MiB" -- info "$logs/long-row.asc"
rm -f "$logs/long-row.asc" "$logs/no-line-breaks.asc"

# A byte-order mark is skipped; control bytes from a file are shown escaped, never sent raw.
{ printf '\xef\xbb\xbf'; header 3 2; printf '1 2 3\n4 5 6\n'; } >"$in/bom.asc"
expect "grid with a byte-order mark" 0 -- info "$in/bom.asc"
grep -qx "ncols: 3" "$logs/out" && passed=$((passed + 1)) || fail "a byte-order mark does not hide ncols"
header 3 2 >"$in/escape.asc"; printf '1 2 3\n4 \033[2J\033]0;owned\007 6\n' >>"$in/escape.asc"
expect "control bytes in a grid value" 1 'line 8: Invalid numeric input (found "\x1b[2J\x1b]0;owned\x07")' -- info "$in/escape.asc"
! grep -q $'\033' "$logs/err" && passed=$((passed + 1)) || fail "an escape byte reached the terminal"

# ---- configurations
expect "extents differ" 1 "xllcorner, yllcorner, ncols and/or nrows are different:" -- \
  config -o "$work/c.txt" --obs "$in/obs.asc:1:0" --aux "$in/shifted.asc:2"
expect "cell sizes differ" 1 "Cell sizes in the various grids are different:" -- \
  config -o "$work/c.txt" --obs "$in/obs.asc:1:0" --aux "$in/coarse.asc:2"

# A good configuration written by the program, then spoilt line by line.
"$BATCH" --workdir "$work" config -o "$in/good.txt" --obs "$in/obs.asc:1:0" --aux "$in/aux.asc:2" >/dev/null 2>&1 \
  || fail "the good configuration is written"
spoil() {  # spoil NAME LINE TEXT: good.txt with line LINE replaced by TEXT
  awk -v n="$2" -v t="$3" 'NR == n { print t "\r"; next } { print }' "$in/good.txt" >"$in/$1"
}
: >"$in/empty.txt"
printf '\r\n  \r\n' >"$in/blank.txt"
spoil type.txt 2 "ascii grid"
spoil ncols-text.txt 3 "  many    Number of columns"
spoil ncols-huge.txt 3 "99999999999    Number of columns"
spoil nrows-big.txt 4 " 20000    Number of rows"
spoil corner.txt 5 "1.2.3 X at lower left corner"
spoil cellsize-inf.txt 7 "1e999    Cell size"
spoil classes.txt 26 " 21       Number of classes for the continuous variable (or 0)"
spoil bound.txt 27 "     1.00000 Q lower and upper bound of class  1"
head -n 20 "$in/good.txt" >"$in/cut.txt"
sed "s#$in/aux.asc#$in/gone.asc#" "$in/good.txt" >"$in/missing-grid.txt"
awk 'NR <= 13' "$in/good.txt" >"$in/one.txt"
for i in 1 2 3 4 5 6 7 8 9 10 11; do cat "$in/one.txt"; done >"$in/eleven.txt"

expect "missing configuration" 1 "$in/none.txt" "cannot open the file" -- audit "$in/none.txt"
expect "empty configuration" 1 "$in/empty.txt" "the file holds no configuration" -- audit "$in/empty.txt"
expect "configuration of blank lines" 1 "$in/blank.txt" "the file holds no configuration" -- audit "$in/blank.txt"
expect "bad file type line" 1 "$in/type.txt" "line 2: the file type must be" -- audit "$in/type.txt"
expect "columns not a number" 1 "$in/ncols-text.txt" "line 3: the number of columns is not a whole number" -- audit "$in/ncols-text.txt"
expect "columns 99999999999" 1 "$in/ncols-huge.txt" "line 3: the number of columns must not exceed 10000" -- audit "$in/ncols-huge.txt"
expect "rows over the limit" 1 "$in/nrows-big.txt" "line 4: the number of rows must not exceed 10000" -- audit "$in/nrows-big.txt"
expect "corner not a number" 1 "$in/corner.txt" "line 5: xllcorner is not a number" -- audit "$in/corner.txt"
expect "cell size out of range" 1 "$in/cellsize-inf.txt" "line 7: the cell size is out of range" -- audit "$in/cellsize-inf.txt"
expect "too many classes" 1 "$in/classes.txt" "line 26: the number of classes must lie between 0 and 20" -- audit "$in/classes.txt"
expect "class bound not a number" 1 "$in/bound.txt" "line 27: the bounds of a class is not a number" -- audit "$in/bound.txt"
expect "configuration cut short" 1 "$in/cut.txt" "line 21: the file ends where" -- audit "$in/cut.txt"
expect "configuration naming a missing grid" 1 "Not all gridfiles were found." -- audit "$in/missing-grid.txt"
expect "map of a configuration naming a missing grid" 1 "Not all gridfiles were found." -- \
  map "$in/missing-grid.txt" --no-uncertainty
grep -qx "karvelo: Missing: $in/gone.asc" "$logs/err" && passed=$((passed + 1)) || fail "the missing grid is named"
# A hand-edited configuration with names relative to its own folder, run from another folder.
mkdir -p "$in/project"
sed -e "s#^$in/aux.asc#../aux.asc#" -e "s#^$in/obs.asc#../obs.asc#" "$in/good.txt" >"$in/project/relative.txt"
expect "relative grid names beside the configuration" 0 -- audit "$in/project/relative.txt"
{ printf '\xef\xbb\xbf'; cat "$in/good.txt"; } >"$in/bom-config.txt"
expect "configuration with a byte-order mark" 0 -- audit "$in/bom-config.txt"
truncate -s 100M "$logs/one-line.txt"
expect "configuration without line breaks" 1 "$logs/one-line.txt: line 1 is longer than 64 MiB" -- audit "$logs/one-line.txt"
head -c 20000000 /dev/zero | tr '\0' '\n' >"$logs/empty-lines.txt"
expect "configuration of 20 million empty lines" 1 "$logs/empty-lines.txt: the file is too large: its lines take more than 16 MiB" -- \
  audit "$logs/empty-lines.txt"
rm -f "$logs/empty-lines.txt"
spoil escape-config.txt 2 $'ascii\033[31mgrid'
expect "control bytes in a configuration" 1 'not "ascii\x1b[31mgrid"' -- audit "$in/escape-config.txt"
! grep -q $'\033' "$logs/err" && passed=$((passed + 1)) || fail "an escape byte of a configuration reached the terminal"
nl_grid="$in/two"$'\n'"lines.asc"
cp "$in/aux.asc" "$nl_grid"
expect "grid path holding a line break" 1 "cannot save the configuration: the grid file name" "holds a line break" -- \
  config -o "$work/c.txt" --obs "$in/obs.asc:1:0" --aux "$nl_grid:2"
[ ! -e "$work/c.txt" ] && passed=$((passed + 1)) || fail "no configuration is saved for a path holding a line break"
# A loaded configuration must say what its grids say: every entry agrees with its grid's own
# header and all entries share one extent; its indicators and classes mark cells.
awk 'NR == 16 { print "     5    Number of columns\r"; next } { print }' "$in/good.txt" >"$in/mismatched.txt"
expect "configuration edited to other extents" 1 "$in/mismatched.txt: line 16: ncols is 5, but the header of \"$in/aux.asc\" says 3" -- \
  audit "$in/mismatched.txt"
expect "map of a configuration edited to other extents" 1 "line 16: ncols is 5, but the header of" -- \
  map "$in/mismatched.txt" --no-uncertainty --seed 1
spoil corner-moved.txt 18 "    7.00 X at lower left corner"
expect "configuration edited to another corner" 1 "$in/corner-moved.txt: line 18: xllcorner is 7, but the header of \"$in/aux.asc\" says 0" -- \
  audit "$in/corner-moved.txt"
sed -e "s#^$in/aux.asc#$in/shifted.asc#" "$in/good.txt" | awk 'NR == 18 { print "    5.00 X at lower left corner\r"; next } { print }' \
  >"$in/grids-apart.txt"
expect "configuration of grids of different extents" 1 "$in/grids-apart.txt: xllcorner, yllcorner, ncols and/or nrows are different:" \
  "shifted.asc: xllcorner 5.00 differs from obs.asc: 0.00" -- audit "$in/grids-apart.txt"
spoil presence-absent.txt 11 "    2.00  Value of the indicator for occurrence (or NoData)"
expect "configuration with a presence value no cell holds" 1 "$in/obs.asc: no cell holds the value 2, so it cannot mark presences." \
  "Mark a value that the grid holds (tab 1), or correct the configuration file." -- audit "$in/presence-absent.txt"
grep -q "Grid counting results" "$work/Karvelo.log" && fail "counts reported for a presence value no cell holds" || passed=$((passed + 1))
expect "map with a presence value no cell holds" 1 "no cell holds the value 2" -- map "$in/presence-absent.txt" --no-uncertainty
spoil same-indicators.txt 12 "    1.00  Value of the indicator for absence (or NoData)"
expect "configuration with one value for both indicators" 1 \
  "$in/same-indicators.txt: line 12: the presence and the absence indicator of \"$in/obs.asc\" are both 1; they must differ" -- \
  audit "$in/same-indicators.txt"
spoil notgrid-obs.txt 2 "notgrid"
expect "configuration with an observation entry that is no grid" 1 \
  "$in/notgrid-obs.txt: line 11: the entry \"$in/obs.asc\" is not a grid (notgrid), so it cannot mark presences" -- audit "$in/notgrid-obs.txt"
spoil inverted.txt 27 "     3.00000      2.40000 lower and upper bound of class  1"
expect "configuration with an inverted class" 1 \
  "$in/inverted.txt: line 27: class 1 of \"$in/aux.asc\" runs from 3 to 2.4; a class's lower bound must lie below its upper bound" -- \
  audit "$in/inverted.txt"
spoil overlap.txt 28 "     2.00000      6.06000 lower and upper bound of class  2"
expect "configuration with overlapping classes" 1 \
  "$in/overlap.txt: line 28: class 2 of \"$in/aux.asc\" starts at 2, below the upper bound 2.4 of class 1; classes must not overlap" -- \
  audit "$in/overlap.txt"

# The eleventh block is refused with the message; the first ten are audited.
expect "eleven entries" 0 "Error: >10 data files attached." -- audit "$in/eleven.txt"

# ---- validation
printf 'X;Y;Val\n1.5;0.5;1\n2.5;1.5;0\n0.5;1.5;1\n' >"$in/points.txt"
printf 'X;Y;Val\n' >"$in/header-only.txt"
printf 'some words\nand more words\n' >"$in/text-only.txt"
expect "points file that does not exist" 1 "$in/nowhere.txt" "cannot open the file" -- validate "$in/nowhere.txt" "$in/obs.asc"
expect "map that does not exist" 1 "$in/nomap.asc" "cannot open the file" -- validate "$in/points.txt" "$in/nomap.asc"
expect "validation file without records" 1 "$in/header-only.txt" "None of the validation records" -- validate "$in/header-only.txt" "$in/obs.asc"
expect "validation file with only text" 1 "$in/text-only.txt" "None of the validation records" -- validate "$in/text-only.txt" "$in/obs.asc"
expect "map that is not a grid" 1 "$in/good.txt: line 1: the header has no ncols" -- validate "$in/points.txt" "$in/good.txt"
# Tabs separate fields like blanks: the records are read.
printf 'X\tY\tVal\n1.5\t0.5\t1\n2.5\t1.5\t0\n0.5\t1.5\t1\n' >"$in/tabs.txt"
expect "tab-separated points" 0 -- validate "$in/tabs.txt" "$in/aux.asc"
grep -q "^Lookup in aux.asc: all 3 validation records kept" "$logs/out" && passed=$((passed + 1)) || fail "tab-separated points are records"
printf 'X;Y;Val\n1,5;0,5;1\n2,5;1,5;0\n' >"$in/decimal-comma.txt"
expect "points with decimal commas" 1 "$in/decimal-comma.txt: line 2: the numbers are written with a decimal comma (\"1,5;0,5;1\")" -- \
  validate "$in/decimal-comma.txt" "$in/aux.asc"
# A stray line among the records is skipped and reported; it must not turn the header around
# (the records after it read as header rows, the AUC reversed).
printf 'X;Y;Val\n2.5;0.5;1\n1.5;0.5;1\n\t\n0.5;1.5;0\n181000;NA;1\n1.5;1.5;0\nend of data\n' >"$in/stray-lines.txt"
expect "points with stray lines" 0 -- validate "$in/stray-lines.txt" "$in/aux.asc"
grep -q "^AUC =  1.00$" "$logs/out" && grep -q "^3 lines were not read as records: lines 4, 6, 8 " "$logs/out" \
  && passed=$((passed + 1)) || fail "stray lines among the points are skipped and reported"
printf 'X;Y;Val\n1.5;0.5;1\n2.5;1.5\n' >"$in/no-code.txt"
expect "a record without its code" 1 "$in/no-code.txt: line 3: the code \"\" is not a number." -- validate "$in/no-code.txt" "$in/aux.asc"
# Codes 0 and 1 sorted with 0 first: finds are still 1.
printf 'X;Y;Val\n0.5;1.5;0\n1.5;1.5;0\n2.5;0.5;1\n1.5;0.5;1\n' >"$in/zeros-first.txt"
expect "points with their zeros first" 0 -- validate "$in/zeros-first.txt" "$in/aux.asc"
grep -q "^AUC =  1.00$" "$logs/out" && grep -q "^Finds: code 1 (2 records); non-finds: code 0 (2 records)$" "$logs/out" \
  && passed=$((passed + 1)) || fail "codes 0 and 1 take 1 as finds"
expect "code of finds not a number" 1 "The code of finds \"x\" is not a number." -- \
  validate "$in/points.txt" "$in/aux.asc" --finds x
expect "no find left" 1 "The validation records hold no find (code of finds 7):" -- validate "$in/points.txt" "$in/aux.asc" --finds 7
# Lines ended by CR alone are lines: the records are read as with LF.
printf 'X;Y;Val\r1.5;0.5;1\r2.5;1.5;0\r0.5;1.5;1\r1.5;1.5;0\r' >"$in/cr-only.txt"
expect "points with CR-only line ends" 0 -- validate "$in/cr-only.txt" "$in/obs.asc" --finds 1
grep -q "^AUC = " "$logs/out" && passed=$((passed + 1)) || fail "points with CR-only line ends are records"
expect "map with letters" 1 "$in/letters.asc" "Invalid numeric input" -- validate "$in/points.txt" "$in/letters.asc"
expect "map with an infinite cell size" 1 "line 5: cellsize is not a finite number" -- validate "$in/points.txt" "$in/cellsize-inf.asc"
expect "points without line breaks" 1 "$logs/one-line.txt: line 1 is longer than 64 MiB" -- validate "$logs/one-line.txt" "$in/obs.asc"
rm -f "$logs/one-line.txt"
{ printf '\xef\xbb\xbf'; printf '1.5;0.5;1\n2.5;1.5;0\n0.5;1.5;1\n1.5;1.5;0\n'; } >"$in/bom-points.txt"
expect "points with a byte-order mark" 0 -- validate "$in/bom-points.txt" "$in/obs.asc"
grep -q "^AUC = " "$logs/out" && passed=$((passed + 1)) || fail "points after a byte-order mark are records"

# ---- rasters (import, align)
printf 'not a raster\n' >"$in/text.tif"
printf 'ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ndx 1\ndy 2\nNODATA_value -9999\n1 2\n3 4\n' >"$in/nonsquare.asc"
printf 'ncols 10001\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n1\n' >"$in/wide-raster.asc"
header 3 2 >"$in/ref.asc"; printf '1 2 3\n4 5 6\n' >>"$in/ref.asc"
printf 'PROJCS[nonsense' >"$in/ref.prj"
# A program installed without its raster module says so (the grid steps do not need it).
mkdir -p "$root/alone" && cp "$BATCH" "$root/alone/karvelo-batch"
with_module="$BATCH"; BATCH="$root/alone/karvelo-batch"
expect "import without the raster module" 1 "$in/aux.asc: the raster support is not installed" -- import "$in/aux.asc"
BATCH="$with_module"
expect "import of a missing raster" 1 "$in/none.tif" "cannot open the file" -- import "$in/none.tif"
expect "import of a text that is no raster" 1 "$in/text.tif" "GDAL cannot open the file as a raster" -- import "$in/text.tif"
expect "import of a band out of range" 1 "$in/aux.asc" "band 2 is out of range (the raster has 1 band)" -- import "$in/aux.asc" --band 2
expect "import of non-square cells" 1 "$in/nonsquare.asc" "the cells are not square (cell size 1 in x, 2 in y)" -- import "$in/nonsquare.asc"
expect "import of a raster over 10000 columns" 1 "$in/wide-raster.asc" "Too many grid cells" -- import "$in/wide-raster.asc"
expect "import over its own input" 1 "$in/aux.asc is an input of this run" -- import "$in/aux.asc" -o "$in/aux.asc"
vrt() {  # vrt BAND-ATTRIBUTES BODY: a 3 x 2 VRT with one band
  printf '<VRTDataset rasterXSize="3" rasterYSize="2"><GeoTransform>0, 1, 0, 2, 0, -1</GeoTransform>\n<VRTRasterBand dataType="Float64" band="1" %s>%s</VRTRasterBand></VRTDataset>\n' "$1" "$2"
}
vrt "" '<SimpleSource><SourceFilename relativeToVRT="1">aux.asc</SourceFilename><SourceBand>1</SourceBand></SimpleSource>' >"$in/aux.vrt"
expect "import over a VRT's source" 1 "$in/aux.asc is an input of this run" -- import "$in/aux.vrt" -o "$in/aux.asc"
printf 'secret words\n' >"$in/secret.txt"
vrt 'subClass="VRTRawRasterBand"' '<SourceFilename relativeToVRT="1">secret.txt</SourceFilename><PixelOffset>8</PixelOffset><LineOffset>24</LineOffset>' >"$in/raw.vrt"
expect "import of a raw VRT band over a text" 1 "$in/raw.vrt: a raw band reads the bytes of secret.txt, which is no raster" -- import "$in/raw.vrt"
vrt "" '<SimpleSource><SourceFilename>/vsicurl/http://127.0.0.1:9/x.tif</SourceFilename><SourceBand>1</SourceBand></SimpleSource>' >"$in/remote.vrt"
expect "import of a VRT over the network" 1 "$in/remote.vrt: reads from a network or virtual path (/vsicurl/" -- import "$in/remote.vrt"
expect "align of a VRT over the network" 1 "network or virtual path" -- align --like "$in/obs.asc" "$in/remote.vrt" -o "$work/out.asc"
vrt "" '<SimpleSource><SourceFilename relativeToVRT="1">aux.asc</SourceFilename><SourceBand>1</SourceBand></SimpleSource>' |
  sed 's/0, 1, 0, 2, 0, -1/3, -1, 0, 2, 0, -1/' >"$in/west.vrt"
expect "import of a raster running east to west" 1 "$in/west.vrt: the cell width is -1" -- import "$in/west.vrt"
vrt "" '<SimpleSource><SourceFilename relativeToVRT="1">aux.asc</SourceFilename><SourceBand>1</SourceBand></SimpleSource>' |
  sed 's/0, 1, 0, 2, 0, -1/nan, 1, 0, 2, 0, -1/' >"$in/nan-corner.vrt"
expect "import of a raster with a NaN corner" 1 "$in/nan-corner.vrt: the georeferencing is not finite" -- import "$in/nan-corner.vrt"
expect "import under a projection file's name" 1 "$work/aux.prj: a grid cannot take the name of its projection file" -- import "$in/aux.asc" -o "$work/aux.prj"
expect "align to a reference with an unreadable projection" 1 "$in/ref.prj" "GDAL cannot read the projection" -- \
  align --like "$in/ref.asc" "$in/aux.asc" -o "$work/out.asc"
expect "align over its own input" 1 "$in/aux.asc is an input of this run" -- align --like "$in/obs.asc" "$in/aux.asc" -o "$in/aux.asc"
expect "align without a reference" 2 -- align "$in/aux.asc" -o "$work/out.asc"
expect "align with an unknown resampling" 2 -- align --like "$in/obs.asc" "$in/aux.asc" -o "$work/out.asc" --resampling cubic

# ---- usage
expect "work folder is a file" 1 "$in/good.txt" "cannot use as work folder" -- --workdir "$in/good.txt" info "$in/obs.asc"
expect "unknown command" 2 -- frobnicate
expect "info without a grid" 2 -- info
for prior in 0,3 abc 1.5 -0.1 nan inf ""; do
  expect "--prior-p '$prior'" 2 -- map "$in/good.txt" --prior-p "$prior"
  grep -q -- "--prior-p takes a number from 0 to 1" "$logs/err" && passed=$((passed + 1)) || fail "--prior-p '$prior' is explained"
done
expect "--prior-a 2" 2 -- map "$in/good.txt" --prior-a 2
# The priors asked for are the priors used.
expect "priors that do not add up to 1" 2 -- map "$in/good.txt" --prior-p 0.3 --prior-a 0.5
grep -q -- "--prior-p 0.3 and --prior-a 0.5 do not add up to 1" "$logs/err" && passed=$((passed + 1)) || fail "priors not adding up are explained"
expect "a typed prior with a calculated one" 2 -- map "$in/good.txt" --prior frequency --prior-p 0.3
grep -q -- "goes with --prior manual" "$logs/err" && passed=$((passed + 1)) || fail "a typed prior beside a calculated one is explained"
"$BATCH" --workdir "$work" config -o "$in/presences.txt" --obs "$in/obs.asc:1:-" --aux "$in/aux.asc:2" >/dev/null 2>&1 \
  || fail "the presence-only configuration is written"
expect "calculated priors without absences" 2 "--prior frequency needs observed absences" -- map "$in/presences.txt" --prior frequency
# Standard output shows control bytes and broken UTF-8 of a path escaped, as messages do.
esc_work="$work"$'\033[31m\xff'
rm -rf "$esc_work"
(cd "$here" && "$BATCH" --seed 1 --workdir "$esc_work" map "$in/good.txt" --no-uncertainty >"$logs/out" 2>"$logs/err")
grep -qF 'x1b[31m\xff/BayesP.asc' "$logs/out" && ! grep -q $'\033' "$logs/out" && passed=$((passed + 1)) || fail "standard output escapes a path's control bytes"
rm -rf "$esc_work"
expect "--obs indicator 1e999" 2 -- config -o "$work/c.txt" --obs "$in/obs.asc:1e999:0"
expect "--aux bound 1e999" 2 -- config -o "$work/c.txt" --obs "$in/obs.asc:1:0" --aux "$in/aux.asc:0,1,1e999"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
