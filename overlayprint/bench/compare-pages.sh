#!/usr/bin/env bash
# Whether a change of the engine keeps every page as it was: the sample command file of
# each report printed to PDF by the ovlprint of two builds, every page rendered at 150 dpi
# (pdftoppm) and compared pixel by pixel (ImageMagick compare -metric AE: the number of
# pixels that differ), and the text of both PDFs (pdftotext) compared.
#   overlayprint/bench/compare-pages.sh OLD_BUILD NEW_BUILD
# Prints one line a page; exits 1 when a page or a text differs.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: overlayprint/bench/compare-pages.sh OLD_BUILD NEW_BUILD" >&2; exit 1; }
src="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work"
samples="ovlprint-kov120-monthly.tmp:KOV120p.ovl ovlprint-kov121-daily-march.tmp:KOV121p.ovl
         ovlprint-kov140.tmp:KOV140p.ovl kov140_names_and_empty_values.ovl.tmp:KOV140p.ovl
         kov570_six_pages.ovl.tmp:Kov570p.OVL"
status=0
for pair in $samples; do
  file="${pair%%:*}" overlay="${pair##*:}" name="${pair%%.*}"
  for side in old new; do
    build="$1"; [ "$side" = new ] && build="$2"
    dir="$work/$side/$name"
    mkdir -p "$dir"
    cp "$src/tests/data/$file" "$dir/OVL.TMP"
    "$build/bin/ovlprint" "$dir" "$name" "$overlay" --pdf "$dir/out.pdf" >/dev/null
    pdftoppm -r 150 -png "$dir/out.pdf" "$dir/page"
    pdftotext "$dir/out.pdf" "$dir/out.txt"
  done
  for page in "$work/old/$name"/page-*.png; do
    ae=$(compare -metric AE "$page" "$work/new/$name/$(basename "$page")" null: 2>&1 || true)
    echo "$name $(basename "$page" .png): $ae pixels differ"
    [ "$ae" = 0 ] || status=1
  done
  if cmp -s "$work/old/$name/out.txt" "$work/new/$name/out.txt"; then echo "$name: same text"
  else echo "$name: the text differs"; status=1; fi
done
exit $status
