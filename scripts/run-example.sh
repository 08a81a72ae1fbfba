#!/bin/sh
# Builds Orvex and runs the standard SVD fit on the bundled example (ubiquitin 2MJB, 20-model
# ensemble, 305 backbone couplings), then shows the statistics of the result table.
# Installs the build tools first when run as root on a machine that lacks them.
set -eu
cd "$(dirname "$0")/.."
. scripts/ensure-tools.sh

cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target Orvex
mkdir -p out
status=0
./build/Orvex -pdb examples/2MJB.pdb -inD examples/2mjb_set500_backbone.tab -outD out/example.tab || status=$?
# a completed run ends with status 1
[ "$status" -eq 1 ] || { echo "Orvex ended with status $status" >&2; exit 1; }
echo
echo "== out/example.tab: statistics and tensor =="
sed -n '/^# Statistics of Fit/,/^DATA CORR_SLOPE /p; /^DATA Da_HN/p; /^DATA Rhombicity/p; /^DATA EULER_ANGLES/p' out/example.tab
