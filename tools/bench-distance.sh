#!/usr/bin/env bash
# The programs with their PostgreSQL server at an office's distance: a throwaway server
# (tests/pgserver.sh --bench) holding the data of a SQLite demo folder, reached through
# kovdelayproxy, which holds every chunk 0.5 ms each way (a LAN's 1 ms round trip) or
# 5 ms (a WAN's 10 ms). Each line is the best of three runs against the FLOOR, the best
# of three of the same run on the local SQLite files, and ends with the statements that
# the server ran for the last run (its own statistics, pg_stat_statements, reset before
# it) and the time that the start of a session alone takes at that distance (a part of
# every run that the local file does not have):
#   kov120-lan, kov140-lan  the print run of every block, monthly-paid group (kov120_bench)
#   kov570-lan              the summary from the opening to the closed command file
#   kov970-lan              the staff master written as CSV
#   kov120-wan              kov120-lan at 5 ms each way
#   kov120-lan-pooled, kov140-lan-pooled, kov570-lan-pooled, kov970-lan-pooled
#                           the -lan runs through a connection pooler (PgBouncer, session
#                           mode, tests/pooler.sh) in front of the server: the proxy's
#                           1 ms round trip leads to the pooler, and a desk's session
#                           start is the pooler's, not the start of a server process
#   load-lan                8 print runs of kov120 and kov140 at once through the proxy
#                           (tests/load/run-load.sh), against one run alone
# Every command file and CSV file must be the one of the SQLite run, byte for byte.
#   tools/bench-distance.sh [--only "NAME..."] BUILD_DIR STAFF [DEMO_DIR]
# DEMO_DIR: a kovgendemo folder (SQLite) to use; without it one of STAFF staff is made.
# --only: just the lines named. tools/bench.sh runs it all; exit status 1 when an output
# differs.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
usage="usage: tools/bench-distance.sh [--only \"NAME...\"] BUILD_DIR STAFF [DEMO_DIR]"
only=""
if [ "${1:-}" = --only ]; then only=" ${2:?$usage} "; shift 2; fi
build="$(realpath "${1:?$usage}")"
staff="${2:?$usage}"
demo="${3:-}"
wanted() { [ -z "$only" ] || [[ "$only" == *" $1 "* ]]; }
bin="$build/bin"
. "$src/tools/bench-lib.sh"

