// One residual chemical shift anisotropy record (RCSA mode): the observed shift change of an
// amide proton, amide nitrogen or carbonyl carbon, and what the fits read of its chemical-shift
// tensor in every conformer: per conformer its weight, principal axes and five coefficients,
// and the averaged design-matrix row.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "numeric/MatVec.h"

class DTensor;
class PDB;

class RCSA_Data {
public:
    // RCSA classes (CLASS), from the atom name.
    static constexpr int kClassNone = -1;
    static constexpr int kClassHN = 1;   // amide proton (a name H is read as HN)
    static constexpr int kClassN = 2;    // amide nitrogen
    static constexpr int kClassC = 3;    // carbonyl carbon, built on the plane C(i-1) N(i) HN(i)

    int id = 0, absFlag = 0, count = 1, valid = 1, selected = 1, selected_v = 1, CLASS = kClassNone, resID = 0;
    std::string resName, atomName, chainName, segName, atomType;
    // Positions of C(i-1), N(i), HN(i) and the principal axes of the chemical-shift tensor, of
    // the last conformer built.
    Vec3 vc = {0, 0, 0}, vn = {0, 0, 0}, vh = {0, 0, 0};
    Vec3 s11 = {0, 0, 0}, s22 = {0, 0, 0}, s33 = {0, 0, 0};
    double d = 9999;      // observed RCSA, ppb; above 9000 = not measured
    double dCalc = 0, dCalc_jk = 0, ddc = 0, ddcCalc = 0, di = 0, diCalc = 0;
    double w = 1, wCalc = 0, sigma = 1, sigmaCalc = 0;
    double da_jk = 0, dr_jk = 0;
    std::array<double, 10> da_jk_multiTensor{}, dr_jk_multiTensor{};
    // Conformer c (in the order built, one contiguous entry each; the atom records themselves
    // are not kept): the three principal axes s11, s22, s33 of its chemical-shift tensor,
    std::vector<std::array<std::array<double, 3>, 3>> csa_tensor_v_maps;
    double dii[4] = {0, 0, 0, 0};   // principal values of the chemical-shift tensor, ppb (first three used)
    int atomCount = 0;    // conformers built
    int m = 0;            // conformer count of the structure
    std::array<double, 5> A{};                // design-matrix row (occupancy-weighted average)
    std::vector<std::array<double, 5>> Ai;    // its five coefficients, without weight,
    std::vector<double> wi;                   // and its weight: the HN's occupancy / m
    Vec3 v = {0, 0, 0};   // scratch axis

    RCSA_Data() = default;
    RCSA_Data(const RCSA_Data&) = default;
    RCSA_Data(RCSA_Data&&) = default;
    RCSA_Data& operator=(const RCSA_Data&) = default;
    RCSA_Data& operator=(RCSA_Data&&) = default;
    virtual ~RCSA_Data() = default;

    // Class of an atom name: HN or H 1, N 2, C 3, anything else -1.
    static int classOf(const std::string& atomName);

    // The chemical-shift tensor of every conformer from the peptide plane C(resID-1) N HN:
    // principal values of the record's class from the tensor (ppm, stored in ppb), axes by
    // DTensor::calc_RCSA_Tensor_axis, coefficients Ai and their weighted average A. A conformer
    // that lacks one of the three atoms makes the record invalid, with a warning.
    void buildRCSA(const PDB& pdb, DTensor& tensor);

    // Back-calculation; every form sets dCalc (ppb). The Saupe vector is in RCSA order
    // (Syy, Szz, Sxy, Sxz, Syz).
    void calcRCSA(const double* saupe);                                       // sum A[i] S[i]
    void calcRCSA(const double* saupe, const std::vector<double>& weights);   // per conformer
    void calcRCSA(const Mat4 rotation, double Da, double Dr);
    void calcRCSA(const Mat4 rotation, double Da, double Dr, const std::vector<double>& weights);

private:
    void calcRCSARotation(const Mat4 rotation, double Da, double Dr, const std::vector<double>* weights);
};
