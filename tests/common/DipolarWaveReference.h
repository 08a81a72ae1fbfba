// The dipolar wave of a helix written out for the tests: the coupling of one bond from the wave
// parameters, the bond table, and a table of couplings simulated from known parameters.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/KnownTensor.h"
#include "common/TestUtil.h"

namespace wavetest {

struct Wave {
    double ru0, thetaAve, phiAve, da, rh, delta;   // angles in degrees
};

// A coupled pair of one residue: atom names as the table gives them, the bond's phase offset a and
// angle b relative to N-H (degrees), and |DI| of its class at the standard distance.
struct Bond {
    const char* nameI;
    const char* nameJ;
    double a, b, absDI;
};

inline const Bond& bondNH() {
    static const Bond b{"N", "H", 0, 0, knowntensor::constant(knowntensor::gH, knowntensor::gN, 1.041)};
    return b;
}
inline const Bond& bondHACA() {
    static const Bond b{"HA", "CA", 42.5, 48.3, knowntensor::constant(knowntensor::gH, knowntensor::gC, 1.107)};
    return b;
}
inline const Bond& bondCCA() {
    static const Bond b{"C", "CA", -132.0, 33.0, knowntensor::constant(knowntensor::gC, knowntensor::gC, 1.525)};
    return b;
}

// The coupling of bond `bond` of residue n:
//   x = ((n - 1) 360/3.607 - Ru0 + a), delta' = delta + b,
//   cos(theta) = cos(THETA_AVE) cos(delta') - sin(THETA_AVE) sin(delta') cos(x),
//   phi = PHI_AVE + asin(sin(delta') sin(x) / sin(theta)),
//   D = Da [3 cos^2(theta) - 1 + 1.5 Rh sin^2(theta) cos(2 phi)] |DI|.
inline double coupling(const Wave& w, int n, const Bond& bond) {
    const double k = M_PI / 180;
    const double x = ((n - 1) * 360 / 3.607 - w.ru0 + bond.a) * k;
    const double d = (w.delta + bond.b) * k, t = w.thetaAve * k;
    const double c = std::cos(t) * std::cos(d) - std::sin(t) * std::sin(d) * std::cos(x);
    const double s2 = 1 - c * c;
    const double phi = w.phiAve * k + std::asin(std::sin(d) * std::sin(x) / std::sqrt(s2));
    return w.da * ((3 * c * c - 1) + 1.5 * w.rh * s2 * std::cos(2 * phi)) * bond.absDI;
}

// A table of the couplings of `bonds` for residues 1..residues (residue name ALA), written to path.
inline void writeTable(const std::string& path, const Wave& w, const std::vector<Bond>& bonds, int residues,
                       const std::string& extraRows = "") {
    std::string text = "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n"
                       "FORMAT %5d %6s %6s %5d %6s %6s %20.14f\n";
    for (const Bond& b : bonds)
        for (int n = 1; n <= residues; n++) {
            char row[160];
            std::snprintf(row, sizeof row, "%5d %6s %6s %5d %6s %6s %20.14f\n", n, "ALA", b.nameI, n, "ALA", b.nameJ,
                          coupling(w, n, b));
            text += row;
        }
    testutil::writeFile(path, text + extraRows);
}

}  // namespace wavetest
