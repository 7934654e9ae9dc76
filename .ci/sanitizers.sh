#!/usr/bin/env bash
# The engine, command line and unit tests built without Qt and run under the sanitizers:
#   1. AddressSanitizer + UndefinedBehaviorSanitizer, every engine test (this is also the
#      build without the desktop program, so the command line's no-picture code is compiled);
#   2. ThreadSanitizer on what runs on several threads: the worker pool, the loop over a
#      plan with --jobs, the area search and its shared table cache, shards and merge.
# Warnings are errors in both. Builds go to build-asan and build-tsan (or the folders named
# by QUILLON_ASAN_DIR and QUILLON_TSAN_DIR), so a second run reuses them.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# -O1 keeps the sanitized tests fast enough without the long compile of -O2; -g1 gives
# line numbers in reports at a fraction of the full debug information's cost.
configure() {
    cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Sanitize -DCMAKE_CXX_FLAGS_SANITIZE="-O1 -g1" \
        -DQUILLON_GUI=OFF -DQUILLON_TESTS=ON -DQUILLON_BENCH=OFF -DQUILLON_SANITIZE="$2" \
        -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "${launcher[@]}" >/dev/null
}

asan=${QUILLON_ASAN_DIR:-build-asan}
echo "== AddressSanitizer + UndefinedBehaviorSanitizer, without Qt ($asan)"
configure "$asan" address,undefined
cmake --build "$asan" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$asan" --output-on-failure -j "$jobs"

tsan=${QUILLON_TSAN_DIR:-build-tsan}
echo "== ThreadSanitizer on the threaded tests ($tsan)"
configure "$tsan" thread
cmake --build "$tsan" -j "$jobs" --target quillon_threaded_tests quillon-cli
# ThreadSanitizer's shadow memory needs a fixed address layout; setarch -R turns off
# address randomisation for the tests and the command-line processes they start.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    setarch "$(uname -m)" -R "$tsan/tests/quillon_threaded_tests" --gtest_brief=1
echo "ThreadSanitizer: threaded tests passed"
