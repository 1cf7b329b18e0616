#!/usr/bin/env bash
# Builds the libFuzzer targets in a separate clang build (every library with
# -fsanitize=fuzzer-no-link,address,undefined) and runs each target for the
# given time.  Fails when any target finds a crash, a leak, a time-out or an
# out-of-memory input; the input is then kept under BUILD-fuzz/fuzz-work/.
# Usage: fuzz/run.sh [SECONDS [TARGET...]]   (TARGET: cookie, hive, ...)
# The build folder is BUILD-fuzz, or $TORVAKINE_FUZZ_BUILD when set;
# TORVAKINE_WERROR=ON or OFF in the environment sets the build's option of
# that name (./test.sh sets ON); targets run as many at once as there are cores.
set -euo pipefail
seconds=${1:-10}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TORVAKINE_FUZZ_BUILD:-$root/BUILD-fuzz}

"$root/scripts/install-deps.sh" clang libclang-rt-14-dev

werror=()
[ -n "${TORVAKINE_WERROR:-}" ] && werror=(-DTORVAKINE_WERROR="$TORVAKINE_WERROR")
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DTORVAKINE_TESTS=OFF -DTORVAKINE_FUZZ=ON "${werror[@]}" \
  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined" \
  >/dev/null
cmake --build "$build" --target fuzzers -j2

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$root"/fuzz/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    name=${name#fuzz_}
    targets+=("$name")
  done
fi

work="$build/fuzz-work"
mkdir -p "$work/generated" "$work/artifacts" "$work/logs"
"$build/fuzz/fuzz_seeds" "$work/generated"

# The targets write their inputs to files; a memory-backed temporary folder
# keeps that from dominating the run time.  A target that crashes, or that
# libFuzzer ends without running exit handlers, leaves its folder behind:
# the whole temporary folder goes when this script ends.
scratch_parent=/tmp
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  scratch_parent=/dev/shm
fi
TMPDIR=$(mktemp -d "$scratch_parent/torvakine-fuzz-run.XXXXXX")
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# Runs one target for the given time; its outcome goes into a .status file
# beside its log.
fuzz_one() {
  local name=$1
  local corpus="$work/corpus/$name"
  mkdir -p "$corpus"
  for seeds in "$root/fuzz/corpus/$name" "$work/generated/${name%_removal}"; do
    [ -d "$seeds" ] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  done
  local options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
                 -artifact_prefix="$work/artifacts/$name-")
  [ -f "$root/fuzz/$name.dict" ] && options+=(-dict="$root/fuzz/$name.dict")
  case "$name" in
    # A hive has blocks of 4 KiB; a database file grows with its Base64 lines.
    hive|hive_removal|cryptfile) options+=(-max_len=65536) ;;
    cookie) options+=(-max_len=16384) ;;
    # A seed store has pages of 512 bytes, a few of them.
    cookie_store|cookie_store_removal) options+=(-max_len=16384) ;;
  esac
  if "$build/fuzz/fuzz_$name" "${options[@]}" "$corpus" >"$work/logs/$name.log" 2>&1; then
    echo ok >"$work/logs/$name.status"
  else
    echo FAILED >"$work/logs/$name.status"
  fi
}

# As many targets at once as there are cores; each uses one.
rm -f "$work"/logs/*.status
for name in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do
    wait -n || true
  done
  fuzz_one "$name" &
done
wait

failed=()
for name in "${targets[@]}"; do
  log="$work/logs/$name.log"
  status=$(cat "$work/logs/$name.status" 2>/dev/null || echo FAILED)
  [ "$status" = ok ] || failed+=("$name")
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | tail -1 | awk '{print $2}' || true)
  rate=$(grep -o 'exec/s: [0-9]*' "$log" | tail -1 | awk '{print $2}' || true)
  printf '%-16s %-6s %10s runs %8s exec/s  (%s)\n' "$name" "$status" "${runs:-?}" "${rate:-?}" "$log"
  if [ "$status" != ok ]; then
    grep -E 'ERROR|check failed|SUMMARY|Test unit written' "$log" | head -20 || true
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
