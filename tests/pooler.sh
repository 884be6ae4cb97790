#!/usr/bin/env bash
# A throwaway connection pooler (PgBouncer) in front of a server of tests/pgserver.sh:
#   tests/pooler.sh start STATEFILE SERVER_STATEFILE [DBNAME]
#                        PgBouncer in session mode, otherwise at its defaults, listening
#                        on 127.0.0.1 on a free port, passing every database to the
#                        server of SERVER_STATEFILE (its Unix socket); users of trust
#                        authentication are let through as the server lets them (the
#                        auth file names "kov"). STATEFILE gets "ok <connection string of
#                        DBNAME (default kovtest) through the pooler>", or "none <reason>"
#                        when PgBouncer is not installed.
#   tests/pooler.sh stop STATEFILE
# As root (CI) the pooler runs as an unprivileged user (KOV_PG_USER, else "nobody"), as
# it refuses to run as root.
set -euo pipefail
cmd=${1:?start or stop}
state=${2:?state file}

as_user() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u "${KOV_PG_USER:-nobody}" -- "$@"
  else
    "$@"
  fi
}

case "$cmd" in
start)
  server=${3:?state file of the server}
  dbname=${4:-kovtest}
  bouncer=$(command -v pgbouncer || ls /usr/sbin/pgbouncer 2>/dev/null || true)
  if [ -z "$bouncer" ]; then
    echo "none PgBouncer is not installed (tools/install-deps.sh installs it)" >"$state"
    exit 0
  fi
  [ "$(head -c 2 "$server" 2>/dev/null)" = "ok" ] || { echo "none no server running" >"$state"; exit 1; }
  conn=$(head -1 "$server" | cut -d' ' -f2-)
  field() { printf '%s\n' "$conn" | tr ' ' '\n' | sed -n "s/^$1=//p"; }
  base=${TMPDIR:-/tmp}
  [ "$(id -u)" -eq 0 ] && base=/tmp
  dir=$(mktemp -d "$base/kovpool.XXXXXX")
  chmod 755 "$dir"
  printf '"kov" ""\n' >"$dir/userlist.txt"
  [ "$(id -u)" -eq 0 ] && chown -R "${KOV_PG_USER:-nobody}" "$dir"
  started=0
  for _ in 1 2 3 4 5; do
    port=$((20000 + RANDOM % 20000))
    cat >"$dir/pgbouncer.ini" <<EOF
[databases]
* = host=$(field host) port=$(field port)

[pgbouncer]
listen_addr = 127.0.0.1
listen_port = $port
unix_socket_dir =
auth_type = trust
auth_file = $dir/userlist.txt
pool_mode = session
logfile = $dir/pgbouncer.log
pidfile = $dir/pgbouncer.pid
EOF
    if as_user "$bouncer" -d -q "$dir/pgbouncer.ini" 2>>"$dir/start.log"; then
      for _ in $(seq 50); do
        [ -s "$dir/pgbouncer.pid" ] && psql -X -q -A -t "host=127.0.0.1 port=$port user=kov dbname=$dbname" \
          -c "SELECT 1" >/dev/null 2>&1 && { started=1; break; }
        sleep 0.1
      done
    fi
    [ "$started" = 1 ] && break
    [ -s "$dir/pgbouncer.pid" ] && kill "$(cat "$dir/pgbouncer.pid")" 2>/dev/null || true
    grep -q "Address already in use" "$dir/pgbouncer.log" "$dir/start.log" 2>/dev/null || break
  done
  if [ "$started" != 1 ]; then
    cat "$dir/start.log" "$dir/pgbouncer.log" 2>/dev/null || true
    rm -rf "$dir"
    echo "none the pooler did not start" >"$state"
    exit 1
  fi
  printf 'ok host=127.0.0.1 port=%s user=kov dbname=%s\n%s\n' "$port" "$dbname" "$dir" >"$state"
  echo "pooler: started in $dir (port $port)"
  ;;
stop)
  [ -f "$state" ] || exit 0
  if [ "$(head -c 2 "$state")" = "ok" ]; then
    dir=$(sed -n 2p "$state")
    if [ -s "$dir/pgbouncer.pid" ]; then
      pid=$(cat "$dir/pgbouncer.pid")
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    rm -rf "$dir"
  fi
  rm -f "$state"
  ;;
*)
  echo "usage: $0 start STATEFILE SERVER_STATEFILE [DBNAME] | stop STATEFILE" >&2
  exit 2
  ;;
esac
