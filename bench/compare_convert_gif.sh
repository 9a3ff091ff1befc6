#!/bin/sh
# `velora convert` of a 6000 x 4000 GIF of 256 colours to GIF, by two builds of the tool (the
# one before the exact-colour path and the one after, say), timed side by side with hyperfine
# on the same file. Also counts, for each, the pixels whose colour the conversion moved.
#   bench/compare_convert_gif.sh BEFORE/velora AFTER/velora
set -e
BEFORE=${1:?usage: compare_convert_gif.sh BEFORE/velora AFTER/velora}
AFTER=${2:?usage: compare_convert_gif.sh BEFORE/velora AFTER/velora}
command -v hyperfine >/dev/null || { echo "hyperfine is missing: scripts/bootstrap --bench" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# 256 colours off the 5-bit grid, in blocks and stripes so that LZW has work of both kinds.
/usr/bin/python3 - "$WORK/source.ppm" <<'PY'
import sys
import numpy as np
w, h = 6000, 4000
rng = np.random.default_rng(7)
palette = rng.integers(0, 256, size=(256, 3), dtype=np.uint8)
y, x = np.mgrid[0:h, 0:w]
index = ((x // 23) + (y // 17) * 7 + (x * y // 4099)) % 256
with open(sys.argv[1], "wb") as f:
    f.write(b"P6 %d %d 255\n" % (w, h))
    f.write(palette[index].tobytes())
PY
"$AFTER" convert "$WORK/source.ppm" "$WORK/source.gif"

hyperfine --warmup 1 --runs 5 --export-json "$WORK/times.json" \
  -n before "$BEFORE convert $WORK/source.gif $WORK/before.gif" \
  -n after "$AFTER convert $WORK/source.gif $WORK/after.gif"

for which in before after; do
  "$AFTER" convert "$WORK/$which.gif" "$WORK/$which.ppm"
  /usr/bin/python3 - "$WORK/source.ppm" "$WORK/$which.ppm" "$which" <<'PY'
import sys
import numpy as np
def load(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace(): pos += 1
        start = pos
        while not data[pos:pos + 1].isspace(): pos += 1
        fields.append(data[start:pos])
    return np.frombuffer(data[pos + 1:], dtype=np.uint8).reshape(int(fields[2]), int(fields[1]), 3)
a, b = load(sys.argv[1]).astype(int), load(sys.argv[2]).astype(int)
moved = np.any(a != b, axis=2)
print("%s: %.2f %% of the pixels moved, by up to %d levels" % (sys.argv[3], 100.0 * moved.mean(), np.abs(a - b).max()))
PY
done
