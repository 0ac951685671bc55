#!/usr/bin/env bash
# Builds the test suite with AddressSanitizer and UndefinedBehaviorSanitizer and runs it;
# any sanitizer report fails the run. It builds with clang and CMake's default generator, the
# test command having built with gcc and Ninja, so that CI keeps both ways building.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VEMRA_ASAN_BUILD_DIR:-build-asan-clang}
cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug -DVEMRA_SANITIZE=ON -DVEMRA_BUILD_BENCHMARKS=OFF
cmake --build "$build" --parallel "$(nproc)"
# strndup is left to the C library: the X keyboard library reads key names past their end
# when Qt connects to a display, which the x11 tests do.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:intercept_strndup=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0"
source scripts/test-env.sh
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" --timeout 600
