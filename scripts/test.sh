#!/usr/bin/env bash
# Builds quorlan and runs the whole test suite, stage by stage. Exits non-zero when any
# test fails.
set -euo pipefail
source "$(dirname "$0")/common.sh"

run_stage() {
    local title=$1
    shift
    echo "== $title"
    local started=$SECONDS
    "$@"
    echo "== $title: done in $((SECONDS - started)) s"
}

stage_main_build() {
    need_packages "${build_packages[@]}" libxml2-utils
    build_tree "$build_dir" -DCMAKE_BUILD_TYPE=Release
    ctest --test-dir "$build_dir" --output-on-failure -j2
}

# A second tree built by clang with AddressSanitizer and UndefinedBehaviorSanitizer (and
# warnings as errors): the whole suite again, and the fuzz targets as libFuzzer programs.
asan_dir=${QUORLAN_ASAN_DIR:-$repo_root/build-asan}
stage_sanitizers() {
    need_packages "${build_packages[@]}" clang libclang-rt-14-dev libxml2-utils
    CC=clang CXX=clang++ build_tree "$asan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUORLAN_SANITIZE=ON -DQUORLAN_FUZZ=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
    ctest --test-dir "$asan_dir" --output-on-failure -j2
}

# Runs each fuzz target for a bounded time (seconds in QUORLAN_FUZZ_SECONDS, split 2:1);
# any crash, sanitizer report or failed property fails the stage.
stage_fuzzing() {
    local total=${QUORLAN_FUZZ_SECONDS:-90}
    local work
    work=$(mktemp -d)
    local name seconds seeds status
    for name in convert text; do
        seeds=("$repo_root/fuzz/corpus/$name")
        if [ "$name" = convert ]; then
            seconds=$((total * 2 / 3))
            seeds+=("$repo_root/tests/data")
            [ -d "$repo_root/../shared/vcards" ] && seeds+=("$repo_root/../shared/vcards")
        else
            seconds=$((total / 3))
        fi
        mkdir -p "$work/$name"
        status=0
        "$asan_dir/fuzz/${name}_fuzz" -max_total_time="$seconds" -max_len=16384 -timeout=10 \
            -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/" \
            "$work/$name" "${seeds[@]}" >"$work/$name.log" 2>&1 || status=$?
        echo "$name: $(grep -E '^Done [0-9]+ runs' "$work/$name.log" || echo 'no summary')"
        if [ "$status" -ne 0 ]; then
            grep -v -E '^#[0-9]+' "$work/$name.log" | tail -40
            echo "fuzz target $name failed; the input is in $work" >&2
            return 1
        fi
    done
    rm -rf "$work"
}

# A generated 3 GiB card file through the release build, in constant memory.
stage_large_input() {
    "$repo_root/bench/large_input.sh" "$build_dir/quorlan"
}

run_stage "build, unit and end-to-end tests" stage_main_build
run_stage "sanitizer build (ASan, UBSan) and tests" stage_sanitizers
run_stage "fuzzing" stage_fuzzing
run_stage "3 GiB input" stage_large_input
