#!/usr/bin/env bash
# The viewer's thumbnail column over a large folder (bench_mview: appending 10,000 entries,
# painting the first screen of eight cells from JPEGs, scrolling through stored thumbnails),
# with the first screen set side by side with `vipsthumbnail` making the same eight thumbnails
# (100 x 100 box, PNG out, one process), in one run.
# Usage: bench/compare_mview.sh BUILD_DIR JPEG_DIR   (a Release build with the Qt widgets)
# JPEG_DIR holds the photographs (e.g. twelve 6000 x 4000 JPEGs); the entries cycle through
# them in name order, so the first screen shows the first eight.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: compare_mview.sh BUILD_DIR JPEG_DIR}
in=${2:?usage: compare_mview.sh BUILD_DIR JPEG_DIR}
tool=$build/bench_mview
[[ -x $tool ]] || { echo "no $tool: build a Release tree with the Qt widgets first" >&2; exit 2; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/velora-mview.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
mapfile -t first < <(ls "$in"/*.jpg | sort | head -8)
(( ${#first[@]} == 8 )) || { echo "$in needs at least eight JPEGs" >&2; exit 2; }

echo "load average: $(cut -d' ' -f1 /proc/loadavg); $(vipsheader "${first[0]}")"
out=$(QT_QPA_PLATFORM=offscreen "$tool" --entries "${ENTRIES:-10000}" --folder "$in" 2>/dev/null)
echo "$out"
ours=$(sed -n 's/^first screen:.* = \([0-9.]*\) ms per thumbnail.*/\1/p' <<<"$out")
reps=${REPS:-5}
. "$root/bench/timing.sh"
vips=$(awk -v ms="$(time_cmd vipsthumbnail --size 100 -o "$tmp/%s.png" "${first[@]}")" 'BEGIN {printf "%.1f", ms / 8}')
echo "vipsthumbnail: 8 thumbnails, $vips ms per thumbnail (median of $reps whole commands / 8)"
awk -v a="$ours" -v b="$vips" 'BEGIN {printf "first screen per thumbnail, ours/vipsthumbnail %.2f\n", a / b}'
