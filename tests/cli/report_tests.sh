#!/usr/bin/env bash
# The run report of the demo: its numbers against what karvelo-batch prints, the inputs' checksums
# against sha256sum, its repeat command run again in a fresh folder, valid HTML without any outside
# resource, and its rendering in a real browser (screen and A4 print).
#
# usage: report_tests.sh KARVELO_BATCH
# Needs tidy, chromium, pdfinfo and python3: a missing tool fails the suite.
set -uo pipefail
BATCH=$1
SEED=4242
fail=0
failed() {
  echo "FAIL: $*" >&2
  fail=1
}
for tool in tidy chromium pdfinfo python3 sha256sum; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/setup.sh installs it)" >&2; exit 1; }
done

TMP=$(mktemp -d "${TMPDIR:-/tmp}/karvelo-report.XXXXXX")
trap 'rm -rf "$TMP"' EXIT
WORK="$TMP/demo"
"$BATCH" --seed "$SEED" --workdir "$WORK" demo >"$TMP/stdout" 2>"$TMP/stderr" || {
  cat "$TMP/stderr" >&2
  echo "FAIL: the demo failed" >&2
  exit 1
}
REPORT="$WORK/Karvelo report.html"
[ -f "$REPORT" ] || { echo "FAIL: the demo wrote no report" >&2; exit 1; }

# The report's text with its tags and entities taken out, and its repeat commands, by python.
python3 - "$REPORT" "$TMP" <<'EOF' || failed "the report could not be read"
import html, re, sys
page = open(sys.argv[1], encoding="utf-8").read()
text = html.unescape(re.sub(r"<[^>]+>", " ", re.sub(r'src="data:[^"]*"', "", page)))
open(sys.argv[2] + "/text", "w").write(" ".join(text.split()))
commands = [html.unescape(c) for c in re.findall(r'<ul class="code">\s*<li>(karvelo-batch [^<]*)</li>', page)]
open(sys.argv[2] + "/commands", "w").write("\n".join(commands) + "\n")
EOF
TEXT=$(cat "$TMP/text")
has() { case "$TEXT" in *"$1"*) return 0 ;; esac; return 1; }

# The numbers the demo prints are the report's: AUC, both intervals, priors, every chi-squared value.
auc=$(sed -n 's/.*: AUC = *\([0-9.]*\)$/\1/p' "$TMP/stdout")
[ -n "$auc" ] || failed "the demo printed no AUC"
has "AUC = $auc" || failed "the report does not give the AUC $auc"
for method in DeLong bootstrap; do
  bounds=$(sed -n "s/.*AUC 95% CI ($method) = \[\([0-9.]*\), \([0-9.]*\)\]/\1 \2/p" "$TMP/stdout")
  [ -n "$bounds" ] || failed "the demo printed no $method interval"
  set -- $bounds
  has "$1 $2" || failed "the report does not give the $method interval [$1, $2]"
done
priors=$(sed -n 's/^Priors (.*): presence \([0-9.]*\), absence \([0-9.]*\)$/\1 \2/p' "$TMP/stdout")
set -- $priors
[ $# -eq 2 ] || failed "the demo printed no priors"
has "presence $1, absence $2" || failed "the report does not give the priors $1 and $2"
chis=$(sed -n '/^Audit (/,/^$/p' "$TMP/stdout" | grep -o '[0-9]\+\.[0-9][0-9]')
[ -n "$chis" ] || failed "the demo printed no chi-squared values"
for v in $chis; do
  grep -q ">$v</td>" "$REPORT" || failed "the report's audit table does not hold the chi-squared value $v"
done

# Every input with its checksum as sha256sum gives it, also in the log.
for f in obs.asc dist.asc ffreq.asc soil.asc validation.txt meuse-configuration.txt; do
  sum=$(sha256sum "$WORK/$f" | cut -d' ' -f1)
  has "$sum" || failed "the report does not hold the checksum of $f"
  grep -q "^SHA-256 $sum  " "$WORK/Karvelo.log" || failed "the log does not hold the checksum of $f"
done

# The repeat command, run in a fresh folder, makes the same result grids.
command=$(head -n 1 "$TMP/commands")
case "$command" in
  "karvelo-batch --seed $SEED --workdir $WORK demo") ;;
  *) failed "the repeat command is '$command'" ;;
esac
grep -qxF "Repeat with: $command" <(tr -d '\r' <"$WORK/Karvelo.log") || failed "the log does not hold the repeat command"
AGAIN="$TMP/again"
eval "set -- ${command#karvelo-batch }"
args=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--workdir" ]; then args+=(--workdir "$AGAIN"); shift 2; continue; fi
  args+=("$1"); shift
done
"$BATCH" "${args[@]}" >/dev/null 2>"$TMP/again.err" || failed "the repeat command failed: $(cat "$TMP/again.err")"
for f in BayesP.asc AVGBayesP.asc SDBayesP.asc BootstrapData.txt ValDataComplete.txt; do
  cmp -s "$WORK/$f" "$AGAIN/$f" || failed "the repeat command made another $f"
