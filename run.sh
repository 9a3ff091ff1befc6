#!/bin/sh
# Builds the release tree and runs the viewer (on samples/ with the mask *.* when given no
# arguments). Without a display it runs on a virtual one, saves a screenshot and ends.
set -e
cd "$(dirname "$0")"
scripts/bootstrap
BUILD=build/release
JOBS=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
# Only what runs: the viewer (when Qt is there) and the tool, not the tests and benchmarks.
TARGETS=velora
if ninja -C "$BUILD" -t targets all 2>/dev/null | grep -q '^TesselImageViewer:'; then
    TARGETS="TesselImageViewer velora"
fi
cmake --build "$BUILD" -j "$JOBS" --target $TARGETS

if [ $# -eq 0 ]; then
    set -- "$(pwd)/samples" "*.*"
fi
if [ -x "$BUILD/TesselImageViewer" ]; then
    if [ -n "$DISPLAY" ] || [ -n "$WAYLAND_DISPLAY" ]; then
        exec "$BUILD/TesselImageViewer" "$@"
    fi
    exec scripts/screenshot "$BUILD/TesselImageViewer" "$@"
fi
exec "$BUILD/velora" scan "$@"
