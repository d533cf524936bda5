#!/usr/bin/env bash
# Golden test: runs the demo with a fixed seed and compares every output with tests/golden/demo.
#
# usage: run_golden_test.sh KARVELO_BATCH PIXELS_HELPER [--update]
#
# The comparison is byte for byte, after removing only what must differ between two runs: the
# date lines of the run log, the build named in its credit line and its run line (replaced by @VERSION@) and the
# work folder's path (replaced by @WORKDIR@). Pictures are compared
# by width, height and a checksum of their decoded pixels. With --update the expected files are
# rewritten from this run instead (scripts/regenerate-golden.sh does that and shows the change).
set -uo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 KARVELO_BATCH PIXELS_HELPER [--update]" >&2
  exit 2
fi
BATCH=$1
PIXELS=$2
UPDATE=0
[ "${3:-}" = "--update" ] && UPDATE=1
SEED=20261209
EXPECTED="$(cd "$(dirname "$0")" && pwd)/demo"

# Grids and tables carry no path and no date: they must match to the byte. The run report holds a
# date and absolute paths: only its name is compared (in folder.txt); report_tests.sh checks its content.
VERBATIM=(AVGBayesP.asc SDBayesP.asc BayesP.asc BootstrapData.txt ValDataComplete.txt "Gain of BayesP.asc.txt")
PICTURES=(BayesAVG-P.bmp Bayeslog10AVG-P.bmp BayesP.bmp Bayeslog10P.bmp "ROC of BayesP.asc.bmp" "Gain of BayesP.asc.bmp"
  "Effects of dist.bmp" "Effects of ffreq.bmp" "Effects of soil.bmp")

# The run under a comma-decimal locale proves nothing when that locale is missing.
if [ -n "${KARVELO_EXPECT_COMMA_LOCALE:-}" ]; then
  point=$(locale -k LC_NUMERIC 2>/dev/null | sed -n 's/^decimal_point="\(.*\)"$/\1/p')
  if [ "$point" != "," ]; then
    echo "FAIL: the comma-decimal locale ${LC_ALL:-} is not installed (decimal point '$point')" >&2
    exit 1
  fi
fi

TMP=$(mktemp -d "${TMPDIR:-/tmp}/karvelo-golden.XXXXXX")
mkdir -p "$TMP/work" "$TMP/actual"
# The demo prints the folder as the program sees it, so the placeholder must match the resolved path.
WORK=$(cd "$TMP/work" && pwd -P)
ACTUAL="$TMP/actual"

"$BATCH" --seed "$SEED" --workdir "$WORK" demo >"$TMP/stdout" 2>"$TMP/stderr"
status=$?
if [ $status -ne 0 ]; then
  echo "FAIL: karvelo-batch demo exited with status $status" >&2
  sed 's/^/  stderr: /' "$TMP/stderr" >&2
  echo "work folder kept: $TMP" >&2
  exit 1
fi

# Replaces the work folder's path by @WORKDIR@ (the path is taken literally, not as a pattern).
placeholder() {
  local escaped
  escaped=$(printf '%s' "$WORK" | sed 's/[][\.*^$/]/\\&/g')
  sed "s/$escaped/@WORKDIR@/g"
}

for f in "${VERBATIM[@]}"; do
  if [ -f "$WORK/$f" ]; then cp "$WORK/$f" "$ACTUAL/$f"; fi
done
[ -f "$WORK/meuse-configuration.txt" ] && placeholder <"$WORK/meuse-configuration.txt" >"$ACTUAL/meuse-configuration.txt"
# Date lines keep their CR LF neighbours intact: only whole lines go. The credit line names the
# build (version and checkout), which is replaced by @VERSION@.
[ -f "$WORK/Karvelo.log" ] &&
  grep -a -v -E '^(Starting Karvelo run at |End of Karvelo run at |New configuration at )' "$WORK/Karvelo.log" |
  sed -e 's/^Karvelo [^:]*\(: naive-Bayes probability mapping\)/Karvelo @VERSION@\1/' -e 's/^Run of Karvelo .*/Run of Karvelo @VERSION@\r/' |
  placeholder |
  # The configuration names the work folder, so its checksum is the folder's too.
  sed 's/^SHA-256 [0-9a-f]\{64\}  \(@WORKDIR@\/meuse-configuration\.txt\)/SHA-256 @CHECKSUM@  \1/' >"$ACTUAL/Karvelo.log"
