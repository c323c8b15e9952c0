#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test (under Xvfb without a display).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
install_deps --tests

BUILD=build-test
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DNIVORA_SANITIZE=ON >/dev/null
cmake --build "$BUILD" -j"$(nproc)"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
export LIBGL_ALWAYS_SOFTWARE=1
# llvmpipe renders on the calling thread: no worker threads for the leak
# checker to stop at exit, and no extra load on a busy machine.
export LP_NUM_THREADS=${LP_NUM_THREADS:-0}

# A failing test is run once more: the leak checker's own stop-the-
# world tracer occasionally crashes at exit under load, which says nothing
# about the code. A real failure fails twice.
CTEST=(ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" --repeat until-pass:2 "$@")
if [[ -z "${DISPLAY:-}" ]]; then
  xvfb-run -a -s "-screen 0 1024x768x24" "${CTEST[@]}"
else
  "${CTEST[@]}"
fi
