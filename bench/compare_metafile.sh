#!/usr/bin/env bash
# Side-by-side timing of metafile drawing: `velora convert` of a 5000-record chart EMF to a
# 2000-pixel PNG, and of a 5000-record clip-art WMF to a PNG of about 2000 pixels against
# ImageMagick's WMF reader (`convert -density 96`, the same size) in one run. ImageMagick reads
# no EMF here, so the EMF has no yardstick but the 0.2 s target.
# Usage: bench/compare_metafile.sh [BUILD_DIR]   (a Release build; default build/rel)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/rel}" && pwd)
tool=$build/velora
[[ -x $tool && -x $build/make_bench_metafiles ]] || { echo "build velora and make_bench_metafiles in $build first" >&2; exit 2; }
reps=${REPS:-5}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/velora-metafile.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
"$build/make_bench_metafiles" "$tmp"

. "$root/bench/timing.sh"
emf=$(time_cmd "$tool" convert "$tmp/chart5000.emf" "$tmp/chart.png")
wmf=$(time_cmd "$tool" convert "$tmp/clipart5000.wmf" "$tmp/clipart.png")
has_wmf=$(convert -list format 2>/dev/null | grep -c '^ *WMF' || true)
echo "median of $reps, wall-clock ms (load average: $(cut -d' ' -f1 /proc/loadavg))"
echo "chart5000.emf -> $(identify -format '%wx%h' "$tmp/chart.png") PNG: velora convert $emf"
if [[ $has_wmf -gt 0 ]]; then
  im=$(time_cmd convert -density 96 "$tmp/clipart5000.wmf" "$tmp/clipart_im.png")
  echo "clipart5000.wmf -> ours $(identify -format '%wx%h' "$tmp/clipart.png"), ImageMagick $(identify -format '%wx%h' "$tmp/clipart_im.png")"
  printf '%-34s %8s\n' "velora convert" "$wmf" "convert -density 96 (libwmflite)" "$im"
  awk -v a="$wmf" -v b="$im" 'BEGIN {printf "ours/ImageMagick %.3f\n", a / b}'
else
  echo "clipart5000.wmf: velora convert $wmf; ImageMagick has no WMF reader here (scripts/bootstrap --bench installs it)"
fi
