// The order-matrix SVD fit: the five Saupe elements fitted to the couplings by linear least
// squares, the fitted tensor diagonalised and every coupling back-calculated; also the
// leave-one-coupling-out and leave-one-residue-out jackknife built on the same rows.
#pragma once

#include <vector>

#include "couplings/DipolarCouplingData.h"
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

    // ---- multi-tensor multi-conformer fit (SVDWorkData_multi.cpp) ----
    // One Saupe vector per conformer: with P = max(nConf, 1) conformers a coupling is
    // D = |DI| sum_c sum_k Ai[c][k] s_c[k], 5 P unknowns fitted together from the rows of
    // buildRowsPerPair (the first P atom pairs of each coupling). The tensor list holds one
    // tensor per conformer; a list of another length ends the run with
    // "Number of conformers is different to the number of alignment tensors" and status 0, no
    // eligible coupling with status 0 and no message.
    //
    // Counting, then the residue jackknife when the first tensor's byRes is set, else the
    // coupling jackknife; the jackknife runs whatever fitFlag_JK says. Returns N_JK.
    int simD_multiTensors(std::vector<DipolarCouplingData>& list, int nConf, std::vector<DTensor>& tensors);
    // Jackknife of the joint fit, one trial per residue key (in order of first appearance) or
    // per eligible coupling. Leaves in every tensor c its jackknife mean saupe and, over the
    // trials, saupe_epsilon, da_jk_stdev, rh_jk_stdev, dSaupe_jk and N_JK (not diagonalised);
    // every left-out coupling receives dCalc_jk, da_jk_multiTensor/dr_jk_multiTensor of the
    // first 10 tensors and tensor_jk_multiTensor_nsp, the mean normalised scalar product of
    // the trial's tensors over the pairs i <= j. Every coupling selected for the fit or for
    // validation, valid and with atoms, gets dCalc from the mean tensors. Returns N_JK.
    int findSaupe_multi_jk_byRes(std::vector<DTensor>& tensors, std::vector<DipolarCouplingData>& list, int nConf);
    int findSaupe_multi_jk(std::vector<DTensor>& tensors, std::vector<DipolarCouplingData>& list, int nConf);
    // The joint fit of all eligible rows without jackknife: saupe of every tensor and dCalc as
    // above; no uncertainties, no diagonalisation. Returns the number of rows fitted.
    int findSaupe_multi(std::vector<DTensor>& tensors, std::vector<DipolarCouplingData>& list, int nConf);
    // Has no effect; returns 0.
    int findD_multi(std::vector<DTensor>& tensors);
    // Normalised vector of a Saupe vector: (s0, s1/sqrt3, 2 s2/sqrt3, 2 s3/sqrt3, 2 s4/sqrt3).
    // Its length does not depend on the orientation of the tensor.
    static void normalisedTensor(const double* s, double* T);

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
    // Back-calculation through the principal frame of t (transpose of vv, da, dr) of every
    // coupling with valid = 1 and atoms on both ends; with selectedOnly, selected ones only.
    static void backCalculate(const DTensor& t, std::vector<DipolarCouplingData>& list, bool selectedOnly);
};
