#!/bin/sh
# Writes the large benchmark inputs into a folder (default /tmp/orvex-bench):
#   ens1000.pdb     the 20 models of examples/2MJB.pdb repeated 50 times as MODELs 1-1000
#                   (about 100 MB, 1.23 million atom records)
#   chain46.pdb     46 copies of the model of examples/2MJB_model1.pdb, each shifted 60 A
#                   further along x and renumbered into one chain (3 496 residues)
#   chain46.tab     N-H, HA-CA and C-CA couplings of chain46.pdb back-calculated from a fixed
#                   tensor by Orvex itself (about 10 000 couplings)
# Usage: sh bench/make-inputs.sh [ORVEX_EXE] [OUT_DIR]
set -eu
cd "$(dirname "$0")/.."
exe=${1:-build/Orvex}
out=${2:-/tmp/orvex-bench}
mkdir -p "$out"

awk 'BEGIN { m = 0 }
     /^MODEL/ { m++; printf "MODEL     %4d\n", m; next }
     /^ENDMDL/ || /^TER/ || /^ATOM/ || /^HETATM/ { print; next }' \
    $(for i in $(seq 50); do printf 'examples/2MJB.pdb '; done) >"$out/ens1000.pdb"
echo "END" >>"$out/ens1000.pdb"

awk 'BEGIN { serial = 0 }
     /^ATOM/ { atoms[++n] = $0 }
     END {
         for (k = 0; k < 46; k++)
             for (i = 1; i <= n; i++) {
                 a = atoms[i]
                 res = substr(a, 23, 4) + 76 * k
                 x = substr(a, 31, 8) + 60.0 * k
                 serial++
                 printf "%s%5d%s%4d%s%8.3f%s\n", substr(a, 1, 6), serial % 100000, substr(a, 12, 11), res,
                        substr(a, 27, 4), x, substr(a, 39)
             }
         print "END"
     }' examples/2MJB_model1.pdb >"$out/chain46.pdb"

(cd "$out" && "$OLDPWD/$exe" -pdb chain46.pdb -fixed -da -4.4e-4 -rh 0.3 -rx 40 -ry 70 -rz 110 \
    -classHN,N -classHA,CA -classCA,C -outD chain46.tab >/dev/null 2>&1) || true
grep -c '^ *[0-9]' "$out/chain46.tab" | sed 's/^/couplings in chain46.tab: /'
ls -l "$out"
