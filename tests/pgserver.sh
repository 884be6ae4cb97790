#!/usr/bin/env bash
# A throwaway PostgreSQL server for one test run:
#   tests/pgserver.sh start STATEFILE   initdb into a new temporary folder and start the
#                                       server on a Unix socket in that folder (no TCP);
#                                       STATEFILE gets "ok <connection string>", or
#                                       "none <reason>" when PostgreSQL is not installed
#   tests/pgserver.sh start STATEFILE password
#                                       the same, and the server also listens on TCP
#                                       (127.0.0.1, a free port) where it asks for a
#                                       password (scram-sha-256) of every role; the
#                                       role "kovpw" has the password "kovpw-secret",
#                                       and STATEFILE's fourth line is its connection
#                                       string
#   tests/pgserver.sh stop STATEFILE    stop the server and remove its folder
# As root (CI), initdb and the server run as an unprivileged user (KOV_PG_USER, else
# "nobody"), since the server refuses to run as root. The database "kovtest" belongs
# to the superuser "kov" (trust authentication over the socket only). Autovacuum is
# off, so that rows deleted and copied again keep their order on the pages.
set -euo pipefail
cmd=${1:?start or stop}
state=${2:?state file}
auth=${3:-}

bindir=""
if command -v initdb >/dev/null 2>&1; then
  bindir=$(dirname "$(command -v initdb)")
else
  for d in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    if [ -x "$d/initdb" ] && [ -x "$d/pg_ctl" ]; then bindir=$d; break; fi
  done
fi

as_user() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u "${KOV_PG_USER:-nobody}" -- "$@"
  else
    "$@"
  fi
}

case "$cmd" in
start)
  if [ -z "$bindir" ] || ! command -v psql >/dev/null 2>&1; then
    echo "none PostgreSQL is not installed (no initdb/pg_ctl/psql; tools/install-deps.sh installs it)" >"$state"
    echo "pgserver: PostgreSQL is not installed: the PostgreSQL tests will be skipped"
    exit 0
  fi
  # As root the folder is made in /tmp, which the server's user can reach whatever
  # TMPDIR names.
  base=${TMPDIR:-/tmp}
  [ "$(id -u)" -eq 0 ] && base=/tmp
  dir=$(mktemp -d "$base/kovpg.XXXXXX")
  chmod 755 "$dir"
  [ "$(id -u)" -eq 0 ] && chown "${KOV_PG_USER:-nobody}" "$dir"
  # The socket lives in the private folder, so any port number is free there; a
  # random one keeps the lock file names of parallel runs apart all the same.
  port=$((20000 + RANDOM % 20000))
  as_user "$bindir/initdb" -D "$dir/data" -U kov -A trust -E UTF8 --locale=C --no-sync >"$dir/initdb.log" 2>&1 || {
    cat "$dir/initdb.log"; echo "none initdb failed" >"$state"; exit 1; }
  opts="-k $dir -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c autovacuum=off -c max_connections=200"
  listen=""
  if [ "$auth" = password ]; then
    # The socket stays trusted (for the setup below); TCP asks for a password.
    printf 'local all all trust\nhost all all 127.0.0.1/32 scram-sha-256\n' >"$dir/data/pg_hba.conf"
    listen=127.0.0.1
  fi
  # A TCP port may be taken by another server of the machine: a few are tried.
  started=""
  for _ in 1 2 3 4 5; do
    if as_user "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "$opts -p $port -c listen_addresses=$listen" start >/dev/null; then
      started=yes; break
    fi
    [ -n "$listen" ] || break
    port=$((20000 + RANDOM % 20000))
  done
  [ -n "$started" ] || { cat "$dir/server.log"; echo "none the server did not start" >"$state"; exit 1; }
  psql -X -q -h "$dir" -p "$port" -U kov -d postgres -c "CREATE DATABASE kovtest" >/dev/null
  printf 'ok host=%s port=%s user=kov dbname=kovtest\n%s\n%s\n' "$dir" "$port" "$dir" "$bindir" >"$state"
  if [ "$auth" = password ]; then
    psql -X -q -h "$dir" -p "$port" -U kov -d postgres \
      -c "SET password_encryption = 'scram-sha-256'; CREATE ROLE kovpw LOGIN PASSWORD 'kovpw-secret'" >/dev/null
    printf 'host=127.0.0.1 port=%s user=kovpw password=kovpw-secret dbname=kovtest\n' "$port" >>"$state"
  fi
  echo "pgserver: started in $dir (port $port)"
  ;;
stop)
  [ -f "$state" ] || exit 0
  if [ "$(head -c 2 "$state")" = "ok" ]; then
    dir=$(sed -n 2p "$state")
    bin=$(sed -n 3p "$state")
    as_user "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    rm -rf "$dir"
    echo "pgserver: stopped"
  fi
  rm -f "$state"
  ;;
*)
  echo "usage: $0 start|stop STATEFILE" >&2
  exit 2
  ;;
esac
