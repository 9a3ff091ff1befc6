#!/bin/sh
# Upright photos as whole processes: `velora --auto-orient convert` against ImageMagick's
# `convert -auto-orient` on a 6000 x 4000 JPEG whose EXIF Orientation is 6 (and, for scale,
# 1), both writing a PPM, timed side by side with hyperfine. Also counts the pixels on which
# the two differ by more than the decoders' one step.
#   bench/compare_orient.sh [BUILD_DIR]   (a Release tree; default build/rel)
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/rel}
VELORA=$BUILD/velora
[ -x "$VELORA" ] || { echo "no $VELORA: build a Release tree first" >&2; exit 2; }
command -v hyperfine >/dev/null || { echo "hyperfine is missing: scripts/bootstrap --bench" >&2; exit 1; }
# ImageMagick itself, not a wrapper script in front of it that would add a shell to its time.
CONVERT=convert
[ -x /usr/bin/convert ] && CONVERT=/usr/bin/convert

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
$CONVERT "$WORK/source.ppm" -quality 90 "$WORK/upright.jpg"
# The same JPEG data behind an EXIF block whose Orientation is 6 (ImageMagick's -orient writes
# none into a JPEG that has no EXIF block yet).
/usr/bin/python3 - "$WORK/upright.jpg" "$WORK/side.jpg" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
ifd = b"II*\0" + struct.pack("<IH", 8, 1) + struct.pack("<HHIHH", 0x0112, 3, 1, 6, 0) + struct.pack("<I", 0)
app1 = b"Exif\0\0" + ifd
open(sys.argv[2], "wb").write(data[:2] + b"\xff\xe1" + struct.pack(">H", len(app1) + 2) + app1 + data[2:])
PY

echo "side.jpg orientation as ImageMagick reads it: $(identify -format '%[orientation]' "$WORK/side.jpg")"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
hyperfine --warmup 1 --runs 5 \
  -n "velora, orientation 6" "$VELORA --auto-orient convert $WORK/side.jpg $WORK/ours.ppm" \
  -n "ImageMagick, orientation 6" "$CONVERT $WORK/side.jpg -auto-orient $WORK/theirs.ppm" \
  -n "velora, orientation 1" "$VELORA --auto-orient convert $WORK/upright.jpg $WORK/ours1.ppm" \
  -n "ImageMagick, orientation 1" "$CONVERT $WORK/upright.jpg -auto-orient $WORK/theirs1.ppm"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "sizes: ours $(identify -format '%wx%h' "$WORK/ours.ppm"), theirs $(identify -format '%wx%h' "$WORK/theirs.ppm")"
printf "pixels differing by more than about one step: "
COMPARE=compare
[ -x /usr/bin/compare ] && COMPARE=/usr/bin/compare
$COMPARE -metric AE -fuzz 0.5% "$WORK/ours.ppm" "$WORK/theirs.ppm" null: 2>&1 || true
echo
