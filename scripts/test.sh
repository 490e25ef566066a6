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
