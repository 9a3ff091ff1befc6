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