done

# Valid HTML, and nothing fetched from anywhere: every picture a data: URI, every link a file beside it.
tidy -errors -q "$REPORT" >"$TMP/tidy" 2>&1
[ $? -lt 2 ] && [ ! -s "$TMP/tidy" ] || failed "tidy finds errors: $(head -5 "$TMP/tidy")"
python3 - "$REPORT" <<'EOF' || failed "the report refers to something outside it"
import os, re, sys, urllib.parse
page = open(sys.argv[1], encoding="utf-8").read()
bad = []
for src in re.findall(r'src="([^"]*)"', page):
    if not src.startswith("data:image/png;base64,"): bad.append("src " + src[:40])
stripped = re.sub(r'src="data:[^"]*"', "", page)
for word in ("http:", "https:", "//", "@import", "url("):
    if word in stripped: bad.append("holds " + word)
links = re.findall(r'href="([^"]*)"', page)
if not links: bad.append("no figure links to its data")
for href in links:
    if not os.path.isfile(os.path.join(os.path.dirname(sys.argv[1]), urllib.parse.unquote(href))): bad.append("missing " + href)
for b in bad: print(b, file=sys.stderr)
sys.exit(1 if bad else 0)
EOF
head -n 1 "$WORK/Karvelo report files/ROC of BayesP.asc.csv" | grep -q '^threshold,false_positive_rate,true_positive_rate$' ||
  failed "the ROC's data file does not hold the curve"

# The page in headless Chromium: a picture of the screen that is not blank, and A4 pages.
URL="file://$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1]))' "$REPORT")"
CHROME=(chromium --headless --no-sandbox --disable-gpu --disable-dev-shm-usage --user-data-dir="$TMP/chrome")
timeout 120 "${CHROME[@]}" --screenshot="$TMP/shot.png" --window-size=1200,900 "$URL" >/dev/null 2>&1
timeout 120 "${CHROME[@]}" --print-to-pdf="$TMP/report.pdf" --no-pdf-header-footer "$URL" >/dev/null 2>&1
[ -s "$TMP/shot.png" ] || failed "chromium made no screenshot"
[ -s "$TMP/report.pdf" ] || failed "chromium printed no PDF"
if [ -s "$TMP/shot.png" ]; then
  python3 - "$TMP/shot.png" <<'EOF' || failed "the screenshot is blank"
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n"
pos, idat, width = 8, b"", 0
while pos < len(data):
    length, kind = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + length]
    if kind == b"IHDR": width, height, depth, colour = struct.unpack(">IIBB", body[:10])
    if kind == b"IDAT": idat += body
    pos += 12 + length
assert depth == 8 and colour in (2, 6)
bpp = 3 if colour == 2 else 4
raw, stride, prev, colours = zlib.decompress(idat), width * bpp, bytearray(width * bpp), set()
for y in range(height):
    f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for i in range(stride):
        a = line[i - bpp] if i >= bpp else 0
        b, c = prev[i], prev[i - bpp] if i >= bpp else 0
        p = a + b - c
        pred = [0, a, b, (a + b) // 2, a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c][f]
        line[i] = (line[i] + pred) & 255
    colours.update(bytes(line[i:i + 3]) for i in range(0, stride, bpp * 7))
    prev = line
sys.exit(0 if len(colours) >= 8 else 1)
EOF
fi
if [ -s "$TMP/report.pdf" ]; then
  pages=$(pdfinfo "$TMP/report.pdf" | sed -n 's/^Pages: *//p')
  [ "${pages:-0}" -ge 1 ] || failed "the PDF has no page"
  pdfinfo -f 1 -l "${pages:-1}" "$TMP/report.pdf" | sed -n 's/^Page *[0-9]* size: *\([0-9.]*\) x .*/\1/p' >"$TMP/widths"
  [ -s "$TMP/widths" ] || failed "pdfinfo gave no page sizes"
  awk '$1 > 595.5 { bad = 1 } END { exit bad }' "$TMP/widths" || failed "a PDF page is wider than A4: $(sort -u "$TMP/widths" | tr '\n' ' ')"
fi

# A report that cannot be written is a warning: the run itself succeeds.
BLOCKED="$TMP/blocked"
mkdir -p "$BLOCKED/Karvelo report.html"
cp "$WORK/BayesP.asc" "$WORK/validation.txt" "$BLOCKED/"
"$BATCH" --seed "$SEED" --workdir "$BLOCKED" validate "$BLOCKED/validation.txt" "$BLOCKED/BayesP.asc" >/dev/null 2>"$TMP/blocked.err"
status=$?
[ $status -eq 0 ] || failed "a report that cannot be written failed the run (status $status)"
grep -q "run report could not be written" "$TMP/blocked.err" || failed "no warning that the report could not be written"
[ -f "$BLOCKED/ROC of BayesP.asc.bmp" ] || failed "the run's results are missing when the report cannot be written"

[ $fail -eq 0 ] && echo "report tests passed"
exit $fail
