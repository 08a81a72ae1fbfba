// One residual dipolar coupling: observed value, weight and uncertainty, atom identities,
// the atom pairs found in every conformer and the five design-matrix coefficients.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "io/PDB.h"
#include "numeric/MatVec.h"

class DTensor;

class DipolarCouplingData {
public:
    int id = 0;
    int absFlag = 0;
    int count = 1;
    int valid = 1;        // 0 when no atom pair was found
    int selected = 1;     // used in the working fit
    int selected_v = 1;   // used for validation
    int CLASS = 0;        // class code, index into DCTypeList
    int resIDI = 0, resIDJ = 0;
    std::string resNameI, resNameJ, atomNameI, atomNameJ, chainNameI, chainNameJ;
    std::string segNameI, segNameJ, atomTypeI, atomTypeJ;
    double d = 9999;      // observed coupling, Hz; above 9000 = not measured
    double dCalc = 0;
    double dCalc_jk = 0;
    double ddc = 0, ddcCalc = 0;
    double di = 0;        // dipolar interaction constant as given or set by the class rules
    double diCalc = 0;    // the DI in use for back-calculation
    double w = 1, wCalc = 0;
    double sigma = 1, sigmaCalc = 0;
    double derivativeErr = 0;
    double theta = 9999, phi = 9999;
    double dtheta = 0, dphi = 0;
    double da_jk = 0, dr_jk = 0;
    std::array<double, 5> saupe_jk{};
    double tensor_jk_multiTensor_nsp = 0;
    std::array<double, 10> da_jk_multiTensor{};
    std::array<double, 10> dr_jk_multiTensor{};
    double s = 1.0, fc = 1.0;
    int diFixedFlag = 1;  // 1: standard or user-kept DI; 0: DI from the structure's distance
    std::vector<CORdata> atomI, atomJ;   // matched pairs over all conformers, index k with k
    int atomICount = 0, atomJCount = 0;
    int m = 0;            // conformer count of the structure used
    double rIJ = 0;       // weighted mean internuclear distance, A
    std::array<double, 5> A{};                // design-matrix row (occupancy-weighted average)
    std::vector<std::array<double, 5>> Ai;    // coefficients of every single pair
    Vec3 v = {0, 0, 0};
    std::vector<std::array<double, 3>> vi;    // unit vector of every pair
    int isMethyl = 0;
    int isMethylCC = 1;   // methyl pairs: 1 C-C axis, 0 idealised C-H3 protons

    DipolarCouplingData() = default;
    virtual ~DipolarCouplingData() = default;

    // Coefficient k of pair g; pairs that do not exist read as 0.
    double getAi(size_t g, int k) const { return g < Ai.size() ? Ai[g][k] : 0.0; }

    void buildDC(const PDB& pdb);
    void calcDC(const double* saupe, int n);
    void calcDC(const double* saupe, const std::vector<double>& weights);
    void calcDC(const Mat4 rotation, double Da, double Dr);
    void calcDC(const Mat4 rotation, double Da, double Dr, const std::vector<double>& weights);
    void calcDC(const std::vector<DTensor>& tensors);

private:
    void calcDCRotation(const Mat4 rotation, double Da, double Dr, const std::vector<double>* weights);
};
