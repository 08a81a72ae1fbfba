// The dipolar wave of a regular alpha helix: the couplings of a helix follow from its average
// orientation in the alignment frame (THETA_AVE, PHI_AVE), its phase Ru0 and the angle delta between
// the amide N-H bond and the helix axis, without atomic coordinates. Every other bond of a residue
// sits at a fixed phase offset a and an angle b added to delta, relative to the N-H bond.
#pragma once

namespace dipolar_wave {

// Residues per helical turn in the calculation (the comment lines of the result table say 3.6).
constexpr double kResiduesPerTurn = 3.607;

// A bond of a modelled coupling class relative to the N-H bond, degrees.
struct BondGeometry {
    double phaseOffset;   // a: added to the residue's phase Ru - Ru0
    double deltaOffset;   // b: added to delta
};

// The geometry of coupling class dcClass (HN_N 1, HN_C 3, N_CA 5, N_C 6, HA_CA 7, CA_CB 9, C_CA 10);
// false for every other class, which the wave does not model.
inline bool bondGeometry(int dcClass, BondGeometry& g) {
    switch (dcClass) {
    case 1: g = {0, 0}; return true;           // HN_N
    case 9: g = {0, 0}; return true;           // CA_CB
    case 3: g = {-33.7, 32.06}; return true;   // HN_C
    case 5: g = {130.1, 38.2}; return true;    // N_CA
    case 6: g = {-37.2, 57.0}; return true;    // N_C
    case 7: g = {42.5, 48.3}; return true;     // HA_CA
    case 10: g = {-132.0, 33.0}; return true;  // C_CA
    default: return false;
    }
}

// Phase Ru of residue n along the helix, degrees: residue 1 at 0, one turn per 3.607 residues.
inline double residuePhase(int n) { return (n - 1) * 360.0 / kResiduesPerTurn; }

}  // namespace dipolar_wave
