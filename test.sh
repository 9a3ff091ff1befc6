#!/bin/sh
# Builds the sanitizer tree (AddressSanitizer + UndefinedBehaviorSanitizer) and runs every test.
set -e
cd "$(dirname "$0")"
scripts/bootstrap

BUILD=build/asan
JOBS=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELORA_SANITIZE=ON >/dev/null
cmake --build "$BUILD" -j "$JOBS"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$(pwd)/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen

set +e
(cd "$BUILD" && ctest --output-on-failure -j "$JOBS" --timeout 600) > "$BUILD/ctest.log" 2>&1
status=$?
set -e
if [ $status -ne 0 ]; then
    cat "$BUILD/ctest.log"
fi
grep -E "tests passed|tests failed" "$BUILD/ctest.log" || true
# Skipped tests by name, with the reason each gives, so that none goes unnoticed.
if grep -q "Not Run\|Skipped" "$BUILD/ctest.log"; then
    echo "skipped:"
    grep -E "\*\*\*Skipped|Not Run" "$BUILD/ctest.log" | sed -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: / /; s/ \.+.*//' || true
fi
exit $status
