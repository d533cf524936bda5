#!/usr/bin/env bash
# The machine-readable interface of karvelo-batch: --progress json lines and the --result-json file,
# checked against what the commands print, the files they write and plain computations.
set -u
BATCH="$1"
EXAMPLES="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/checks.sh"

# py SCRIPT ARGS...: a check written in Python; its exit status is the verdict.
py() { python3 -c "$@"; }

# Every line of standard error is one JSON object with a step, a percentage and a message.
progress_lines_ok() {
  py '
import json, sys
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
assert lines, "no progress lines"
seen = 0
for text in lines:
    d = json.loads(text)
    assert isinstance(d["step"], str) and d["step"] and isinstance(d["message"], str), text
    assert isinstance(d["percent"], int) and 0 <= d["percent"] <= 100, text
    seen = max(seen, d["percent"])
assert seen > 0, "the percentage never moved"
' "$1"
}

# The result file holds exactly the files of the printed "wrote" lines and the log, all present.
files_match_printed() {  # RESULT STDOUT WORKDIR
  py '
import json, os, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))
wrote = [l[len("wrote "):] for l in open(sys.argv[2], encoding="utf-8").read().splitlines() if l.startswith("wrote ")]
assert r["status"] == 0 and r["outcome"] == "done" and r["message"] is None, r
assert r["files"] == wrote + [os.path.join(sys.argv[3], "Karvelo.log")], (r["files"], wrote)
assert all(os.path.isfile(f) for f in r["files"])
' "$@"
}

E="$EXAMPLES"
config_args=(--obs "$E/obs.asc:1:0" --aux "$E/dist.asc:8" --aux "$E/ffreq.asc:1,2,3,4" --aux "$E/soil.asc:1,2,3,4")
"$BATCH" --workdir "$work/json" --result-json "$work/config.json" config -o "$work/c.txt" "${config_args[@]}" >/dev/null 2>&1
check "config exits 0" test $? -eq 0
check "config names its file" py 'import json,sys; r=json.load(open(sys.argv[1])); assert r["files"][0]==sys.argv[2], r' "$work/config.json" "$work/c.txt"

# The uncertainty map with both options, and the same run without them: the same results, byte for byte.
"$BATCH" --workdir "$work/json" --seed 7 --progress json --result-json "$work/map.json" map "$work/c.txt" --prior frequency \
  >"$work/map.out" 2>"$work/map.err"
check "map with JSON exits 0" test $? -eq 0
"$BATCH" --workdir "$work/plain" --seed 7 map "$work/c.txt" --prior frequency >"$work/plain.out" 2>"$work/plain.err"
check "map exits 0" test $? -eq 0
check "progress lines are JSON" progress_lines_ok "$work/map.err"
check "map's files are the printed ones" files_match_printed "$work/map.json" "$work/map.out" "$work/json"
check "the options change no result" cmp -s "$work/json/AVGBayesP.asc" "$work/plain/AVGBayesP.asc"
check "the options change no printed line" cmp -s <(sed "s#$work/json#W#" "$work/map.out") <(sed "s#$work/plain#W#" "$work/plain.out")
check "no JSON without the option" test "$(grep -c '^{' "$work/plain.err")" -eq 0
# The priors are the observations' relative frequency (counted here from the grid), the weights those
# of Weights.csv, the independence lines those printed, the chi-squared values Pearson's on the counts.
check "map's typed results" py '
import json, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))["results"]
grid = open(sys.argv[2]).read().split()[12:]
p, a = grid.count("1"), grid.count("0")
assert abs(r["priors"]["presence"] - p / (p + a)) < 1e-12 and abs(r["priors"]["absence"] - a / (p + a)) < 1e-12, r["priors"]
rows = [l.split(",") for l in open(sys.argv[3]).read().splitlines()[1:]]
assert len(rows) == len(r["weights"])
for row, w in zip(rows, r["weights"]):
    assert row[0] == w["grid"] and int(row[1]) == w["class"] and int(row[4]) == w["cells"], (row, w)
    for col, key in ((7, "wPlus"), (9, "wMinus"), (11, "contrast"), (13, "studentizedContrast")):
        assert abs(float(row[col]) - w[key]) <= 0.00005 + 1e-12, (row, w, key)
