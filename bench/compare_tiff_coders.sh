#!/bin/sh
# Times our TIFF coders against libtiff on the same strips, from memory into rows, best of 5:
# LZW decoding and encoding of a 6000 x 4000 photo-like RGB image, Group 4 and Group 3
# two-dimensional decoding and Group 4 encoding of a text-like A4 page at 300 dpi, all in
# libtiff's default strips. Processor time on both sides, since the machine is shared. Compiles bench/libtiff_coders.c against libtiff-dev (installed by
# scripts/bootstrap), which makes the pictures and libtiff's strips and times libtiff; then
# bench_tiff_coders times ours on those strips. Prints both times and ours / libtiff.
#   bench/compare_tiff_coders.sh [build-dir]     (default build/release, configured as Release)
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/release}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELORA_WIDGETS=OFF >/dev/null
fi
ninja -C "$BUILD" -j2 bench_tiff_coders >/dev/null
BIN="$BUILD/bench_tiff_coders"; [ -x "$BIN" ] || BIN="$BUILD/bench/bench_tiff_coders"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cc -O2 -o "$WORK/libtiff_coders" "$ROOT/bench/libtiff_coders.c" -ltiff -lm
"$WORK/libtiff_coders" "$WORK" > "$WORK/libtiff.txt"
VELORA_TIFF_BENCH_DIR="$WORK" "$BIN" --benchmark_format=console 2>/dev/null | grep '_best' > "$WORK/ours.txt" || true

# name in ours, name in libtiff's list
pair() {
  ours=$(awk -v n="$1/" 'index($1, n) == 1 { print $4 }' "$WORK/ours.txt")
  theirs=$(awk -v n="$2" '$2 == n { print $3 }' "$WORK/libtiff.txt")
  if [ -z "$ours" ]; then
    printf '%-22s ours: failed (see %s)\n' "$2" "$BIN"
    return
  fi
  awk -v a="$ours" -v b="$theirs" -v n="$2" 'BEGIN { printf "%-22s ours %8.1f ms   libtiff %8.1f ms   ours/libtiff %.2f\n", n, a, b, a / b }'
}
pair BM_LzwDecode photo_lzw_decode
pair BM_LzwEncode photo_lzw_encode
pair BM_G4Decode page_g4_decode
pair BM_G3TwoDDecode page_g3_2d_decode
pair BM_G4Encode page_g4_encode
