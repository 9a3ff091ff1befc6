#!/bin/sh
# Times our GIF decoder against giflib on the same large GIF, both decoding from memory into a
# 24-bit blue-green-red buffer. Prints both times and the ratio ours / giflib.
#   bench/compare_gif.sh [build-dir]     (default build/release, configured as Release)
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/release}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELORA_WIDGETS=OFF >/dev/null
fi
ninja -C "$BUILD" -j2 bench_gif >/dev/null

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export TMPDIR=${TMPDIR:-/tmp}
GIF="$TMPDIR/velora_bench_gif.gif"

# Ours (also makes the file when it is not there yet).
BIN="$BUILD/bench_gif"; [ -x "$BIN" ] || BIN="$BUILD/bench/bench_gif"
"$BIN" --benchmark_format=json --benchmark_out="$WORK/ours.json" >/dev/null
OURS=$(grep -m1 '"real_time"' "$WORK/ours.json" | sed 's/.*: *//; s/,.*//')

cat > "$WORK/giflib_decode.c" <<'C'
#include <gif_lib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

struct Mem { const unsigned char* data; size_t size, pos; };
static int ReadMem(GifFileType* g, GifByteType* buf, int n) {
  struct Mem* m = g->UserData;
  if ((size_t)n > m->size - m->pos) n = (int)(m->size - m->pos);
  memcpy(buf, m->data + m->pos, n);
  m->pos += n;
  return n;
}
static double Now(void) { struct timespec t; clock_gettime(CLOCK_MONOTONIC, &t); return t.tv_sec + t.tv_nsec * 1e-9; }

int main(int argc, char** argv) {
  FILE* f = fopen(argv[1], "rb");
  if (!f) return 1;
  fseek(f, 0, SEEK_END);
  size_t size = ftell(f);
  fseek(f, 0, SEEK_SET);
  unsigned char* data = malloc(size);
  if (fread(data, 1, size, f) != size) return 1;
  fclose(f);
  int runs = 0;
  double start = Now(), best = 1e9;
  while (runs < 5 || Now() - start < 2.0) {
    double t0 = Now();
    struct Mem m = {data, size, 0};
    int err;
    GifFileType* g = DGifOpen(&m, ReadMem, &err);
    if (!g || DGifSlurp(g) != GIF_OK) return 2;
    SavedImage* im = &g->SavedImages[0];
    ColorMapObject* cm = im->ImageDesc.ColorMap ? im->ImageDesc.ColorMap : g->SColorMap;
    int w = im->ImageDesc.Width, h = im->ImageDesc.Height, row = ((w * 24 + 31) / 32) * 4;
    unsigned char* bgr = calloc((size_t)row * h, 1);
    for (int y = 0; y < h; ++y) {
      const unsigned char* src = im->RasterBits + (size_t)y * w;
      unsigned char* dst = bgr + (size_t)(h - 1 - y) * row;
      for (int x = 0; x < w; ++x, dst += 3) {
        GifColorType c = cm->Colors[src[x] < cm->ColorCount ? src[x] : 0];
        dst[0] = c.Blue; dst[1] = c.Green; dst[2] = c.Red;
      }
    }
    free(bgr);
    DGifCloseFile(g, &err);
    double t = Now() - t0;
    if (t < best) best = t;
    ++runs;
  }
  printf("%.3f\n", (Now() - start) / runs * 1000.0);
  return 0;
}
C
cc -O2 -o "$WORK/giflib_decode" "$WORK/giflib_decode.c" -lgif
GIFLIB=$("$WORK/giflib_decode" "$GIF")

echo "file: $GIF ($(stat -c %s "$GIF") bytes)"
echo "ours:   $OURS ms"
echo "giflib: $GIFLIB ms"
awk -v a="$OURS" -v b="$GIFLIB" 'BEGIN { printf "ratio ours/giflib: %.2f\n", a / b }'
