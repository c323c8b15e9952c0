#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test.
# The default build has AddressSanitizer and UndefinedBehaviorSanitizer
# (build-test/); NIVORA_BUILD=release makes an optimised build instead
# (build-release/), as the player gets. The test programs that need a display
# run whole on an X server of their own (tests/with_display.sh), so no display
# is needed and a desktop's own is left alone. CTest arguments are passed on,
# e.g. ./test.sh -R Log.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
install_deps --tests

case "${NIVORA_BUILD:-sanitize}" in
  sanitize) BUILD=build-test CONFIG=(-DCMAKE_BUILD_TYPE=Debug -DNIVORA_SANITIZE=ON) ;;
  release) BUILD=build-release CONFIG=(-DCMAKE_BUILD_TYPE=Release -DNIVORA_SANITIZE=OFF) ;;
  *) echo "NIVORA_BUILD is sanitize or release, not '${NIVORA_BUILD}'" >&2; exit 2 ;;
esac
cmake -S . -B "$BUILD" "${CONFIG[@]}" -DNIVORA_WERROR=ON >/dev/null
cmake --build "$BUILD" -j"$(nproc)"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
export LIBGL_ALWAYS_SOFTWARE=1
# llvmpipe renders on the calling thread: no worker threads for the leak
# checker to stop at exit, and no extra load on a busy machine.
export LP_NUM_THREADS=${LP_NUM_THREADS:-0}

if ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" "$@"; then
  exit 0
fi

# The leak checker's own stop-the-world tracer occasionally crashes at exit
# under load ("Tracer caught signal"), which says nothing about the code: only
# when every failure is that crash do the failed tests run once more.
LOG="$BUILD/Testing/Temporary/LastTest.log"
FAILED="$BUILD/Testing/Temporary/LastTestsFailed.log"
mapfile -t failed < <(cut -d: -f2- "$FAILED")
mapfile -t crashed < <(awk '
  / Testing: / { sub(/^.* Testing: /, ""); name = $0 }
  /^Tracer caught signal/ { if (name != "") print name; name = "" }' "$LOG" | sort -u)
for name in "${failed[@]}"; do
  if ! printf '%s\n' "${crashed[@]}" | grep -qxF -- "$name"; then
    echo "test.sh: $name failed; not retried" >&2
    exit 1
  fi
done
echo "test.sh: the leak checker crashed in ${failed[*]}; running them again" >&2
ctest --test-dir "$BUILD" --output-on-failure --rerun-failed
