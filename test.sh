#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test.
# The default build has AddressSanitizer and UndefinedBehaviorSanitizer
# (build-test/); NIVORA_BUILD=release makes an optimised build instead
# (build-release/), as the player gets. The test programs that need a display
# run whole on an X server of their own (tests/with_display.sh), so no display
# is needed and a desktop's own is left alone. CTest arguments are passed on,
# e.g. ./test.sh -R Log, or ./test.sh -L unit for the quick loop between edits.
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

# Each test carries the environment it needs (audio driver, software GL,
# sanitizer options, its own X server) in its CTest properties, so a plain
# ctest in the build folder runs it the same way.
output="$BUILD/Testing/test-output.txt"
mkdir -p "$BUILD/Testing"
started=$(date +%s)
status=0
ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" "$@" 2>&1 | tee "$output" || status=$?

# After a whole run, the ten slowest tests: where a faster loop would start.
slowest() {
  [[ $# -eq 0 ]] || return 0
  echo "The ten slowest tests:"
  grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$output" | sed -E 's/^.*Test +#[0-9]+: ([^ ]+) .* ([0-9.]+) sec$/\2 \1/' |
    sort -rn | awk 'NR <= 10 { printf "  %8.2f s  %s\n", $1, $2 }'
}

if ((status == 0)); then
  slowest "$@"
  exit 0
fi

# The leak checker's own stop-the-world tracer occasionally crashes at exit
# under load ("Tracer caught signal"), which says nothing about the code: only
# when every failure is that crash do the failed tests run once more.
LOG="$BUILD/Testing/Temporary/LastTest.log"
FAILED="$BUILD/Testing/Temporary/LastTestsFailed.log"
# A run that failed without writing its list of failures this time (a build or
# configuration error, a crash of CTest itself) has nothing to retry.
if [[ ! -f "$FAILED" ]] || (($(stat -c %Y "$FAILED") < started)); then
  echo "test.sh: CTest failed without a list of failed tests; not retried" >&2
  exit 1
fi
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
