#!/usr/bin/env bash
# Sets up a Debian machine for velTesseraComm (installing the packages the build needs when they
# are missing) and builds it.
#
#   ./setup.sh         build everything, optimised, list what was built and run `tessera demo`:
#                      a whole enrollment against a private tessera-ca on loopback ports
#   ./setup.sh test    build and run every test: formatting, the Windows cross build with its
#                      tests under Wine, a minute of fuzzing per fuzz target, the plain build's
#                      tests and the tests under AddressSanitizer + UBSan
set -euo pipefail
cd "$(dirname "$0")"

packages=(
    cmake ninja-build g++ git python3
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 libwine-dev
    clang-format clang libclang-rt-14-dev chromium
    pkg-config libcurl4-openssl-dev libssl-dev openssl libsqlite3-dev libcpp-httplib-dev
    libmicrohttpd-dev libgnutls28-dev libcli11-dev zlib1g-dev
)

install_missing_packages() {
    local missing=() package
    for package in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
            missing+=("$package")
    done
    ((${#missing[@]} == 0)) && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing missing packages: ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends "${missing[@]}" >/dev/null
}

# build PRESET [TARGET...]: configure and build the preset, only the named targets when given.
build() {
    local preset=$1
    shift
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" ${1:+--target "$@"}
}

# leg NAME COMMAND...: runs one leg of the test job and says how long it took.
leg() {
    local name=$1 started=$SECONDS
    shift
    echo "== $name"
    "$@"
    echo "== $name: $((SECONDS - started)) s"
}

check_formatting() {
    git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
}

run_tests() {
    build "$1"
    ctest --preset "$1" -j "$(nproc)"
}

# A minute per fuzz target, from its seeds and what earlier runs in this build tree found. A crash,
# leak, timeout or memory blow-up fails the job and leaves the input in build/fuzz/artifacts.
run_fuzzers() {
    build fuzz markup_parser_fuzzer markup_scanner_fuzzer
    local target log
    for target in parser scanner; do
        log=build/fuzz/markup_${target}_fuzzer.log
        mkdir -p "build/fuzz/corpus/$target" build/fuzz/artifacts
        if ! "build/fuzz/fuzz/markup_${target}_fuzzer" -dict=fuzz/markup.dict \
            -max_total_time=60 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
            -artifact_prefix=build/fuzz/artifacts/ "build/fuzz/corpus/$target" \
            "fuzz/corpus/$target" >"$log" 2>&1; then
            tail -n 60 "$log"
            echo "markup_${target}_fuzzer failed; full output in $log" >&2
            return 1
        fi
        grep -E '^Done [0-9]+ runs' "$log" | sed "s/^/  markup_${target}_fuzzer: /"
    done
}

main_job() {
    build release
    echo
    echo "Built (build/release):"
    find build/release -maxdepth 3 -type f \( -name '*.so*' -o -name '*.a' -o -perm -u+x \) \
        ! -path '*/CMakeFiles/*' ! -name '*.cmake' | sort | sed 's/^/  /'
    echo
    echo "Benchmarks: build/release/bench/{utility,markup,proxy,conversation}_bench"
    echo
    echo "Running build/release/tools/tessera/tessera demo:"
    build/release/tools/tessera/tessera demo
    echo
    echo "All tests:  ./setup.sh test"
}

test_job() {
    local started=$SECONDS
    leg "clang-format" check_formatting
    leg "mingw cross build, automation tests under Wine" run_tests mingw
    leg "fuzz targets (libFuzzer, ASan + UBSan)" run_fuzzers
    leg "debug build and tests" run_tests debug
    leg "asan build and tests (AddressSanitizer + UBSan)" run_tests asan
    echo "== all tests passed in $((SECONDS - started)) s"
}

install_missing_packages
case "${1:-}" in
    "") main_job ;;
    test) test_job ;;
    *)
        echo "usage: $0 [test]" >&2
        exit 2
        ;;
esac
