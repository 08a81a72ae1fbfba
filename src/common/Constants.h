// Physical and numerical constants shared by the coupling, tensor and fitting code.
#pragma once

namespace orvex {

// Dipolar constant of an amide N-H pair at 1.041 A, in Hz: the reference value for
// default weights, minimum uncertainties, Da_HN and the Da-normalised Q factor.
constexpr double kDmaxNH = -21585.2;
constexpr double kDmaxNHAbs = 21585.2;

// Turns gamma_I * gamma_J / r^3 (gammas in rad s^-1 T^-1, r in A) into Hz;
// includes the factor 2 of the dipolar coupling definition.
constexpr double kDIPrefactor = 3.356809033771374e-12;

// Gyromagnetic ratios, rad s^-1 T^-1, chosen by the first letter of an atom name.
constexpr double kGammaC = 67.283e6;
constexpr double kGammaD = 41.066e6;
constexpr double kGammaF = 251.7e6;
constexpr double kGammaH = 267.5198e6;
constexpr double kGammaN = -27.116e6;
constexpr double kGammaP = 108.29e6;

constexpr double kSqrt3 = 1.7320508075688772;
constexpr double kRadToDeg = 57.29577951308232;   // tensor conversions and reports
constexpr double kRadToDegShort = 57.29577951;    // angle accumulators of the back-calculation
constexpr double kPi = 3.14159265358979323846;

// A coupling value above this was not measured; 9999 is the placeholder.
constexpr double kUnmeasured = 9000.0;
constexpr double kUnmeasuredValue = 9999.0;
// Couplings above this never enter a fit; D_DIFF is printed as 9999 above it.
constexpr double kFitMaxD = 900.0;

// Absent command-line values and unset residue ranges.
constexpr int kAbsent = -9999;
constexpr int kRangeFirstUnset = 9999;
constexpr int kRangeLastUnset = -9999;

}  // namespace orvex
