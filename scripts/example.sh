#!/usr/bin/env bash
# Builds quorlan and converts the example folder: examples/contacts.vcf becomes
# examples/phonebook.xml, as examples/quorlan.ini says.
set -euo pipefail
source "$(dirname "$0")/common.sh"

need_packages "${build_packages[@]}"
build_target=quorlan build_tree "$build_dir" -DCMAKE_BUILD_TYPE=Release
cd "$repo_root/examples"
"$build_dir/quorlan"
echo "wrote $repo_root/examples/phonebook.xml:"
iconv -f CP1250 -t UTF-8 phonebook.xml
