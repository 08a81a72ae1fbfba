// The alignment tensor record: Saupe elements and their uncertainties, principal values,
// Da/Dr/Rh, Euler angles, fit settings and chemical-shift-tensor parameters.
// Saupe vector order: coupling mode (Szz, Sxx-Syy, Sxy, Sxz, Syz);
// RCSA mode (isRCSA) (Syy, Szz, Sxy, Sxz, Syz).
#pragma once

#include <array>
#include <string>

#include "numeric/MatVec.h"

class DTensor {
public:
    double daRef = 0, drRef = 0, rhRef = 0;
    double psiRef = 0, thetaRef = 0, phiRef = 0;
    double psiRel = 0, thetaRel = 0, phiRel = 0;
    double psiOff = 0, thetaOff = 0, phiOff = 0;
    double psiAdd = 0, thetaAdd = 0, phiAdd = 0;
    double da = 0, daMin = 0, daMax = 0;
    double da_jk_stdev = 0;
    double dr = 0, drMin = 0, drMax = 0;
    double rh = 0, rhMin = 0, rhMax = 0;
    double rh_jk_stdev = 0;
    double gridStep = 0;
    double psiList[8] = {}, psi = 0, psiMin = 0, psiMax = 0;
    double thetaList[8] = {}, theta = 0, thetaMin = 0, thetaMax = 0;
    double phiList[8] = {}, phi = 0, phiMin = 0, phiMax = 0;
    std::array<double, 5> saupe{};
    std::array<double, 5> dSaupe{};
    std::array<double, 5> Saupe_jk{};
    std::array<double, 5> dSaupe_jk{};
    std::array<double, 5> Tensor10_jk{};
    std::array<double, 5> dTensor10_jk{};
    double saupe_epsilon = 0;
    double eigVal[3] = {};
    double sXYZ[3] = {};
    double dcRMS = 0;
    double fc = 1.0;
    int eulerFlag = 1;
    int eulerCount = 0;
    int tensorMode = 1;   // 1 SVD, 2 given Saupe, 3 nonlinear, 5 fixed, 8 dipolar wave, 10 shape
    int fitMode = 0;
    int rotRefFlag = 0;
    int autoFlag = 0, autoSignFlag = 0, rhFlag = 0;
    int daScaleFlag = 1;
    int bestIter = 0;
    int fitFlag_JK = 1;
    int N_JK = 0;
    int methylCCFlag = 0;
    int saItStep1 = 100, saItStep2 = 1000, saItStep3 = 1000;
    int saFitFlag = 0, saTryCount = 10, saPowellFlag = 1;
    Mat4 m = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    Mat3 mRot = {};
    Vec4 dd = {};
    Mat4 vv = {};
    double tau = 0, s = 0, Ru0 = 0, thetaAve = 0, phiAve = 0;
    double expC = 0, expCMin = 0, expCMax = 0;
    int expResOffset = 0;
    double culling_Q = 0, culling_percent = 0;
    bool byRes = true;
    int searchLevel = 0;
    double VWfit_w[500] = {};
    int first_W_nonzero = 0;
    bool isRCSA = false;
    double beta_H = 8.0, beta_N = 16.0, beta_C = 38.0;
    double H_dii[3] = {-5.8, 0.0, 5.8};
    double N_dii[3] = {-108.5, 45.7, 62.8};
    double C_dii[3] = {-75.0, -12.0, 87.0};
    bool first_time = false, allowTinyDD = false;

    DTensor();
    virtual ~DTensor() = default;

    // full = 1 also resets the reference/relative/offset/addition angles, the Da/Dr
    // references, rotRefFlag, daScaleFlag, dcRMS and fc.
    void initTensor(int full);
    bool eulerNEQ(double a, double b) const;   // |a - b| > 0.0005
    static double adj180(double a);            // wrapped into [-180, 180]

    // ---- conversions and report ----
    // Saupe vector -> eigVal, sXYZ, m, vv, da, dr and the Euler solution lists; returns the number of
    // solutions, 0 when the diagonalisation fails. The caller stores the count in eulerCount.
    int saupe2euler();
    // The first half of saupe2euler: eigVal, sXYZ, m, vv, da and dr, without the Euler solutions
    // (what a jackknife trial needs); false when the diagonalisation fails (da = dr = 0 then).
    bool saupe2principal();
    // M = transpose of vv: its rows are the principal axes, so that a row vector u times M gives
    // u in the principal frame (the frame every back-calculation from da, dr works in).
    void principalFrame(Mat4 M) const;
    // Cyclic Jacobi on the upper triangle of A: eigenvalues into dd, eigenvectors into the columns
    // of vv. 0 = converged, 1 = not converged in 50 sweeps.
    int diag3By3(const Mat3 A);
    // Sorts sXYZ by magnitude with the columns of vv (determinant kept), then transposes vv.
    int eigsrt3By3NegRevTP();
    // Euler solutions (degrees) of R = Rz(phi)*Ry(theta)*Rx(psi); returns their number (1..8).
    int rot2euler(const Mat3 R);
    // One solution by direct formulas into entry i of the lists, in radians (a step of rot2euler).
    int rot2euler1(const Mat3 R, int i);
    // True when the angles (radians) reproduce R within 0.0005 per tested element.
    bool eulerTest(const Mat3 R, double psiR, double thetaR, double phiR, int testNo) const;
    // da, dr, psi, theta, phi -> sXYZ and saupe.
    int euler2saupe2();
    // Shape tensor from a gyration tensor G; returns the number of Euler solutions, 0 on failure.
    int pdbGyratioTensor2saupe(const Mat3 G, double scale);
    // The tensor text block of every result header; sets mRot. The argument has no effect.
    std::string reportTensor(int level);
    // Principal axes of the chemical-shift tensor (type 1 H, 2 N, 3 C) from three atom positions.
    void calc_RCSA_Tensor_axis(const Vec3 a, const Vec3 b, const Vec3 c, Vec3 out1, Vec3 out2, Vec3 out3,
                               int type);
};
