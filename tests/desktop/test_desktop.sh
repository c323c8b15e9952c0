#!/usr/bin/env bash
# The real game under a desktop's window manager, each on an X server of its
# own: openbox, xfwm4, mutter (X11 mode), or XWayland inside weston. The game
# is started, greeted with a name, and another window takes the focus: the
# game must go quiet (its process and the X server idle); given the focus back
# it must draw again in full screen. It is then ended from the inactive state,
# once by SIGTERM and once through the window manager's close request, and
# must exit with status 0 within a second, its records, settings and log whole.
#   usage: tests/desktop/test_desktop.sh <openbox|xfwm4|mutter|weston> <game folder>
# (NIVORA_KEEP=1 keeps its work folder, with the games' logs, for a look afterwards.)
#
# weston runs on its X11 back end inside Xvfb (without its panel): its
# headless back end has no seat, so no window there ever has the keyboard
# focus. Its X bridge takes no activation requests, offers no close request
# (_NET_CLOSE_WINDOW) and no way back to a minimised window, so under weston
# the other window takes the focus by appearing and gives it back by closing,
# as a notification does; the game is ended by SIGTERM and SIGHUP, and
# minimising through the window manager is left out.
set -uo pipefail

desktop=$1
game_dir=$(cd "$2" && pwd)
readonly screen_w=1024 screen_h=768
# Idle means under this share of one core, in percent.
readonly quiet_percent=5
# The game ends within a second of being asked. A sanitizer build runs its
# shutdown (unloading, the GL context's end) two to three times slower, and
# the whole test suite runs beside it, so it is given two.
end_limit_ms=1000
ldd "$game_dir/nivora" 2>/dev/null | grep -q libasan && end_limit_ms=2000
readonly end_limit_ms
# Sanitizer builds check for leaks at exit; the limit is on the game's own shutdown.
export ASAN_OPTIONS=${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}detect_leaks=0
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
unset WAYLAND_DISPLAY XAUTHORITY SESSION_MANAGER

work=$(mktemp -d "${TMPDIR:-/tmp}/nivora-desktop.XXXXXX")
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill -9 -- "-$pid" "$pid" 2>/dev/null; done
  [[ -n "${NIVORA_KEEP:-}" ]] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL ($desktop): $*" >&2
  failures=$((failures + 1))
  ((failures == 1)) && describe_state
}
# What a first failure is judged by: where the focus is, the game's window
# state and the end of its log.
describe_state() {
  local focus
  focus=$(xdotool getwindowfocus 2>/dev/null)
  echo "--- focus on ${focus:-nothing} ($(xdotool getwindowname "$focus" 2>/dev/null)), game window ${window:-none}" >&2
  [[ -n "${window:-}" ]] && xprop -id "$window" _NET_WM_STATE WM_STATE 2>&1 | sed 's/^/    /' >&2
  if [[ -n "${other_window:-}" ]]; then
    echo "--- other window ${other_window}: $(xwininfo -id "$other_window" 2>/dev/null | grep -q IsViewable && echo shown || echo 'not shown')," \
      "its program $(kill -0 "${other_pid:-0}" 2>/dev/null && echo running || echo 'not running')" >&2
  else
    echo "--- no other window" >&2
  fi
  [[ -n "${game_folder:-}" ]] && tail -n 15 "$game_folder/log.txt" 2>/dev/null | tr -d '\r' >&2
}
note() { echo "$desktop: $*"; }
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell.sh"
# Starts a command in a process group of its own, so cleanup ends its children too.
start() {
  setsid "$@" &
  pids+=($!)
  disown
}

# ---- The other window ----
other_window=
other_pid=
# Sets other_window, tried again like the game's (see find_game_window).
find_other_window() {
  other_window=$(xdotool search --onlyvisible --classname nivora-other 2>/dev/null | tail -1)
  [[ -n "$other_window" ]]
}
open_other_window() {
  [[ -n "$other_pid" ]] && kill "$other_pid" 2>/dev/null
  start xmessage -name nivora-other -geometry 300x120+40+40 "another window"
  other_pid=${pids[-1]}
  other_window=
  wait_for 10 find_other_window || fail "the other window did not appear"
}

