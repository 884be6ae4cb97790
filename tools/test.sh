#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test.
#   tools/test.sh            normal build in build/
#   tools/test.sh --asan     AddressSanitizer + UBSan build in build-asan/
# Under CI (CI=true) a compiler warning fails the build (KOV_WERROR).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=default
[ "${1:-}" = "--asan" ] && preset=asan
werror=OFF
[ "${CI:-}" = true ] && werror=ON
bash tools/install-deps.sh
cmake --preset "$preset" -DKOV_WERROR="$werror" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j2
