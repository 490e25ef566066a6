#!/usr/bin/env bash
# Builds quorlan and runs the whole test suite, stage by stage. Exits non-zero when any
# test fails.
#
#   scripts/test.sh              every stage, in the order of the list below
#   scripts/test.sh unit fuzz    only the stages named, in the order given
#   scripts/test.sh --list       the stages and what each does
#
# A stage builds whatever tree it needs, so any one of them can be run again alone.
set -euo pipefail
source "$(dirname "$0")/common.sh"

asan_dir=${QUORLAN_ASAN_DIR:-$repo_root/build-asan}

# fiu-utils: the end-to-end tests make system calls fail with libfiu's fiu-run.
# python3-radicale, xandikos, openssl: the CardDAV servers of the tests and their certificate.
test_packages=("${build_packages[@]}" libxml2-utils fiu-utils python3-radicale xandikos openssl)

build_main() {
    need_packages "${test_packages[@]}"
    build_tree "$build_dir" -DCMAKE_BUILD_TYPE=Release -DQUORLAN_TESTS=ON
}

# A second tree built by clang with AddressSanitizer and UndefinedBehaviorSanitizer (and
# warnings as errors), with the fuzz targets as libFuzzer programs.
build_sanitized() {
    need_packages "${test_packages[@]}" clang libclang-rt-14-dev
    CC=clang CXX=clang++ build_tree "$asan_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUORLAN_SANITIZE=ON -DQUORLAN_FUZZ=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
}

stage_unit() {
    build_main
    ctest --test-dir "$build_dir" --output-on-failure -j2
}

# The benchmark tools must keep building and the benchmark's output must stay as recorded;
# nothing is timed here (shared machines are too noisy for that).
stage_bench() {
    need_packages "${test_packages[@]}" libbenchmark-dev time
    build_tree "$build_dir" -DCMAKE_BUILD_TYPE=Release -DQUORLAN_TESTS=ON -DQUORLAN_BENCH=ON
    "$repo_root/bench/compare" --check
}

stage_sanitize() {
    build_sanitized
    ctest --test-dir "$asan_dir" --output-on-failure -j2
}

