#!/usr/bin/env bash
# The desks' runs through a connection pooler (ctest: pooler_test):
#   tests/pooler/run-pooler.sh BIN_DIR
# A server (tests/pgserver.sh) with the demo data, PgBouncer in front of it
# (tests/pooler.sh: session mode, no ignore_startup_parameters). Through the pooler the
# kov120 and kov140 print runs (kov_blockprint), the kov570 summary (kov570_bench) and the
# kov970 staff master export (kov970_bench --dir) must write what they write on the SQLite
# files, byte for byte.
# Skips, saying so, where PostgreSQL or PgBouncer is not installed.
set -euo pipefail
src="$(cd "$(dirname "$0")/../.." && pwd)"
bin="${1:?usage: run-pooler.sh BIN_DIR}"
work="$(mktemp -d)"
chmod 755 "$work"
trap '"$src/tests/pooler.sh" stop "$work/pool.state" >/dev/null 2>&1 || true
      "$src/tests/pgserver.sh" stop "$work/pg.state" >/dev/null 2>&1 || true
      rm -rf "$work"' EXIT

"$src/tests/pgserver.sh" start "$work/pg.state" >/dev/null
[ "$(head -c 2 "$work/pg.state")" = "ok" ] || { echo "PostgreSQL tests skipped: $(head -1 "$work/pg.state" | cut -d' ' -f2-)"; exit 0; }
"$src/tests/pooler.sh" start "$work/pool.state" "$work/pg.state" >/dev/null
[ "$(head -c 2 "$work/pool.state")" = "ok" ] || { echo "PostgreSQL tests skipped: $(head -1 "$work/pool.state" | cut -d' ' -f2-)"; exit 0; }
server=$(head -1 "$work/pg.state" | cut -d' ' -f2-)
pooled=$(head -1 "$work/pool.state" | cut -d' ' -f2-)

"$bin/kovgendemo" --out "$work/sqlite" --staff 300 >/dev/null
"$bin/kovgendemo" --out "$work/loaded" --staff 300 --engine postgresql --connection "$server" >/dev/null
"$src/tests/pgserver.sh" settings "$work/pooled" "$pooled"

# run WHAT DIR: one run of WHAT on the settings in DIR; its output file in $out.
run() {
  local o
  case "$1" in
    kov120 | kov140) o=$(KOV_WORK_DIR="$2" "$bin/kov_blockprint" "$1" "$2" 2>&1) && out="$2/$1/OVL.TMP" ;;
    kov570) o=$("$bin/kov570_bench" "$2" 2>&1) && out="$2/kov570/OVL.TMP" ;;
    kov970) o=$("$bin/kov970_bench" --dir "$2" 2>&1) && out="$2/out/SKSYOKU.CSV" ;;
  esac || { echo "FAIL: $1 on $(basename "$2"): $o"; return 1; }
}
fail=0
for p in kov120 kov140 kov570 kov970; do
  run "$p" "$work/sqlite" || { fail=1; continue; }
  cp "$out" "$work/expect"
  if ! run "$p" "$work/pooled"; then
    fail=1
  elif ! cmp "$work/expect" "$out"; then
    echo "FAIL: $p: $(basename "$out") through the pooler differs from the one on SQLite"; fail=1
  else
    echo "$p: the same through the pooler ($(wc -c <"$out") bytes)"
  fi
done
exit $fail
