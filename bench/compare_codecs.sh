#!/bin/sh
# Decoding time of our JPEG and PNG readers side by side with libjpeg-turbo's djpeg and
# netpbm's pngtopnm (or ImageMagick) on the same files; prints ours/theirs ratios.
#   bench/compare_codecs.sh [BUILD_DIR]     (default build/release; needs bench_jpeg_png)
set -e
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

# best of N wall-clock runs of a command, in milliseconds
best_ms() {
  n=$1; shift
  best=""
  i=0
  while [ $i -lt $n ]; do
    s=$(date +%s%N); "$@" > /dev/null; e=$(date +%s%N)
    t=$(( (e - s) / 1000000 ))
    if [ -z "$best" ] || [ $t -lt $best ]; then best=$t; fi
    i=$((i + 1))
  done
  echo $best
}

ours() {  # benchmark name, env var, file → best repetition's real time per iteration, ms
  env "$2=$3" "$BENCH" --benchmark_filter="^$1(/|\$)" --benchmark_repetitions=5 \
      --benchmark_format=csv 2>/dev/null |
    awk -F, 'NR > 1 && $1 !~ /_(mean|median|stddev|cv)"?$/ { if (best == "" || $3 < best) best = $3 }
             END { print best }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

j_full=$(ours BM_JpegDecodeFull VELORA_BENCH_JPEG "$TMP/big.jpg")
j_eighth=$(ours BM_JpegDecodeEighth VELORA_BENCH_JPEG "$TMP/big.jpg")
p_full=$(ours BM_PngDecode VELORA_BENCH_PNG "$TMP/big.png")
d_full=$(best_ms 5 djpeg -dct int -bmp -outfile /dev/null "$TMP/big.jpg")
d_eighth=$(best_ms 5 djpeg -dct int -scale 1/8 -bmp -outfile /dev/null "$TMP/big.jpg")
if command -v pngtopnm > /dev/null; then
  p_ref=$(best_ms 5 pngtopnm "$TMP/big.png"); p_name=pngtopnm
else
  p_ref=$(best_ms 5 "$CONVERT" "$TMP/big.png" bmp:-); p_name=convert
fi

printf '%-26s %10s %10s %7s\n' "case" "ours ms" "theirs ms" "ratio"
printf '%-26s %10.1f %10d %7s\n' "JPEG 24 MP full (djpeg)" "$j_full" "$d_full" "$(ratio "$j_full" "$d_full")"
printf '%-26s %10.1f %10d %7s\n' "JPEG 24 MP 1/8 (djpeg)" "$j_eighth" "$d_eighth" "$(ratio "$j_eighth" "$d_eighth")"
printf '%-26s %10.1f %10d %7s\n' "PNG 6 MP ($p_name)" "$p_full" "$p_ref" "$(ratio "$p_full" "$p_ref")"
