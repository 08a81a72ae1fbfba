// One residual dipolar coupling: observed value, weight and uncertainty, atom identities,
// and what the fits read of the atom pairs found in every conformer: per pair its weight,
// unit vector and five coefficients, and the averaged design-matrix row.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "numeric/MatVec.h"

class DTensor;
class PDB;
struct AtomPair;

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
    int atomICount = 0, atomJCount = 0;   // number of atom pairs found over all conformers
    int m = 0;            // conformer count of the structure used
    double rIJ = 0;       // weighted mean internuclear distance, A
    std::array<double, 5> A{};                // design-matrix row (occupancy-weighted average)
    // Pair k of every conformer, one contiguous entry per pair (the atom records themselves
    // are not kept once the pairs are built):
    std::vector<std::array<double, 5>> Ai;    // its five coefficients, without weight
    Vec3 v = {0, 0, 0};
    std::vector<std::array<double, 3>> vi;    // its unit vector I - J
    // its weight occupancy / m: the occupancy of atom I when I has an alternate-location
    // indicator, else that of atom J
    std::vector<double> wi;
    std::vector<int> pairConformer;           // its conformer (MODEL) number
    int isMethyl = 0;
    int isMethylCC = 1;   // methyl pairs: 1 C-C axis, 0 idealised C-H3 protons

    DipolarCouplingData() = default;
    DipolarCouplingData(const DipolarCouplingData&) = default;
    DipolarCouplingData(DipolarCouplingData&&) = default;
    DipolarCouplingData& operator=(const DipolarCouplingData&) = default;
    DipolarCouplingData& operator=(DipolarCouplingData&&) = default;
    virtual ~DipolarCouplingData() = default;

    // Coefficient k of pair g; pairs that do not exist read as 0.
    double getAi(size_t g, int k) const { return g < Ai.size() ? Ai[g][k] : 0.0; }

    void buildDC(const PDB& pdb);
    // The same, with the caller's list for the matched pairs (emptied first), so that building
    // many couplings reuses one buffer.
    void buildDC(const PDB& pdb, std::vector<AtomPair>& pairs);
    void calcDC(const double* saupe, int n);
    void calcDC(const double* saupe, const std::vector<double>& weights);
    void calcDC(const Mat4 rotation, double Da, double Dr);
    void calcDC(const Mat4 rotation, double Da, double Dr, const std::vector<double>& weights);
    void calcDC(const std::vector<DTensor>& tensors);

    // One pair in the principal frame of a tensor. The unit vector u, a row vector, times the
    // upper 3x3 block of R gives (x, y, z), rho = sqrt(x^2 + y^2); with |DI| and the pair's
    // weight w the coupling is d = |DI| w (Da (3 z^2 - 1) + 1.5 Dr (x^2 - y^2)), and its
    // gradient on the unit sphere per degree is dTheta = dD/dtheta and dPhi = dD/dphi / sin(theta).
    struct FrameTerm {
        double x, y, z, rho;
        double d, dTheta, dPhi;
    };
    static FrameTerm principalFrameTerm(const Mat4 R, const double u[3], double Da, double Dr, double absDI,
                                        double w);

private:
    void calcDCRotation(const Mat4 rotation, double Da, double Dr, const std::vector<double>* weights);
};
