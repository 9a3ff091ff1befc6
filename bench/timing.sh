# Shared by the side-by-side scripts that time whole commands: median_ms of REPS runs of a
# command after one warm-up run, wall-clock milliseconds. Source it; set reps first.
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
time_cmd() {
  "$@" >/dev/null 2>&1 || true  # once to warm the caches
  for _ in $(seq "$reps"); do
    local t0=$(date +%s%N); "$@" >/dev/null 2>&1 || true; local t1=$(date +%s%N)
    echo $(( (t1 - t0) / 1000000 ))
  done | median
}
# "NAME MEDIAN" lines of a Google Benchmark program run REPS times (the median's processor time,
# in the program's unit); any arguments after the program go to it.
bench_medians() {
  "$@" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
    awk -F, '/_median/ {gsub(/"/, "", $1); sub(/_median/, "", $1); print $1, $4}'
}
