#!/usr/bin/env bash
# Requests a second nivora-scores answers on this machine, beside nginx
# serving the same /top.php reply as a static file: /top.php and a 20-row
# send, keep-alive and a new connection per request, at 1, 8 and 64
# connections, in interleaved rounds (medians). Run by hand; needs wrk and
# nginx, which no test needs.
#   usage: bench/server_rates.sh <nivora-scores> [<another nivora-scores to compare>] [rounds] [seconds]
set -euo pipefail

programs=("$1")
[[ -n "${2:-}" ]] && programs+=("$2")
rounds=${3:-3}
seconds=${4:-3}
for tool in wrk nginx; do
  command -v "$tool" >/dev/null || { echo "bench/server_rates.sh: $tool is not installed" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/nivora-rates.XXXXXX")
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; nginx -c "$work/nginx.conf" -s stop 2>/dev/null; rm -rf "$work"' EXIT

ports=()
for i in "${!programs[@]}"; do
  port=$((18700 + i))
  "${programs[$i]}" --port "$port" --address 127.0.0.1 --db "$work/scores$i.db" --quiet \
    --connections-per-address 0 --sends-per-minute 0 &
  pids+=($!)
  ports+=("$port")
done
sleep 1
rows=""
for i in $(seq 1 20); do rows+="${rows:+&}user[]=Player$i&score[]=$((i * 100))&level[]=$i&time[]=$((i * 10))"; done
curl -s -X POST --data "$rows" "http://127.0.0.1:${ports[0]}/saver.php" >/dev/null
mkdir -p "$work/root"
curl -s "http://127.0.0.1:${ports[0]}/top.php" >"$work/root/top.php"
cat >"$work/nginx.conf" <<CONF
worker_processes $(nproc);
pid $work/nginx.pid;
error_log $work/nginx.log;
events { worker_connections 4096; }
http {
  access_log off;
  client_body_temp_path $work/t1; proxy_temp_path $work/t2; fastcgi_temp_path $work/t3;
  uwsgi_temp_path $work/t4; scgi_temp_path $work/t5;
  server { listen 127.0.0.1:18799; root $work/root; default_type text/plain; }
}
CONF
nginx -c "$work/nginx.conf"
printf 'wrk.method = "POST"\nwrk.body = "%s"\nwrk.headers["Content-Type"] = "application/x-www-form-urlencoded"\n' "$rows" \
  >"$work/send.lua"

rate() { # rate <url> <connections> <keep|close> [wrk options...]
  local url=$1 connections=$2 mode=$3
  shift 3
  local extra=()
  [[ "$mode" == close ]] && extra=(-H "Connection: close")
  # wrk wants at least one connection per thread.
  local threads=$(($(nproc) < connections ? $(nproc) : connections))
  wrk -t"$threads" -c"$connections" -d"${seconds}s" "${extra[@]}" "$@" "$url" 2>/dev/null |
    awk '/Requests\/sec/ { printf "%d", $2 }' || true
}

declare -A results
names=()
for i in "${!programs[@]}"; do names+=("server$i"); done
names+=(nginx)
for round in $(seq 1 "$rounds"); do
  for what in top send; do
    for mode in keep close; do
      for connections in 1 8 64; do
        for n in "${!names[@]}"; do
          name=${names[$n]}
          [[ "$name" == nginx && "$what" == send ]] && continue
          if [[ "$name" == nginx ]]; then url="http://127.0.0.1:18799/top.php"; else url="http://127.0.0.1:${ports[$n]}/$([[ $what == top ]] && echo top.php || echo saver.php)"; fi
          script=()
          [[ "$what" == send ]] && script=(-s "$work/send.lua")
          results["$what $mode $connections $name"]+="$(rate "$url" "$connections" "$mode" "${script[@]}") "
        done
      done
    done
  done
  echo "round $round of $rounds done" >&2
done

median() { tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
printf '%-6s %-6s %5s' request mode conns
for name in "${names[@]}"; do printf ' %10s' "$name"; done
echo
for what in top send; do
  for mode in keep close; do
    for connections in 1 8 64; do
      printf '%-6s %-6s %5s' "$what" "$mode" "$connections"
      for name in "${names[@]}"; do
        if [[ -n "${results["$what $mode $connections $name"]:-}" ]]; then
          printf ' %10s' "$(median <<<"${results["$what $mode $connections $name"]}")"
        else
          printf ' %10s' -
        fi
      done
      echo
    done
  done
done
echo "(requests a second; server0 = $1${2:+, server1 = $2}; nginx serves the reply as a static file)"
