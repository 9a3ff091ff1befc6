#!/bin/sh
# Everyday viewing tried as a user does, under openbox on a virtual display: the window is not
# kept on top of others (another window raised goes over it), the keys work after a click on
# the picture, full screen and back, a slideshow advancing through a transition, what the
# status line says, a TIFF's second page, the information panel and an animated GIF's second
# frame. Each picture is one plain colour, so the screen's centre says which one
# shows. Screenshots go to $TRIAL_SHOTS when set. Skips (77) without Xvfb, openbox, xdotool,
# xprop or ImageMagick.
#   viewer_trial_check.sh VIEWER
viewer=$1
display_base=160
command -v xprop >/dev/null 2>&1 || { echo "skipped: no xprop"; exit 77; }
. "$(dirname "$0")/virtual_display.sh"

mkdir -p "$tmp/pictures" "$tmp/config/Tessel" "$tmp/cache"
# Four plain pictures: red, green, blue, yellow (JPEG keeps such colours within a few levels).
i=0
for colour in '#e02020' '#20c020' '#2040e0' '#e0e020'; do
    i=$((i + 1))
    $CONVERT -size 1600x1200 "xc:$colour" "$tmp/pictures/p$i.jpg"
done
echo "not a picture" >"$tmp/pictures/notes.txt"
# A fresh start with a short slideshow and a transition whose middle is seen: a cross-fade.
cat >"$tmp/config/Tessel/TesselImageViewer.conf" <<EOF
[Slideshow]
IntervalMs=5000
Transition=CrossDissolve
TransitionMs=2500
EOF
export XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache" TESSEL_STATUS_LOG="$tmp/status.log"
shots=${TRIAL_SHOTS:-$tmp}
mkdir -p "$shots"

start_display
"$viewer" "$tmp/pictures" "*.*" >"$tmp/viewer.log" 2>&1 & viewer_pid=$!; pids="$viewer_pid $pids"
window=$(timeout 90 xdotool search --sync --onlyvisible --name "Tessel Image Viewer" | head -1)
[ -n "$window" ] || { echo "FAILED: no viewer window"; cat "$tmp/viewer.log"; exit 1; }
sleep 4

# The colour at a point of the screen, as "r g b".
pixel() { # $1 x, $2 y
    import -window root "$tmp/shot.png"
    shot_pixels "1x1+$1+$2" | awk '{ print $3, $4, $5 }'
}
# Which of the four pictures a colour is ("p1".."p4"), "mixed" for anything between, "black".
which_picture() {
    echo "$1" | awk '{ r = $1; g = $2; b = $3
        if (r > 190 && g < 70 && b < 70) print "p1"
        else if (g > 160 && r < 70 && b < 70) print "p2"
        else if (b > 190 && r < 70 && g < 100) print "p3"
        else if (r > 190 && g > 190 && b < 70) print "p4"
        else if (r < 20 && g < 20 && b < 20) print "black"
        else print "mixed" }'
}
eval "$(xdotool getwindowgeometry --shell "$window")"
# A point well inside the picture, right of the column.
cx=$((X + WIDTH * 2 / 3)); cy=$((Y + HEIGHT / 2))
shown() { which_picture "$(pixel $cx $cy)"; }
expect_shown() { # $1 what, $2 picture
    n=0
    while [ "$(shown)" != "$2" ] && [ $n -lt 20 ]; do sleep 0.5; n=$((n + 1)); done
    got=$(shown)
    echo "$1: $got"
    [ "$got" = "$2" ] || fail "$1: $got shown, not $2"
}
expect_shown "at start" p1
cp "$tmp/shot.png" "$shots/trial-start.png"

# Not on top: the window manager is not asked to keep it above, and another window raised
# goes over it.
state=$(xprop -id "$window" _NET_WM_STATE)
echo "state: $state"
case $state in *ABOVE*) fail "the window asks to stay on top" ;; esac
xmessage -geometry 300x100+500+300 -name other "another program's window" & pids="$! $pids"
other=$(timeout 30 xdotool search --sync --onlyvisible --class xmessage | head -1)
[ -n "$other" ] && xdotool windowactivate --sync "$other" 2>/dev/null
sleep 1
stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g')
top=$(printf '%d' "$(echo "$stacking" | awk '{ print $NF }')")
echo "top of the stack: $top (viewer $window, other $other)"
[ -n "$other" ] && [ "$top" = "$other" ] || fail "another window cannot be raised over the viewer"
import -window root "$tmp/shot.png"
cp "$tmp/shot.png" "$shots/trial-other-window-on-top.png"
[ -n "$other" ] && xdotool windowkill "$other" 2>/dev/null
sleep 1

# A click on the picture (which zooms it), then the keys: Down and Space go on.
xdotool windowactivate --sync "$window" 2>/dev/null
xdotool mousemove $cx $cy click 1
sleep 1
xdotool key Down
expect_shown "after a click on the picture, Down" p2
xdotool key space
expect_shown "then Space" p3
xdotool key BackSpace
expect_shown "then Backspace" p2

