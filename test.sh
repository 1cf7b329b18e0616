#!/usr/bin/env bash
# The CI command.  Installs what is missing, then, each stage timed:
#  1. checks that every tracked .cpp and .h file is formatted as .clang-format says;
#  2. builds every program and test with -Werror under AddressSanitizer and
#     UndefinedBehaviorSanitizer (BUILD-test) and runs all tests;
#  3. builds the Debian package (BUILD-package) and checks it as a user meets
#     it (scripts/check-package.sh);
#  4. syntax-checks every source file of the programs for Windows with the
#     MinGW-w64 cross compiler (scripts/check-windows-syntax.sh);
#  5. builds every program and test with -Werror under ThreadSanitizer
#     (BUILD-tsan) and runs all tests again;
#  6. runs every libFuzzer target for about 10 seconds (BUILD-fuzz).
# Exits non-zero at the first stage that fails.
set -euo pipefail
cd "$(dirname "$0")"

# Each stage's wall-clock time, and the processor time its commands used
# (on a machine shared with other work the second says more).
timings=()
stage_start=0
stage_cpu=0
ticks=$(getconf CLK_TCK)
# Processor seconds used by the finished commands of this script (the
# cutime and cstime fields of its /proc stat line).
children_cpu() { sed 's/^.*) //' "/proc/$$/stat" | awk -v hz="$ticks" '{ printf "%d", ($14 + $15) / hz }'; }
stage() {
    stage_name=$1
    stage_start=$SECONDS
    stage_cpu=$(children_cpu)
    echo
    echo "=== $stage_name"
}
stage_done() {
    local took=$((SECONDS - stage_start)) cpu=$(($(children_cpu) - stage_cpu))
    timings+=("$(printf '%-34s %5d s wall %6d s processor' "$stage_name" "$took" "$cpu")")
    echo "=== $stage_name: done in ${took} s"
}
trap 'status=$?; if [ "$status" -ne 0 ]; then echo "=== FAILED in stage: ${stage_name:-set-up}" >&2; fi' EXIT

stage "install missing packages"
scripts/install-deps.sh clang-format g++-mingw-w64-x86-64-posix clang libclang-rt-14-dev
stage_done

stage "format check"
scripts/check-format.sh
stage_done

export QT_QPA_PLATFORM=offscreen

stage "ASan/UBSan build (BUILD-test)"
cmake -S . -B BUILD-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVAKINE_SANITIZE=ON \
    -DTORVAKINE_WERROR=ON >/dev/null
cmake --build BUILD-test
stage_done

stage "ASan/UBSan tests"
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" \
    LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    ctest --test-dir BUILD-test --output-on-failure -j2
stage_done

# The release build of the package with Debian's hardening flags, lintian,
# desktop-file-validate, appstreamcli, systemd-analyze (when there), and the
# unpacked programs run as an unprivileged user with a fresh home folder.
stage "Debian package build and check (BUILD-package)"
scripts/check-package.sh
stage_done

stage "Windows syntax check (MinGW-w64)"
scripts/check-windows-syntax.sh BUILD-test
stage_done

stage "TSan build (BUILD-tsan)"
cmake -S . -B BUILD-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVAKINE_SANITIZE=thread \
    -DTORVAKINE_WERROR=ON >/dev/null
cmake --build BUILD-tsan
stage_done

# die_after_fork=0: several tests start our programs (the command-line tool,
# the hive helper, dbus-send) through QProcess, whose vfork-like clone shares
# this process's memory until the exec.  ThreadSanitizer takes that for a
# fork of a multi-threaded process and ends the test at its next thread
# start; the child only execs, so the check is off for the whole run.
stage "TSan tests"
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$PWD/tests/tsan.supp" \
    ctest --test-dir BUILD-tsan --output-on-failure -j2
stage_done

# The clang build BUILD-fuzz; fuzz/run.sh fails on any crash, leak or
# time-out.
stage "fuzzing, 10 s per target"
TORVAKINE_WERROR=ON fuzz/run.sh 10
stage_done

echo
echo "=== Stage times"
printf '%s\n' "${timings[@]}"
echo "=== all stages passed in $SECONDS s"
