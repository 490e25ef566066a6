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

# fiu-utils: the end-to-end tests make system calls fail with libfiu's fiu-run.
stage_main_build() {
    need_packages "${build_packages[@]}" libxml2-utils fiu-utils
    build_tree "$build_dir" -DCMAKE_BUILD_TYPE=Release -DQUORLAN_TESTS=ON
    ctest --test-dir "$build_dir" --output-on-failure -j2
}

# A second tree built by clang with AddressSanitizer and UndefinedBehaviorSanitizer (and
# warnings as errors): the whole suite again, and the fuzz targets as libFuzzer programs.
asan_dir=${QUORLAN_ASAN_DIR:-$repo_root/build-asan}
stage_sanitizers() {
    need_packages "${build_packages[@]}" clang libclang-rt-14-dev libxml2-utils fiu-utils
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
            # Read recursively: the real-world exports of tests/data/vcards among them.
            seeds+=("$repo_root/tests/data")
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

# A generated 3 GiB card file through the release build, read as it is and decoded
# (DECODE=1), each in constant memory.
stage_large_input() {
    "$repo_root/bench/large_input.sh" "$build_dir/quorlan"
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

run_stage "sanitizer build (ASan, UBSan) and tests" stage_sanitizers
run_stage "fuzzing" stage_fuzzing
run_stage "3 GiB input" stage_large_input

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

# The Debian package, built by CPack from the main build, checked without touching the
# system: its metadata and contents, then an install into a scratch root of its own (as
# root; otherwise an unpacked tree), the program used from there on the example folder as
# a user would use it, and a removal that must leave nothing. A quorlan package or a
# quorlan in /usr/local that the user installed stays as it was.
stage_package() {
    need_packages dpkg-dev file man-db groff-base
    check_manual
    local version package_dir=$build_dir/package
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
    rm -rf "$package_dir"
    cmake --build "$build_dir" >/dev/null  # cpack packs what is built; it builds nothing
    (cd "$build_dir" && cpack -G DEB -B "$package_dir" >/dev/null)
    local deb=$package_dir/quorlan_${version}_$(dpkg --print-architecture).deb
    local system_before status=0 root
    system_before=$(system_quorlan)
    dpkg-deb --field "$deb" Package Version Depends Description
    [ "$(dpkg-deb --field "$deb" Package)" = quorlan ] || package_check_failed "the package is not called quorlan"
    [ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || package_check_failed "the package is not version $version"
    local path contents
    contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
    for path in ./usr/bin/quorlan ./usr/share/man/man1/quorlan.1.gz ./usr/share/doc/quorlan/copyright; do
        grep -qx "$path" <<<"$contents" || package_check_failed "no $path in the package"
    done
    root=$(mktemp -d)
    if [ "$(id -u)" -eq 0 ]; then
        # A root of its own, with an empty package database: its dependencies are not
        # there, and its maintainer scripts (it has none) would run inside it.
        mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
        touch "$root/var/lib/dpkg/status"
        # Some images leave manual pages out of every package; this one's page must be there.
        local scratch=(--root="$root" --force-depends --force-script-chrootless --path-include='/usr/share/man/man1/quorlan.1.gz')
        # The missing dependencies are expected there: dpkg's complaint is shown only on failure.
        dpkg "${scratch[@]}" -i "$deb" >"$root.log" 2>&1 || { cat "$root.log" >&2; package_check_failed "dpkg --root could not install it"; }
        rm -f "$root.log"
        check_package_tree "$root" "$version" || status=1
        dpkg --root="$root" --force-script-chrootless -r quorlan >/dev/null || package_check_failed "dpkg --root could not remove it"
        if [ -n "$(find "$root/usr" -type f 2>/dev/null)" ]; then
            package_check_failed "dpkg -r quorlan left files behind: $(find "$root/usr" -type f | tr '\n' ' ')"
        fi
    else
        echo "not root: the package is checked unpacked, not installed"
        dpkg-deb -x "$deb" "$root"
        check_package_tree "$root" "$version" || status=1
    fi
    rm -rf "$root"
    [ "$(system_quorlan)" = "$system_before" ] || package_check_failed "the system's quorlan changed: $system_before"
    return $status
}

package_check_failed() {
    echo "package: $*" >&2
    status=1
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
# does not hold: every check returns on its own.
check_package_tree() {
    local root=$1 version=$2 work status=0
    local exe=$root/usr/bin/quorlan page=$root/usr/share/man/man1/quorlan.1.gz
    [ -x "$exe" ] || package_check_failed "no program at /usr/bin/quorlan"
    [ "$("$exe" --version | head -n 1)" = "quorlan $version" ] || package_check_failed "--version does not say $version"
    [ -f "$page" ] || package_check_failed "no manual page at /usr/share/man/man1/quorlan.1.gz"
    grep -q 'quorlan' <<<"$(MANWIDTH=80 man -l "$page" 2>/dev/null)" || package_check_failed "man -l can't show the page"
    work=$(mktemp -d)
    cp "$repo_root"/examples/quorlan.ini "$repo_root"/examples/contacts.vcf "$work"
    (cd "$work" && "$exe") || package_check_failed "quorlan failed on the example folder"
    cmp "$work/phonebook.xml" "$repo_root/tests/data/example_phonebook.xml" || package_check_failed "wrong phonebook.xml"
    rm -rf "$work"
    [ $status -eq 0 ] && echo "packaged quorlan $version converted the example folder"
    return $status
}

# The Windows executable, cross-compiled with MinGW-w64 and linked statically, must
# pass the same end-to-end tests under Wine as the Linux one.
stage_windows() {
    need_packages g++-mingw-w64-x86-64-posix wine wine64
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

run_stage "Debian package: build, install into a scratch root, use, remove" stage_package
run_stage "Windows build, end-to-end tests under Wine" stage_windows