# Full screen: the screen's size, the picture alone, black around a picture of another shape
# (the screen is 16:10, the pictures 4:3); Escape comes back.
xdotool key f
sleep 2
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "full screen: $WIDTH x $HEIGHT at ($X, $Y)"
[ "$WIDTH" -eq 1280 ] && [ "$HEIGHT" -eq 800 ] || fail "full screen is $WIDTH x $HEIGHT"
edge=$(which_picture "$(pixel 5 400)")
middle=$(which_picture "$(pixel 640 400)")
cp "$tmp/shot.png" "$shots/trial-full-screen.png"
echo "full screen: left edge $edge, middle $middle"
[ "$edge" = black ] || fail "full screen: the margin is $edge, not black"
[ "$middle" = p2 ] || fail "full screen: $middle in the middle, not p2"
xdotool key Escape
sleep 2
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "back: $WIDTH x $HEIGHT"
[ "$WIDTH" -lt 1280 ] || [ "$HEIGHT" -lt 800 ] || fail "Escape did not leave full screen"
import -window root "$tmp/shot.png"
cp "$tmp/shot.png" "$shots/trial-back.png"

# The slideshow: full screen, p3 after p2 at its interval, through a cross-fade (a mixed
# colour seen on the way, when a screenshot falls inside it); Escape ends it.
xdotool key s
mixed=0; seen=""; n=0
while [ $n -lt 100 ]; do
    now=$(which_picture "$(pixel 640 400)")
    [ "$now" = mixed ] && { mixed=$((mixed + 1)); cp "$tmp/shot.png" "$shots/trial-transition.png"; }
    seen="$seen $now"
    [ "$now" = p4 ] && break
    n=$((n + 1))
done
echo "slideshow: $(echo $seen | tr ' ' '\n' | uniq | tr '\n' ' ')(frames between two pictures: $mixed)"
case "$seen" in *p3*p4*) ;; *) fail "the slideshow did not advance from p3 to p4" ;; esac
[ $mixed -gt 0 ] || echo "note: no screenshot fell inside a transition"
xdotool key Escape
sleep 1

# The status line: what the window said, as it said it.
last=$(tail -1 "$tmp/status.log")
echo "status line: $last"
case "$last" in
    "p4.jpg  |  4 / 4  |  1600 x 1200, 24 bits  |  "*" KB  |  "*" %  |  1 file not shown") ;;
    *) fail "the status line says \"$last\"" ;;
esac
import -window root "$tmp/shot.png"
cp "$tmp/shot.png" "$shots/trial-end.png"

# Closing ends the process at once.
start=$(date +%s%N)
xdotool key --window "$window" alt+F4
# The window goes between the press and the release, and xdotool stops at the first request
# for a window that is gone: without these releases Alt and F4 stay down and repeat, and the
# window manager closes every window that comes next.
xdotool keyup F4 2>/dev/null
xdotool keyup alt 2>/dev/null
n=0
while kill -0 $viewer_pid 2>/dev/null && [ $n -lt 100 ]; do sleep 0.05; n=$((n + 1)); done
echo "closed in $(( ($(date +%s%N) - start) / 1000000 )) ms"
kill -0 $viewer_pid 2>/dev/null && fail "the viewer is still running 5 s after its window closed"
grep -q "IntervalMs=5000" "$tmp/config/Tessel/TesselImageViewer.conf" || fail "the settings were not kept"

# Pages and frames: Ctrl+Page Down shows a TIFF's second page (p2 after p1) and the status line
# says "page 2/3"; I opens the information panel at the window's right; an animated GIF shows
# its second frame (p3 after p1) once the first one's delay (5 s) is over.
mkdir -p "$tmp/pages" "$tmp/anim"
$CONVERT -size 400x300 xc:'#e02020' xc:'#20c020' xc:'#2040e0' "$tmp/pages/three.tif"
$CONVERT -delay 500 -size 400x300 xc:'#e02020' -delay 300 -size 400x300 xc:'#2040e0' -loop 0 "$tmp/anim/two.gif"
start_viewer() { # $1 folder
    "$viewer" "$1" "*.*" >"$tmp/viewer.log" 2>&1 & viewer_pid=$!; pids="$viewer_pid $pids"
    window=$(timeout 90 xdotool search --sync --onlyvisible --name "Tessel Image Viewer" | head -1)
    [ -n "$window" ] || { echo "FAILED: no viewer window"; cat "$tmp/viewer.log"; exit 1; }
    sleep 2
    eval "$(xdotool getwindowgeometry --shell "$window")"
    cx=$((X + WIDTH / 2)); cy=$((Y + HEIGHT / 2))
}
stop_viewer() {
    kill "$viewer_pid" 2>/dev/null
    wait "$viewer_pid" 2>/dev/null
}
start_viewer "$tmp/pages"
expect_shown "TIFF at start" p1
cp "$tmp/shot.png" "$shots/trial-tiff-page-1.png"
xdotool key --window "$window" ctrl+Next
expect_shown "TIFF after Ctrl+Page Down" p2
cp "$tmp/shot.png" "$shots/trial-tiff-page-2.png"
last=$(tail -1 "$tmp/status.log")
echo "status line: $last"
case "$last" in *"page 2/3"*) ;; *) fail "the status line says \"$last\", no \"page 2/3\"" ;; esac
xdotool key --window "$window" i
sleep 2
right=$(which_picture "$(pixel $((X + WIDTH - 60)) $cy)")
cp "$tmp/shot.png" "$shots/trial-info-panel.png"
echo "information panel: $right at the window's right"
[ "$right" = mixed ] || fail "I does not open the information panel at the right ($right there)"
xdotool key --window "$window" i  # closed again: the next start has none
sleep 1
stop_viewer
start_viewer "$tmp/anim"
expect_shown "GIF at start" p1
cp "$tmp/shot.png" "$shots/trial-gif-frame-1.png"
expect_shown "GIF after the first frame's delay" p3
cp "$tmp/shot.png" "$shots/trial-gif-frame-2.png"
stop_viewer
exit $status
