#!/bin/sh
# Runs the same command lines with two Orvex executables and reports every difference in
# standard output (running-time line masked), the error stream and the result files.
# Usage: sh scripts/compare-builds.sh OLD_EXE NEW_EXE [CASES_FILE]
# CASES_FILE holds one command line per line (arguments after the program name; paths relative
# to the project root; "#" starts a comment). The default is scripts/compare-cases.txt.
set -eu
old=$(readlink -f "$1")
new=$(readlink -f "$2")
cd "$(dirname "$0")/.."
root=$(pwd)
cases=${3:-scripts/compare-cases.txt}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
n=0
bad=0
while IFS= read -r line; do
    case "$line" in ''|'#'*) continue ;; esac
    n=$((n + 1))
    for side in old new; do
        exe=$old
        [ "$side" = new ] && exe=$new
        d="$work/$n/$side"
        mkdir -p "$d"
        # every relative path is resolved from the project root; outputs land in the case folder
        (cd "$d" && ln -s "$root/examples" examples && ln -s "$root/../shared" shared && \
            eval "\"$exe\" $line" >stdout 2>stderr; echo $? >status) || true
        sed -i 's/Running time (main): .* seconds/Running time (main): X seconds/' "$d/stdout"
        # MASK_ATOM_COUNT=1 hides the atom number of the structure announcement
        if [ -n "${MASK_ATOM_COUNT:-}" ]; then
            sed -i 's/, atom #[0-9]*$/, atom #N/' "$d/stdout" "$d/stderr"
        fi
        rm -f "$d/examples" "$d/shared"
    done
    if ! diff -r "$work/$n/old" "$work/$n/new" >"$work/$n.diff" 2>&1; then
        bad=$((bad + 1))
        echo "== case $n differs: $line"
        head -40 "$work/$n.diff"
    fi
done <"$cases"
echo "$n cases, $bad with differences"
[ "$bad" -eq 0 ]
