#!/usr/bin/env bash
# Side-by-side timing of a Lanczos3 reduction 6000 x 4000 → 1500 x 1000 on the same pixels:
# ours (bench_resample), Pillow, libvips and ImageMagick, all in one run.
# Usage: bench/compare_resize.sh [BUILD_DIR]   (a Release build with the benchmarks; default build/rel)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/rel}
bench=$build/bench_resample
[[ -x $bench ]] || bench=$build/bench/bench_resample
[[ -x $bench ]] || { echo "no $bench: build a Release tree with the benchmarks first" >&2; exit 2; }
py=/usr/bin/python3
magick=/usr/bin/convert
tmp=$(mktemp -d "${TMPDIR:-/tmp}/velora-cmp.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
reps=${REPS:-5}

# A photo-like test image: smooth gradients with a little noise.
$py - "$tmp/in.ppm" <<'PY'
import sys, random
from PIL import Image
w, h = 6000, 4000
img = Image.linear_gradient("L").resize((w, h))
noise = Image.effect_noise((w, h), 40)
Image.merge("RGB", (img, noise, img.rotate(90).resize((w, h)))).save(sys.argv[1])
PY
vips copy "$tmp/in.ppm" "$tmp/in.v"
$magick "$tmp/in.ppm" "$tmp/in.mpc"

. "$root/bench/timing.sh"

ours=$(VELORA_BENCH_IMAGE=$tmp/in.ppm "$bench" --benchmark_filter='BM_ResampleLanczos3|BM_FastResizeBitmap' \
  --benchmark_repetitions=$reps --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
  awk -F, '/_median/ {gsub(/"/, "", $1); print $1, $3}')
ours_lanczos=$(awk '/Lanczos3/ {print $2}' <<<"$ours")
ours_fast=$(awk '/FastResize/ {print $2}' <<<"$ours")

pillow=$($py - "$tmp/in.ppm" "$reps" <<'PY'
import sys, time
from PIL import Image
im = Image.open(sys.argv[1]); im.load()
ts = []
for _ in range(int(sys.argv[2])):
    t0 = time.perf_counter(); im.resize((1500, 1000), Image.LANCZOS); ts.append(time.perf_counter() - t0)
ts.sort(); print(round(ts[len(ts) // 2] * 1000, 1))
PY
)
# libvips and ImageMagick run as commands: their time includes reading the memory-mapped input
# (.v, .mpc) and writing a small output; the copy without resizing is shown as the baseline.
vips_resize=$(time_cmd vips resize "$tmp/in.v" "$tmp/out.v" 0.25 --kernel lanczos3)
vips_copy=$(time_cmd vips copy "$tmp/in.v" "$tmp/copy.v")
im_resize=$(time_cmd $magick "$tmp/in.mpc" -filter Lanczos -resize '1500x1000!' "$tmp/out.ppm")
im_copy=$(time_cmd $magick "$tmp/in.mpc" "$tmp/copy.ppm")

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
echo "Lanczos3 6000x4000 -> 1500x1000, median of $reps, wall-clock ms (load average: $(cut -d' ' -f1 /proc/loadavg))"
printf '%-36s %8s\n' "ours ResampleBitmap rfLanczos3" "$ours_lanczos" \
  "ours FastResizeBitmap" "$ours_fast" \
  "Pillow Image.resize LANCZOS" "$pillow" \
  "vips resize --kernel lanczos3" "$vips_resize" \
  "  (vips copy, I/O baseline)" "$vips_copy" \
  "ImageMagick -filter Lanczos -resize" "$im_resize" \
  "  (ImageMagick copy, I/O baseline)" "$im_copy"
echo "ours/Pillow      $(ratio "$ours_lanczos" "$pillow")"
echo "ours/libvips     $(ratio "$ours_lanczos" "$vips_resize")"
echo "ours/ImageMagick $(ratio "$ours_lanczos" "$im_resize")"
echo "Lanczos3/fast    $(ratio "$ours_lanczos" "$ours_fast")"
