#!/usr/bin/env bash
# Side-by-side timing of 100 x 100 thumbnails of a folder of photographs: `velora thumbnail`
# (the multi-view's road: JPEG decoded at the smallest sufficient scale, fast resizer, PNG)
# against `vipsthumbnail` at the same size and output format, in one run.
# Usage: bench/compare_thumbnail.sh [BUILD_DIR]   (a Release build; default build/rel)
# WIDTH x HEIGHT (default 3000 x 2000), COUNT (12) and REPS (3) change the run; INPUT=DIR times
# the JPEGs already in DIR instead of writing new ones (writing 24-megapixel files takes minutes).
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
width=${WIDTH:-3000}
height=${HEIGHT:-2000}
size=${SIZE:-100}

mkdir -p "$tmp/ours" "$tmp/vips"
if [[ -n ${INPUT:-} ]]; then
  in=$INPUT
  files=("$in"/*.jpg)
  count=${#files[@]}
  width=$(vipsheader -f width "${files[0]}")
  height=$(vipsheader -f height "${files[0]}")
else
  in=$tmp/in
  mkdir -p "$in"
  $py - "$in" "$count" "$width" "$height" <<'PY'
import sys
from PIL import Image
folder, n, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
base = Image.linear_gradient("L").resize((w, h))
for i in range(n):
    noise = Image.effect_noise((w, h), 20 + i)
    Image.merge("RGB", (base, noise, base.rotate(90 + i).resize((w, h)))).save(f"{folder}/photo{i:02d}.jpg", quality=90)
PY
fi

. "$root/bench/timing.sh"
ours=$(time_cmd "$tool" thumbnail --size "$size" "$in"/*.jpg --out "$tmp/ours")
vips=$(time_cmd vipsthumbnail --size "$size" -o "$tmp/vips/%s.png" "$in"/*.jpg)
echo "$count JPEGs of ${width}x${height} -> ${size}x${size} box PNG, median of $reps, wall-clock ms (load average: $(cut -d' ' -f1 /proc/loadavg))"
printf '%-28s %8s\n' "velora thumbnail" "$ours" "vipsthumbnail" "$vips"
awk -v a="$ours" -v b="$vips" 'BEGIN {printf "ours/vipsthumbnail %.2f\n", a / b}'
first=$(basename "$(ls "$in"/*.jpg | head -1)" .jpg)
echo "sizes: ours $("$tool" info "$tmp/ours/$first.png" | cut -d, -f2), vips $(vipsheader "$tmp/vips/$first.png" | cut -d: -f2 | cut -d, -f1)"
