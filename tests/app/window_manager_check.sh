#!/bin/sh
# The viewer under a real window manager (openbox on a virtual display), as a user first sees
# it: maximised with the first picture fitted whole (the frame shrinks the window after the
# first fit), and restored to the designed 696 x 480 at (298, 202) with the title bar on the
# screen. The picture has a red border, so the screen shows whether any edge is cut off.
# Skips (77) without Xvfb, openbox, xdotool or ImageMagick.
#   window_manager_check.sh VIEWER
viewer=$1
display_base=40
. "$(dirname "$0")/virtual_display.sh"

$CONVERT -size 784x584 xc:'#2060c0' -bordercolor '#ff0000' -border 8 "$tmp/picture.jpg"
start_display
"$viewer" "$tmp" "*.jpg" >"$tmp/viewer.log" 2>&1 & pids="$! $pids"
# A sanitizer build on a busy machine may take a while to show its window.
window=$(timeout 90 xdotool search --sync --onlyvisible --name "Tessel Image Viewer" | head -1)
[ -n "$window" ] || { echo "FAILED: no viewer window"; cat "$tmp/viewer.log"; exit 1; }

# The first and last red pixel along a one-pixel-wide strip of the screenshot ("-1 -1" when
# there is none), counted along the strip.
red_span() { # $1 = crop geometry
    shot_pixels "$1" |
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
