#!/usr/bin/env bash
# Many desks on one PostgreSQL server (a benchmark-style test, not run by ctest):
#   tests/load/run-load.sh [BUILD_DIR] [STAFF]
# Starts a throwaway server (tests/pgserver.sh), fills it with kovgendemo, and then
#  1. runs the kov120 and kov140 print runs once each on SQLite (the expected command
#     files) and once each alone on PostgreSQL, which must give the same bytes;
#  2. starts 8 print runs at once (4 of kov120, 4 of kov140, each its own process and
#     desk folder) against the one server: every command file must be the expected one,
#     byte for byte; the wall time is reported beside one run alone;
#  3. stops the server while a kov120 run reads: the run must end with the status
#     message (exit status 2) and hand nothing to the print engine.
# Prints "bench load-postgresql: ..." and "bench kov120-postgresql: ..." (the kov120 run
# on PostgreSQL beside the same run on SQLite). Exit status 1 on any mismatch.
#   tests/load/run-load.sh --connection C --sqlite DIR --name NAME [BUILD_DIR]
# runs 1 and 2 only, on a database that already holds the data of the SQLite folder DIR
# (through a delaying proxy, for instance), and prints "bench NAME: ..." of 2.
set -euo pipefail
src="$(cd "$(dirname "$0")/../.." && pwd)"
pgconn="" sqlite="" name=load-postgresql
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --connection) pgconn=${2:?}; shift 2 ;;
    --sqlite) sqlite=${2:?}; shift 2 ;;
    --name) name=${2:?}; shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done
build="${args[0]:-build}"
staff="${args[1]:-4500}"
bin="$build/bin"
work="$(mktemp -d)"
chmod 755 "$work"
state="$work/pg.state"
trap '"$src/tests/pgserver.sh" stop "$state" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

if [ -n "$pgconn" ]; then
  [ -n "$sqlite" ] || { echo "run-load.sh: --connection needs --sqlite" >&2; exit 2; }
  "$src/tests/pgserver.sh" settings "$work/pg" "$pgconn"
else
  "$src/tests/pgserver.sh" start "$state" >/dev/null
  if [ "$(head -c 2 "$state")" != "ok" ]; then
    echo "load test skipped: $(head -1 "$state" | cut -d' ' -f2-)"
    exit 0
  fi
  conn="$(head -1 "$state" | cut -d' ' -f2-)"
  psql -X -q "$conn" -c "CREATE DATABASE kovload" >/dev/null
  pgconn="${conn/dbname=kovtest/dbname=kovload}"
  sqlite="$work/sqlite"
  "$bin/kovgendemo" --out "$sqlite" --staff "$staff" >/dev/null
  "$bin/kovgendemo" --out "$work/pg" --staff "$staff" --engine postgresql --connection "$pgconn" >/dev/null
fi

. "$src/tools/bench-lib.sh"
fail=0

# Each desk has its own work folder (KOV_WORK_DIR): the program writes its command file
# in <desk>/<program>/OVL.TMP, the folder it hands to the engine.
print_run() { KOV_WORK_DIR="$2" "$bin/kov_blockprint" "$1" "$2"; }
command_file() { echo "$1/$2/OVL.TMP"; }

# One run of $1 in the desk folder $2 (a copy of the settings of $3); its time in $t.
run_one() {
  mkdir -p "$2" && cp "$3"/*.INI "$2"/
  if [ -f "$3/kov.db" ]; then cp "$3"/*.db "$2"/; fi
  local s e
  s=$(now)
  print_run "$1" "$2" >"$2/out" 2>&1
  e=$(now)
  t=$(secs "$s" "$e")
}

declare -A alone_pg alone_sqlite
for p in kov120 kov140; do
  run_one "$p" "$work/expect-$p" "$sqlite"; alone_sqlite[$p]=$t
  run_one "$p" "$work/alone-$p" "$work/pg"; alone_pg[$p]=$t
  if ! cmp -s "$(command_file "$work/expect-$p" $p)" "$(command_file "$work/alone-$p" $p)"; then
    echo "FAIL: $p on PostgreSQL gives another command file than on SQLite"; fail=1
  fi
done

# Desk i runs kov120 when i is odd, kov140 when it is even.
progs=(kov140 kov120)
for i in 1 2 3 4 5 6 7 8; do mkdir -p "$work/desk$i" && cp "$work/pg"/*.INI "$work/desk$i"/; done
s=$(now)
pids=()
for i in 1 2 3 4 5 6 7 8; do
  print_run "${progs[i % 2]}" "$work/desk$i" >"$work/desk$i/out" 2>&1 &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || fail=1; done
e=$(now)
together=$(secs "$s" "$e")
for i in 1 2 3 4 5 6 7 8; do
  p=${progs[i % 2]}
  if ! cmp -s "$(command_file "$work/expect-$p" $p)" "$(command_file "$work/desk$i" $p)"; then
    echo "FAIL: desk $i ($p) gives another command file"; fail=1
  fi
done
floor=$(awk -v a="${alone_pg[kov120]}" -v b="${alone_pg[kov140]}" 'BEGIN { printf "%.3f", (a + 0 > b + 0) ? a : b }')
lines=$(grep -c . "$(command_file "$work/expect-kov120" kov120)")
echo "8 print runs at once ($lines lines in a kov120 command file): all command files as expected: $([ $fail -eq 0 ] && echo yes || echo NO)"
line "$name" "$together" "$floor" ""
[ -f "$state" ] || exit $fail
line kov120-postgresql "${alone_pg[kov120]}" "${alone_sqlite[kov120]}" ""

# The server goes away in the middle of a run. Locally the run is over in a few round
# trips, before a stop could reach it: it reads through a proxy 20 ms away each way,
# which makes it last about a second, and the server stops a third of a second in.
host=$(sed -n 's/.*host=\([^ ]*\).*/\1/p' <<<"$pgconn")
port=$(sed -n 's/.*port=\([0-9]*\).*/\1/p' <<<"$pgconn")
"$bin/kovdelayproxy" --target "$host/.s.PGSQL.$port" --delay-ms 20 --lifetime 600 >"$work/proxy.out" 2>/dev/null &
proxy=$!
for _ in $(seq 100); do
  pport=$(awk '$1 == "listening" { print $3 }' "$work/proxy.out")
  [ -n "$pport" ] && break
  sleep 0.1
done
mkdir -p "$work/gone"
"$src/tests/pgserver.sh" settings "$work/gone" "${pgconn/host=$host port=$port/host=127.0.0.1 port=$pport}"
print_run kov120 "$work/gone" >"$work/gone/out" 2>"$work/gone/err" &
pid=$!
sleep 0.3
"$src/tests/pgserver.sh" stop "$state" >/dev/null
status=0
wait "$pid" || status=$?
kill "$proxy" 2>/dev/null || true
if [ "$status" -eq 2 ] && grep -q "Err Status = -" "$work/gone/err" && ! grep -q "handed over" "$work/gone/out"; then
  echo "server stopped during a run: the run ended with \"$(grep -o 'Err Status = -[0-9]*' "$work/gone/err" | head -1)\", nothing handed to the engine"
  cat "$work/gone/err"
else
  echo "FAIL: server stopped during a run: exit status $status, $(cat "$work/gone/err" "$work/gone/out" | head -3)"
  fail=1
fi
exit $fail
