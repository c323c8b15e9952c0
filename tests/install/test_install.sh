#!/usr/bin/env bash
# The installed game: `cmake --install` of the built tree into a temporary
# prefix, the desktop entry and metainfo validated, the prefix made read-only,
# then the installed nivora started on the X server of tests/with_display.sh
# with a temporary HOME and XDG_DATA_HOME. A screenshot, the console and Esc
# end it cleanly; its log, settings, records and screenshot must be in
# $XDG_DATA_HOME/nivora/ and nothing may change in the prefix, the current
# folder or HOME. Two short starts follow: HOME's default data folder, and a
# data folder that cannot be made.
#   usage: tests/install/test_install.sh <build folder>
set -uo pipefail

build=$(cd "$1" && pwd)
# A sound server's client library keeps files of its own in HOME
# (~/.config/pulse); the check below is about the game's files.
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
work=$(mktemp -d "${TMPDIR:-/tmp}/nivora-install.XXXXXX")
game=
cleanup() {
  [[ -n "$game" ]] && kill -9 "$game" 2>/dev/null
  xdotool keyup Escape 2>/dev/null
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
check() { # check <what> <command...>
  local what=$1
  shift
  "$@" || fail "$what"
}
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell.sh"
press() { xdotool windowfocus --sync "$1" keydown "$2" sleep 0.05 keyup "$2"; }
listing() { (cd "$1" && find . -printf '%p %y %s %m %T@\n' | LC_ALL=C sort); }
nothing_in() { [[ -z "$(find "$1" -mindepth 1 -print -quit)" ]]; }

prefix=$work/prefix
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  echo "FAIL: cmake --install" >&2
  exit 1
fi

# ---- The installed layout and its metadata ----
for file in bin/nivora bin/nivora-scores; do check "$file is installed" test -x "$prefix/$file"; done
for image in Cell.tga Back.bmp Logo.tga Snow.bmp; do
  check "Images/$image is installed" test -s "$prefix/share/nivora/Images/$image"
done
check "fonts.conf is installed" test -s "$prefix/share/nivora/fonts.conf"
for size in 16 32 48 64 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/nivora.png
  check "the ${size}px icon is installed" test -s "$icon"
  # PNG: the signature, then IHDR with the width and height (big-endian) at bytes 16 and 20.
  dimensions=$(od -An -tu1 -j16 -N8 "$icon" 2>/dev/null | awk '{print $3 * 256 + $4 "x" $7 * 256 + $8}')
  check "the ${size}px icon is ${size}x${size}, not $dimensions" test "$dimensions" = "${size}x${size}"
done
desktop=$prefix/share/applications/org.nivora.Nivora.desktop
metainfo=$prefix/share/metainfo/org.nivora.Nivora.metainfo.xml
check "desktop-file-validate" desktop-file-validate "$desktop"
check "the desktop entry's categories" grep -qx 'Categories=Game;LogicGame;' "$desktop"
check "appstreamcli validate --no-net" appstreamcli validate --no-net "$metainfo"
if command -v systemd-analyze >/dev/null 2>&1; then
  # The unit as configured, pointed at this prefix's server.
  sed "s|^ExecStart=[^ ]*|ExecStart=$prefix/bin/nivora-scores|" "$build/nivora-scores.service" >"$work/nivora-scores.service"
  # --man=no: the manual page the unit names comes with the Debian package.
  check "systemd-analyze verify" systemd-analyze verify --man=no "$work/nivora-scores.service"
fi

# ---- A session of the installed game, read-only installation ----
chmod -R a-w "$prefix"
listing "$prefix" >"$work/prefix.before"
home=$work/home
data=$work/data
here=$work/here
mkdir -p "$home" "$data" "$here"
# Explicitly no session bus: without one, a desktop's D-Bus tools (dbus-x11)
# would start one for the game's libraries, and it would keep files of its own
# in HOME (~/.dbus); the check below is about the files the game writes.
run_game() { # run_game <env assignments...>: starts the installed game in $here
  (cd "$here" && exec env -u XDG_DATA_HOME HOME="$home" DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-session-bus" \
    "$@" "$prefix/bin/nivora") >"$work/game.out" 2>&1 &
  game=$!
}
run_game XDG_DATA_HOME="$data"
player=$data/nivora
started() { grep -q "Engine  : Main Loop start" "$player/log.txt" 2>/dev/null; }
wait_for 60 started || fail "the installed game did not start (no log.txt in $player)"
window=
find_window() { window=$(xdotool search --onlyvisible --pid "$game" 2>/dev/null | head -n1); [[ -n "$window" ]]; }
wait_for 20 find_window || fail "the installed game has no visible window"
if [[ -n "$window" ]]; then
  check "Print Screen" press "$window" Print
  shot() { compgen -G "$player/ScreenShots/Nivora*.bmp" >/dev/null; }
  wait_for 30 shot || fail "no screenshot in $player/ScreenShots"
  check "F10" press "$window" F10
  # The console reads Esc from the step's flags: held until the game ends.
  xdotool windowfocus --sync "$window" keydown Escape
fi
gone() { ! kill -0 "$game" 2>/dev/null; }
wait_for 60 gone || fail "the installed game did not end on Esc"
xdotool keyup Escape 2>/dev/null
status=0
if gone; then wait "$game"; status=$?; else kill -9 "$game"; wait "$game"; status=137; fi
game=
check "the game's exit status is 0, not $status" test "$status" -eq 0
for file in log.txt Settings.dat Sys.rec; do check "$file in $player" test -s "$player/$file"; done
check "Settings.dat is 44 bytes" test "$(stat -c %s "$player/Settings.dat" 2>/dev/null)" = 44
check "the log records the clean end" grep -q "Engine  : Main Loop stop" "$player/log.txt"
# Each image that cannot be read gives a "Texture : Error Loading" line.
check "every image loaded from the installation" bash -c "! grep -F 'Error Loading' '$player/log.txt'"
[[ -n "${NIVORA_KEEP_SCREENSHOT:-}" ]] && cp "$player"/ScreenShots/*.bmp "$NIVORA_KEEP_SCREENSHOT" 2>/dev/null
extra=$(cd "$player" && find . -mindepth 1 -maxdepth 1 ! -name log.txt ! -name Settings.dat ! -name Sys.rec ! -name ScreenShots)
check "nothing else in $player: $extra" test -z "$extra"
check "nothing else in XDG_DATA_HOME" test "$(ls -A "$data")" = nivora
listing "$prefix" >"$work/prefix.after"
check "the installation is unchanged" cmp -s "$work/prefix.before" "$work/prefix.after"
check "nothing written in the current folder" nothing_in "$here"
check "nothing written in HOME: $(find "$home" -mindepth 1 | head -n5)" nothing_in "$home"
if ((failures)); then
  echo "--- game output" >&2
  cat "$work/game.out" >&2
  echo "--- log.txt" >&2
  cat "$player/log.txt" >&2
fi

# ---- No XDG_DATA_HOME: the default under HOME ----
run_game
default_started() { grep -q "Engine  : Main Loop start" "$home/.local/share/nivora/log.txt" 2>/dev/null; }
wait_for 60 default_started || fail "without XDG_DATA_HOME the log is not in ~/.local/share/nivora"
check "the data folder is private" test "$(stat -c %a "$home/.local/share/nivora" 2>/dev/null)" = 700
kill -TERM "$game" 2>/dev/null
wait_for 60 gone || kill -9 "$game"
wait "$game"
game=
check "still nothing in the current folder" nothing_in "$here"

# ---- A data folder that cannot be made: a message, no crash ----
touch "$work/not-a-folder"
run_game XDG_DATA_HOME="$work/not-a-folder" DISPLAY=
wait_for 60 gone
wait "$game"
status=$?
game=
check "the game ends with status 1 (not $status) when it cannot keep its files" test "$status" -eq 1
check "it says why: $(cat "$work/game.out")" grep -q "not-a-folder is not a folder" "$work/game.out"
check "and writes nothing in the current folder" nothing_in "$here"

if ((failures)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "the installed game keeps its files in the player's data folder"
