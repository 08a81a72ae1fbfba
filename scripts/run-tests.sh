#!/bin/sh
# Builds Orvex and runs the whole test suite (installs the build tools first when run as
# root on a machine that lacks them). Usage: sh scripts/run-tests.sh [--sanitize]
set -eu
cd "$(dirname "$0")/.."
. scripts/ensure-tools.sh

build=build
flags=""
if [ "${1:-}" = "--sanitize" ]; then
    build=build-sanitize
    flags="-DORVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo"
fi
# shellcheck disable=SC2086
cmake -S . -B "$build" -DORVEX_BUILD_TESTS=ON $flags >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure --no-tests=error -j"$(nproc)"
