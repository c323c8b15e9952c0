#!/usr/bin/env bash
# How a running nivora-scores answers while its PostgreSQL database stalls:
# the table locked from another session, then the database's processes
# stopped (SIGSTOP), each for a while. Probes /top.php, GET /, a 404 and a
# one-row send every half second and prints each one's median and worst
# latency before, during and after each stall. Run by hand, beside a
# throwaway database:
#   tests/server/with_postgres.sh bench/server_stalls.sh <nivora-scores> [stall seconds]
set -euo pipefail

program=$1
stall=${2:-20}
: "${NIVORA_TEST_PG:?run under tests/server/with_postgres.sh}"
port=18790
work=$(mktemp -d "${TMPDIR:-/tmp}/nivora-stalls.XXXXXX")
server_pid=
stopped=()
cleanup() {
  local pid
  for pid in "${stopped[@]}"; do kill -CONT "$pid" 2>/dev/null; done
  [[ -n "$server_pid" ]] && kill "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$program" --port "$port" --address 127.0.0.1 --db "$NIVORA_TEST_PG" --quiet --sends-per-minute 0 \
  >"$work/server.log" 2>&1 &
server_pid=$!
sleep 1

# probe <phase> <seconds>: every kind of request every half second, each
# latency in seconds appended to $work/<phase>.<kind>.
probe() {
  local phase=$1 until=$((SECONDS + $2)) n=0
  while ((SECONDS < until)); do
    n=$((n + 1))
    curl -s -o /dev/null -m 30 -w '%{time_total}\n' "http://127.0.0.1:$port/top.php" >>"$work/$phase.top" &
    curl -s -o /dev/null -m 30 -w '%{time_total}\n' "http://127.0.0.1:$port/" >>"$work/$phase.page" &
    curl -s -o /dev/null -m 30 -w '%{time_total}\n' "http://127.0.0.1:$port/nowhere" >>"$work/$phase.404" &
    curl -s -o /dev/null -m 30 -w '%{time_total}\n' -X POST \
      --data "user[]=Probe$n&score[]=$((RANDOM + 1))&level[]=1&time[]=1" \
      "http://127.0.0.1:$port/saver.php" >>"$work/$phase.send" &
    sleep 0.5
  done
  local job
  for job in $(jobs -p); do [[ "$job" == "$server_pid" ]] || wait "$job" 2>/dev/null || true; done
}

summary() {
  local phase=$1 kind
  printf '%-16s' "$phase"
  for kind in top page 404 send; do
    sort -n "$work/$phase.$kind" | awk '{ v[NR] = $1 * 1000 } END { printf " %8.1f %8.1f", v[int((NR + 1) / 2)], v[NR] }'
  done
  echo
}

dir=$(sed -E 's/.*host=([^&]*).*/\1/' <<<"$NIVORA_TEST_PG")
postgres_pids() {
  local main
  main=$(head -n 1 "$dir/data/postmaster.pid")
  echo "$main" $(pgrep -P "$main")
}

probe before 5
psql "$NIVORA_TEST_PG" -q -c "BEGIN; LOCK TABLE results IN ACCESS EXCLUSIVE MODE; SELECT pg_sleep($stall); COMMIT;" \
  >/dev/null 2>&1 &
locker=$!
sleep 0.5
probe locked "$stall"
wait "$locker" || true
probe after-lock 5
read -ra stopped <<<"$(postgres_pids)"
kill -STOP "${stopped[@]}"
probe stopped "$stall"
kill -CONT "${stopped[@]}"
stopped=()
probe after-stop 5

echo "milliseconds, median and worst:"
printf '%-16s %17s %17s %17s %17s\n' phase /top.php "GET /" 404 send
for phase in before locked after-lock stopped after-stop; do summary "$phase"; done