placeholder <"$TMP/stdout" >"$ACTUAL/summary.txt"
placeholder <"$TMP/stderr" >"$ACTUAL/messages.txt"
# What stays in the folder after the run: the work files must be gone, the results there.
(cd "$WORK" && LC_ALL=C ls -A) >"$ACTUAL/folder.txt"
: >"$ACTUAL/pictures.txt"
for f in "${PICTURES[@]}"; do
  if [ -f "$WORK/$f" ]; then
    QT_QPA_PLATFORM=offscreen "$PIXELS" "$WORK/$f" >>"$ACTUAL/pictures.txt" || echo "undecodable $f" >>"$ACTUAL/pictures.txt"
  else
    echo "missing $f" >>"$ACTUAL/pictures.txt"
  fi
done

EXPECTED_FILES=("${VERBATIM[@]}" meuse-configuration.txt Karvelo.log summary.txt messages.txt folder.txt pictures.txt)

if [ $UPDATE -eq 1 ]; then
  mkdir -p "$EXPECTED"
  for f in "${EXPECTED_FILES[@]}"; do
    if [ ! -f "$ACTUAL/$f" ]; then
      echo "the demo did not write $f; not updating" >&2
      echo "work folder kept: $TMP" >&2
      exit 1
    fi
  done
  for f in "${EXPECTED_FILES[@]}"; do cp "$ACTUAL/$f" "$EXPECTED/$f"; done
  rm -rf "$TMP"
  echo "expected files rewritten in $EXPECTED"
  exit 0
fi

# Prints the first differing cells of two grids and how many differ in all.
cell_differences() {
  awk -v shown=20 '
    { sub(/\r$/, "") }
    NR == FNR { expected[FNR] = $0; n = FNR; next }
    {
      m = FNR
      ne = split(expected[FNR], e, " "); na = split($0, a, " ")
      top = ne > na ? ne : na
      for (i = 1; i <= top; ++i) {
        if (e[i] != a[i]) {
          if (++count <= shown) printf "  line %d field %d: expected %s, got %s\n", FNR, i, (i <= ne ? e[i] : "(none)"), (i <= na ? a[i] : "(none)")
        }
      }
    }
    END {
      if (n != m) printf "  expected %d lines, got %d\n", n, m
      printf "  %d cells differ\n", count
    }' "$1" "$2"
}

failures=0
for f in "${EXPECTED_FILES[@]}"; do
  if [ ! -f "$EXPECTED/$f" ]; then
    echo "FAIL $f: no expected file (run scripts/regenerate-golden.sh and review the result)"
    failures=$((failures + 1))
    continue
  fi
  if [ ! -f "$ACTUAL/$f" ]; then
    echo "FAIL $f: the demo did not write it"
    failures=$((failures + 1))
    continue
  fi
  if cmp -s "$EXPECTED/$f" "$ACTUAL/$f"; then
    continue
  fi
  failures=$((failures + 1))
  if diff -q --strip-trailing-cr "$EXPECTED/$f" "$ACTUAL/$f" >/dev/null; then
    echo "FAIL $f: same lines, different line ends (expected CR LF as committed)"
    continue
  fi
  if [[ $f == *.asc ]]; then
    # A grid line holds a whole row, so a line diff hides which cells changed: name them instead.
    echo "FAIL $f differs (line and field numbers count from 1, header lines included):"
    cell_differences "$EXPECTED/$f" "$ACTUAL/$f"
    continue
  fi
  echo "FAIL $f differs (- expected, + this run):"
  diff -u --label "expected/$f" --label "actual/$f" "$EXPECTED/$f" "$ACTUAL/$f" >"$TMP/diff"
  head -n 60 "$TMP/diff" | cat -v
  total=$(wc -l <"$TMP/diff")
  if [ "$total" -gt 60 ]; then echo "... $((total - 60)) more lines of diff in $TMP/diff"; fi
done

if [ $failures -ne 0 ]; then
  echo "$failures of ${#EXPECTED_FILES[@]} outputs differ from tests/golden/demo (seed $SEED)."
  echo "Outputs kept in $TMP. If the change is intended, run scripts/regenerate-golden.sh and review the diff."
  exit 1
fi
rm -rf "$TMP"
echo "all ${#EXPECTED_FILES[@]} outputs of the demo (seed $SEED) match tests/golden/demo"
exit 0
