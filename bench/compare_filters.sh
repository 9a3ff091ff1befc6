#!/usr/bin/env bash
# Side-by-side timing of the filters and geometric operations on the same pixels, in one run:
#   whole processes on a 24-megapixel PPM, `velora rotate` / `flip` / `filter` against ImageMagick
#   `convert`; in-process, bench_filters against Pillow.
# Usage: bench/compare_filters.sh [BUILD_DIR]   (a Release build with the benchmarks; default build/rel)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/rel}
reps=${REPS:-3}
. "$root/bench/timing.sh"
need_built "$build" velora bench_filters
scratch_dir
py=/usr/bin/python3
magick=/usr/bin/convert

# A photo-like 6000 x 4000 test image: smooth gradients with a little noise.
$py - "$tmp/in.ppm" <<'PY'
import sys
from PIL import Image
w, h = 6000, 4000
img = Image.linear_gradient("L").resize((w, h))
noise = Image.effect_noise((w, h), 40)
Image.merge("RGB", (img, noise, img.rotate(90).resize((w, h)))).save(sys.argv[1])
PY

# The machine is shared and its load moves wall-clock times by several times, so every figure
# is processor time (user + system, all threads) as hyperfine reports it, the mean of REPS runs
# after one warm-up; ImageMagick is held to one thread.
export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
row() { printf '%-52s %8s %8s %6s\n' "$1" "$2" "$3" "$(ratio "$2" "$3")"; }

echo "load average at start: $(cut -d' ' -f1 /proc/loadavg); processor ms (whole processes: mean of $reps; in-process: median of $reps)"
echo
in=$tmp/in.ppm
# WHOLE=0 skips the whole processes (the in-process figures alone take a few minutes).
if [[ ${WHOLE:-1} != 0 ]]; then
echo "Whole processes, 6000 x 4000 PPM in and out                 ours  convert  ratio"
v=$build/velora
row "convert (a copy) / convert" "$(cpu_cmd $v convert "$in" "$tmp/o.ppm")" "$(cpu_cmd $magick "$in" "$tmp/m.ppm")"
row "rotate 90 / -rotate -90" "$(cpu_cmd $v rotate "$in" "$tmp/o.ppm" 90)" \
  "$(cpu_cmd $magick "$in" -rotate -90 "$tmp/m.ppm")"
row "flip horizontal / -flop" "$(cpu_cmd $v flip "$in" "$tmp/o.ppm" horizontal)" \
  "$(cpu_cmd $magick "$in" -flop "$tmp/m.ppm")"
row "flip vertical / -flip" "$(cpu_cmd $v flip "$in" "$tmp/o.ppm" vertical)" \
  "$(cpu_cmd $magick "$in" -flip "$tmp/m.ppm")"
row "rotate 30 / -rotate -30" "$(cpu_cmd $v rotate "$in" "$tmp/o.ppm" 30)" \
  "$(cpu_cmd $magick "$in" -rotate -30 "$tmp/m.ppm")"
row "filter blur / -morphology Convolve 3x3:1,...,1 (scale !)" "$(cpu_cmd $v filter "$in" "$tmp/o.ppm" blur)" \
  "$(cpu_cmd $magick "$in" -define 'convolve:scale=!' -morphology Convolve '3x3:1,1,1,1,1,1,1,1,1' "$tmp/m.ppm")"
row "filter max 1 / -morphology Dilate Square:1" "$(cpu_cmd $v filter "$in" "$tmp/o.ppm" max 1)" \
  "$(cpu_cmd $magick "$in" -morphology Dilate Square:1 "$tmp/m.ppm")"
row "filter max 5 / -morphology Dilate Square:5" "$(cpu_cmd $v filter "$in" "$tmp/o.ppm" max 5)" \
  "$(cpu_cmd $magick "$in" -morphology Dilate Square:5 "$tmp/m.ppm")"
row "filter wave 10 20 / -wave 10x20" "$(cpu_cmd $v filter "$in" "$tmp/o.ppm" wave 10 20)" \
  "$(cpu_cmd $magick "$in" -wave 10x20 "$tmp/m.ppm")"
fi

ours=$(VELORA_BENCH_IMAGE=$in bench_medians "$build/bench_filters" --benchmark_min_time=0.05)
pick() { awk -v n="$1" '$1 == n {print $2}' <<<"$ours"; }
pillow=$($py - "$in" "$reps" "$root/bench" <<'PY'
import sys
sys.path.insert(0, sys.argv[3])
from pillow_timing import report
from PIL import Image, ImageFilter
im = Image.open(sys.argv[1]); im.load()
T = Image.Transpose
cases = {
    "rot90": lambda: im.transpose(T.ROTATE_90),
    "rot180": lambda: im.transpose(T.ROTATE_180),
    "rot270": lambda: im.transpose(T.ROTATE_270),
    "flop": lambda: im.transpose(T.FLIP_LEFT_RIGHT),
    "flip": lambda: im.transpose(T.FLIP_TOP_BOTTOM),
    "kernel": lambda: im.filter(ImageFilter.Kernel((3, 3), [1] * 9, 9)),
    "max3": lambda: im.filter(ImageFilter.MaxFilter(3)),
    "rot30": lambda: im.rotate(30, Image.BILINEAR, expand=True),
}
report(cases, int(sys.argv[2]))
PY
)
pil() { awk -v n="$1" '$1 == n {print $2}' <<<"$pillow"; }
echo
echo "In-process, the same 24 megapixels                           ours   Pillow  ratio"
row "RotateImage 90 / transpose(ROTATE_90)" "$(pick BM_Rotate/90)" "$(pil rot90)"
row "RotateImage 180 / transpose(ROTATE_180)" "$(pick BM_Rotate/180)" "$(pil rot180)"
row "RotateImage 270 / transpose(ROTATE_270)" "$(pick BM_Rotate/270)" "$(pil rot270)"
row "FlipImage horizontal / transpose(FLIP_LEFT_RIGHT)" "$(pick BM_Flip/0)" "$(pil flop)"
row "FlipImage vertical / transpose(FLIP_TOP_BOTTOM)" "$(pick BM_Flip/1)" "$(pil flip)"
row "ConvolveUserFilter blur / ImageFilter.Kernel 3x3" "$(pick BM_UserFilterBlur)" "$(pil kernel)"
row "MorphFilter max radius 1 / ImageFilter.MaxFilter(3)" "$(pick BM_Maximum/1)" "$(pil max3)"
row "RotateImage 30 / rotate(30, BILINEAR, expand=True)" "$(pick BM_Rotate/30)" "$(pil rot30)"
echo
row "MorphFilter max radius 64 / radius 1 (ours)" "$(pick BM_Maximum/64)" "$(pick BM_Maximum/1)"
echo "(ours also: MorphFilter max radius 5 $(pick BM_Maximum/5) ms, Wave 10 20 $(pick BM_Wave) ms)"
echo "load average at end: $(cut -d' ' -f1 /proc/loadavg)"
