#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test.
#   tools/test.sh            normal build in build/
#   tools/test.sh --asan     AddressSanitizer + UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
preset=default
[ "${1:-}" = "--asan" ] && preset=asan
bash tools/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j2
