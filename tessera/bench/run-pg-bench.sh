#!/usr/bin/env bash
# Benchmark of Tessera on PostgreSQL: about 100,000 payment records read through
# clsTbAccess (tessera_read, 27 columns a row with TBRec) against psql copying the same
# rows in the same order out of the same server (\copy ... TO /dev/null), the floor.
# Starts its own throwaway server (tests/pgserver.sh) and fills it with kovgendemo.
#   tessera/bench/run-pg-bench.sh [BUILD_DIR] [STAFF]
set -euo pipefail
src="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-build}"
staff="${2:-45000}"
bin="$build/bin"
work="$(mktemp -d)"
chmod 755 "$work"
state="$work/pg.state"
trap '"$src/tests/pgserver.sh" stop "$state" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
"$src/tests/pgserver.sh" start "$state" >/dev/null
if [ "$(head -c 2 "$state")" != "ok" ]; then
  echo "bench tessera-postgresql: skipped: $(head -1 "$state" | cut -d' ' -f2-)"
  exit 0
fi
conn="$(head -1 "$state" | cut -d' ' -f2-)"
psql -X -q "$conn" -c "CREATE DATABASE kovbench" >/dev/null
pgconn="${conn/dbname=kovtest/dbname=kovbench}"
"$bin/kovgendemo" --out "$work/pg" --staff "$staff" --engine postgresql --connection "$pgconn" >/dev/null

out=$("$bin/tessera_read" "$work/pg" 3)
rows=$(echo "$out" | awk '{ print $2 }')
t=$(echo "$out" | awk '{ print $4 }')
peak=$(echo "$out" | awk '{ printf "%.1f", $6 / 1024 }')
# The floor: the best of three copies of the same rows by psql.
floor=""
for i in 1 2 3; do
  s=$(date +%s.%N)
  psql -X -q "$pgconn" -c "\\copy (SELECT * FROM sksykei ORDER BY syrflg, syozok, syokcd) TO /dev/null"
  e=$(date +%s.%N)
  floor=$(awk -v s="$s" -v e="$e" -v f="$floor" 'BEGIN { d = e - s; if (f == "" || d < f) f = d; printf "%.3f", f }')
done
echo "$rows payment records read through Tessera on PostgreSQL"
awk -v t="$t" -v f="$floor" 'BEGIN { printf "bench tessera-postgresql: ratio %.2f (%.3f s against FLOOR %.3f s)\n", t / f, t, f }'
echo "peak $peak MiB"
