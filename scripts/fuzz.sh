#!/usr/bin/env bash
# Builds the fuzz targets of the file readers with clang and runs each for a while; fails on any finding.
# usage: scripts/fuzz.sh [seconds-per-target]   (default 60; needs clang and libclang-rt-14-dev)
# A finding is left in build-fuzz/findings/<target>/ (crash-*, timeout-*, oom-*) for replay:
#   build-fuzz/fuzz/fuzz_<target> build-fuzz/findings/<target>/crash-...
set -u
seconds="${1:-60}"
case "$seconds" in '' | *[!0-9]*) echo "fuzz.sh: seconds must be a whole number, not '$seconds'" >&2; exit 2 ;; esac
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"
targets="gridfile configfile valdata"

for tool in clang clang++ cmake ninja; do
  command -v "$tool" >/dev/null || { echo "fuzz.sh: $tool is not installed" >&2; exit 2; }
done

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKARVELO_BUILD_FUZZ=ON -DKARVELO_BUILD_TESTS=OFF >"$build.configure.log" 2>&1 \
  || { cat "$build.configure.log" >&2; echo "fuzz.sh: configure failed" >&2; exit 1; }
ninja -C "$build" -j2 $(for t in $targets; do echo "fuzz_$t"; done) || { echo "fuzz.sh: build failed" >&2; exit 1; }

# Sanitizer reports must end the run with a failure, never scroll by.
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:${UBSAN_OPTIONS:-}"

status=0
for t in $targets; do
  corpus="$build/corpus/$t"       # grows across runs; the committed seeds stay untouched
  findings="$build/findings/$t"
  mkdir -p "$corpus" "$findings"
  echo "== fuzz_$t for ${seconds}s"
  # -timeout: one input that takes longer is a hang; -rss_limit_mb: one that eats memory is a fault.
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$findings/" \
    "$corpus" "$root/fuzz/corpus/$t" >"$build/fuzz_$t.log" 2>&1
  rc=$?
  tail -n 12 "$build/fuzz_$t.log"
  if [ $rc -ne 0 ]; then
    echo "fuzz.sh: fuzz_$t found a fault (exit $rc); see $build/fuzz_$t.log and $findings/" >&2
    status=1
  fi
done
exit $status
