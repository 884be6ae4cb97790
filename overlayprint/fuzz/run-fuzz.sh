#!/usr/bin/env bash
# Builds the command-file reader as a libFuzzer target with clang (in its own build
# folder) and fuzzes it for N seconds (default 60) over overlayprint/fuzz/corpus.
#   overlayprint/fuzz/run-fuzz.sh [SECONDS]
# New inputs that widen the coverage go to the build folder, not the corpus. An input
# that crashes the reader is written into the corpus as crash-<hash> and the script
# fails: keep that file (the ordinary tests replay the whole corpus) and mend the reader.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
src="$(cd "$here/../.." && pwd)"
secs="${1:-60}"
build="${KOV_FUZZ_BUILD_DIR:-$src/build-fuzz}"

cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKOV_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,fuzzer-no-link -fno-omit-frame-pointer" >/dev/null
cmake --build "$build" --target overlayprint_fuzz -j2

scratch="$build/fuzz-corpus"
mkdir -p "$scratch"
"$build/bin/overlayprint_fuzz" -max_total_time="$secs" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
  -dict="$here/commandfile.dict" -artifact_prefix="$here/corpus/crash-" -print_final_stats=1 \
  "$scratch" "$here/corpus"
