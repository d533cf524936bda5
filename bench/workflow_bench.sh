#!/usr/bin/env bash
# The whole workflow (config, audit, plain map, uncertainty map, validate, info) timed side by side
# for two builds of karvelo-batch on the same generated case; every output compared with cmp.
# Usage: bench/workflow_bench.sh OLD_BATCH NEW_BATCH DATA_FOLDER [--size N] [--threads T] [--repeat R]
# The case (obs.asc, elev.asc, dist.asc, points.txt; fixed seed) is generated once into
# DATA_FOLDER/N and kept there.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
[ $# -ge 3 ] || { sed -n 2,6p "$0"; exit 2; }
old="$(realpath "$1")"; new="$(realpath "$2")"; data="$3"; shift 3
size=10000; threads=""; repeat=1
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size="$2"; shift 2 ;;
    --threads) threads="$2"; shift 2 ;;
    --repeat) repeat="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
case_dir="$(realpath -m "$data/$size")"
if [ ! -s "$case_dir/points.txt" ]; then
  mkdir -p "$case_dir"
  c++ -O2 -std=c++20 -o "$case_dir/gen" "$here/gen_workflow_case.cpp"
  echo "generating the ${size} x ${size} case in $case_dir ..." >&2
  "$case_dir/gen" "$size" "$case_dir" 1000000
fi
runs="$(mktemp -d "${TMPDIR:-/tmp}/karvelo-workflow.XXXXXX")"
[ -n "${KEEP_RUNS:-}" ] && echo "runs kept in $runs" >&2 || trap 'rm -rf "$runs"' EXIT
# Pull the grids into the page cache, so both builds find them there.
cat "$case_dir"/*.asc "$case_dir/points.txt" > /dev/null

# step NAME BUILD(old|new) ARGS...: one timed run in the build's own folder; prints "wall rss_kb".
step() {
  local name="$1" which="$2"; shift 2
  local bin="$old"; [ "$which" = new ] && bin="$new"
  local dir="$runs/$which"; mkdir -p "$dir"
  local opts=(--seed 7 --workdir "$dir"); [ -n "$threads" ] && [ "$which" = new ] && opts+=(--threads "$threads")
  /usr/bin/time -v -o "$runs/time" "$bin" "${opts[@]}" "$@" > "$dir/$name.out" 2> "$dir/$name.err" ||
    { echo "$which $name failed:" >&2; cat "$dir/$name.err" >&2; exit 1; }
  local wall rss
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,t,":"); s=0; for(i=1;i<=n;i++) s=s*60+t[i]; print s}' "$runs/time")
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$runs/time")
  echo "$wall $rss"
}

c="$case_dir"
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"
names=(config audit "map --no-uncertainty" map validate "info obs.asc")
declare -A wall_old wall_new rss_old rss_new
# The builds take turns step by step, so that both meet the same load on a shared machine.
record() {  # record STEP BUILD "wall rss"
  local w m; read -r w m <<< "$3"
  if [ "$2" = old ]; then wall_old[$1]+="$w "; rss_old[$1]="$m"; else wall_new[$1]+="$w "; rss_new[$1]="$m"; fi
}
for ((k = 1; k <= repeat; k++)); do
  for which in old new; do
    record 0 "$which" "$(step config "$which" config -o "$runs/$which/case.txt" --obs "$c/obs.asc:1:0" --aux "$c/elev.asc" --aux "$c/dist.asc")"
  done
  for which in old new; do record 1 "$which" "$(step audit "$which" audit "$runs/$which/case.txt")"; done
  for which in old new; do
    record 2 "$which" "$(step plainmap "$which" map "$runs/$which/case.txt" --no-uncertainty)"
    # Each run's outputs are kept under their own names, so both builds' outputs can be compared.
    mkdir -p "$runs/$which/plain"
    mv "$runs/$which"/BayesP.asc "$runs/$which"/BayesP.bmp "$runs/$which"/Bayeslog10P.bmp "$runs/$which/plain/"
  done
  for which in old new; do record 3 "$which" "$(step map "$which" map "$runs/$which/case.txt")"; done
  for which in old new; do
    record 4 "$which" "$(step validate "$which" validate "$c/points.txt" "$runs/$which/plain/BayesP.asc")"
  done
  for which in old new; do record 5 "$which" "$(step info "$which" info "$c/obs.asc")"; done
done

# Every output of the two builds, byte for byte (the log holds dates and times, and the
# configuration names its own folder).
diffs=0
while IFS= read -r f; do
  rel="${f#"$runs/old/"}"
  case "$rel" in Karvelo.log|*.err|.karvelo.lock) continue ;; esac
  if [ "$rel" = case.txt ] || [ "${rel%.out}" != "$rel" ]; then
    # These name the build's own folder.
    cmp -s <(sed "s#$runs/old#X#g" "$f") <(sed "s#$runs/new#X#g" "$runs/new/$rel") ||
      { echo "DIFFERS: $rel" >&2; diffs=$((diffs + 1)); }
  elif ! cmp -s "$f" "$runs/new/$rel"; then echo "DIFFERS: $rel" >&2; diffs=$((diffs + 1)); fi
done < <(find "$runs/old" -type f | sort)

best() { tr ' ' '\n' | grep . | sort -g | head -n 1; }
grid_mb=$(du -cm "$c"/obs.asc | tail -n 1 | cut -f1)
printf '| step (%s x %s, %s) | old: wall, peak RSS | new: wall, peak RSS | speed-up |\n' "$size" "$size" "${threads:-default threads}"
printf '|---|---|---|---|\n'
tot_old=0; tot_new=0
for i in 0 1 2 3 4 5; do
  wo=$(echo "${wall_old[$i]}" | best); wn=$(echo "${wall_new[$i]}" | best)
  [ "$i" -lt 5 ] && { tot_old=$(echo "$tot_old + $wo" | bc -l); tot_new=$(echo "$tot_new + $wn" | bc -l); }
  extra=""
  [ "$i" -eq 5 ] && extra=$(printf ' (%.0f MB/s)' "$(echo "$grid_mb / $wn" | bc -l)")
  printf '| `%s` | %.2f s, %d MB | %.2f s, %d MB%s | %.2f x |\n' "${names[$i]}" "$wo" $((rss_old[$i] / 1024)) "$wn" \
    $((rss_new[$i] / 1024)) "$extra" "$(echo "$wo / $wn" | bc -l)"
done
printf '| workflow (config to validate) | %.2f s | %.2f s | %.2f x |\n' "$tot_old" "$tot_new" "$(echo "$tot_old / $tot_new" | bc -l)"
echo "outputs compared: $(find "$runs/old" -type f | wc -l) files, $diffs differ; best of $repeat run(s); load average before: $load_before, after: $(cut -d' ' -f1-3 /proc/loadavg)"
[ "$diffs" -eq 0 ]
