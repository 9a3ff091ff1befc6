#!/bin/sh
# Pages and frames from outside, under openbox on a virtual display: Ctrl+Page Down shows a
# TIFF's second page (green after a red first page), and an animated GIF shows its second frame
# (blue after a red first one) once the first one's delay is over. The picture is looked at
# on the screen, in the middle of the view; I opens the information panel at the right. Skips (77) without Xvfb, openbox, xdotool or
# ImageMagick.
#   pages_trial_check.sh VIEWER
# With WM_CHECK_SHOTS=DIR the screens it saw are kept there.
viewer=$1
display_base=160
. "$(dirname "$0")/virtual_display.sh"
export XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache"
keep() { [ -n "$WM_CHECK_SHOTS" ] && cp "$tmp/shot.png" "$WM_CHECK_SHOTS/$1.png"; }

mkdir "$tmp/pages" "$tmp/anim"
$CONVERT -size 400x300 xc:'#e02020' xc:'#20c020' xc:'#2020e0' "$tmp/pages/three.tif"
# A first frame of 1.5 s, then a second of 3 s.
$CONVERT -delay 150 -size 400x300 xc:'#e02020' -delay 300 -size 400x300 xc:'#2020e0' -loop 0 "$tmp/anim/two.gif"
start_display

start_viewer() { # $1 = folder
    "$viewer" "$1" "*.*" >"$tmp/viewer.log" 2>&1 & viewer_pid=$!
    pids="$viewer_pid $pids"
    window=$(timeout 90 xdotool search --sync --onlyvisible --name "Tessel Image Viewer" | head -1)
    [ -n "$window" ] || { echo "FAILED: no viewer window"; cat "$tmp/viewer.log"; exit 1; }
    eval "$(xdotool getwindowgeometry --shell "$window")"
}
stop_viewer() {
    kill "$viewer_pid" 2>/dev/null
    wait "$viewer_pid" 2>/dev/null
}
# The colour in the middle of the view (right of the column and the tool bar): red, green,
# blue or other.
view_colour() {
    import -window root "$tmp/shot.png"
    shot_pixels "1x1+$((X + 164 + (WIDTH - 164) / 2))+$((Y + HEIGHT / 2))" |
        awk '{ if ($3 > 150 && $4 < 90 && $5 < 90) print "red";
               else if ($4 > 150 && $3 < 90 && $5 < 90) print "green";
               else if ($5 > 150 && $3 < 90 && $4 < 90) print "blue";
               else print "other " $3 "," $4 "," $5 }'
}
# Waits up to $2 seconds for the view to show colour $1.
wait_colour() {
    i=0
    while [ $i -lt $(($2 * 2)) ]; do
        [ "$(view_colour)" = "$1" ] && return 0
        sleep 0.5
        i=$((i + 1))
    done
    return 1
}

# A TIFF's pages.
start_viewer "$tmp/pages"
wait_colour red 30 || fail "the TIFF's first page is not shown: $(view_colour)"
keep tiff-page-1
xdotool key --window "$window" ctrl+Next
wait_colour green 20 || fail "Ctrl+Page Down does not show the second page: $(view_colour)"
keep tiff-page-2
echo "TIFF: page 1 red, page 2 $(view_colour)"
# I opens the information panel at the window's right, over what was the picture's place.
xdotool key --window "$window" i
sleep 2
import -window root "$tmp/shot.png"
keep info-panel
right=$(shot_pixels "1x1+$((X + WIDTH - 60))+$((Y + HEIGHT / 2))" | awk '{ print ($4 > 150 && $3 < 90 && $5 < 90) ? "green" : "panel" }')
[ "$right" = panel ] || fail "I does not open the information panel at the right"
stop_viewer

# An animated GIF's frames.
start_viewer "$tmp/anim"
wait_colour red 30 || fail "the GIF's first frame is not shown: $(view_colour)"
keep gif-frame-1
wait_colour blue 10 || fail "the GIF's second frame does not follow: $(view_colour)"
keep gif-frame-2
echo "GIF: frame 1 red, frame 2 $(view_colour)"
stop_viewer
exit $status
