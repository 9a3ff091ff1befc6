#!/bin/sh
# Builds the sanitizer tree (AddressSanitizer + UndefinedBehaviorSanitizer) and runs every test,
# then the tests that read on worker threads under ThreadSanitizer.
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

# The tests that read on worker threads, once more under ThreadSanitizer: a tree of its own,
# since it cannot share a process with AddressSanitizer. Qt and cairo are not instrumented;
# scripts/tsan.supp says why their entries are there.
TSAN_BUILD=build/tsan
cmake -S . -B "$TSAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELORA_TSAN=ON >/dev/null
cmake --build "$TSAN_BUILD" -j "$JOBS" --target velora_thread_tests velora_widget_tests TesselImageViewer
export TSAN_OPTIONS="suppressions=$(pwd)/scripts/tsan.supp:halt_on_error=1:second_deadlock_stack=1"
tsan_status=0
"$TSAN_BUILD/velora_thread_tests" --gtest_brief=1 > "$TSAN_BUILD/threads.log" 2>&1 || tsan_status=$?
"$TSAN_BUILD/velora_widget_tests" --gtest_brief=1 --gtest_filter='Loader*:LoaderColumn*:Viewer*' \
    >> "$TSAN_BUILD/threads.log" 2>&1 || tsan_status=$?
if [ $tsan_status -ne 0 ]; then
    cat "$TSAN_BUILD/threads.log"
    echo "ThreadSanitizer: the threaded tests failed"
    status=1
else
    echo "ThreadSanitizer: the threaded reads, the loader and the viewer ran clean"
fi
exit $status
