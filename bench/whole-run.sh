#!/bin/sh
# The whole-process rows of the speed table, each measured with processTime_bench: the executable
# under test, optionally an earlier one, and `gemmi contents` of the same structure (the stand-in
# peer that merely reads it), run in turn round after round.
#   1  63 N-H couplings, model 1, default run (structure, residue jackknife, table written)
#   2  10 028 couplings of chain46 (3 496 residues), residue jackknife
#   3  the same, -JK_level C
#   4  the same, -noJK
#   5  the 1000-model ensemble, loading only
#   6  the same ensemble, full run with the 305 couplings of examples/2mjb_set500_backbone.tab
# At the end the result tables of the two executables are compared byte for byte.
# Usage: sh bench/whole-run.sh [NEW_EXE] [OLD_EXE|-] [INPUT_DIR] [RUNS]
# INPUT_DIR holds what bench/make-inputs.sh writes (made with NEW_EXE when missing); RUNS is the
# number of rounds of the large rows (the small row runs five times as many).
# processTime_bench comes from a build with -DORVEX_BUILD_BENCH=ON (build/ or build-bench/).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
new=$(readlink -f "${1:-build/Orvex}")
old=${2:--}
[ "$old" != - ] && old=$(readlink -f "$old")
dir=${3:-/tmp/orvex-bench}
runs=${4:-7}
timer=
for t in build/bench/processTime_bench build-bench/bench/processTime_bench; do
    [ -x "$t" ] && timer=$root/$t && break
done
[ -n "$timer" ] || { echo "build processTime_bench first (-DORVEX_BUILD_BENCH=ON)" >&2; exit 2; }
[ -f "$dir/chain46.tab" ] && [ -f "$dir/ens1000.pdb" ] || sh bench/make-inputs.sh "$new" "$dir" >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -srm), $(nproc) cores, load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "# new: $new"
[ "$old" != - ] && echo "# old: $old"

# row NAME ROUNDS STRUCTURE ARGS...: the run with each executable (result table NAME.tab), then
# the peer on STRUCTURE; NAME "-" writes no table
row() {
    name=$1 rounds=$2 structure=$3
    shift 3
    echo
    if [ "$name" = - ]; then echo "## loading only $*"; else echo "## $name $*"; fi
    newOut= oldOut=
    [ "$name" != - ] && newOut="-outD $out/new-$name.tab" && oldOut="-outD $out/old-$name.tab"
    # shellcheck disable=SC2086
    if [ "$old" != - ]; then
        "$timer" "$rounds" "$new" "$@" $newOut :: "$old" "$@" $oldOut :: gemmi contents "$structure"
    else
        "$timer" "$rounds" "$new" "$@" $newOut :: gemmi contents "$structure"
    fi
}

row small $((runs * 5)) examples/2MJB_model1.pdb -pdb examples/2MJB_model1.pdb -inD examples/ubq_bicelle_cornilescu2000_nh.tab
row chain46 "$runs" "$dir/chain46.pdb" -pdb "$dir/chain46.pdb" -inD "$dir/chain46.tab"
row chain46-jkC "$runs" "$dir/chain46.pdb" -pdb "$dir/chain46.pdb" -inD "$dir/chain46.tab" -JK_level C
row chain46-noJK "$runs" "$dir/chain46.pdb" -pdb "$dir/chain46.pdb" -inD "$dir/chain46.tab" -noJK
row - "$runs" "$dir/ens1000.pdb" -pdb "$dir/ens1000.pdb"
row ens1000 "$runs" "$dir/ens1000.pdb" -pdb "$dir/ens1000.pdb" -inD examples/2mjb_set500_backbone.tab

if [ "$old" != - ]; then
    echo
    for t in "$out"/new-*.tab; do
        name=${t#"$out"/new-}
        if cmp -s "$t" "$out/old-$name"; then echo "result table $name: the same"; else echo "result table $name: DIFFERS"; fi
    done
fi
