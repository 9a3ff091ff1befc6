#!/usr/bin/env bash
# Side-by-side timing of the viewer's folder scan: `velora scan FOLDER '*.*'` (every file's
# header read to list its size and depth) against `identify -ping` over the same files, in
# one run. The folder holds COUNT (10,000) names linked in turn to the sample pictures that both
# tools read (JPEG, PNG, BMP, GIF, TGA, PCX, ICO, PNM, WMF), so the disk cache serves both alike
# and each side reads the same files. A sample only one side reads is left out (ImageMagick has
# no EMF reader here): the other side would time a quick refusal against a full header read.
# Usage: bench/compare_scan.sh [BUILD_DIR]   (a Release build; default build/rel)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/rel}" && pwd)
tool=$build/velora
[[ -x $tool ]] || { echo "no $tool: build a Release tree first" >&2; exit 2; }
count=${COUNT:-10000}
reps=${REPS:-3}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/velora-scan.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

readable_by_both() {
  [[ -n $("$tool" scan "$(dirname "$1")" "$(basename "$1")") ]] && identify -ping "$1" >/dev/null 2>&1
}
mapfile -t samples < <(for s in "$root"/samples/*; do readable_by_both "$s" && echo "$s"; done | sort)
left_out=$(for s in "$root"/samples/*; do readable_by_both "$s" || basename "$s"; done | tr '\n' ' ')
python3 - "$tmp" "$count" "${samples[@]}" <<'PY'
import os, shutil, sys
folder, count, samples = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
for i in range(count):
    s = samples[i % len(samples)]
    name = os.path.join(folder, "img%05d.%s" % (i, s.rsplit(".", 1)[1]))
    try:
        os.link(s, name)
    except OSError:
        shutil.copy(s, name)
PY

. "$root/bench/timing.sh"
cd "$tmp"
ours=$(time_cmd "$tool" scan "$tmp" '*.*')
# Ten thousand names make a command line longer than one argument may be: a shell expands them.
theirs=$(time_cmd sh -c "identify -ping -format '%f %wx%h %z %r\\n' ./*")
echo "$count files, $(printf '%s\n' "${samples[@]}" | sed 's/.*\.//' | sort -u | tr '\n' ' ')- median of $reps, wall-clock ms (load average: $(cut -d' ' -f1 /proc/loadavg))"
echo "samples left out (not read by both): ${left_out:-none}"
printf '%-28s %8s\n' "velora scan" "$ours" "identify -ping" "$theirs"
awk -v a="$ours" -v b="$theirs" 'BEGIN {printf "ours/identify %.3f\n", a / b}'
echo "listed: ours $("$tool" scan "$tmp" '*.*' | wc -l), identify $(identify -ping -format '%f\n' ./* 2>/dev/null | wc -l)"