printed = [l for l in open(sys.argv[4], encoding="utf-8").read().splitlines() if not l.startswith("wrote ")]
assert r["independence"] == printed, (r["independence"], printed)
classes = r["audit"]["classes"]
for test in r["audit"]["tests"]:
    mine = [c for c in classes if c["entry"] == test["entry"]]
    cells = sum(c["cells"] for c in mine)
    for kind in ("presences", "absences"):
        n = sum(c[kind] for c in mine)
        # The audit expects whole counts (halves to even, as Python rounds).
        expected = [round(n * c["cells"] / cells) for c in mine]
        chi2 = sum((c[kind] - e) ** 2 / e for c, e in zip(mine, expected) if e > 0)
        assert test[kind]["classesWithoutExpectation"] == [k + 1 for k, e in enumerate(expected) if e == 0]
        assert abs(chi2 - test[kind]["chi2"]) < 1e-9 * max(1, chi2), (test, chi2)
        assert test[kind]["df"] == len(mine) - 1
' "$work/map.json" "$E/obs.asc" "$work/json/Weights.csv" "$work/map.out"

# validate: the AUC and the statistics equal the printed ones.
"$BATCH" --workdir "$work/json" --seed 7 --result-json "$work/val.json" validate "$E/validation.txt" "$work/json/AVGBayesP.asc" \
  --config "$work/c.txt" --binary youden >"$work/val.out" 2>/dev/null
check "validate exits 0" test $? -eq 0
check "validate's files are the printed ones and the lookup's" py '
import json, os, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))
for f in r["files"]: assert os.path.isfile(f), f
names = [os.path.basename(f) for f in r["files"]]
for n in ("ValDataComplete.txt", "ROC of AVGBayesP.asc.bmp", "Gain of AVGBayesP.asc.txt", "Binary of AVGBayesP.asc"):
    assert n in names, (n, names)
' "$work/val.json"
check "validate's typed results equal the printed ones" py '
import json, re, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))["results"]
out = open(sys.argv[2], encoding="utf-8").read()
assert "AUC (full precision) = %.6f" % r["auc"] in out, (r["auc"], out)
assert "Boyce index (continuous): %.3f" % r["boyce"] in out
assert len(r["thresholds"]) >= 3
for t in r["thresholds"]:
    line = "%.6f, sensitivity %.4f" % (t["threshold"], t["sensitivity"])
    assert line in out, (line, out)
d = r["delong"]
assert d["lower"] <= r["auc"] <= d["upper"] and abs(d["auc"] - r["auc"]) < 1e-12
assert r["binaryThreshold"] == r["thresholds"][0]["threshold"]
' "$work/val.json" "$work/val.out"

# cv: the folds' typed scores give the printed mean, which is over the folds.
"$BATCH" --workdir "$work/json" --result-json "$work/cv.json" cv "$work/c.txt" --seed 3 >"$work/cv.out" 2>/dev/null
check "cv exits 0" test $? -eq 0
check "cv's typed results equal the printed line" py '
import json, statistics, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))["results"]
out = open(sys.argv[2], encoding="utf-8").read()
aucs = [f["auc"] for f in r["foldScores"] if f["auc"] is not None]
assert abs(statistics.mean(aucs) - r["meanAuc"]) < 1e-12, (aucs, r)
assert "): mean %.3f, sd %.3f" % (r["meanAuc"], r["sdAuc"]) in out, (r, out)
' "$work/cv.json" "$work/cv.out"

# A failure still writes the file: status, outcome and the program's message naming the file.
"$BATCH" --workdir "$work/json" --result-json "$work/fail.json" validate "$work/missing.txt" "$work/json/AVGBayesP.asc" >/dev/null 2>&1
check "a failure exits 1" test $? -eq 1
check "a failure's result file" py '
import json, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))
assert r["status"] == 1 and r["outcome"] == "failed" and [f[-11:] for f in r["files"]] == ["Karvelo.log"], r
assert sys.argv[2] in r["message"] and "cannot open" in r["message"], r["message"]
' "$work/fail.json" "$work/missing.txt"
"$BATCH" --result-json "$work/usage.json" map "$work/c.txt" --prior-p 0,3 >/dev/null 2>&1
check "a usage error exits 2" test $? -eq 2
check "a usage error's result file" py '
import json, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))
assert r["status"] == 2 and r["outcome"] == "usage" and "0,3" in r["message"], r
' "$work/usage.json"
check "no temporary file beside the result files" test -z "$(find "$work" -maxdepth 1 -name '.*karvelo-tmp*')"

