#!/bin/sh
# The culling commands as a user meets them, under openbox on a virtual display: a single file
# opened from the command line is selected; the list sorted by date taken (context menu);
# Delete (confirmed) moves the file to the trash and Ctrl+Z puts it back; "Move to" a folder
# offered again from the last targets. Each step is checked on disk and in a screenshot
# (kept in $CULLING_TRIAL_SHOTS when set). Skips (77) without Xvfb, openbox, xdotool, import.
#   culling_trial.sh VIEWER
viewer=$1
display_base=20
. "$(dirname "$0")/virtual_display.sh"
# Debian's python3 has Pillow (scripts/bootstrap); another one first on the path may not.
PYTHON=/usr/bin/python3
[ -x $PYTHON ] || PYTHON=python3
$PYTHON -c 'import PIL' 2>/dev/null || { echo "skipped: no python3 with Pillow"; exit 77; }

pics=$tmp/pics
mkdir -p "$pics" "$tmp/moved" "$tmp/config/Tessel" "$tmp/data"
export XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data XDG_CACHE_HOME=$tmp/cache
# Three photos whose names and dates taken run in opposite directions.
$PYTHON - "$pics" <<'PY' || { echo "FAILED: cannot make the photos"; exit 1; }
import io, struct, sys
from PIL import Image
def exif(date):
    ifd0 = struct.pack('<H', 1) + struct.pack('<HHII', 0x8769, 4, 1, 26) + struct.pack('<I', 0)
    sub = struct.pack('<H', 1) + struct.pack('<HHII', 0x9003, 2, 20, 44) + struct.pack('<I', 0)
    return b'Exif\0\0' + b'II' + struct.pack('<HI', 42, 8) + ifd0 + sub + date.encode() + b'\0'
for name, colour, date in [('a.jpg', (200, 40, 40), '2021:03:01 10:00:00'),
                           ('b.jpg', (40, 200, 40), '2020:03:01 10:00:00'),
                           ('c.jpg', (40, 40, 200), '2019:03:01 10:00:00')]:
    out = io.BytesIO()
    Image.new('RGB', (640, 480), colour).save(out, 'JPEG')
    data = out.getvalue()
    block = exif(date)
    with open(sys.argv[1] + '/' + name, 'wb') as f:
        f.write(data[:2] + b'\xff\xe1' + struct.pack('>H', len(block) + 2) + block + data[2:])
PY
printf '[Culling]\nRecentTargets=%s\n' "$tmp/moved" > "$tmp/config/Tessel/TesselImageViewer.conf"

shots=${CULLING_TRIAL_SHOTS:-$tmp}
shot() { import -window root "$shots/$1.png"; }
start_display
"$viewer" "$pics/b.jpg" >"$tmp/viewer.log" 2>&1 & pids="$! $pids"
window=$(timeout 90 xdotool search --sync --onlyvisible --name "Tessel Image Viewer" | head -1)
[ -n "$window" ] || { echo "FAILED: no viewer window"; cat "$tmp/viewer.log"; exit 1; }
sleep 4
xdotool windowactivate --sync "$window" 2>/dev/null
shot 1-opened-b
# The context menu by its key (a click would also select or zoom).

xdotool key Menu; sleep 1
xdotool key s; sleep 0.5; xdotool key t; sleep 3
shot 2-sorted-by-date

xdotool key Delete; sleep 1.5
shot 3-confirm-delete
xdotool key Return; sleep 2
shot 4-deleted
[ -e "$pics/b.jpg" ] && fail "b.jpg still in its folder after Delete"
[ -f "$tmp/data/Trash/files/b.jpg" ] || fail "b.jpg not in the trash"
grep -q "^Path=$pics/b.jpg\$" "$tmp/data/Trash/info/b.jpg.trashinfo" 2>/dev/null || fail "no info file for b.jpg"

xdotool key ctrl+z; sleep 2
shot 5-restored
[ -f "$pics/b.jpg" ] || fail "Ctrl+Z did not put b.jpg back"
[ -e "$tmp/data/Trash/info/b.jpg.trashinfo" ] && fail "the info file stayed in the trash"

xdotool key Menu; sleep 1
xdotool key m; sleep 0.5; xdotool key Return; sleep 3
shot 6-moved
moved=$(ls "$tmp/moved")
[ -n "$moved" ] || fail "nothing moved to the folder offered"
echo "moved: $moved; left: $(ls "$pics" | tr '\n' ' ')"
[ $(ls "$pics" | wc -l) -eq 2 ] || fail "the folder does not hold two files after the move"
grep -q 'SortOrder=date-taken' "$tmp/config/Tessel/TesselImageViewer.conf" || fail "the order is not remembered"
[ $status = 0 ] && echo "passed"
exit $status
