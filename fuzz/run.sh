#!/bin/sh
# fuzz/run.sh FORMAT SECONDS
# Builds the libFuzzer tree (build/fuzz, clang) and runs fuzz_FORMAT for SECONDS on a working
# copy of fuzz/corpus/FORMAT in fuzz/out/FORMAT/corpus, so the committed seed corpus never grows
# by itself and what a run found stays there for replaying until the next run. Crashing,
# leaking or hanging inputs land in fuzz/out/FORMAT/ (git-ignored). Ends with a summary line:
# executions, final corpus size, findings.
set -eu
[ $# -eq 2 ] || { echo "usage: fuzz/run.sh FORMAT SECONDS" >&2; exit 2; }
fmt=$1
secs=$2
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
[ -f "$root/fuzz/fuzz_$fmt.cpp" ] || { echo "no target fuzz/fuzz_$fmt.cpp" >&2; exit 2; }

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELORA_FUZZ=ON -DVELORA_WIDGETS=OFF -DVELORA_BENCH=OFF >/dev/null
fi
mkdir -p "$root/fuzz/out"
ninja -C "$build" -j2 "fuzz_$fmt" >"$root/fuzz/out/build.log" 2>&1 || { cat "$root/fuzz/out/build.log" >&2; exit 1; }

out=$root/fuzz/out/$fmt
corpus=$out/corpus
rm -rf "$corpus"
mkdir -p "$corpus"
[ -d "$root/fuzz/corpus/$fmt" ] && cp -r "$root/fuzz/corpus/$fmt/." "$corpus/"
dict=
[ -f "$root/fuzz/$fmt.dict" ] && dict=-dict=$root/fuzz/$fmt.dict
log=$out/run.log

# The leaks of system libraries (fontconfig's caches, reached through cairo's text) are the
# test tree's known ones.
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
before=$(ls "$out" | grep -c -E '^(crash|leak|timeout|oom)-' || true)
status=0
t0=$(date +%s)
"$build/fuzz_$fmt" $dict -max_total_time="$secs" -rss_limit_mb=2048 -timeout=10 \
  -artifact_prefix="$out/" -print_final_stats=1 "$corpus" >"$log" 2>&1 || status=$?
elapsed=$(( $(date +%s) - t0 ))
after=$(ls "$out" | grep -c -E '^(crash|leak|timeout|oom)-' || true)

execs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
files=$(ls "$corpus" | wc -l)
echo "fuzz_$fmt: ${elapsed}s of ${secs}s, ${execs:-?} executions, corpus $files files, $((after - before)) new findings (exit $status)"
[ "$status" -eq 0 ] || grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" | head -5
ls "$out" | grep -E '^(crash|leak|timeout|oom)-' | sed "s|^|  $out/|" || true
exit 0
