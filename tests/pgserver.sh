#!/usr/bin/env bash
# A throwaway PostgreSQL server for one test run:
#   tests/pgserver.sh start STATEFILE [--bench]
#                                       initdb into a new temporary folder and start the
#                                       server on a Unix socket in that folder (no TCP);
#                                       STATEFILE gets "ok <connection string>", or
#                                       "none <reason>" when PostgreSQL is not installed.
#                                       --bench: the server also listens on 127.0.0.1 on
#                                       a free port (STATEFILE's fourth line: "tcp PORT")
#                                       and keeps statement statistics (pg_stat_statements,
#                                       its view in the database "postgres")
#   tests/pgserver.sh standby STATEFILE PRIMARY_STATEFILE
#                                       a streaming hot standby of the running server of
#                                       PRIMARY_STATEFILE (pg_basebackup -R into a new
#                                       temporary folder), on a Unix socket of its own;
#                                       STATEFILE as for start
#   tests/pgserver.sh start STATEFILE password
#                                       the server also listens on TCP (127.0.0.1, a
#                                       free port) where it asks for a password
#                                       (scram-sha-256) of every role; the role "kovpw"
#                                       has the password "kovpw-secret", and STATEFILE's
#                                       fourth line is its connection string
#   tests/pgserver.sh start STATEFILE tls CERTDIR
#                                       the server also listens on TCP (127.0.0.1, a
#                                       free port) with TLS on (ssl=on), with the
#                                       certificate CERTDIR/server.crt and its key
#                                       server.key; every *.crt and *.key of CERTDIR
#                                       is copied into the folder's "tls" (line 2 of
#                                       STATEFILE names the folder), so that a test
#                                       can point ssl_cert_file at another. TCP takes
#                                       TLS sessions only (hostssl); STATEFILE's
#                                       fourth line is "tcp PORT"
#   tests/pgserver.sh stop STATEFILE    stop the server and remove its folder
#   tests/pgserver.sh settings DIR CONNECTION
#                                       KOV.INI and KOVENV.INI in DIR (made if need be)
#                                       naming the PostgreSQL database of CONNECTION
# As root (CI), initdb and the server run as an unprivileged user (KOV_PG_USER, else
# "nobody"), since the server refuses to run as root. The database "kovtest" belongs
# to the superuser "kov" (trust authentication over the socket only). Autovacuum is
# off, so that rows deleted and copied again keep their order on the pages.
set -euo pipefail
cmd=${1:?start, standby, stop or settings}
state=${2:?state file}
auth=${3:-}

if [ "$cmd" = settings ]; then
  desk=$2
  mkdir -p "$desk"
  for ini in KOV.INI KOVENV.INI; do
    printf '[Database]\r\nEngine=postgresql\r\nConnection=%s\r\n' "${3:?connection string}" >"$desk/$ini"
  done
  exit 0
fi

