#!/usr/bin/env bash
# Benchmark of the kov570 summary on a generated SKSUMI of one million rows: the opening,
# the grouped query, the summary table and all 27 pages to the closed command file,
# against sqlite3 running the same grouped query (the floor), in turns, each the best of three.
#   kov570/bench/run-bench.sh [BUILD_DIR]
set -euo pipefail
build="${1:-build}"
bin="$build/bin"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
rows=1000000

"$bin/kovgendemo" --out "$work" --staff 50 >/dev/null
# One million rows of the fiscal year 2023 (and a tenth as many of 2022 beside them):
# finance-office codes 1 to 9, school types 4 and 5, April 2023 to May 2024.
sqlite3 "$work/kov.db" <<SQL
DELETE FROM SKSUMI;
UPDATE SKKANRI SET NENDO = 2023 WHERE KEY = 'KANRI';
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < $rows * 11 / 10 - 1)
INSERT INTO SKSUMI
SELECT CASE WHEN i < $rows THEN 2023 ELSE 2022 END, i % 9 + 1, 4 + (i / 9) % 2,
       CASE WHEN (i / 18) % 14 < 9 THEN 202304 + (i / 18) % 14 ELSE 202401 + (i / 18) % 14 - 9 END,
       1 + i % 3,
       200000 + i % 50000, i % 9000, i % 5000, i % 7000, i % 3000, i % 20000, i % 27000, i % 4200, i % 1800,
       i % 8000, i % 3000, i % 4400, i % 2200, i % 30000, i % 3600, i % 12000, i % 10000, i % 400000,
       i % 300000, i % 2500, i % 1000
FROM n;
ANALYZE;
SQL

best() { sort -n | head -1; }
sql=$("$bin/kov570_bench" "$work" | sed -n 's/^sql: //p')
# The run and the floor in turns, so that both see the same load of the machine.
runs=() floors=()
for _ in 1 2 3; do
  out=$("$bin/kov570_bench" "$work")
  runs+=("$(printf '%s\n' "$out" | sed -n 's/^time: //p')")
  start=$(date +%s.%N)
  sqlite3 "$work/kov.db" "$sql" >/dev/null
  end=$(date +%s.%N)
  floors+=("$(echo "$end - $start" | bc)")
done
t=$(printf '%s\n' "${runs[@]}" | best)
f=$(printf '%s\n' "${floors[@]}" | best)
printf '%s\n' "$out" | grep '^grand total'
printf 'bench kov570: ratio %.2f (%.3f s against FLOOR %.3f s)\n' "$(echo "$t / $f" | bc -l)" "$t" "$f"
