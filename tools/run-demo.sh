#!/usr/bin/env bash
# Sets up the machine, builds the suite, creates the demo database and opens the
# menu of the suite on it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
# The demo opens each report in the desktop's PDF viewer: a small one when it has none.
if [ -z "$(xdg-mime query default application/pdf 2>/dev/null)" ] && ! command -v mupdf >/dev/null; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends mupdf
fi
cmake --preset default >/dev/null
cmake --build --preset default
demo="$PWD/build/demo"
mkdir -p "$demo"
if [ ! -f "$demo/KOV.INI" ]; then
  ./build/bin/kovgendemo --out "$demo"
fi
# The demo's reports go to PDF files in build/demo/pdf and open in the desktop's viewer.
if [ ! -f "$demo/OVLPRINT.INI" ]; then
  printf '[Print]\r\nOutput=pdf\r\nOpen=yes\r\n' > "$demo/OVLPRINT.INI"
fi
export KOV_INI_DIR="$demo"
if [ -x ./build/bin/kovmenu ]; then
  exec ./build/bin/kovmenu
fi
echo "demo database created in $demo"