# Runs each fuzz target for a bounded time (seconds in QUORLAN_FUZZ_SECONDS, split 4:1:1);
# any crash, sanitizer report or failed property fails the stage.
stage_fuzz() {
    build_sanitized
    local total=${QUORLAN_FUZZ_SECONDS:-90}
    local work
    work=$(mktemp -d)
    local name seconds seeds status
    for name in convert text multistatus; do
        seeds=("$repo_root/fuzz/corpus/$name")
        if [ "$name" = convert ]; then
            seconds=$((total * 4 / 6))
            # Read recursively: the real-world exports of tests/data/vcards among them.
            seeds+=("$repo_root/tests/data")
        else
            seconds=$((total / 6))
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

# A generated 3 GiB card file through the release build, read as it is and decoded
# (DECODE=1), each in constant memory.
stage_large() {
    build_main
    "$repo_root/bench/large_input.sh" "$build_dir/quorlan"
}

# The manual page must format without a single warning, in groff and in man.
check_manual() {
    local page=$repo_root/man/quorlan.1 warnings
    warnings=$(groff -ww -z -man "$page" 2>&1)
    warnings+=$(MANWIDTH=80 man --warnings=w -l "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        echo "man/quorlan.1 has warnings:" >&2
        echo "$warnings" >&2
        return 1
    fi
}

# Says what a package check found wrong; the caller counts the failure.
package_problem() {
    echo "package: $*" >&2
}

# The Debian package, built by CPack from the main build, checked without touching the
# system: its metadata and contents, then an install into a scratch root of its own (as
# root; otherwise an unpacked tree), the program used from there on the example folder as
# a user would use it, and a removal that must leave nothing. A quorlan package or a
# quorlan in /usr/local that the user installed stays as it was.
stage_package() {
    need_packages dpkg-dev file man-db groff-base
    build_main
    check_manual
    local version package_dir=$build_dir/package
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
    rm -rf "$package_dir"
    (cd "$build_dir" && cpack -G DEB -B "$package_dir" >/dev/null)
    local deb=$package_dir/quorlan_${version}_$(dpkg --print-architecture).deb
    local system_before status=0 root
    system_before=$(system_quorlan)
    dpkg-deb --field "$deb" Package Version Depends Description
    [ "$(dpkg-deb --field "$deb" Package)" = quorlan ] || { package_problem "the package is not called quorlan"; status=1; }
    [ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || { package_problem "the package is not version $version"; status=1; }
    local path contents
    contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
    for path in ./usr/bin/quorlan ./usr/share/man/man1/quorlan.1.gz ./usr/share/doc/quorlan/copyright; do
        grep -qx "$path" <<<"$contents" || { package_problem "no $path in the package"; status=1; }
    done
    root=$(mktemp -d)
    if [ "$(id -u)" -eq 0 ]; then
        install_into_scratch_root "$deb" "$root" "$version" || status=1
    else
        echo "not root: the package is checked unpacked, not installed"
        dpkg-deb -x "$deb" "$root"
        check_package_tree "$root" "$version" || status=1
    fi
    rm -rf "$root"
    [ "$(system_quorlan)" = "$system_before" ] || { package_problem "the system's quorlan changed: $system_before"; status=1; }
    return $status
}

# Installs the package into ROOT, a root of its own with an empty package database (its
# dependencies are not there, and its maintainer scripts, which it has none of, would run
# inside it), uses it there and removes it again.
install_into_scratch_root() {
    local deb=$1 root=$2 version=$3 status=0
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
    touch "$root/var/lib/dpkg/status"
    # Some images leave manual pages out of every package; this one's page must be there.
    local scratch=(--root="$root" --force-depends --force-script-chrootless --path-include='/usr/share/man/man1/quorlan.1.gz')
    # The missing dependencies are expected there: dpkg's complaint is shown only on failure.
    if ! dpkg "${scratch[@]}" -i "$deb" >"$root.log" 2>&1; then
        cat "$root.log" >&2
        rm -f "$root.log"
        package_problem "dpkg --root could not install it"
        return 1
    fi
    rm -f "$root.log"
    check_package_tree "$root" "$version" || status=1
    dpkg --root="$root" --force-script-chrootless -r quorlan >/dev/null || { package_problem "dpkg --root could not remove it"; status=1; }
    if [ -n "$(find "$root/usr" -type f 2>/dev/null)" ]; then
        package_problem "dpkg -r quorlan left files behind: $(find "$root/usr" -type f | tr '\n' ' ')"
        status=1
    fi
    return $status
}

# What this system has of quorlan: the package's state and the programs on the usual paths.
system_quorlan() {
    dpkg-query -W -f='${Status} ${Version}\n' quorlan 2>/dev/null || true
    local file
    for file in /usr/bin/quorlan /usr/local/bin/quorlan /usr/share/man/man1/quorlan.1.gz \
        /usr/local/share/man/man1/quorlan.1.gz; do
        [ -e "$file" ] && sha256sum "$file"
    done
    return 0
}

# The installed files in ROOT, used as a user would. Called in a condition, where set -e
# does not hold: every check counts its own failure.
check_package_tree() {
    local root=$1 version=$2 work status=0
    local exe=$root/usr/bin/quorlan page=$root/usr/share/man/man1/quorlan.1.gz
    [ -x "$exe" ] || { package_problem "no program at /usr/bin/quorlan"; status=1; }
    [ "$("$exe" --version | head -n 1)" = "quorlan $version" ] || { package_problem "--version does not say $version"; status=1; }
    [ -f "$page" ] || { package_problem "no manual page at /usr/share/man/man1/quorlan.1.gz"; status=1; }
    grep -q 'quorlan' <<<"$(MANWIDTH=80 man -l "$page" 2>/dev/null)" || { package_problem "man -l can't show the page"; status=1; }
    work=$(mktemp -d)
    cp "$repo_root"/examples/quorlan.ini "$repo_root"/examples/contacts.vcf "$work"
    (cd "$work" && "$exe") || { package_problem "quorlan failed on the example folder"; status=1; }
    cmp "$work/phonebook.xml" "$repo_root/tests/data/example_phonebook.xml" || { package_problem "wrong phonebook.xml"; status=1; }
    rm -rf "$work"
    [ $status -eq 0 ] && echo "packaged quorlan $version converted the example folder"
    return $status
}

# The Windows executable, cross-compiled with MinGW-w64 and linked statically, must
# pass the same end-to-end tests under Wine as the Linux one.
stage_windows() {
    need_packages g++-mingw-w64-x86-64-posix wine wine64
    build_main
    local windows_dir=${QUORLAN_WINDOWS_BUILD_DIR:-$repo_root/build-windows}
    build_target=quorlan build_tree "$windows_dir" -DCMAKE_BUILD_TYPE=Release -DQUORLAN_TESTS=OFF \
        -DCMAKE_TOOLCHAIN_FILE="$repo_root/cmake/mingw-w64.cmake"
    local exe=$windows_dir/quorlan.exe
    # Static: nothing but the DLLs that come with Windows itself.
    local dlls
    dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | sort | tr '\n' ' ')
    echo "quorlan.exe imports: $dlls"
    if [ "$dlls" != "KERNEL32.dll msvcrt.dll " ]; then
        echo "quorlan.exe needs DLLs beyond Windows' own" >&2
        return 1
    fi
    # One persistent server serves every run of the tests (it is already there if an
    # earlier run was cut short); the first start of Wine creates its prefix, which
    # takes a while.
    # Setting the prefix up without a display complains a lot and harmlessly; the runs of
    # the tests keep Wine's error messages, so that a failure of Wine itself shows why.
    export WINEPREFIX=$windows_dir/wine WINEDEBUG=-all
    mkdir -p "$WINEPREFIX"
    wineserver -p || true
    wineboot -i >/dev/null 2>&1
    local status=0
    WINEDEBUG=-all,err+all QUORLAN_PLATFORM=windows QUORLAN_COMMAND="wine $(printf '%q' "$exe")" \
        "$build_dir/tests/quorlan_e2e_tests" --gtest_brief=1 || status=$?
    wineserver -k || true
    return $status
}

# The stages, in the order a whole run takes them: a name and what it does.
stages=(
    "unit:build, unit and end-to-end tests"
    "bench:benchmark tools build, benchmark output checksums"
    "sanitize:sanitizer build (ASan, UBSan) and tests"
    "fuzz:fuzzing"
    "large:3 GiB input"
    "package:Debian package: build, install into a scratch root, use, remove"
    "windows:Windows build, end-to-end tests under Wine"
)

stage_title() {
    local entry
    for entry in "${stages[@]}"; do
        [ "${entry%%:*}" = "$1" ] && { echo "${entry#*:}"; return 0; }
    done
    return 1
}

run_stage() {
    local name=$1 title
    title=$(stage_title "$name")
    echo "== $title"
    local started=$SECONDS
    "stage_$name"
    echo "== $title: done in $((SECONDS - started)) s"
}

main() {
    local entry name chosen=()
    if [ "${1:-}" = --list ]; then
        for entry in "${stages[@]}"; do printf '%-10s %s\n' "${entry%%:*}" "${entry#*:}"; done
        return 0
    fi
    if [ $# -eq 0 ]; then
        for entry in "${stages[@]}"; do chosen+=("${entry%%:*}"); done
    else
        for name in "$@"; do
            if ! stage_title "$name" >/dev/null; then
                echo "unknown stage '$name'; the stages are: $(for entry in "${stages[@]}"; do printf '%s ' "${entry%%:*}"; done)" >&2
                return 2
            fi
            chosen+=("$name")
        done
    fi
    for name in "${chosen[@]}"; do run_stage "$name"; done
}

main "$@"
