#!/usr/bin/env bash
# Memory of the engine on a job near the size limit of the command file: ovlprint prints
# a generated allowance record of about SIZE MiB (default 250; the limit is 256) to PDF,
# and the same record at a tenth of the size. Prints the time against ten times the
# tenth (the floor: a job that scales linearly) and the peak memory (resident set) of
# both; the engine reads the file in one checking pass and draws it page by page, so the
# peak stays that of one page whatever the file's size.
#   overlayprint/bench/run-memory-bench.sh [BUILD_DIR] [SIZE_MIB]
set -euo pipefail
build="${1:-build}"
size="${2:-250}"
bin="$build/bin"
src="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
sample="$src/tests/data/ovlprint-kov120-monthly.tmp"

# The sample's first page (between CR and the first PE) repeated to about mib MiB.
make_run() {
  local mib="$1" out="$2"
  local pagebytes pages
  pagebytes=$(awk 'NR<=2 {next} /^PE \r$/ {exit} {n += length($0) + 1} END {print n + 5}' "$sample")
  pages=$(( mib * 1048576 / pagebytes - 1 ))
  mkdir -p "$out"
  awk -v n="$pages" 'NR<=2 {printf "%s\n", $0; next} /^PE \r$/ {exit} {page = page $0 "\n"}
    END {for (i = 0; i < n; i++) {if (i) printf "PE \r\n"; printf "%s", page}; printf "ED \r\n"}' \
    "$sample" > "$out/OVL.TMP"
}

# Seconds and peak MiB of one ovlprint job.
run_job() {
  local dir="$1"
  QT_QPA_PLATFORM=offscreen /usr/bin/time -f '%e %M' -o "$dir/time.txt" \
    "$bin/ovlprint" "$dir" KOV120 KOV120p.ovl --pdf "$dir/out.pdf" > "$dir/out.txt"
  awk '{printf "%s %.0f\n", $1, $2 / 1024}' "$dir/time.txt"
}

make_run "$size" "$work/big"
make_run $(( size / 10 )) "$work/tenth"
file_mib=$(( $(stat -c %s "$work/big/OVL.TMP") / 1048576 ))
read -r t_small peak_small < <(run_job "$work/tenth")
read -r t_big peak_big < <(run_job "$work/big")
floor=$(awk -v t="$t_small" 'BEGIN {print t * 10}')
ratio=$(awk -v t="$t_big" -v f="$floor" 'BEGIN {print t / f}')
printf 'bench ovlprint_near_size_limit: ratio %.2f (%.1f s against FLOOR %.1f s) peak %s MiB (command file %s MiB, %s; a tenth of it: peak %s MiB)\n' \
  "$ratio" "$t_big" "$floor" "$peak_big" "$file_mib" "$(sed -n 's/.*(\(.*\)).*/\1/p' "$work/big/out.txt")" "$peak_small"
