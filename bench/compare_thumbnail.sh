#!/usr/bin/env bash
# Side-by-side timing of 100 x 100 thumbnails of a folder of photographs: `velora thumbnail`
# (the multi-view's road: JPEG decoded at the smallest sufficient scale, fast resizer, PNG)
# against `vipsthumbnail` at the same size and output format, in one run.
# Usage: bench/compare_thumbnail.sh [BUILD_DIR]   (a Release build; default build/rel)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/rel}
tool=$build/velora
[[ -x $tool ]] || { echo "no $tool: build a Release tree first" >&2; exit 2; }
py=/usr/bin/python3
tmp=$(mktemp -d "${TMPDIR:-/tmp}/velora-thumb.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
count=${COUNT:-12}
reps=${REPS:-3}

mkdir -p "$tmp/in" "$tmp/ours" "$tmp/vips"
$py - "$tmp/in" "$count" <<'PY'
import sys
from PIL import Image
folder, n = sys.argv[1], int(sys.argv[2])
base = Image.linear_gradient("L").resize((3000, 2000))
for i in range(n):
    noise = Image.effect_noise((3000, 2000), 20 + i)
    Image.merge("RGB", (base, noise, base.rotate(90 + i).resize((3000, 2000)))).save(f"{folder}/photo{i:02d}.jpg", quality=90)
PY

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
time_cmd() {
  for _ in $(seq "$reps"); do
    local t0=$(date +%s%N); "$@" >/dev/null 2>&1; local t1=$(date +%s%N)
    echo $(( (t1 - t0) / 1000000 ))
  done | median
}
ours=$(time_cmd "$tool" thumbnail --size 100 "$tmp"/in/*.jpg --out "$tmp/ours")
vips=$(time_cmd vipsthumbnail --size 100 -o "$tmp/vips/%s.png" "$tmp"/in/*.jpg)
echo "$count JPEGs of 3000x2000 -> 100x100 box PNG, median of $reps, wall-clock ms (load average: $(cut -d' ' -f1 /proc/loadavg))"
printf '%-28s %8s\n' "velora thumbnail" "$ours" "vipsthumbnail" "$vips"
awk -v a="$ours" -v b="$vips" 'BEGIN {printf "ours/vipsthumbnail %.2f\n", a / b}'
echo "sizes: ours $("$tool" info "$tmp/ours/photo00.png" | cut -d, -f2), vips $(vipsheader "$tmp/vips/photo00.png" | cut -d: -f2 | cut -d, -f1)"
