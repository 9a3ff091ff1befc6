#!/usr/bin/env bash
# Decoding time of our JPEG and PNG readers side by side with libjpeg-turbo's djpeg and
# netpbm's pngtopnm (or ImageMagick) on the same files; prints ours/theirs ratios. Ours: the
# median of five benchmark repetitions; theirs: hyperfine's median of five runs of the command.
#   bench/compare_codecs.sh [BUILD_DIR]     (default build/release; needs bench_jpeg_png)
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build/release}
BENCH="$BUILD/bench_jpeg_png"
[ -x "$BENCH" ] || { echo "build $BENCH first (Release tree)"; exit 2; }
TMP=$(mktemp -d /tmp/velora_cmp.XXXXXX)
trap 'rm -rf "$TMP"' EXIT
CONVERT=$(command -v convert-im6.q16 || true)

# The same synthetic 6000 x 4000 photo for both sides, made by ImageMagick's encoders so that
# neither side times its own files.
[ -n "$CONVERT" ] || { echo "ImageMagick needed to make the test files"; exit 2; }
"$CONVERT" -size 6000x4000 plasma:fractal -seed 7 "$TMP/big.ppm" 2>/dev/null || \
  "$CONVERT" -size 6000x4000 gradient:red-blue +noise Gaussian "$TMP/big.ppm"
cjpeg -quality 85 "$TMP/big.ppm" > "$TMP/big.jpg"
"$CONVERT" "$TMP/big.ppm" -resize 3000x2000! -depth 8 "$TMP/big.png"

reps=5
. "$ROOT/bench/timing.sh"

ours() {  # benchmark name, env var, file → median of five repetitions' real time per iteration, ms
  env "$2=$3" "$BENCH" --benchmark_filter="^$1(/|\$)" --benchmark_repetitions=5 \
      --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
    awk -F, '$1 ~ /_median"?$/ { print $3 }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

j_full=$(ours BM_JpegDecodeFull VELORA_BENCH_JPEG "$TMP/big.jpg")
j_eighth=$(ours BM_JpegDecodeEighth VELORA_BENCH_JPEG "$TMP/big.jpg")
p_full=$(ours BM_PngDecode VELORA_BENCH_PNG "$TMP/big.png")
d_full=$(time_cmd djpeg -dct int -bmp -outfile /dev/null "$TMP/big.jpg")
d_eighth=$(time_cmd djpeg -dct int -scale 1/8 -bmp -outfile /dev/null "$TMP/big.jpg")
if command -v pngtopnm > /dev/null; then
  p_ref=$(time_cmd pngtopnm "$TMP/big.png"); p_name=pngtopnm
else
  p_ref=$(time_cmd "$CONVERT" "$TMP/big.png" bmp:-); p_name=convert
fi

printf '%-26s %10s %10s %7s\n' "case" "ours ms" "theirs ms" "ratio"
printf '%-26s %10.1f %10.1f %7s\n' "JPEG 24 MP full (djpeg)" "$j_full" "$d_full" "$(ratio "$j_full" "$d_full")"
printf '%-26s %10.1f %10.1f %7s\n' "JPEG 24 MP 1/8 (djpeg)" "$j_eighth" "$d_eighth" "$(ratio "$j_eighth" "$d_eighth")"
printf '%-26s %10.1f %10.1f %7s\n' "PNG 6 MP ($p_name)" "$p_full" "$p_ref" "$(ratio "$p_full" "$p_ref")"
