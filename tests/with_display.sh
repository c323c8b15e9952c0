#!/usr/bin/env bash
# The test launcher of the programs that need a display: runs the command on
# an X server of its own, so tests running beside it can never take its focus
# or type into its windows. By hand: tests/with_display.sh
# build-test/test_engine_wnd --gtest_filter='MainWindow.*'. Xvfb picks a free display number itself (-displayfd),
# which, unlike probing for one, cannot race with a server starting beside it.
# Fails, never skips, when no server can be started.
set -uo pipefail

# Listing a program's cases (CTest's discovery of them) needs no display.
for argument in "$@"; do
  [[ "$argument" == --gtest_list_tests ]] && exec "$@"
done

dir=$(mktemp -d "${TMPDIR:-/tmp}/nivora-x.XXXXXX")
server=
cleanup() {
  [[ -n "$server" ]] && kill "$server" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT

mkfifo "$dir/display"
# The server's output goes to a file: CTest would otherwise wait for the
# server's end before it counts the test as done.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$dir/display" >"$dir/server.log" 2>&1 &
server=$!
# Xvfb writes the number and closes the pipe once it accepts clients; reading
# to the end (not just the first bytes) keeps the pipe open until it is done.
number=$(cat "$dir/display")
if [[ -z "$number" ]]; then
  echo "with_display.sh: Xvfb did not start:" >&2
  cat "$dir/server.log" >&2
  exit 1
fi

export DISPLAY=":$number"
unset XAUTHORITY WAYLAND_DISPLAY
"$@"
