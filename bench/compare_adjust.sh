#!/usr/bin/env bash
# Side-by-side timing of the colour adjustments and the transform on the same pixels, in one run:
#   whole processes on a 24-megapixel PPM, `velora adjust` / `velora fft` against ImageMagick
#   `convert`; in-process, bench_adjust against Pillow; the transform of one plane,
#   bench_fft against FFTW (FFTW_MEASURE and FFTW_ESTIMATE).
# Usage: bench/compare_adjust.sh [BUILD_DIR]   (a Release build with the benchmarks; default build/rel)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/rel}
reps=${REPS:-5}
. "$root/bench/timing.sh"
need_built "$build" velora bench_adjust bench_fft
scratch_dir
py=/usr/bin/python3
magick=/usr/bin/convert

# Photo-like test images: smooth gradients with a little noise, 6000 x 4000 and 1024 x 1024.
$py - "$tmp/in.ppm" "$tmp/in1024.ppm" <<'PY'
import sys
from PIL import Image
for path, (w, h) in ((sys.argv[1], (6000, 4000)), (sys.argv[2], (1024, 1024))):
    img = Image.linear_gradient("L").resize((w, h))
    noise = Image.effect_noise((w, h), 40)
    Image.merge("RGB", (img, noise, img.rotate(90).resize((w, h)))).save(path)
PY

# The machine is shared and its load moves wall-clock times by several times, so every figure
# is processor time (user + system) of one thread: ImageMagick is held to one thread as ours
# runs on one.
export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
row() { printf '%-46s %8s %8s %6s\n' "$1" "$2" "$3" "$(ratio "$2" "$3")"; }

echo "load average at start: $(cut -d' ' -f1 /proc/loadavg); processor ms: whole processes the mean of $reps runs (hyperfine), in-process the median of $reps"
echo
echo "Whole processes, 6000 x 4000 PPM in and out           ours  convert  ratio"
v=$build/velora
row "--contrast 20 --brightness 10 / -brightness-contrast 10x20" \
  "$(cpu_cmd $v adjust "$tmp/in.ppm" "$tmp/o.ppm" --contrast 20 --brightness 10)" \
  "$(cpu_cmd $magick "$tmp/in.ppm" -brightness-contrast 10x20 "$tmp/m.ppm")"
row "--hsv 20,10,-5 / -modulate 95,110,111" \
  "$(cpu_cmd $v adjust "$tmp/in.ppm" "$tmp/o.ppm" --hsv 20,10,-5)" \
  "$(cpu_cmd $magick "$tmp/in.ppm" -modulate 95,110,111 "$tmp/m.ppm")"
row "--equalize / -equalize" \
  "$(cpu_cmd $v adjust "$tmp/in.ppm" "$tmp/o.ppm" --equalize)" \
  "$(cpu_cmd $magick "$tmp/in.ppm" -equalize "$tmp/m.ppm")"
row "fft 1024 x 1024 / -fft +delete" \
  "$(cpu_cmd $v fft "$tmp/in1024.ppm" "$tmp/o.ppm")" \
  "$(cpu_cmd $magick "$tmp/in1024.ppm" -fft +delete "$tmp/m.ppm")"

ours=$(VELORA_BENCH_IMAGE=$tmp/in.ppm bench_medians "$build/bench_adjust")
pick() { awk -v n="$1" '$1 == n {print $2}' <<<"$ours"; }
pillow=$($py - "$tmp/in.ppm" "$reps" "$root/bench" <<'PY'
import sys
sys.path.insert(0, sys.argv[3])
from pillow_timing import report
from PIL import Image, ImageEnhance
im = Image.open(sys.argv[1]); im.load()
lut = [min(255, max(0, round((i - 20) / 235 * 255))) for i in range(256)]
lut = [min(255, round(v / 230 * 255)) for v in lut] * 3
cases = {
    "contrast": lambda: ImageEnhance.Brightness(ImageEnhance.Contrast(im).enhance(1.2)).enhance(1.1),
    "hsv": lambda: im.convert("HSV").convert("RGB"),
    "levels": lambda: im.point(lut),
}
report(cases, int(sys.argv[2]))
PY
)
pil() { awk -v n="$1" '$1 == n {print $2}' <<<"$pillow"; }
echo
echo "In-process, the same 24 megapixels                      ours   Pillow  ratio"
row "contrast + brightness / two ImageEnhance steps" "$(pick BM_ContrastBrightness)" "$(pil contrast)"
row "HSV round trip / convert('HSV') and back" "$(pick BM_HsvRoundTrip)" "$(pil hsv)"
row "levels / Image.point" "$(pick BM_Levels)" "$(pil levels)"
echo "(ours also: AdjustHSL $(pick BM_HslAdjust) ms, EqualizeHistogram $(pick BM_Equalize) ms)"

echo
echo "Transform of one plane, one thread                        ours     FFTW  ratio"
fft=$(bench_medians "$build/bench_fft")
f() { awk -v n="$1" '$1 == n {print $2}' <<<"$fft"; }
for n in 1024 2048; do
  row "N = $n / FFTW_MEASURE" "$(f BM_OurFftPlane/$n)" "$(f BM_FftwMeasure/$n)"
  row "N = $n / FFTW_ESTIMATE" "$(f BM_OurFftPlane/$n)" "$(f BM_FftwEstimate/$n)"
done
echo "load average at end: $(cut -d' ' -f1 /proc/loadavg)"
