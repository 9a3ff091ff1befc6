#!/usr/bin/env bash
# Whole-process decoding time of the photo formats side by side with each format's own
# decoder on the same 12-megapixel file (4000 x 3000): `velora convert FILE OUT` against
# dwebp and djxl writing PPM, and avifdec and heif-convert, which write no PPM, writing PNG
# (ours then writes PNG too). Prints each median (hyperfine, REPS runs, default 5) and the
# ratio ours / theirs, then the machine's load.
#   bench/compare_photo_formats.sh [BUILD_DIR]   (default build/release; needs velora)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
velora=$build/velora
[[ -x $velora ]] || { echo "no $velora: build the tool in a Release tree first" >&2; exit 2; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/velora-photo.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
reps=${REPS:-5}
. "$root/bench/timing.sh"

# A photo-like picture: a fractal plasma (detail everywhere) made by ImageMagick, encoded by
# the formats' own encoders at their usual settings.
convert -size 4000x3000 plasma:fractal -seed 7 -depth 8 "$tmp/in.png" 2>/dev/null
cwebp -quiet -q 80 "$tmp/in.png" -o "$tmp/in.webp"
avifenc -s 8 -j all "$tmp/in.png" "$tmp/in.avif" >/dev/null
heif-enc -q 80 "$tmp/in.png" -o "$tmp/in.heic" >/dev/null 2>&1
cjxl -d 1 "$tmp/in.png" "$tmp/in.jxl" >/dev/null 2>&1

row() {  # name, our output, their command...
  local name=$1 out=$2
  shift 2
  local ours theirs
  ours=$(time_cmd "$velora" convert "$tmp/in.$name" "$tmp/ours.$out")
  theirs=$(time_cmd "$@")
  printf '%-5s ours %8.1f ms   %-13s %8.1f ms   ratio %.2f\n' "$name" "$ours" "$(basename "$1")" "$theirs" \
    "$(python3 -c "print($ours / $theirs)")"
}
row webp ppm dwebp -quiet "$tmp/in.webp" -ppm -o "$tmp/theirs.ppm"
row avif png avifdec -d 8 "$tmp/in.avif" "$tmp/theirs.png"
row heic png heif-convert "$tmp/in.heic" "$tmp/theirs.png"
row jxl ppm djxl "$tmp/in.jxl" "$tmp/theirs.ppm"
uptime
