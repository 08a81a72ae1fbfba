#!/bin/sh
# Builds Orvex and runs the whole test suite twice: built normally (build/), then built with
# -fsanitize=address,undefined (build-sanitize/), where any sanitizer report stops the process
# with status 86 and fails its test. Installs the build tools first when run as root on a
# machine that lacks them.
# Usage: sh scripts/run-tests.sh             both runs
#        sh scripts/run-tests.sh --plain     the normal run only
#        sh scripts/run-tests.sh --sanitize  the sanitizer run only
set -eu
cd "$(dirname "$0")/.."
. scripts/ensure-tools.sh

run_suite() {  # build folder, extra cmake flags
    # shellcheck disable=SC2086
    cmake -S . -B "$1" -DORVEX_BUILD_TESTS=ON $2 >/dev/null
    cmake --build "$1" -j"$(nproc)"
    ctest --test-dir "$1" --output-on-failure --no-tests=error -j"$(nproc)"
}

# UBSan's own exit status (1) is the status of every completed Orvex run, so both sanitizers
# exit with 86 instead, which no test expects; the first report ends the process.
sanitized() {
    export ASAN_OPTIONS="halt_on_error=1:exitcode=86:detect_leaks=1"
    export UBSAN_OPTIONS="halt_on_error=1:exitcode=86:print_stacktrace=1"
    run_suite build-sanitize "-DORVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo"
}

case "${1:-}" in
    --plain) run_suite build "" ;;
    --sanitize) sanitized ;;
    "") run_suite build "" && sanitized ;;
    *) echo "usage: sh scripts/run-tests.sh [--plain | --sanitize]" >&2; exit 2 ;;
esac
