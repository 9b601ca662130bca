#!/usr/bin/env bash
# Makes a throw-away PostgreSQL cluster in a temporary folder (with initdb,
# as nobody when run as root: PostgreSQL refuses to run as root), starts it
# on a free port of 127.0.0.1, runs the test program against two databases
# of it, and removes the cluster whatever the outcome.
#   postgres_test.sh TEST_PROGRAM
set -euo pipefail
program=$1

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  echo "postgres_test.sh: no PostgreSQL server (package postgresql)" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tavro-board-pg.XXXXXX")
as_owner=()
if [ "$(id -u)" -eq 0 ]; then
  chown nobody "$work"
  as_owner=(runuser -u nobody --)
fi
stop_cluster() {
  if [ -f "$work/data/postmaster.pid" ]; then
    "${as_owner[@]}" "$bindir/pg_ctl" -D "$work/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap stop_cluster EXIT
cd "$work"

"${as_owner[@]}" "$bindir/initdb" -D "$work/data" -A trust -U board -E UTF8 --no-sync >"$work/initdb.log"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"${as_owner[@]}" "$bindir/pg_ctl" -D "$work/data" -l "$work/server.log" -w -t 120 \
  -o "-p $port -k $work -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=60" start >/dev/null \
  || { cat "$work/server.log" >&2; exit 1; }
"$bindir/createdb" -h 127.0.0.1 -p "$port" -U board tavro
"$bindir/createdb" -h 127.0.0.1 -p "$port" -U board tavro_rules

cd - >/dev/null
TAVRO_BOARD_DATABASE="postgresql://board@127.0.0.1:$port/tavro" \
TAVRO_BOARD_RULES_DATABASE="postgresql://board@127.0.0.1:$port/tavro_rules" "$program"
