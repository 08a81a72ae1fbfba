// The order-matrix SVD fit: the five Saupe elements fitted to the couplings by linear least
// squares, the fitted tensor diagonalised and every coupling back-calculated; also the
// leave-one-coupling-out and leave-one-residue-out jackknife built on the same rows.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "couplings/DipolarCouplingData.h"
#include "couplings/RCSA_Data.h"
#include "numeric/LeaveGroupOutLS.h"
#include "numeric/SVD2.h"
#include "tensor/DTensor.h"

class DCListData;

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
    // The weights of that row: f = 1/|DI| (0 for DI = 0), h = 1/(sigma*f) (1 when that product is 0).
    static void rowWeights(const DipolarCouplingData& dc, double& f, double& h);
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

    // ---- maximal-subset search and culling (SVDWorkData_maxsub.cpp) ----
public:
    // The units a search works with, residues (key max(resIDI, resIDJ)) or single couplings, over
    // the usable couplings (valid, d at most 900 Hz, w not 0) that were selected when the search
    // began. Their design rows are built once; a fit of a set of units uses the rows of the units
    // in the set, chosen by a mask over the units (1 = in the set).
    struct SubsetUnits {
        bool byRes = true;
        Rows rows;                      // the usable selected couplings, in list order
        std::vector<int> id;            // unit -> residue number, or list index; ascending
        std::vector<int> unitOfRow;     // row -> unit
        std::vector<int> rowStart;      // unit u owns unitRows[rowStart[u] .. rowStart[u + 1])
        std::vector<int> unitRows;      // rows of every unit, in list order
        std::vector<int> byAppearance;  // units in the order of their first row (jackknife trials)
        // The unit whose culling deviation a row counts for: its own unit, except that a C-CA
        // coupling (class 10) counts for the following residue (-1 when that has no coupling).
        std::vector<int> deviationUnit;
        int count() const { return static_cast<int>(id.size()); }
    };
    // The units of a culling trial by their agreement with the mean jackknife tensor: (NSP, unit)
    // in ascending NSP, one unit per NSP value (of equal values the later unit).
    using CullingOrder = std::vector<std::pair<double, int>>;

    // Growing search (-maxSub +): from every window of seven consecutive residues, five levels of
    // fits that let in the residues the window's tensor predicts. Culling search (-maxSub, -culling):
    // from all units, one unit removed per round while the jackknife tensors grow more consistent.
    // Both end with the final scoring of the set they found on the caller's list and tensor: ids
    // (selected residues, ascending), scores (residue -> score), the fit in t, the selection in the
    // list. They return the overall score. Fewer than seven residues (growing) or couplings
    // (culling) end the process with status 0 after a message.
    double findS_maxSub_soloSet(std::vector<int>& ids, std::map<int, double>& scores, double dCut, DTensor& t,
                                std::vector<DipolarCouplingData>& list);
    double findS_maxSub_culling(std::vector<int>& ids, std::map<int, double>& scores, double dCut, DTensor& t,
                                std::vector<DipolarCouplingData>& list);
    // Every usable coupling: selected = 1 when its key (residue when byRes, else list index) is in
    // ids, else 0. Other couplings keep their flag. Returns the number selected.
    static int updateDClistSelectionByIDs(std::vector<DipolarCouplingData>& list, const std::vector<int>& ids,
                                          bool byRes);
    // The units of the usable selected couplings of a list.
    static void buildSubsetUnits(const std::vector<DipolarCouplingData>& list, bool byRes, SubsetUnits& units);
    // Cut-off of level 1..5 of the growing search: max(L dCut / 4, dCut / 2) below level 5, dCut at 5.
    static double soloSetCutoff(int level, double dCut);
    // One culling trial: the jackknife of the units in the set (by residue or by coupling, as the
    // units). Per unit j its trial tensor t_j = (10 / Da_j) (s0, s1/sqrt3, 2 s2/sqrt3, 2 s3/sqrt3,
    // 2 s4/sqrt3) and magnitude A_j = |Da_j| sqrt((4 + 3 Rh_j^2) / 5); the mean of the t_j goes to
    // t.Tensor10_jk, their RMS spread per element to t.dTensor10_jk, e2 = sqrt(sum (A_j - mean A)^2)
    // / mean A to t.daRef; order receives the units by NSP_j = calcNormScalarProduct(t_j, mean, 5).
    // Returns e1 = sqrt(sum (1 - NSP_j)^2 / M). The full fit and the list statistics of a trial are
    // made only when it is kept (keepCullingTrial). Does not allocate once the buffers have their size.
    double runCullingTrialFit(CullingOrder& order, const std::vector<char>& units, const SubsetUnits& unitMap,
                              DTensor& t);
    // Keeps the trial last run by runCullingTrialFit (same units) in the list and tensor: the jackknife
    // results of its couplings, the selection, the full fit, and the list statistics.
    void keepCullingTrial(const std::vector<char>& units, const SubsetUnits& unitMap, DTensor& t, DCListData& list);
    // The statistics line of culling round n on the error stream; idxmin is the unit the round
    // removed from `units` (-1 for the first fit).
    void printCullingStats(int n, int idxmin, double score, const std::vector<char>& units,
                           const SubsetUnits& unitMap, const DTensor& t, const DCListData& list);

private:
    // Work buffers of the searches, sized once per search.
    struct SubsetWork {
        std::vector<int> trialOfUnit, group;   // jackknife trial of every unit and row (-1: not in the set)
        std::vector<double> unitDa, unitDr;    // Da, Dr of every unit's jackknife tensor
        std::vector<double> unitT, unitA;      // its tensor vector (5 values) and magnitude
        std::vector<double> fitA, fitB;        // the rows of one full fit, padded with zero rows
        std::vector<double> deviation;         // culling deviation of every unit
        std::vector<int> deviationCount;       // couplings behind it
        DTensor scratch;
    };
    SubsetUnits units_;
    SubsetWork subset_;

    // Sizes the buffers for these units (no allocation when they already have that size).
    void sizeSubsetWork(const SubsetUnits& units);
    // Full fit of the units in the set: the tensor into t, the calculated values of every valid
    // coupling with atoms (allValid), or of the couplings of the units only.
    void fitSubset(const std::vector<char>& units, const SubsetUnits& unitMap, DTensor& t,
                   std::vector<DipolarCouplingData>& list, bool allValid);
    // Final scoring: the set (ids as byRes reads them) selected and fitted on the caller's list and
    // tensor, every residue scored, the consistent ones selected. Returns the overall score.
    double scoreSubset(std::vector<int>& ids, std::map<int, double>& scores, double dCut, DTensor& t,
                       std::vector<DipolarCouplingData>& list, const std::vector<int>& set, bool byRes,
                       int nResidues);
};
