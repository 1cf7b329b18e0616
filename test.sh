#!/usr/bin/env bash
# Installs what is missing, builds every program and test under
# AddressSanitizer and UndefinedBehaviorSanitizer and runs all tests.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B BUILD-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVAKINE_SANITIZE=ON
cmake --build BUILD-test
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir BUILD-test --output-on-failure -j2

# --- Short fuzzing run: every libFuzzer target for about 10 seconds in the
# clang build BUILD-fuzz (fuzz/run.sh installs clang and its runtime when
# missing and fails on any crash, leak or time-out).
fuzz/run.sh 10
