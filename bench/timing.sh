# Shared by the side-by-side scripts that time whole commands. hyperfine runs each command once
# to warm the caches, then $reps times (default 5), with no shell between it and the command, and
# throws the command's output away. Source it from bash.
#   time_cmd CMD ARG...   median wall-clock milliseconds
#   cpu_cmd CMD ARG...    mean processor milliseconds (user + system): on a shared machine the
#                         other loads move it far less than the wall clock
#   need_built DIR PROG...  stops with a word on what to build unless DIR holds every PROG
#   scratch_dir           sets $tmp to a fresh folder that goes when the script ends
command -v hyperfine >/dev/null || { echo "hyperfine is missing: scripts/bootstrap --bench" >&2; exit 2; }

# Runs hyperfine on the command and prints the statistic the Python expression (over its
# result r, in seconds) gives, in milliseconds.
hyperfine_stat() {
  local pick=$1 a json
  shift
  local words=()
  # hyperfine splits the command line itself; single quotes keep every argument whole.
  for a in "$@"; do words+=("'${a//\'/\'\\\'\'}'"); done
  json=$(mktemp "${TMPDIR:-/tmp}/velora-hyperfine.XXXXXX")
  hyperfine --shell=none --ignore-failure --style none --warmup 1 --runs "${reps:-5}" \
    --export-json "$json" -- "${words[*]}" >/dev/null 2>&1
  python3 -c 'import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
print(round(eval(sys.argv[2]) * 1000, 1))' "$json" "$pick"
  rm -f "$json"
}
# "NAME MEDIAN" lines of a Google Benchmark program run REPS times (the median's processor time,
# in the program's unit); any arguments after the program go to it.
bench_medians() {
  "$@" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
    awk -F, '/_median/ {gsub(/"/, "", $1); sub(/_median/, "", $1); sub(/\/process_time$/, "", $1); print $1, $4}'
}
time_cmd() { hyperfine_stat 'r["median"]' "$@"; }
cpu_cmd() { hyperfine_stat 'r["user"] + r["system"]' "$@"; }

need_built() {
  local build=$1 p
  shift
  for p in "$@"; do
    [[ -x $build/$p ]] || { echo "no $build/$p: build a Release tree with the benchmarks first" >&2; exit 2; }
  done
}

scratch_dir() {
  tmp=$(mktemp -d "${TMPDIR:-/tmp}/velora-cmp.XXXXXX")
  trap 'rm -rf "$tmp"' EXIT
}
