#!/bin/sh
# Builds Orvex and runs it on the bundled example (installs the build tools first when run
# as root on a machine that lacks them).
set -eu
cd "$(dirname "$0")/.."
. scripts/ensure-tools.sh

cmake -S . -B build -DORVEX_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target Orvex
./build/Orvex -help || true
