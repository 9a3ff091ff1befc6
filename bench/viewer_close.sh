#!/bin/sh
# How long the viewer's process lives on after its window is closed while a large photo is
# still being decoded: a folder of one 24-megapixel JPEG, the window closed (Alt+F4 through
# openbox on Xvfb) RUNS times at DELAY ms after it appeared; prints each time from the key to
# the end of the process, and their median.
#   bench/viewer_close.sh VIEWER [RUNS] [DELAY_MS]
viewer=$1
runs=${2:-5}
delay=${3:-400}
display_base=200
. "$(dirname "$0")/../tests/app/virtual_display.sh"

mkdir -p "$tmp/photos" "$tmp/config" "$tmp/cache"
# Noise keeps the JPEG decoder busy the way a photo does (a plain colour decodes far faster).
$CONVERT -size 6000x4000 plasma:fractal -quality 92 "$tmp/photos/photo.jpg"
export XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache"
start_display
times=""
i=0
while [ $i -lt "$runs" ]; do
    i=$((i + 1))
    rm -rf "$tmp/cache/thumbnails"
    "$viewer" "$tmp/photos" "*.jpg" --no-thumbnail-cache >/dev/null 2>&1 & pid=$!
    window=$(timeout 60 xdotool search --sync --onlyvisible --name "Tessel Image Viewer" | head -1)
    sleep "$(echo "$delay" | awk '{ print $1 / 1000 }')"
    start=$(date +%s%N)
    xdotool key --window "$window" alt+F4
    while kill -0 $pid 2>/dev/null; do sleep 0.01; done
    ms=$(( ($(date +%s%N) - start) / 1000000 ))
    echo "run $i: ${ms} ms"
    times="$times $ms"
done
echo "$times" | tr ' ' '\n' | sed '/^$/d' | sort -n | awk '{ a[NR] = $1 } END { print "median:", a[int((NR + 1) / 2)], "ms" }'
