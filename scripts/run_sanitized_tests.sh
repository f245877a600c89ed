#!/usr/bin/env bash
# Builds the native test suite with AddressSanitizer, UndefinedBehaviorSanitizer and
# LeakSanitizer (part of AddressSanitizer on Linux) and runs it. Any report fails the
# run: there are no suppressions.
#
#   scripts/run_sanitized_tests.sh [--build-only|--test-only]
#
# The build goes to $QIR_SANITIZED_BUILD_DIR (default build/asan). ./test builds once
# with --build-only and lets its ctest run the suite with --test-only.
set -euo pipefail

build_step=1 test_step=1
case "${1:-}" in
--build-only) test_step=0 ;;
--test-only) build_step=0 ;;
"") ;;
*) echo "usage: $0 [--build-only|--test-only]" >&2; exit 2 ;;
esac

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QIR_SANITIZED_BUILD_DIR:-$root/build/asan}"

if [ "$build_step" -eq 1 ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQIR_SANITIZE=ON \
    -DQIR_WINDOWS_BUILD_DIR= -DQIR_SANITIZED_BUILD_DIR= -DQIR_FUZZ_BUILD_DIR= >/dev/null
  cmake --build "$build" -j2
fi
[ "$test_step" -eq 1 ] || exit 0

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="report_objects=1"
cd "$build"
ctest --output-on-failure -j2
