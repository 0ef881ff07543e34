#!/usr/bin/env bash
# Installs what the build needs, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test, then runs the suites that use threads
# again under ThreadSanitizer; any sanitizer report fails the run. The window suites (label
# gui) stay out of the ThreadSanitizer pass: Qt's own painting thread pool, not built for
# the sanitizer, makes it report races inside Qt. The hand-over from the capture thread to
# the window (hw_refresh_tests) has a suite of its own that the pass does run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build-asan -G Ninja -DHW_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
export QT_QPA_PLATFORM=offscreen
(cd build-asan && ctest --output-on-failure --timeout 300 -j2)

cmake -S . -B build-tsan -G Ninja -DHW_SANITIZE_THREAD=ON -DHW_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-tsan --target hw_store_tests hw_filter_tests hw_capture_tests hw_driver_tests \
  hw_platform_thread_tests \
  hw_refresh_tests RegDrv
cd build-tsan
ctest --output-on-failure --timeout 300 -j2 -L threaded
