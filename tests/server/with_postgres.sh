#!/usr/bin/env bash
# The test launcher of the server programs that need PostgreSQL: runs the
# command beside a throwaway database server of its own (a new cluster in a
# temporary folder, reached only through a Unix socket in that folder),
# stopped and removed afterwards. The command finds it through
#   NIVORA_TEST_PG      a connection string to its database "nivora"
#   NIVORA_TEST_PG_CTL  the pg_ctl command for it: append stop, start or restart
# The cluster runs as an unprivileged user: the caller, or "nobody" when the
# caller is root (as in CI). Fails, never skips, when no server can be started.
# By hand: tests/server/with_postgres.sh build-test/test_server_server
set -uo pipefail

bin=${NIVORA_PG_BIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)}
if [[ ! -x "$bin/initdb" ]]; then
  echo "with_postgres.sh: no PostgreSQL server programs (initdb) found; scripts/deps.sh installs them" >&2
  exit 1
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/nivora-pg.XXXXXX")
as=()
if [[ $(id -u) -eq 0 ]]; then
  chown nobody "$dir"
  as=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
fi
ctl=("${as[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60)
cleanup() {
  [[ -f "$dir/data/postmaster.pid" ]] && "${ctl[@]}" stop -m immediate >/dev/null 2>&1
  rm -rf "$dir"
}
trap cleanup EXIT

# The cluster's settings live in its own file, so a plain pg_ctl start or
# restart from a test brings it back just as it was.
if ! "${as[@]}" "$bin/initdb" -D "$dir/data" -U nivora -A trust -E UTF8 --locale=C --no-sync \
     >"$dir/initdb.log" 2>&1; then
  echo "with_postgres.sh: initdb failed:" >&2
  cat "$dir/initdb.log" >&2
  exit 1
fi
cat >>"$dir/data/postgresql.conf" <<CONF
listen_addresses = ''
unix_socket_directories = '$dir'
max_connections = 100
shared_buffers = 32MB
CONF
if ! "${ctl[@]}" start >/dev/null 2>&1 || ! "${as[@]}" "$bin/createdb" -h "$dir" -U nivora nivora; then
  echo "with_postgres.sh: the PostgreSQL server did not start:" >&2
  cat "$dir/server.log" >&2
  exit 1
fi

export NIVORA_TEST_PG="postgresql:///nivora?host=$dir&user=nivora"
# Each word quoted for the shell that runs it, so a folder with blanks or
# quotes in its name stays one argument.
NIVORA_TEST_PG_CTL=$(printf '%q ' "${ctl[@]}")
export NIVORA_TEST_PG_CTL=${NIVORA_TEST_PG_CTL% }
"$@"