# ---- The X server and the window manager ----
# An Xvfb on a number it picks itself: sets number and xvfb_pid.
start_xvfb() {
  local fifo=$work/display.$1
  mkfifo "$fifo"
  # The fifo is opened by the server's process, so reading it cannot block the script.
  setsid Xvfb -displayfd 3 -screen 0 "${screen_w}x${screen_h}x24" -nolisten tcp -noreset 3>"$fifo" \
    >"$work/xvfb.$1.log" 2>&1 &
  xvfb_pid=$!
  pids+=("$xvfb_pid")
  disown
  number=$(cat "$fifo")
}

manager_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

outer_display=
x_pid=
case "$desktop" in
  openbox | xfwm4 | mutter)
    start_xvfb main
    [[ -n "$number" ]] || { echo "FAIL: Xvfb did not start" >&2; cat "$work/xvfb.main.log" >&2; exit 1; }
    export DISPLAY=":$number"
    x_pid=$xvfb_pid
    # The other window is up before the manager, which takes it in as it
    # starts. Mapped in the moments the manager takes to start, it could wait
    # unmanaged for the manager's next event (openbox did, for ten seconds).
    open_other_window
    case "$desktop" in
      # Its debugging output says why it passed over an activation request.
      openbox) start openbox --sm-disable --debug ;;
      # Both keep their settings on a session bus; each gets one of its own.
      xfwm4) start dbus-run-session -- xfwm4 --compositor=off --sm-client-disable ;;
      mutter) start dbus-run-session -- mutter --x11 --sm-disable ;;
    esac >"$work/manager.log" 2>&1
    ;;
  weston)
    start_xvfb outer
    [[ -n "$number" ]] || { echo "FAIL: Xvfb did not start" >&2; exit 1; }
    outer_display=":$number"
    export XDG_RUNTIME_DIR=$work/runtime
    mkdir -m 0700 "$XDG_RUNTIME_DIR"
    # No panel: nothing a click meant for a window could start instead.
    printf '[shell]\npanel-position=none\nlocking=false\n' >"$work/weston.ini"
    DISPLAY=$outer_display start weston --backend=x11-backend.so --use-pixman --xwayland --config="$work/weston.ini" \
      --socket=nivora-test --width=$screen_w --height=$screen_h --log="$work/weston.log"
    weston_pid=${pids[-1]}
    wait_for 20 grep -q 'xserver listening on display' "$work/weston.log" ||
      { echo "FAIL: weston did not start XWayland" >&2; cat "$work/weston.log" >&2; exit 1; }
    export DISPLAY=$(grep -o 'xserver listening on display :[0-9]*' "$work/weston.log" | grep -o ':[0-9]*$')
    ;;
  *) echo "usage: $0 <openbox|xfwm4|mutter|weston> <game folder>" >&2; exit 2 ;;
esac
wait_for 30 manager_running || { echo "FAIL: the window manager did not start on $DISPLAY" >&2; exit 1; }
if [[ "$desktop" == weston ]]; then
  # XWayland starts with its first client.
  wait_for 10 pgrep -P "$weston_pid" -x Xwayland >/dev/null
  x_pid=$(pgrep -P "$weston_pid" -x Xwayland)
fi
note "window manager up on $DISPLAY"
# Under an X11 manager: shown again in the manager's frame.
[[ -n "$other_pid" ]] && { wait_for 10 find_other_window || fail "the manager did not show the other window"; }

# ---- Measuring ----
# CPU time of a process in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# Percent of one core each of the game and the X server used over $3 seconds.
measure() {
  local game=$1 server=$2 seconds=$3 hz a b
  hz=$(getconf CLK_TCK)
  a=$(cpu_ticks "$game")
  b=$(cpu_ticks "$server")
  sleep "$seconds"
  game_percent=$((($(cpu_ticks "$game") - a) * 100 / (hz * seconds)))
  server_percent=$((($(cpu_ticks "$server") - b) * 100 / (hz * seconds)))
}
# The window's pixels; two that differ a moment apart mean it is drawing.
pixels() { xwd -silent -id "$1" 2>/dev/null | md5sum; }
drawing() {
  local first
  first=$(pixels "$1")
  sleep 0.3
  [[ "$first" != "$(pixels "$1")" ]]
}
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; }
covers_screen() {
  local geometry
  geometry=$(xwininfo -id "$1" 2>/dev/null | awk '/^  Width:/ { w = $2 } /^  Height:/ { h = $2 } END { print w "x" h }')
  [[ "$geometry" == "${screen_w}x${screen_h}" ]]
}
focused_on() { [[ "$(xdotool getwindowfocus 2>/dev/null)" == "$1" ]]; }

