// The order-matrix SVD fit: the five Saupe elements fitted to the couplings by linear least
// squares, the fitted tensor diagonalised and every coupling back-calculated; also the
// leave-one-coupling-out and leave-one-residue-out jackknife built on the same rows.
#pragma once

#include <vector>

#include "couplings/DipolarCouplingData.h"
#include "couplings/RCSA_Data.h"
#include "numeric/LeaveGroupOutLS.h"
#include "numeric/SVD2.h"
#include "tensor/DTensor.h"

class SVDWorkData {
public:
    int dcCount = 0;     // couplings selected and valid, from the last counting pass
    int pdbCount = 0;    // conformers (at least 1)
    int svdCount = 0;    // couplings that enter the fit; every counting pass adds to it
    bool testMode = false;
    int Methyl_CC = 0;   // methyl C-C coupling mode (not read by these fits)
    std::vector<int> isMethylCC;   // per-coupling methyl C-C marks (not read by these fits)

    SVDWorkData();
    SVDWorkData(int, int);   // the arguments are not used
    virtual ~SVDWorkData() = default;

    // Saupe elements per tensor: the columns of the single fit, one block per tensor of the
    // multi-tensor fit.
    static constexpr int kParams = 5;

    // The weighted rows of the eligible couplings of one list, in list order: flat row-major
    // n x k design a, right-hand sides b and the list position of each row. The buffers keep
    // their capacity when the rows are built again.
    struct Rows {
        std::vector<double> a;
        std::vector<double> b;
        std::vector<int> pos;
        int n = 0;
        int k = kParams;
    };

    // Fit eligibility: selected, valid, measured value at most 900 Hz and weight not 0.
    static bool isFitEligible(const DipolarCouplingData& dc);
    // The design-matrix row of one coupling (5 values) and its right-hand side:
    // f = 1/|DI| (0 for DI = 0), h = 1/(sigma*f) (1 when that product is 0);
    // row = h*A, rhs = h*f*d, i.e. (|DI| A / sigma) s = d / sigma, or A s = d/|DI| for sigma 0.
    static void fitRow(const DipolarCouplingData& dc, double* row, double& rhs);
    // The row of one coupling for one tensor per atom pair (5 nPairs values): entry 5c + j is
    // h*Ai[c][j] for the pairs c < nPairs (a pair the coupling lacks reads as 0); f, h and the
    // right-hand side as in fitRow.
    static void fitRowPerPair(const DipolarCouplingData& dc, int nPairs, double* row, double& rhs);
    // The rows of every eligible coupling: 5 columns from A, or 5 nPairs from the pair
    // coefficients Ai.
    static void buildRows(const std::vector<DipolarCouplingData>& list, Rows& rows);
    static void buildRowsPerPair(const std::vector<DipolarCouplingData>& list, int nPairs, Rows& rows);
    // Trial numbers of the rows. Coupling jackknife: row r is trial r. Residue jackknife: one
    // trial per residue key max(resIDI, resIDJ), numbered in order of first appearance.
    // Both return the number of trials.
    static int couplingTrials(const Rows& rows, std::vector<int>& trialOf);
    static int residueTrials(const std::vector<DipolarCouplingData>& list, const Rows& rows,
                             std::vector<int>& trialOf);

    // Counting pass: pdbCount = max(nConf, 1); dcCount = couplings selected and valid;
    // svdCount += the fit-eligible couplings (not reset first). Returns the eligible count.
    int initDCSaupe(std::vector<DipolarCouplingData>& list, int nConf);

    // The single fit: saupe, dSaupe (square roots of the covariance diagonal), da, dr,
    // Euler lists of t; dCalc of every valid coupling with atoms on both ends. Exits with
    // status 0, silently, when no coupling is eligible. Returns the number of rows fitted.
    int findSaupe(DTensor& t, std::vector<DipolarCouplingData>& list, int nConf);

    // Counting, the jackknife when t.fitFlag_JK is set (by residue when t.byRes, else by
    // coupling), then the full fit on the list. Returns what findSaupe returns.
    int simD(std::vector<DipolarCouplingData>& list, int nConf, DTensor& t);

    // Leave-one-coupling-out jackknife: one trial per eligible coupling. Leaves in t the mean
    // Saupe vector, dSaupe_jk, saupe_epsilon, da_jk_stdev, rh_jk_stdev, N_JK, eulerCount (of the
    // mean tensor), and back-calculates the selected couplings from the mean tensor. Every
    // left-out coupling receives dCalc_jk, da_jk, dr_jk, saupe_jk. Returns N_JK.
    int findSaupe_jk(DTensor& t, std::vector<DipolarCouplingData>& list, int nConf);

