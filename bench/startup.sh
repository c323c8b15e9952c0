#!/usr/bin/env bash
# Measures how the game starts, as a player sees it: exec to the window shown,
# exec to the first frame that is not a single colour, and the peak resident
# memory, each program on a fresh Xvfb (1024x768, Mesa's llvmpipe) with a fresh
# home and working folder, no audio device, rounds interleaved, medians printed.
# The desktops' own puzzle games are timed the same way when they are installed.
#
#   bench/startup.sh [--rounds N] [--hold MS] [--no-frame-rates] [--no-peers] [NAME=PATH/TO/nivora ...]
#
# Without programs it times build-release/game/nivora. Several NAME=PATH pairs
# compare builds (before=... after=...). The watcher is build-release/first_frame
# (bench/first_frame.cpp); FIRST_FRAME overrides it. Each Nivora run's log.txt
# is kept under $OUT (default /tmp/nivora-startup), one per program and round.
# Then bench/frame_rates.sh gives the first program's frame rate in the main
# menu and in play at 1920x1080 and 3840x2160, each beside its probe's
# (--no-frame-rates leaves that out). --no-peers times only the builds named,
# for comparing two builds in more rounds. Run by hand; nothing here is a test.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=5
hold=1500
frame_rates=1
peers=1
programs=()
while (($#)); do
  case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --hold) hold=$2; shift 2 ;;
    --no-frame-rates) frame_rates=0; shift ;;
    --no-peers) peers=0; shift ;;
    *=*) programs+=("$1"); shift ;;
    *) echo "startup.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
((${#programs[@]})) || programs=("nivora=build-release/game/nivora")
watch=${FIRST_FRAME:-build-release/first_frame}
[[ -x "$watch" ]] || { echo "startup.sh: no watcher at $watch (build the first_frame target)" >&2; exit 2; }
watch=$(realpath "$watch")
out=${OUT:-/tmp/nivora-startup}
rm -rf "$out"
mkdir -p "$out"

# The peers, when installed, started as a player's menu starts them (the
# Debian packages swell-foop and klickety; installed by hand, never by the
# project's scripts).
for peer in swell-foop klickety; do
  ((peers)) || break
  for dir in /usr/games /usr/bin; do
    if [[ -x "$dir/$peer" ]]; then programs+=("$peer=$dir/$peer"); break; fi
  done
done

# One run: a fresh X server, home and working folder; prints the watcher's line.
run_once() {
  local name=$1 program=$2 round=$3
  local dir
  dir=$(mktemp -d "$out/run.XXXXXX")
  mkdir -p "$dir/home" "$dir/work"
  if [[ "$name" != swell-foop && "$name" != klickety ]]; then
    # The build-folder layout reads Images/ and fonts.conf from the working
    # folder and writes its files there.
    local game
    game=$(dirname "$(realpath "$program")")
    ln -s "$game/Images" "$dir/work/Images"
    ln -s "$game/fonts.conf" "$dir/work/fonts.conf"
    program=$(realpath "$program")
  fi
  mkfifo "$dir/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  local server=$!
  local number
  number=$(cat "$dir/display")
  local line
  # A session bus, as a desktop has (the KDE game quits without one); it
  # starts before the watcher's clock does.
  local bus=()
  command -v dbus-run-session >/dev/null && bus=(dbus-run-session --)
  line=$(cd "$dir/work" && env -i PATH="$PATH" HOME="$dir/home" DISPLAY=":$number" \
    XDG_RUNTIME_DIR="$dir/home" LIBGL_ALWAYS_SOFTWARE=1 \
    "${bus[@]}" "$watch" --hold "$hold" -- "$program" 2>/dev/null | grep -E '^-?[0-9]+ -?[0-9]+ -?[0-9]+$' | tail -1 || true)
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  [[ -f "$dir/work/log.txt" ]] && cp "$dir/work/log.txt" "$out/$name.$round.log"
  rm -rf "$dir"
  echo "$line"
}

median() { sort -n | awk '{v[NR]=$1} END {if (NR == 0) print "-"; else if (NR % 2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }

for ((round = 1; round <= rounds; ++round)); do
  for entry in "${programs[@]}"; do
    name=${entry%%=*}
    line=$(run_once "$name" "${entry#*=}" "$round")
    echo "$name $line" >>"$out/results"
    echo "round $round: $name $line" >&2
  done
done

printf '\n%-12s %16s %18s %16s\n' program "window shown ms" "first frame ms" "peak RSS MiB"
for entry in "${programs[@]}"; do
  name=${entry%%=*}
  shown=$(awk -v n="$name" '$1 == n && $2 >= 0 {print $2}' "$out/results" | median)
  drawn=$(awk -v n="$name" '$1 == n && $3 >= 0 {print $3}' "$out/results" | median)
  rss=$(awk -v n="$name" '$1 == n && $4 >= 0 {printf "%.1f\n", $4 / 1024}' "$out/results" | median)
  printf '%-12s %16s %18s %16s\n' "$name" "$shown" "$drawn" "$rss"
done

if ((frame_rates)); then
  first=${programs[0]#*=}
  echo
  bench/frame_rates.sh "$first"
fi