# ---- Focus, as a player moves it ----
# Under weston a click through its own window; elsewhere the window manager's
# activation request, as a task bar, Alt+Tab or a notification makes it.
activate() {
  local window=$1 x=$2 y=$3
  if [[ -n "$outer_display" ]]; then
    # Moved onto the window first (a pointer already resting there sends no
    # motion), then pressed and released as a hand does.
    DISPLAY=$outer_display xdotool mousemove $((x - 20)) $((y - 20)) sleep 0.1 mousemove "$x" "$y" sleep 0.1 \
      mousedown 1 sleep 0.1 mouseup 1
  else
    xdotool windowactivate "$window" 2>/dev/null
  fi
}
# A left click in the lower right of a window, where no menu item lies.
click_on() {
  xdotool mousemove --window "$1" $((screen_w - 100)) $((screen_h - 100)) sleep 0.1 click 1 2>/dev/null
}

# ---- The game ----
# Sets window to the game's shown window. xdotool's search walks the whole
# window tree and gives up, printing nothing, when a window it is looking at
# vanishes meanwhile (a window manager's short-lived windows do), so a miss is
# tried again.
find_game_window() {
  window=$(xdotool search --onlyvisible --pid "$game" 2>/dev/null | head -1)
  [[ -n "$window" ]]
}

start_game() { # start_game <folder>: sets game, game_folder and window
  local folder=$1
  game_folder=$folder
  mkdir -p "$folder"
  ln -s "$game_dir/Images" "$folder/Images"
  cp "$game_dir/fonts.conf" "$folder/fonts.conf"
  (cd "$folder" && exec "$game_dir/nivora") >"$folder/output.txt" 2>&1 &
  game=$!
  window=
  wait_for 30 find_game_window || { fail "no game window"; return 1; }
  wait_for 30 grep -q "Main Loop start" "$folder/log.txt" || fail "the game's loop did not start"
  # A manager still taking the new window in may pass over a request to
  # activate it; a player would click it again.
  local attempt
  for attempt in 1 2 3 4 5; do
    wait_for 2 focused_on "$window" && break
    activate "$window" $((screen_w - 100)) $((screen_h - 100))
    wait_for 3 focused_on "$window" && break
    # Then as a player would: a click on the window.
    ((attempt >= 3)) && [[ -z "$outer_display" ]] && click_on "$window"
  done
  focused_on "$window" || fail "the game's window never got the focus"
  wait_for 10 drawing "$window" || fail "the game does not draw after its start"
  # The greeting: a new name, then Enter.
  xdotool type --delay 60 Tester
  xdotool keydown Return sleep 0.05 keyup Return
  sleep 0.5
}

# Another window takes the focus: under weston a new one, as a notification
# would (its X bridge takes no activation requests, and the full-screen game
# covers the old one); elsewhere an existing one, as Alt+Tab does.
switch_away() {
  local attempt
  if [[ "$desktop" == weston ]]; then
    open_other_window
  else
    # A manager may pass over a request (openbox weighs one against the
    # player's last key press to prevent focus stealing); a player would ask
    # again.
    for attempt in 1 2 3; do
      activate "$other_window" 150 80
      wait_for 3 focused_on "$other_window" && break
    done
  fi
  wait_for 10 focused_on "$other_window" || fail "the other window did not get the focus"
  # The game steps aside once a loss has lasted a moment, then lets the
  # manager answer; only after that is it expected to be quiet.
  sleep 2
}

