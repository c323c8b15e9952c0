#!/usr/bin/env bash
# Frame rates of the real program in its two busiest scenes, each beside the
# renderer's ceiling for the same quads (bench/frame_probe.cpp), on a fresh
# Xvfb per run with Mesa's llvmpipe at each screen size (the game goes full
# screen at the desktop's mode). The game's presented frames are counted from
# outside (bench/swap_counter.cpp, through LD_PRELOAD), as its own FPS line
# counts them; the rasteriser's thread count is the driver's default, as a
# player's would be.
#
#   bench/frame_rates.sh [--rounds N] [--seconds N] [--sizes "1920x1080 3840x2160"] [PATH/TO/nivora]
#
# Each round: Esc at the nickname entry, N seconds in the main menu over the
# night sky; Enter ("New game"), then N seconds of play: Space on the bottom
# row's cells one after another, so groups keep vanishing in waves with their
# sparks. The first 2 seconds of each scene are left out (the driver compiles
# its shaders then). The probe runs the same scenes for as long. Medians of the
# per-second counts, then the median over the rounds, are printed with the
# machine's load average. Without a path it measures build-release/game/nivora
# and build-release's frame_probe and swap counter (FRAME_PROBE and
# SWAP_COUNTER override them). Run by hand; nothing here is a test.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=3
seconds=8
sizes="1920x1080 3840x2160"
game=build-release/game/nivora
while (($#)); do
  case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    -*) echo "frame_rates.sh: unknown argument $1" >&2; exit 2 ;;
    *) game=$1; shift ;;
  esac
done
probe=${FRAME_PROBE:-build-release/frame_probe}
counter=${SWAP_COUNTER:-build-release/libswap_counter.so}
for need in "$game" "$probe" "$counter"; do
  [[ -e "$need" ]] || { echo "frame_rates.sh: $need is missing (build the nivora, frame_probe and swap_counter targets)" >&2; exit 2; }
done
command -v xdotool >/dev/null || { echo "frame_rates.sh: needs xdotool" >&2; exit 2; }
game=$(realpath "$game")
probe=$(realpath "$probe")
counter=$(realpath "$counter")
data=$(dirname "$game")
warmup=2
out=${OUT:-/tmp/nivora-frame-rates}
rm -rf "$out"
mkdir -p "$out"

median() { sort -n | awk '{v[NR]=$1} END {if (NR == 0) print "-"; else if (NR % 2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }

# A fresh X server of the given size; sets server and display.
start_x() {
  local dir=$1 size=$2
  mkfifo "$dir/display"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  server=$!
  display=:$(cat "$dir/display")
}

stop() { kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }

# A working folder with the game's images and font configuration, as startup.sh makes it.
make_work() {
  mkdir -p "$1/home" "$1/work"
  ln -s "$data/Images" "$1/work/Images"
  ln -s "$data/fonts.conf" "$1/work/fonts.conf"
}

# The median of the per-second counts written after line $2 of file $1, the warm-up seconds left out.
counts_after() { tail -n +"$(($2 + 1 + warmup))" "$1" | head -n "$seconds" | awk '{print $2}' | median; }

# A fresh working folder and X server of the given size for one run; sets dir,
# server and display (the caller declares dir local).
fresh_run() {
  dir=$(mktemp -d "$out/$1.XXXXXX")
  make_work "$dir"
  start_x "$dir" "$2"
}

# Becomes a program in the run's working folder with a player's bare
# environment and Mesa's software renderer; VAR=value arguments come first.
# Call it in the background or in $(...): it replaces the shell it runs in, so
# a background call's $! is the program's own process.
in_run() {
  cd "$dir/work" && exec env -i PATH="$PATH" HOME="$dir/home" DISPLAY="$display" XDG_RUNTIME_DIR="$dir/home" \
    LIBGL_ALWAYS_SOFTWARE=1 "$@"
}

# Holds a key for 50 ms, so a step of the game's loop sees it however slowly it runs.
press() { DISPLAY=$display xdotool keydown "$1" sleep 0.05 keyup "$1"; }

# One round of the real program at one size; prints "menu_fps game_fps".
run_game() {
  local size=$1 round=$2
  local dir
  fresh_run game "$size"
  local frames="$dir/frames"
  : >"$frames"
  in_run SWAP_COUNTER_LOG="$frames" LD_PRELOAD="$counter" "$game" >/dev/null 2>&1 &
  local pid=$!
  local window=
  for _ in $(seq 300); do
    grep -qs "Main Loop start" "$dir/work/log.txt" &&
      window=$(DISPLAY=$display xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1) && [[ -n "$window" ]] && break
    sleep 0.1
  done
  local menu=- play=-
  if [[ -n "$window" ]]; then
    DISPLAY=$display xdotool windowfocus --sync "$window" 2>/dev/null || true
    press Escape # keeps the stored nickname: the main menu
    sleep 0.5
    local mark
    mark=$(wc -l <"$frames")
    sleep $((seconds + warmup + 1))
    menu=$(counts_after "$frames" "$mark")
    press Return # "New game"
    sleep 0.5
    # To the bottom row, first column, then Space on each cell in turn.
    for _ in $(seq 22); do press Down; done
    for _ in $(seq 10); do press Left; done
    mark=$(wc -l <"$frames")
    local until=$((SECONDS + seconds + warmup + 1)) column=1
    while ((SECONDS < until)); do
      press space
      sleep 0.5
      if ((column < 10)); then
        press Right
        column=$((column + 1))
      else
        for _ in $(seq 9); do press Left; done
        column=1
      fi
    done
    play=$(counts_after "$frames" "$mark")
  fi
  stop "$pid"
  stop "$server"
  cp "$dir/work/log.txt" "$out/game.$size.$round.log" 2>/dev/null || true
  rm -rf "$dir"
  echo "$menu $play"
}

# One probe run: prints its median frames per second.
run_probe() {
  local size=$1 scene=$2
  local dir
  fresh_run probe "$size"
  local line
  line=$(in_run "$probe" "$scene" probe --seconds "$seconds" --warmup "$warmup" 2>/dev/null || true)
  stop "$server"
  rm -rf "$dir"
  awk '{print $4}' <<<"${line:--}"
}

for size in $sizes; do
  for ((round = 1; round <= rounds; ++round)); do
    read -r menu play < <(run_game "$size" "$round")
    menu_probe=$(run_probe "$size" menu)
    game_probe=$(run_probe "$size" game)
    echo "$size menu $menu $menu_probe" >>"$out/results"
    echo "$size game $play $game_probe" >>"$out/results"
    echo "round $round $size: menu $menu (probe $menu_probe), game $play (probe $game_probe); load $(cut -d' ' -f1-3 /proc/loadavg)" >&2
  done
done

printf '\n%-10s %-6s %10s %10s %7s\n' size scene "game FPS" "probe FPS" ratio
for size in $sizes; do
  for scene in menu game; do
    fps=$(awk -v s="$size" -v n="$scene" '$1 == s && $2 == n && $3 != "-" {print $3}' "$out/results" | median)
    ceiling=$(awk -v s="$size" -v n="$scene" '$1 == s && $2 == n && $4 != "-" {print $4}' "$out/results" | median)
    ratio=$(awk -v a="$fps" -v b="$ceiling" 'BEGIN {if (a == "-" || b == "-" || b == 0) print "-"; else printf "%.2f", a / b}')
    printf '%-10s %-6s %10s %10s %7s\n' "$size" "$scene" "$fps" "$ceiling" "$ratio"
  done
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
