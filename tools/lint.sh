#!/usr/bin/env bash
# The lint step of CI: the tree's own C++ sources against the pinned style (.clang-format,
# checked only: nothing is rewritten) and the pinned checks (.clang-tidy, on the compile
# commands of a build folder of its own). Fails on any finding and lists them.
#   tools/lint.sh                  both checks over the tree
#   tools/lint.sh --format FILE... the style check of the given files
#   tools/lint.sh --tidy [FILE...] the checks of the given sources (default: all)
# The checks need only the configured build and its generated sources (build-lint/,
# KOV_LINT_BUILD_DIR), not a built tree. Two checks run at a time (KOV_LINT_JOBS).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="${KOV_LINT_BUILD_DIR:-$root/build-lint}"
jobs="${KOV_LINT_JOBS:-2}"
clang_format="$(command -v clang-format-14 || command -v clang-format)"
clang_tidy="$(command -v clang-tidy-14 || command -v clang-tidy)"

# The tree's own C++ sources (what git tracks: no build folder, no generated file).
own_sources() { git -C "$root" ls-files -- '*.cpp' '*.h'; }

# The style check: every file as clang-format would write it, with the tree's style
# whichever folder the file is in. Names each file that differs, with its first
# differences; fails if there is one.
check_format() {
    local file status=0 diffs
    for file in "$@"; do
        if ! diffs="$("$clang_format" --dry-run --Werror --style="file:$root/.clang-format" "$file" 2>&1)"; then
            status=1
            echo "$file: $(grep -c ': error:' <<<"$diffs") places differ from the style; first:" >&2
            grep -m 3 ': error:' <<<"$diffs" | sed 's/^/  /' >&2
        fi
    done
    return "$status"
}

# The configured lint build: compile commands and the sources that moc generates.
prepare_build() {
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DCMAKE_GLOBAL_AUTOGEN_TARGET=ON >/dev/null
    cmake --build "$build" --target autogen >/dev/null
}

# The checks of .clang-tidy over the given sources, each source's findings written
# whole (with the headers of the tree it includes). Fails if there is a finding.
# The function limits leave out the tests (tests/ folders and the Qt tests tst_*.cpp):
# a test is a table and its checks, and each EXPECT_EQ or QCOMPARE is several statements
# once the framework's macro is expanded, so the count says nothing of what a reader sees.
check_tidy() {
    local logs status=0
    logs="$(mktemp -d)"
    # shellcheck disable=SC2016
    printf '%s\0' "$@" | xargs -0 -n 1 -P "$jobs" sh -c '
        log="$2/$(printf %s "$3" | tr / _).log"
        case "$3" in
        tests/* | */tests/* | tst_*.cpp | */tst_*.cpp) limits="--checks=-readability-function-size,-readability-function-cognitive-complexity" ;;
        *) limits="--checks=" ;;
        esac
        "$1" -p "$0" --quiet --warnings-as-errors="*" "$limits" "$3" >"$log" 2>&1 || echo "$3" >>"$log.failed"
    ' "$build" "$clang_tidy" "$logs"
    if ls "$logs"/*.failed >/dev/null 2>&1; then
        status=1
        # One line per finding, each once, though several sources include its header.
        cat "$logs"/*.log | grep -E '^[^ ].*:[0-9]+:[0-9]+: (error|warning):' \
            | sed "s|$build/include/[^/]*/||; s|$build/private/[^/]*/||; s|$root/||" | sort -u
        echo "clang-tidy: findings in $(cat "$logs"/*.failed | wc -l) of $# sources (full output: $logs)" >&2
    else
        rm -rf "$logs"
    fi
    return "$status"
}

# The tree's sources that the lint build compiles (a header is checked through them).
compiled_sources() {
    local compiled
    compiled="$(grep -o '"file": "[^"]*"' "$build/compile_commands.json" | sed 's/"file": "//; s/"$//' | sort -u)"
    own_sources | grep '\.cpp$' | sed "s|^|$root/|" | sort | comm -12 - <(printf '%s\n' "$compiled")
}

case "${1:-}" in
--format)
    shift
    check_format "$@"
    ;;
--tidy)
    shift
    prepare_build
    if [ "$#" -gt 0 ]; then check_tidy "$@"; else mapfile -t files < <(compiled_sources); check_tidy "${files[@]}"; fi
    ;;
"")
    failed=0
    mapfile -t files < <(own_sources)
    start=$SECONDS
    check_format "${files[@]}" || { failed=1; echo "lint: clang-format finds the style above (${#files[@]} files)" >&2; }
    prepare_build
    mapfile -t files < <(compiled_sources)
    check_tidy "${files[@]}" || failed=1
    echo "lint: $((SECONDS - start)) s" >&2
    exit "$failed"
    ;;
*)
    echo "usage: tools/lint.sh [--format FILE... | --tidy [FILE...]]" >&2
    exit 2
    ;;
esac
