#!/usr/bin/env bash
# Builds quorlan and runs the whole test suite. Exits non-zero when any test fails.
set -euo pipefail
source "$(dirname "$0")/common.sh"

need_packages "${build_packages[@]}" libxml2-utils

echo "== build and unit and end-to-end tests"
build_tree "$build_dir" -DCMAKE_BUILD_TYPE=Release
ctest --test-dir "$build_dir" --output-on-failure -j2
