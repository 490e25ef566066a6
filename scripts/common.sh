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
    # The package mirror is across the network: a failed attempt is tried again twice.
    local attempt
    for attempt in 1 2 3; do
        if apt-get update -qq &&
            DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null; then
            return 0
        fi
        echo "installing ${missing[*]} failed (attempt $attempt of 3)" >&2
        [ "$attempt" -lt 3 ] && sleep 10
    done
    return 1
}

# libcurl and expat: the CardDAV client.
build_packages=(cmake ninja-build g++ libgtest-dev libkainjow-mustache-dev libcurl4-openssl-dev libexpat1-dev)

# Configures and builds a tree: build_tree DIR [cmake options...]
build_tree() {
    local dir=$1
    shift
    cmake -S "$repo_root" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" ${build_target:+--target "$build_target"}
}
