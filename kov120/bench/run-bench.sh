#!/usr/bin/env bash
# Benchmark of the kov120 print run on generated databases of about 1,000 and 100,000
# payment records: time and peak memory of the run (selection to closed command file),
# beside the time sqlite3 takes to read the same rows in the same order.
#   kov120/bench/run-bench.sh [BUILD_DIR]
set -euo pipefail
build="${1:-build}"
bin="$build/bin"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# kovgendemo makes about 2.2 payment records a staff member (both allowance and
# differential records), about half of which this run prints: these sizes give about
# 1,000 and 100,000 records in the database, and about 100,000 printed (more than the
# 32,767 that an open can count).
for staff in 460 45500 94500; do
  dir="$work/s$staff"
  "$bin/kovgendemo" --out "$dir" --staff "$staff" >/dev/null
  total=$(sqlite3 "$dir/kov.db" "SELECT count(*) FROM SKSYKEI")
  out=$("$bin/kov120_bench" "$dir" 25)
  filter=$(printf '%s\n' "$out" | sed -n 's/^filter: //p')
  start=$(date +%s.%N)
  rows=$(sqlite3 "$dir/kov.db" "SELECT * FROM SKSYKEI WHERE $filter ORDER BY SYRFLG,SYOZOK,SYOKCD" | wc -l)
  end=$(date +%s.%N)
  echo "== $total payment records in the database"
  printf '%s\n' "$out" | grep -v '^filter: '
  printf 'sqlite3 reads the same %s rows in %.3f s\n' "$rows" "$(awk -v s="$start" -v e="$end" 'BEGIN { print e - s }')"
done