bindir=""
if command -v initdb >/dev/null 2>&1; then
  bindir=$(dirname "$(readlink -f "$(command -v initdb)")")
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
start|standby)
  if [ -z "$bindir" ] || ! command -v psql >/dev/null 2>&1; then
    echo "none PostgreSQL is not installed (no initdb/pg_ctl/psql; tools/install-deps.sh installs it)" >"$state"
    echo "pgserver: PostgreSQL is not installed: the PostgreSQL tests will be skipped"
    exit 0
  fi
  bench=0
  if [ "$cmd" = standby ]; then
    primary=${3:?state file of the primary}
    [ "$(head -c 2 "$primary" 2>/dev/null)" = "ok" ] || { echo "none no primary server running" >"$state"; exit 1; }
    pconn=$(head -1 "$primary" | cut -d' ' -f2-)
  elif [ "${3:-}" = "--bench" ]; then
    bench=1
  elif [ "${3:-}" = tls ]; then
    certs=${4:?usage: $0 start STATEFILE tls CERTDIR}
  elif [ -n "${3:-}" ] && [ "${3:-}" != password ]; then
    echo "usage: $0 start STATEFILE [--bench|password|tls CERTDIR]" >&2; exit 2
  fi
  # As root the folder is made in /tmp, which the server's user can reach whatever
  # TMPDIR names.
  base=${TMPDIR:-/tmp}
  [ "$(id -u)" -eq 0 ] && base=/tmp
  dir=$(mktemp -d "$base/kovpg.XXXXXX")
  chmod 755 "$dir"
  [ "$(id -u)" -eq 0 ] && chown "${KOV_PG_USER:-nobody}" "$dir"
  # given_up LOG REASON: the log shown, the folder removed, the reason in STATEFILE.
  given_up() { cat "$dir/$1"; rm -rf "$dir"; echo "none $2" >"$state"; exit 1; }
  if [ "$cmd" = standby ]; then
    # The primary's files as they are now, with the settings that make this copy follow
    # its changes (standby.signal, primary_conninfo).
    as_user "$bindir/pg_basebackup" -d "$pconn" -D "$dir/data" -R -X stream --checkpoint=fast --no-sync >"$dir/basebackup.log" 2>&1 || {
      given_up basebackup.log "pg_basebackup failed"; }
  else
    as_user "$bindir/initdb" -D "$dir/data" -U kov -A trust -E UTF8 --locale=C --no-sync >"$dir/initdb.log" 2>&1 || {
      given_up initdb.log "initdb failed"; }
  fi
  opts="-k $dir -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c autovacuum=off -c max_connections=200"
  if [ "$auth" = password ]; then
    # The socket stays trusted (for the setup below); TCP asks for a password.
    printf 'local all all trust\nhost all all 127.0.0.1/32 scram-sha-256\n' >"$dir/data/pg_hba.conf"
    opts="$opts -c listen_addresses=127.0.0.1"
  elif [ "$auth" = tls ]; then
    # The socket stays trusted (for the setup); TCP takes TLS sessions only.
    printf 'local all all trust\nhostssl all all 127.0.0.1/32 trust\n' >"$dir/data/pg_hba.conf"
    mkdir -m 700 "$dir/tls"
    cp "$certs"/*.crt "$certs"/*.key "$dir/tls"/
    chmod 600 "$dir/tls"/*
    [ "$(id -u)" -eq 0 ] && chown -R "${KOV_PG_USER:-nobody}" "$dir/tls"
    # In the settings file rather than on the command line, so that ALTER SYSTEM can
    # change them while the server runs.
    printf "ssl = on\nssl_cert_file = '%s'\nssl_key_file = '%s'\n" "$dir/tls/server.crt" "$dir/tls/server.key" \
      >>"$dir/data/postgresql.conf"
    opts="$opts -c listen_addresses=127.0.0.1"
  elif [ "$bench" = 1 ]; then
    # Utility statements (DECLARE, FETCH, ...) are told apart by their text: room for many.
    opts="$opts -c listen_addresses=127.0.0.1 -c shared_preload_libraries=pg_stat_statements"
    opts="$opts -c pg_stat_statements.max=50000 -c pg_stat_statements.track=all"
  else
    opts="$opts -c listen_addresses="
  fi
  # On a Unix socket in the private folder any port number is free; a random one keeps
  # the lock file names of parallel runs apart all the same. On TCP the port must be
  # free on the machine: another is tried when it is taken.
  started=0
  for _ in 1 2 3 4 5; do
    port=$((20000 + RANDOM % 20000))
    if as_user "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 -o "$opts -p $port" start >/dev/null; then
      started=1; break
    fi
    grep -q "could not bind\|could not create any TCP/IP sockets" "$dir/server.log" 2>/dev/null || break
  done
  [ "$started" = 1 ] || given_up server.log "the server did not start"
  if [ "$cmd" = start ]; then
    psql -X -q -h "$dir" -p "$port" -U kov -d postgres -c "CREATE DATABASE kovtest" >/dev/null
    [ "$bench" = 1 ] && psql -X -q -h "$dir" -p "$port" -U kov -d postgres -c "CREATE EXTENSION pg_stat_statements" >/dev/null
  fi
  printf 'ok host=%s port=%s user=kov dbname=kovtest\n%s\n%s\n' "$dir" "$port" "$dir" "$bindir" >"$state"
  if [ "$bench" = 1 ] || [ "$auth" = tls ]; then echo "tcp $port" >>"$state"; fi
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
  echo "usage: $0 start STATEFILE [--bench] | standby STATEFILE PRIMARY_STATEFILE | stop STATEFILE" >&2
  exit 2
  ;;
esac
