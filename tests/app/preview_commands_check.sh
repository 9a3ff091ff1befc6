#!/bin/sh
# The viewer's two processing commands from outside, under openbox on a virtual display, as a
# user meets them: "CA" and "EF" each open a window captioned "Preview", Escape closes it and the
# picture is as it was; with a 1-bit picture shown, neither opens anything. The buttons are
# found on the screen: the tool bar right of the blue splitter, whose fourth and fifth captions
# are "CA" and "EF". Skips (77) without Xvfb, openbox, xdotool or ImageMagick.
#   preview_commands_check.sh VIEWER
# With WM_CHECK_SHOTS=DIR the screens it saw are kept there.
viewer=$1
display_base=100
. "$(dirname "$0")/virtual_display.sh"
keep() { [ -n "$WM_CHECK_SHOTS" ] && cp "$tmp/shot.png" "$WM_CHECK_SHOTS/$1.png"; }

mkdir "$tmp/colour" "$tmp/mono"
$CONVERT -size 400x300 gradient:'#c03020'-'#2040c0' "$tmp/colour/picture.jpg"
$CONVERT -size 400x300 pattern:checkerboard -monochrome "$tmp/mono/picture.pbm"
start_display

start_viewer() { # $1 = folder, $2 = mask
    "$viewer" "$1" "$2" >"$tmp/viewer.log" 2>&1 & viewer_pid=$!
    pids="$viewer_pid $pids"
    window=$(timeout 90 xdotool search --sync --onlyvisible --name "Tessel Image Viewer" | head -1)
    [ -n "$window" ] || { echo "FAILED: no viewer window"; cat "$tmp/viewer.log"; exit 1; }
    sleep 5
    eval "$(xdotool getwindowgeometry --shell "$window")"
}
stop_viewer() {
    kill "$viewer_pid" 2>/dev/null
    wait "$viewer_pid" 2>/dev/null
    viewer_pid=""
}
# The picture's part of the screen, as a checksum.
view_sum() {
    mousemove_away
    import -window root "$tmp/shot.png"
    $CONVERT "$tmp/shot.png" -crop "$((X + WIDTH - bar_right - 2))x$((HEIGHT - 40))+$((bar_right + 2))+$((Y + 30))" \
        +repage -depth 8 rgb:- | md5sum
}
mousemove_away() { xdotool mousemove $((X + WIDTH - 5)) $((Y + HEIGHT - 5)); sleep 1; }
preview_window() { timeout "$1" xdotool search --sync --onlyvisible --name '^Preview$' 2>/dev/null | head -1; }

start_viewer "$tmp/colour" "*.jpg"
import -window root "$tmp/shot.png"
# The splitter's handle is pure blue; the tool bar is the 34 pixels right of it.
handle_end=$(shot_pixels "${WIDTH}x1+$X+$((Y + HEIGHT / 2))" | awk '$3 < 40 && $4 < 40 && $5 > 215 { last = $1 } END { print last + 0 }')
[ "$handle_end" -gt 0 ] || { echo "FAILED: no splitter handle on the screen"; keep no-handle; exit 1; }
bar_left=$((X + handle_end + 1))
bar_right=$((bar_left + 34))
# Rows of the tool bar with dark text pixels, in runs; a run at least 4 rows high is a caption.
captions=$(shot_pixels "24x$((HEIGHT - 20))+$((bar_left + 4))+$((Y + 20))" |
    awk '$3 + $4 + $5 < 250 { dark[$2] = 1 }
         END { for (y = 0; y < 2000; y++) {
                   if (dark[y] && start == "") start = y
                   if (!dark[y] && start != "") { if (y - start >= 4) printf "%d ", (start + y) / 2; start = "" } } }')
echo "tool bar at x $bar_left..$bar_right, captions at rows: $captions (below y $((Y + 20)))"
set -- $captions
[ $# -ge 5 ] || { echo "FAILED: fewer than five captions on the tool bar"; keep toolbar; exit 1; }
ca_y=$((Y + 20 + $4))
ef_y=$((Y + 20 + $5))
bar_x=$((bar_left + 17))

for command in CA EF; do
    [ $command = CA ] && y=$ca_y || y=$ef_y
    before=$(view_sum)
    xdotool mousemove "$bar_x" "$y" click 1
    dialog=$(preview_window 20)
    if [ -z "$dialog" ]; then
        fail "\"$command\" opened no window captioned Preview"
        continue
    fi
    echo "$command: a window \"$(xdotool getwindowname "$dialog")\" opened"
    sleep 2
    import -window root "$tmp/shot.png"
    keep "preview-$command"
    xdotool windowactivate --sync "$dialog" 2>/dev/null
    xdotool key Escape
    sleep 2
    [ -z "$(preview_window 1)" ] || fail "Escape did not close the $command dialog"
    after=$(view_sum)
    [ "$before" = "$after" ] || fail "the picture changed after $command and Escape"
    keep "after-$command"
done
stop_viewer

start_viewer "$tmp/mono" "*.pbm"
import -window root "$tmp/shot.png"
keep mono
for y in $ca_y $ef_y; do
    xdotool mousemove "$bar_x" "$y" click 1
    [ -z "$(preview_window 4)" ] || { fail "a 1-bit picture opened a Preview"; xdotool key Escape; }
done
kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer ended"
echo "1-bit picture: nothing opened"
stop_viewer
exit $status
