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

run_stage "build, unit and end-to-end tests" stage_main_build

# The benchmark tools must keep building and the benchmark's output must stay as recorded;
# nothing is timed here (shared machines are too noisy for that).
stage_bench() {
    need_packages libbenchmark-dev time
    build_tree "$build_dir" -DQUORLAN_BENCH=ON
    "$repo_root/bench/compare" --check
}

run_stage "benchmark tools build, benchmark output checksums" stage_bench