# Names with control characters, non-ASCII letters and a byte that is no UTF-8 come back as the
# very bytes (Python reads the stray byte as its file-system escape).
odd=$(printf '%s/sol\tß\001\377.asc' "$work")
"$BATCH" --workdir "$work/json" --result-json "$work/odd.json" import "$E/soil.asc" -o "$odd" >/dev/null 2>&1
check "import to an odd name exits 0" test $? -eq 0
check "odd names are escaped and read back" py '
import json, os, sys
text = open(sys.argv[1], "rb").read()
assert all(b >= 0x20 for b in text.rstrip(b"\n")), "a raw control byte in the file"
assert b"\\t" in text and b"\\u0001" in text and b"\\udcff" in text and "ß".encode() in text
r = json.loads(text.decode("utf-8"))
assert os.fsencode(r["files"][0]) == os.fsencode(sys.argv[2]), (r["files"][0], sys.argv[2])
' "$work/odd.json" "$odd"

# SIGTERM during the uncertainty run: status 130 in the result file, no temporary file anywhere. The
# example ends within a blink; a 700 x 700 case (the same every time) leaves the signal time to land,
# and on a loaded machine a run that still ends first (exit 0) is tried again, up to five times.
mkdir -p "$work/big" "$work/kill"
awk -v n=700 -v dir="$work/big" 'BEGIN {
  printf "ncols %d\nnrows %d\nxllcorner 0\nyllcorner 0\ncellsize 10\nNODATA_value -9999\n", n, n > (dir "/obs.asc");
  printf "ncols %d\nnrows %d\nxllcorner 0\nyllcorner 0\ncellsize 10\nNODATA_value -9999\n", n, n > (dir "/dist.asc");
  s = 4321;
  for (r = 0; r < n; r++) {
    lo = ""; ld = "";
    for (c = 0; c < n; c++) {
      s = (s * 1103515245 + 12345) % 2147483648;
      u = s / 2147483648;
      d = ((r * 7 + c * 13) % 1000) / 1000;
      lo = lo ((u < 0.004 + 0.01 * (d < 0.3)) ? 1 : (u < 0.03 ? 0 : -9999)) " "; ld = ld d " ";
    }
    print lo > (dir "/obs.asc"); print ld > (dir "/dist.asc");
  }
}'
"$BATCH" --workdir "$work/kill" config -o "$work/big/c.txt" --obs "$work/big/obs.asc:1:0" --aux "$work/big/dist.asc" >/dev/null 2>&1
"$BATCH" --workdir "$work/kill" --seed 5 map "$work/big/c.txt" --prior frequency >/dev/null 2>&1
check "the case to interrupt is mapped" test -s "$work/kill/AVGBayesP.asc"
for attempt in 1 2 3 4 5; do
  before=$(sha256sum "$work/kill/AVGBayesP.asc")
  "$BATCH" --workdir "$work/kill" --progress json --result-json "$work/kill.json" map "$work/big/c.txt" --prior frequency \
    >/dev/null 2>"$work/kill.err" &
  pid=$!
  for _ in $(seq 1 400); do grep -q '"Bootstrapping' "$work/kill.err" 2>/dev/null && break; sleep 0.02; done
  kill -TERM "$pid"
  wait "$pid"
  status=$?
  test "$status" -ne 0 && break
done
check "an interrupt exits 130" test "$status" -eq 130
check "an interrupt's result file" py '
import json, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))
assert r["status"] == 130 and r["outcome"] == "interrupted" and r["files"] == [], r
' "$work/kill.json"
check "an interrupt keeps the earlier map" test "$(sha256sum "$work/kill/AVGBayesP.asc")" = "$before"
check "an interrupt leaves no temporary file" test -z "$(find "$work/kill" -name '.*karvelo-tmp*')"

echo "json_output: $passed passed, $failed failed"
test "$failed" -eq 0
