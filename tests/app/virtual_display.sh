# Sourced by the checks that drive the viewer under openbox on a virtual display: the tools they
# need (skipped, 77, without them), a scratch folder, the display with its window manager, and
# the clean-up. The caller sets `viewer` and `display_base` first and adds what it starts to `pids`.
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
tmp=$(mktemp -d "${TMPDIR:-/tmp}/velora-x.XXXXXX")
# The viewer keeps its settings and thumbnails: each check starts with none and leaves none
# behind for the next, or for the user's own.
export XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache" XDG_DATA_HOME="$tmp/data"
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT
export DISPLAY=:$((display_base + $$ % 50))
status=0
fail() { echo "FAILED: $*"; status=1; }

start_display() {
    Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & pids="$! $pids"
    sleep 1
    openbox >/dev/null 2>&1 & pids="$! $pids"
    sleep 1
}

# The pixels of the screenshot "$tmp/shot.png" inside a crop geometry, as "x y r g b" lines.
shot_pixels() {
    $CONVERT "$tmp/shot.png" -crop "$1" +repage -depth 8 txt:- |
        sed -n 's/^\([0-9]*\),\([0-9]*\): *(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3 \4 \5/p'
}