work="$(mktemp -d)"
chmod 755 "$work"
state="$work/pg.state"
proxies=()
cleanup() {
  for p in "${proxies[@]}"; do kill "$p" 2>/dev/null || true; done
  "$src/tests/pooler.sh" stop "$work/pool.state" >/dev/null 2>&1 || true
  "$src/tests/pgserver.sh" stop "$state" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

if [ -z "$demo" ]; then
  demo="$work/demo"
  "$bin/kovgendemo" --out "$demo" --staff "$staff" >/dev/null
fi
"$src/tests/pgserver.sh" start "$state" --bench >/dev/null
if [ "$(head -c 2 "$state")" != "ok" ]; then
  echo "bench kov120-lan: skipped: $(head -1 "$state" | cut -d' ' -f2-)"
  exit 0
fi
socket="$(head -1 "$state" | cut -d' ' -f2-)"
tcp=$(sed -n 's/^tcp //p' "$state")
admin="${socket/dbname=kovtest/dbname=postgres}"
psql -X -q "$socket" -c "CREATE DATABASE kovbench" >/dev/null
for db in kov.db kovenv.db; do
  "$bin/kovpgcopy" --from "$demo/$db" --connection "${socket/dbname=kovtest/dbname=kovbench}" >/dev/null
done
mkdir -p "$work/local"
cp "$demo"/*.INI "$demo"/*.db "$work/local"/

# A proxy holding each chunk $1 ms each way to the port $2 (the server's by default);
# its port in $port. The lifetime bounds every run through it.
start_proxy() {
  local to=${2:-$tcp}
  "$bin/kovdelayproxy" --target "127.0.0.1:$to" --delay-ms "$1" --lifetime 7200 >"$work/proxy-$1-$to.out" 2>"$work/proxy-$1-$to.err" &
  proxies+=($!)
  for _ in $(seq 100); do
    port=$(awk '$1 == "listening" { print $3 }' "$work/proxy-$1-$to.out")
    [ -n "$port" ] && return 0
    sleep 0.1
  done
  echo "kovdelayproxy did not start: $(cat "$work/proxy-$1-$to.err")" >&2
  exit 1
}
start_proxy 0.5
lan="host=127.0.0.1 port=$port user=kov dbname=kovbench"
start_proxy 5
wan="host=127.0.0.1 port=$port user=kov dbname=kovbench"
"$src/tests/pgserver.sh" settings "$work/lan" "$lan"
"$src/tests/pgserver.sh" settings "$work/wan" "$wan"
pooled=""
if "$src/tests/pooler.sh" start "$work/pool.state" "$state" kovbench >/dev/null && [ "$(head -c 2 "$work/pool.state")" = ok ]; then
  start_proxy 0.5 "$(head -1 "$work/pool.state" | sed 's/.* port=\([0-9]*\) .*/\1/')"
  pooled="host=127.0.0.1 port=$port user=kov dbname=kovbench"
  "$src/tests/pgserver.sh" settings "$work/pooled" "$pooled"
fi

stats() { psql -X -q -A -t "$admin" -c "$1"; }
# The statements of the benchmark's database since the last reset; "at least" when the
# statistics had to drop statements to make room.
statements() {
  local n dropped
  n=$(stats "SELECT coalesce(sum(s.calls), 0) FROM pg_stat_statements s JOIN pg_database d ON d.oid = s.dbid
             WHERE d.datname = 'kovbench'")
  dropped=$(stats "SELECT dealloc FROM pg_stat_statements_info")
  if [ "$dropped" != 0 ]; then echo "at least $n"; else echo "$n"; fi
}

# run WHAT DIR: one run of WHAT (kov120, kov140, kov570, kov970) on the settings in DIR;
# its time in $t, its output file in $out.
run() {
  local o
  case "$1" in
    kov120) o=$("$bin/kov120_bench" "$2" 25); out="$2/kov120/OVL.TMP" ;;
    kov140) o=$("$bin/kov120_bench" "$2" kov140); out="$2/kov140/OVL.TMP" ;;
    kov570) o=$("$bin/kov570_bench" "$2"); out="$2/kov570/OVL.TMP" ;;
    kov970) o=$("$bin/kov970_bench" --dir "$2"); out="$2/out/SKSYOKU.CSV" ;;
  esac
  t=$(printf '%s\n' "$o" | sed -n 's/.*print run \([0-9.]*\) s.*/\1/p; s/^time: //p')
  [ -n "$t" ] || { echo "$1 gave no time: $o" >&2; exit 1; }
}

# session DIR: the best of three starts of a session on the server of the settings in
# DIR (a process that only opens the database), which every run above pays once.
session() {
  local i best="" s
  for i in 1 2 3; do
    s=$("$bin/tessera_read" --session "$1" | sed -n 's/^session //p')
    best=$(printf '%s\n%s\n' "$s" "$best" | grep . | min)
  done
  echo "$best"
}

fail=0
# measure NAME WHAT DIR: the best of three of WHAT on the settings in DIR against the
# best of three on the local SQLite files, with the server's statement count of the
# last run.
measure() {
  local f="" best="" i n
  for i in 1 2 3; do
    run "$2" "$work/local"
    f=$(printf '%s\n%s\n' "$t" "$f" | grep . | min)
  done
  cp "$out" "$work/expect-$2"
  for i in 1 2 3; do
    [ "$i" = 3 ] && stats "SELECT pg_stat_statements_reset()" >/dev/null
    run "$2" "$3"
    best=$(printf '%s\n%s\n' "$t" "$best" | grep . | min)
  done
  n=$(statements)
  line "$1" "$best" "$f" " $n statements; a session start alone $(session "$3") s"
  if ! cmp -s "$work/expect-$2" "$out"; then
    echo "FAIL: $1: $(basename "$out") differs from the one on SQLite: $(cmp "$work/expect-$2" "$out" 2>&1 | head -1)"
    fail=1
  fi
}

for p in kov120 kov140 kov570 kov970; do
  if wanted "$p-lan"; then measure "$p-lan" "$p" "$work/lan"; fi
done
if wanted kov120-wan; then measure kov120-wan kov120 "$work/wan"; fi
for p in kov120 kov140 kov570 kov970; do
  wanted "$p-lan-pooled" || continue
  if [ -n "$pooled" ]; then measure "$p-lan-pooled" "$p" "$work/pooled"
  else echo "bench $p-lan-pooled: skipped: $(head -1 "$work/pool.state" 2>/dev/null | cut -d' ' -f2-)"; fi
done
if wanted load-lan; then
  "$src/tests/load/run-load.sh" --connection "$lan" --sqlite "$work/local" --name load-lan "$build" |
    grep '^bench \|^FAIL\|^8 print runs' || fail=1
fi
exit $fail