    // Leave-one-residue-out jackknife: one trial per residue key max(resIDI, resIDJ), in the
    // order in which the keys first appear among the eligible couplings. Same results as the
    // coupling jackknife except eulerCount and the final back-calculation. Returns N_JK.
    int findSaupe_jk_byRes(DTensor& t, std::vector<DipolarCouplingData>& list, int nConf);

    // |a.b| / sqrt(|a|^2 |b|^2) over n elements (NaN for n < 1 or a zero vector).
    double calcNormScalarProduct(const double* a, const double* b, int n);
    // Copies n doubles; returns 0.
    int vvCopy(double* dst, const double* src, int n);
    // Arc cosine in radians, the argument clamped to [-1, 1].
    double arccos_(double x);
    // Back-calculation in the principal frame of t (diagonalised here) with the angular
    // derivatives and the polar angles of each coupling vector. Returns the couplings treated.
    int getSaupeD_all(std::vector<DipolarCouplingData>& list, DTensor& t, bool unused);

    // ---- RCSA records (SVDWorkData_rcsa.cpp): the same engine on the model A s = RCSA, with
    // the Saupe vector in RCSA order (Syy, Szz, Sxy, Sxz, Syz) ----
    // Fit eligibility as for couplings: selected, valid, value at most 900 and weight not 0.
    static bool isFitEligible(const RCSA_Data& r);
    // Full-fit row: h A with right-hand side h d, h = 1/(sigma f) with f = 1/|diCalc| (0 for
    // diCalc = 0), 1 when sigma f is 0 (as read, diCalc is 0 and every row has weight 1).
    static void rcsaFitRow(const RCSA_Data& r, double* row, double& rhs);
    // Jackknife row: u A with right-hand side u d, u = 1/sigma (1 for sigma = 0).
    static void rcsaJackknifeRow(const RCSA_Data& r, double* row, double& rhs);
    // Residue key of the jackknife: resID, plus 1 for a carbonyl (class 3).
    static int rcsaResidueKey(const RCSA_Data& r);
    // Counting pass as initDCSaupe. Returns the eligible count.
    int init_RCSA_Saupe(std::vector<RCSA_Data>& list, int nConf);
    // The single fit: saupe, dSaupe, da, dr and Euler lists of t (diagonalised in RCSA order,
    // t.isRCSA set); dCalc of every valid record from the Saupe vector. Exits with status 0,
    // silently, when no record is eligible. Returns the number of rows fitted.
    int findSaupe(DTensor& t, std::vector<RCSA_Data>& list, int nConf);
    // Counting, the residue jackknife when t.fitFlag_JK is set (RCSA records have no
    // per-record jackknife), then the full fit.
    int simD(std::vector<RCSA_Data>& list, int nConf, DTensor& t);
    // Residue jackknife: one trial per residue key, in order of first appearance, solved from
    // the jackknife rows of the kept records. t receives the mean of the trial Saupe vectors
    // weighted by the number of records left out, a running dSaupe likewise, eulerCount of the
    // mean tensor; every left-out record its trial's da_jk, dr_jk and dCalc_jk; every selected
    // valid record dCalc from the mean tensor. No spreads. Returns the number of trials.
    int findSaupe_jk_byRes(DTensor& t, std::vector<RCSA_Data>& list, int nConf);

private:
    // Work buffers of the fits, kept between calls so that repeated fits do not allocate.
    Rows rows_;
    SVD2 fullFit_;
    std::vector<int> trialOf_;
    LeaveGroupOutLS leaveOut_;
    std::vector<double> tTrial_, daTrial_, rhTrial_;   // per trial: T vector, Da, Rh

    // One five-column jackknife over rows_ and trialOf_: trial g (0..nTrials-1) leaves out
    // every row r with trialOf_[r] == g. Leaves the mean, spreads and N_JK in t and the trial
    // results in the left-out couplings. Exits with status 0 when there is no row.
    void runJackknife(DTensor& t, std::vector<DipolarCouplingData>& list, int nTrials);
    // Pads rows_ with zero rows up to five and solves them with fullFit_ into t.saupe and
    // t.dSaupe (square roots of the covariance diagonal).
    void solveFullFit(DTensor& t);
    // Start of an RCSA fit: pdbCount, t's saupe and dSaupe cleared, rows_ made by makeRow for
    // every eligible record; exits with status 0, silently, when there is none.
    void startRcsaFit(DTensor& t, const std::vector<RCSA_Data>& list, int nConf,
                      void (*makeRow)(const RCSA_Data&, double*, double&));
    // Back-calculation through the principal frame of t (transpose of vv, da, dr) of every
    // coupling with valid = 1 and atoms on both ends; with selectedOnly, selected ones only.
    static void backCalculate(const DTensor& t, std::vector<DipolarCouplingData>& list, bool selectedOnly);
};
