# Shared by the scripts in this folder: where things are, and installing what is missing.
# shellcheck shell=bash

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${QUORLAN_BUILD_DIR:-$repo_root/build}

# Installs the Debian packages that are not there yet (as root), or says which are missing.
need_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing Debian packages: ${missing[*]} (run as root, or install them)" >&2
        return 1
    fi
    echo "installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

build_packages=(cmake ninja-build g++ libgtest-dev)

# Configures and builds a tree: build_tree DIR [cmake options...]
build_tree() {
    local dir=$1
    shift
    cmake -S "$repo_root" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" ${build_target:+--target "$build_target"}
}
