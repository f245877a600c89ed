#!/usr/bin/env bash
# Builds the native test suite with AddressSanitizer, UndefinedBehaviorSanitizer and
# LeakSanitizer (part of AddressSanitizer on Linux) in build/asan and runs it. Any report
# fails the run: there are no suppressions.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/asan"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQIR_SANITIZE=ON \
  -DQIR_WINDOWS_BUILD_DIR= >/dev/null
cmake --build "$build" -j2

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="report_objects=1"
cd "$build"
ctest --output-on-failure -j2
