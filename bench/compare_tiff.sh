#!/usr/bin/env bash
# Times the TIFF reader against libtiff and the folder scan against ImageMagick:
#  - full decode of a 6000 x 4000 photo-like RGB TIFF in LZW with Predictor 2, and of a Group 4
#    A4 page at 300 dpi (text-like), each file into rows: ours through TiffReadStream
#    (bench_tiff_reader; 24-bit rows for the photo, the page's 1-bit rows), libtiff through
#    TIFFReadRGBAImageOriented (what tiff2rgba does) and, like for like, its decoded strips
#    (TIFFReadEncodedStrip: the photo's RGB samples, the page's 1-bit rows); best of 5 in
#    processor time;
#  - `velora scan` of 2000 small TIFFs of every kind the reader takes (the fuzz seeds, copied)
#    against `identify -ping` of the same files: whole processes timed by hyperfine, median of 5.
# Prints each pair and ours / theirs.
#   bench/compare_tiff.sh [build-dir]     (default build/release, configured as Release)
set -e
command -v hyperfine >/dev/null || { echo "hyperfine is missing: scripts/bootstrap --bench" >&2; exit 1; }
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/release}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELORA_WIDGETS=OFF >/dev/null
fi
ninja -C "$BUILD" -j2 bench_tiff_reader velora >/dev/null
BIN="$BUILD/bench_tiff_reader"; [ -x "$BIN" ] || BIN="$BUILD/bench/bench_tiff_reader"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cc -O2 -o "$WORK/libtiff_read" "$ROOT/bench/libtiff_read.c" -ltiff

# The photo: a plasma field enlarged, with grain, so that LZW sees no long repeats.
convert -seed 7 -size 600x400 plasma:fractal -resize '6000x4000!' -attenuate 0.3 +noise Gaussian \
  -depth 8 -compress none "$WORK/photo.tif"
tiffcp -c lzw:2 "$WORK/photo.tif" "$WORK/photo_lzw2.tif"
# The page: lines of glyph-like strokes, words and margins, 1 black.
python3 - "$WORK/page.pbm" <<'PY'
import random, sys
w, h = 2480, 3508
rb = w // 8
random.seed(3)
glyphs = [bytes(random.choice([0, 0x18, 0x3C, 0x66, 0xC3, 0x7E, 0x81, 0xFF]) for _ in range(20)) for _ in range(40)]
rows = [bytes(rb)] * h
for top in range(150, h - 200, 40):
    line = [bytearray(rb) for _ in range(20)]
    x = 25
    while x < rb - 25:
        for _ in range(random.randint(2, 9)):
            g = random.choice(glyphs)
            for r in range(20):
                line[r][x] = g[r]
            x += 1
        x += random.randint(1, 2)
    for r in range(20):
        rows[top + r] = bytes(line[r])
with open(sys.argv[1], "wb") as f:
    f.write(b"P4\n%d %d\n" % (w, h))
    f.write(b"".join(rows))
PY
convert "$WORK/page.pbm" -density 300 -compress none "$WORK/page.tif"
tiffcp -c g4 "$WORK/page.tif" "$WORK/page_g4.tif"

VELORA_TIFF_BENCH_DIR="$WORK" "$BIN" --benchmark_format=console 2>/dev/null | grep '_mean' > "$WORK/ours.txt" || true
"$WORK/libtiff_read" "$WORK/photo_lzw2.tif" "$WORK/page_g4.tif" > "$WORK/libtiff.txt"
pair() {
  ours=$(awk -v n="$1/" 'index($1, n) == 1 { print $4 }' "$WORK/ours.txt")
  rgba=$(awk -v n="$WORK/$2" '$1 == n { print $2 }' "$WORK/libtiff.txt")
  strips=$(awk -v n="$WORK/$2" '$1 == n { print $3 }' "$WORK/libtiff.txt")
  awk -v a="$ours" -v b="$rgba" -v c="$strips" -v n="$2" 'BEGIN { printf "%-16s ours %7.1f ms   libtiff RGBA %7.1f ms, strips %7.1f ms   ours/RGBA %.2f   ours/strips %.2f\n", n, a, b, c, a / b, a / c }'
}
pair BM_ReadPhotoLzwPredictor photo_lzw2.tif
pair BM_ReadPageG4 page_g4.tif

# The scan: 2000 files, every kind of the seed corpus, named so that they sort as listed.
mkdir "$WORK/scan"
n=0
while [ $n -lt 2000 ]; do
  for f in "$ROOT"/fuzz/corpus/tiff/*.tif; do
    [ $n -lt 2000 ] || break
    cp "$f" "$WORK/scan/$(printf %05d $n).tif"
    n=$((n + 1))
  done
done
reps=5
. "$ROOT/bench/timing.sh"
ours=$(time_cmd "$BUILD/velora" scan "$WORK/scan" '*.tif')
theirs=$(time_cmd sh -c "identify -ping '$WORK'/scan/*.tif")  # the names, expanded by a shell
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%-16s ours %8.1f ms   identify -ping %5.1f ms   ours/identify %.2f\n", "scan 2000", a, b, a / b }'
