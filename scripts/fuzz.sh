#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (build-fuzz/) and runs every
# target, or the ones named, for a given time each. New coverage goes into a
# work corpus outside the tree, build-fuzz/corpus/<target>, which starts from
# the seed corpus fuzz/corpus/<target>; findings (crashes, leaks, time-outs,
# out-of-memory) land in build-fuzz/findings/<target>/.
#
# Usage: scripts/fuzz.sh [-t SECONDS] [-j N] [TARGET...]
#   -t SECONDS  time per target (default 60)
#   -j N        targets run at once (default 1)
# Each finding is printed with its reproducer and the command that replays it;
# at the end, per target, the executions and coverage (cov/ft) of its run.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

SECONDS_EACH=60
JOBS=1
while getopts "t:j:h" option; do
  case "$option" in
    t) SECONDS_EACH=$OPTARG ;;
    j) JOBS=$OPTARG ;;
    *) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[[ "$SECONDS_EACH" =~ ^[0-9]+$ && "$JOBS" =~ ^[1-9][0-9]*$ ]] || { echo "fuzz.sh: -t and -j take whole numbers" >&2; exit 2; }

source scripts/deps.sh
install_deps --fuzz

mapfile -t ALL < <(sed -n 's/^nivora_fuzz_target(\([a-z_0-9]*\) .*/\1/p' fuzz/CMakeLists.txt)
if [[ $# -gt 0 ]]; then
  TARGETS=("$@")
  for target in "${TARGETS[@]}"; do
    printf '%s\n' "${ALL[@]}" | grep -qxF -- "$target" || { echo "fuzz.sh: no target '$target' (targets: ${ALL[*]})" >&2; exit 2; }
  done
else
  TARGETS=("${ALL[@]}")
fi

BUILD=build-fuzz
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DNIVORA_FUZZ=ON -DNIVORA_TESTS=OFF -DNIVORA_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)" -t "${TARGETS[@]/#/fuzz_}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export SDL_AUDIODRIVER=dummy

# One target's run: merges the seeds into the work corpus, then fuzzes it.
run_target() {
  local target=$1
  local corpus=$ROOT/$BUILD/corpus/$target findings=$ROOT/$BUILD/findings/$target log=$ROOT/$BUILD/logs/$target.log
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  "$ROOT/$BUILD/fuzz/fuzz_$target" -merge=1 "$corpus" "$ROOT/fuzz/corpus/$target" >"$log.merge" 2>&1 || true
  # -rss_limit_mb: a reader that allocates what a header claims shows as a finding, not as a slow machine.
  "$ROOT/$BUILD/fuzz/fuzz_$target" "$corpus" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 -timeout=10 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1 || true
}

running=0
for target in "${TARGETS[@]}"; do
  echo "fuzz.sh: $target for ${SECONDS_EACH}s"
  run_target "$target" &
  running=$((running + 1))
  if [[ $running -ge $JOBS ]]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait || true

status=0
printf '\n%-12s %14s %8s %8s %8s  %s\n' target executions cov ft corpus findings
for target in "${TARGETS[@]}"; do
  log=$BUILD/logs/$target.log
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  files=$(find "$BUILD/corpus/$target" -type f | wc -l)
  mapfile -t found < <(find "$BUILD/findings/$target" -type f -newer "$log.merge" | sort)
  printf '%-12s %14s %8s %8s %8s  %s\n' "$target" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$files" "${#found[@]}"
  for finding in "${found[@]}"; do
    status=1
    echo "  finding: $finding"
    echo "    replay: $BUILD/fuzz/fuzz_$target $finding   (or build-test/fuzz/replay_$target $finding)"
    echo "    log:    $log"
  done
done
exit $status
