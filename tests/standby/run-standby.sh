#!/usr/bin/env bash
# The print runs on an office's streaming standby (ctest: standby_test, label postgresql):
#   tests/standby/run-standby.sh BIN_DIR
# Makes a primary server and a hot standby of it (tests/pgserver.sh start, standby), both
# on Unix sockets in throwaway folders, loads the demo data into the primary and waits
# until the standby has replayed it. Then the kov120 and kov140 print runs (kov_blockprint)
# must write the command file of the same data on SQLite, byte for byte:
#  - with Connection= naming the primary, and naming the standby;
#  - with a host list of both and target_session_attrs=prefer-standby;
#  - with the primary stopped, with the host list and target_session_attrs=any.
# Skips, saying so, where PostgreSQL is not installed.
set -euo pipefail
src="$(cd "$(dirname "$0")/../.." && pwd)"
bin="${1:?usage: run-standby.sh BIN_DIR}"
work="$(mktemp -d)"
chmod 755 "$work"
trap 'for s in standby primary; do "$src/tests/pgserver.sh" stop "$work/$s.state" >/dev/null 2>&1 || true; done
      rm -rf "$work"' EXIT

"$src/tests/pgserver.sh" start "$work/primary.state" >/dev/null
if [ "$(head -c 2 "$work/primary.state")" != "ok" ]; then
  echo "PostgreSQL tests skipped: $(head -1 "$work/primary.state" | cut -d' ' -f2-)"
  exit 0
fi
"$src/tests/pgserver.sh" standby "$work/standby.state" "$work/primary.state" >/dev/null
conn() { head -1 "$work/$1.state" | cut -d' ' -f2-; }
field() { conn "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"; }
primary=$(conn primary)
standby=$(conn standby)

# The data reaches the standby by streaming: it is loaded after the standby was made.
"$bin/kovgendemo" --out "$work/sqlite" --staff 300 >/dev/null
"$bin/kovgendemo" --out "$work/loaded" --staff 300 --engine postgresql --connection "$primary" >/dev/null
lsn=$(psql -X -A -t -q "$primary" -c "SELECT pg_current_wal_lsn()")
replayed=f
for _ in $(seq 300); do
  replayed=$(psql -X -A -t -q "$standby" -c "SELECT pg_last_wal_replay_lsn() >= '$lsn'::pg_lsn")
  [ "$replayed" = t ] && break
  sleep 0.1
done
if [ "$replayed" != t ]; then
  echo "FAIL: the standby has not replayed the primary's changes up to $lsn after 30 s"; exit 1
fi

fail=0
# print_runs NAME CONNECTION: both print runs in a desk folder whose settings name
# CONNECTION (or, without it, the SQLite databases), each compared with the SQLite run's.
print_runs() {
  local desk="$work/$1" p
  if [ -n "${2:-}" ]; then
    "$src/tests/pgserver.sh" settings "$desk" "$2"
  else
    mkdir -p "$desk" && cp "$work/sqlite"/*.INI "$work/sqlite"/*.db "$desk"/
  fi
  for p in kov120 kov140; do
    if ! KOV_WORK_DIR="$desk" "$bin/kov_blockprint" "$p" "$desk" >"$desk/$p.out" 2>&1 ||
       ! grep -q "^handed over: " "$desk/$p.out"; then
      echo "FAIL: $1: the $p print run did not print: $(cat "$desk/$p.out")"; fail=1
    elif [ -n "${2:-}" ] && ! cmp "$work/expect/$p/OVL.TMP" "$desk/$p/OVL.TMP"; then
      echo "FAIL: $1: the $p command file differs from the one on SQLite"; fail=1
    else
      echo "$1: $p printed ($(grep -c '^PE ' "$desk/$p/OVL.TMP") page breaks)"
    fi
  done
}
hosts="host=$(field primary host),$(field standby host) port=$(field primary port),$(field standby port) user=kov dbname=kovtest"
print_runs expect
print_runs primary "$primary"
print_runs standby "$standby"
print_runs prefer-standby "$hosts target_session_attrs=prefer-standby"
"$src/tests/pgserver.sh" stop "$work/primary.state" >/dev/null
print_runs primary-stopped "$hosts target_session_attrs=any"
exit $fail
