#!/bin/sh
# Upright photos as whole processes: `velora --auto-orient convert` against ImageMagick's
# `convert -auto-orient` on a 6000 x 4000 JPEG whose EXIF Orientation is 6 (and, for scale,
# 1), both writing a PPM, timed side by side with hyperfine. Also checks that both give the
# same pixels.
#   bench/compare_orient.sh [BUILD_DIR]   (a Release tree; default build/release)
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/release}
VELORA=$BUILD/velora
[ -x "$VELORA" ] || { echo "no $VELORA: build a Release tree first" >&2; exit 2; }
command -v hyperfine >/dev/null || { echo "hyperfine is missing: scripts/bootstrap --bench" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# A photo-like picture: smooth gradients with a little noise.
/usr/bin/python3 - "$WORK/source.ppm" <<'PY'
import sys
from PIL import Image
w, h = 6000, 4000
img = Image.linear_gradient("L").resize((w, h))
noise = Image.effect_noise((w, h), 40)
Image.merge("RGB", (img, noise, img.rotate(90).resize((w, h)))).save(sys.argv[1])
PY
convert "$WORK/source.ppm" -quality 90 "$WORK/upright.jpg"
convert "$WORK/upright.jpg" -orient RightTop "$WORK/side.jpg"   # EXIF Orientation 6, pixels unchanged

hyperfine --warmup 1 --runs 5 \
  -n "velora, orientation 6" "$VELORA --auto-orient convert $WORK/side.jpg $WORK/ours.ppm" \
  -n "ImageMagick, orientation 6" "convert $WORK/side.jpg -auto-orient $WORK/theirs.ppm" \
  -n "velora, orientation 1" "$VELORA --auto-orient convert $WORK/upright.jpg $WORK/ours1.ppm" \
  -n "ImageMagick, orientation 1" "convert $WORK/upright.jpg -auto-orient $WORK/theirs1.ppm"

printf "pixels that differ: "
compare -metric AE "$WORK/ours.ppm" "$WORK/theirs.ppm" null: 2>&1 || true
echo
