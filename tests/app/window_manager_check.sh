#!/bin/sh
# The viewer under a real window manager (openbox on a virtual display), as a user first sees
# it: maximised with the first picture fitted whole (the frame shrinks the window after the
# first fit), and restored to the designed 696 x 480 at (298, 202) with the title bar on the
# screen. The picture has a red border, so the screen shows whether any edge is cut off.
# Skips (77) without Xvfb, openbox, xdotool or ImageMagick.
#   window_manager_check.sh VIEWER
viewer=$1
CONVERT=convert
[ -x /usr/bin/convert ] && CONVERT=/usr/bin/convert
for tool in Xvfb openbox xdotool import; do
    command -v $tool >/dev/null 2>&1 || { echo "skipped: no $tool"; exit 77; }
done
[ -x "$viewer" ] || { echo "skipped: no viewer at $viewer"; exit 77; }
unset QT_QPA_PLATFORM
# On X11, libxkbcommon hands strndup a keymap name that is not NUL-terminated within the bound
# it gives, which the sanitizers' strict string checks report; that library is not ours.
[ -n "$ASAN_OPTIONS" ] && export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/velora-wm.XXXXXX")
display=:$((40 + $$ % 50))
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT
export DISPLAY=$display
status=0
fail() { echo "FAILED: $*"; status=1; }

$CONVERT -size 784x584 xc:'#2060c0' -bordercolor '#ff0000' -border 8 "$tmp/picture.jpg"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & pids="$!"
sleep 1
openbox >/dev/null 2>&1 & pids="$! $pids"
sleep 1
"$viewer" "$tmp" "*.jpg" >"$tmp/viewer.log" 2>&1 & pids="$! $pids"
# A sanitizer build on a busy machine may take a while to show its window.
window=$(timeout 90 xdotool search --sync --onlyvisible --name "Tessel Image Viewer" | head -1)
[ -n "$window" ] || { echo "FAILED: no viewer window"; cat "$tmp/viewer.log"; exit 1; }

# The first and last red pixel along a one-pixel-wide strip of the screenshot ("-1 -1" when
# there is none), counted along the strip.
red_span() { # $1 = crop geometry
    $CONVERT "$tmp/shot.png" -crop "$1" +repage -depth 8 txt:- |
        sed -n 's/^\([0-9]*\),\([0-9]*\): *(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3 \4 \5/p' |
        awk '$3 > 200 && $4 < 60 && $5 < 60 { n = $1 + $2; if (first == "") first = n; last = n }
             END { print (first == "" ? -1 : first), (last == "" ? -1 : last) }'
}
# The picture's red rows in the column x and red columns in the row y: both edges must show.
check_whole() { # $1 = what, $2 = x of a column through the picture, $3 = y of a row through it, $4 = screen height
    set -- "$1" "$2" "$3" "$4" "$(red_span "1x$4+$2+0")" "$(red_span "1280x1+0+$3")"
    rows=$5; cols=$6
    top=${rows% *}; bottom=${rows#* }; left=${cols% *}; right=${cols#* }
    echo "$1: red rows $top..$bottom, red columns $left..$right"
    [ "$top" -ge 0 ] && [ $((bottom - top)) -gt 100 ] || fail "$1: top or bottom edge of the picture not on screen"
    [ "$left" -ge 0 ] && [ $((right - left)) -gt 100 ] || fail "$1: left or right edge of the picture not on screen"
}

sleep 6
import -window root "$tmp/shot.png"
cp "$tmp/shot.png" "${WM_CHECK_SHOTS:-$tmp}/maximised.png" 2>/dev/null
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "maximised: $WIDTH x $HEIGHT at ($X, $Y)"
[ "$WIDTH" -gt 1000 ] || fail "the window is not maximised"
# Fitted to a maximised window: the picture is far taller than 480 minus the bars.
check_whole maximised $((X + WIDTH * 2 / 3)) $((Y + HEIGHT / 2)) 800
[ $((bottom - top)) -gt 600 ] || fail "the picture is not fitted to the maximised window"

# Restore through the title bar, as a user does.
xdotool mousemove 640 8 click --repeat 2 --delay 80 1
sleep 4
import -window root "$tmp/shot.png"
cp "$tmp/shot.png" "${WM_CHECK_SHOTS:-$tmp}/restored.png" 2>/dev/null
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "restored: $WIDTH x $HEIGHT at ($X, $Y)"
[ "$WIDTH" -eq 696 ] && [ "$HEIGHT" -eq 480 ] || fail "restored to $WIDTH x $HEIGHT, not 696 x 480"
[ "$X" -ge 298 ] && [ "$X" -le 310 ] && [ "$Y" -ge 202 ] && [ "$Y" -le 260 ] || fail "restored at ($X, $Y), not below (298, 202)"
check_whole restored $((X + WIDTH * 2 / 3)) $((Y + HEIGHT / 2)) 800
exit $status
