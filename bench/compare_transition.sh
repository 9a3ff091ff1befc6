#!/usr/bin/env bash
# Side-by-side timing of a cross-dissolve of two 1920 x 1080 pictures at half way, on the same
# pixels, in one run: ours (bench_transition, the vlttCrossDissolve frame at p = 512) and
# Pillow's Image.blend(a, b, 0.5).
# Usage: bench/compare_transition.sh [BUILD_DIR]   (a Release build with the widgets; default build/release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
bench=$build/bench_transition
[[ -x $bench ]] || { echo "no $bench: build a Release tree with the widgets and benchmarks first" >&2; exit 2; }
py=/usr/bin/python3
tmp=$(mktemp -d "${TMPDIR:-/tmp}/velora-cmp.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
reps=${REPS:-5}

# Two photo-like pictures: gradients with a little noise, different enough to blend.
$py - "$tmp/a.ppm" "$tmp/b.ppm" <<'PY'
import sys
from PIL import Image
w, h = 1920, 1080
g = Image.linear_gradient("L").resize((w, h))
n = Image.effect_noise((w, h), 40)
Image.merge("RGB", (g, n, g.rotate(90).resize((w, h)))).save(sys.argv[1])
Image.merge("RGB", (n, g.transpose(Image.FLIP_LEFT_RIGHT), g)).save(sys.argv[2])
PY

# The frame rule alone, the work Image.blend does (effect 1 = vlttCrossDissolve, p = 512).
# Both sides are timed in CPU time: on a shared machine wall times follow the other loads.
ours=$(VELORA_BENCH_SOURCE=$tmp/a.ppm VELORA_BENCH_TARGET=$tmp/b.ppm "$bench" \
  --benchmark_filter='BM_Frame/1/512$' --benchmark_repetitions=$reps --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null | awk -F, '/_median/ {print $4}')

pillow=$($py - "$tmp/a.ppm" "$tmp/b.ppm" "$reps" <<'PY'
import sys, time
from PIL import Image
a = Image.open(sys.argv[1]); a.load()
b = Image.open(sys.argv[2]); b.load()
ts = []
for _ in range(int(sys.argv[3]) * 4):
    t0 = time.process_time(); Image.blend(a, b, 0.5); ts.append(time.process_time() - t0)
ts.sort(); print(round(ts[len(ts) // 2] * 1000, 2))
PY
)
pil_version=$($py -c 'import PIL; print(PIL.__version__)')
printf '%-40s %8s ms CPU\n' "ours vlttCrossDissolve frame, p = 512" "$(printf '%.2f' "$ours")"
printf '%-40s %8s ms CPU\n' "Pillow $pil_version Image.blend(a, b, 0.5)" "$pillow"
awk -v o="$ours" -v p="$pillow" 'BEGIN { printf "ours / Pillow = %.2f\n", o / p }'