check_quiet() { # check_quiet <when>
  measure "$game" "$x_pid" 3
  note "$1: game ${game_percent}% and X server ${server_percent}% of a core"
  ((game_percent < quiet_percent)) || fail "$1: the game used ${game_percent}% of a core"
  ((server_percent < quiet_percent)) || fail "$1: the X server used ${server_percent}% of a core"
}

check_back() { # check_back <when>
  local attempt
  # Under weston the other window goes away, as a notification does, and the
  # focus returns to the game.
  [[ "$desktop" == weston ]] && kill "$other_pid" 2>/dev/null
  for attempt in 1 2 3; do
    wait_for 5 focused_on "$window" && break
    activate "$window" $((screen_w - 100)) $((screen_h - 100))
  done
  focused_on "$window" || fail "$1: the game did not get the focus back"
  wait_for 10 viewable "$window" || fail "$1: the game's window is not shown again"
  wait_for 10 drawing "$window" || fail "$1: no frames after the return"
  covers_screen "$window" || fail "$1: the game is not full screen after the return"
  measure "$game" "$x_pid" 1
  note "$1, back: game ${game_percent}% of a core"
}

# Ends the game from the inactive state and checks its exit and its files.
end_and_check() { # end_and_check <folder> <how> <command...>
  local folder=$1 how=$2 status=0 started
  shift 2
  started=$(date +%s%N)
  "$@"
  local deadline=$((SECONDS + 10))
  while kill -0 "$game" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.01; done
  local elapsed=$((($(date +%s%N) - started) / 1000000))
  if kill -0 "$game" 2>/dev/null; then
    fail "$how: still running after 10 s"
    kill -9 "$game"
    return
  fi
  wait "$game" || status=$?
  note "$how from the inactive state: ended in ${elapsed} ms, status $status"
  ((status == 0)) || fail "$how: exit status $status"
  ((elapsed <= end_limit_ms)) || fail "$how: took ${elapsed} ms to end (the limit: ${end_limit_ms} ms)"
  [[ $(stat -c %s "$folder/Sys.rec" 2>/dev/null) == 960 ]] || fail "$how: Sys.rec is not whole"
  [[ $(stat -c %s "$folder/Settings.dat" 2>/dev/null) == 44 ]] || fail "$how: Settings.dat is not whole"
  grep -q Tester "$folder/Settings.dat" 2>/dev/null || fail "$how: the name typed at the greeting was not kept"
  [[ "$(tail -n 1 "$folder/log.txt" 2>/dev/null)" == *'] "Quorvex 0.80" log close'$'\r' ]] ||
    fail "$how: the log does not end with its closing line"
  if ((failures > 0)); then
    echo "--- $folder/log.txt" >&2
    tail -n 20 "$folder/log.txt" >&2
    cat "$folder/output.txt" >&2
  fi
}

[[ -n "$other_pid" ]] || open_other_window

# First game: away and back twice, then SIGTERM while inactive.
start_game "$work/first"
switch_away
check_quiet "another window active"
check_back "first return"
switch_away
check_quiet "another window active again"
end_and_check "$work/first" SIGTERM kill -TERM "$game"

# Second game: minimised through the window manager and back, then closed by it.
start_game "$work/second"
if [[ "$desktop" != weston ]]; then
  xdotool windowminimize "$window"
  wait_for 10 bash -c "! xdotool getwindowfocus 2>/dev/null | grep -qx $window" || fail "minimised, the game kept the focus"
  sleep 2
  check_quiet "minimised"
  check_back "restored"
fi
switch_away
if [[ "$desktop" == weston ]]; then
  end_and_check "$work/second" SIGHUP kill -HUP "$game"
else
  end_and_check "$work/second" "the window manager's close" wmctrl -i -c "$window"
fi

if ((failures > 0)); then
  echo "--- the window manager's last words" >&2
  grep -v -- '-Debug:' "$work/manager.log" | tail -n 20 >&2
  if [[ "$desktop" == openbox ]]; then
    echo "--- its decisions on the focus" >&2
    grep -E 'Want to focus|Not focusing|Focus stealing|Allowing focus|Focusing client|focus_set_client' \
      "$work/manager.log" | tail -n 40 >&2
  fi
  exit 1
fi
note "passed"
