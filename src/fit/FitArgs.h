// The argument block that every cost function of the nonlinear fits receives: pointers to the
// work object's tensors and couplings, the counts handed to the minimisers, the misfit of the
// last evaluation and its residual vector. It also carries the tensor fit's own steps: moving a
// parameter vector into the tensor (extractTensor), building the tensor's rotation and
// evaluating every coupling under it (applyDCRot, pdb3dCoordTransformNcalcDC).
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "couplings/DipolarCouplingData.h"
#include "numeric/MatVec.h"
#include "tensor/DTensor.h"

class VWFitEnsemble;

class FitArgs {
public:
    // At most this many couplings enter a residual vector (the size of dResidual).
    static constexpr int kMaxResiduals = 1000;

    std::vector<DTensor>* dTensors = nullptr;                        // the work object's tensors
    std::vector<DipolarCouplingData>* dcList = nullptr;              // its couplings
    std::vector<std::vector<DipolarCouplingData>>* dcLists = nullptr; // its coupling sets (ensemble fits)
    std::vector<int> CouplingClassList;
    int pdbCount = 1;
    int xcCnt = 0;        // residuals handed to the Levenberg-Marquardt solver
    int cCnt = 0;         // parameters
    double dRMS = 0;      // sum of squared weighted residuals after an evaluation; the cost functions
                          // replace it by the RMS
    double dCHI2 = 0;     // set to 0 by every evaluation
    double wPenalty = 0;  // ensemble fits
    std::vector<double> dResidual;   // kMaxResiduals entries: the weighted residual of each used
                                     // coupling, in list order
    int nlls_fit_mode = 0;           // set by the grid-search fit, read nowhere
    int firstWFixed = 0, cv_coupling_count = 0;   // ensemble fits
    std::vector<double> solverParams;   // the copy of a solver's parameters that fitFuncResidual evaluates

    // ---- variable-weight ensemble fit ----
    // The media of the fit, the score's coefficient blocks and scratch (VWFitEnsemble.h); the
    // weights are bounded by its conformer limit, not by the parameter records.
    std::shared_ptr<VWFitEnsemble> ensemble;

    // Prints "Error: number of param or data can't be zero!" and exits with -1 when either count
    // is below 1.
    FitArgs(int cCnt, int xcCnt);

    // Points the block at a work object's vectors and reads the couplings the rotation evaluation
    // uses (readCouplings).
    void bind(std::vector<DTensor>& tensors, std::vector<DipolarCouplingData>& couplings,
              std::vector<std::vector<DipolarCouplingData>>& lists);
    // Reads, in list order, every coupling with `valid` and `selected` set and atoms on both ends:
    // its value, weight, DI, scale and unit vectors, into one contiguous block that each evaluation
    // walks. Call it again after changing the couplings of dcList. More than kMaxResiduals such
    // couplings end the run (status -1) with a message.
    void readCouplings();
    // Number of couplings the rotation evaluation uses (as read by readCouplings).
    int usedCouplingCount() const { return static_cast<int>(used_.size()); }

    // Moves the free parameters of the first tensor from param[n] on into it (angles wrapped into
    // [-180, 180], Da clamped to its range, Dr from Rh, Dr's sign following Da, principal values
    // re-ordered when |Dr| > |2 Da/3|), writing changed values back into param. Returns the index
    // after the last parameter consumed.
    int extractTensor(double* param, int n);
    // Builds the rotation of tensor k (offsets, orientation, additions; for k > 0 also the
    // reference frame), stores it in the tensor's m and evaluates every coupling under it.
    // Returns the number of couplings used.
    int applyDCRot(int k);
    // Evaluates every used coupling under the rotation mapM with the first tensor's Da and Dr:
    // dCalc of each coupling, dResidual, and the sum of squared weighted residuals in dRMS.
    // Returns the number of couplings used.
    int pdb3dCoordTransformNcalcDC(const Mat4 mapM);
    // The same evaluation without storing dCalc or residuals (the grid search's cells); returns the
    // sum of squared weighted residuals and leaves dRMS alone.
    double sumOfSquaresUnder(const Mat4 mapM);

private:
    // A coupling the evaluation uses, read by readCouplings.
    struct UsedCoupling {
        int index;          // position in dcList
        int firstPair;      // its pairs: firstPair .. firstPair + pairCount - 1 of the pair arrays
        int pairCount;      // unit vectors stored (atomICount for a coupling built from a structure)
        double d, wCalc;
    };
    std::vector<UsedCoupling> used_;
    // One entry per pair of the used couplings, in list order: unit vector, |DI|, and the pairs
    // whose term is further scaled and divided by their coupling's atomICount.
    std::vector<double> ux_, uy_, uz_, absDI_;
    struct ScaledPair {
        int pair;
        double scale, atomICount;
    };
    std::vector<ScaledPair> scaled_;
    std::vector<int> atomless_;   // valid and selected, but without atoms: dCalc 0, not counted
    std::vector<double> term_;    // each pair's term in the last evaluation
    std::vector<double> calc_;    // dCalc of each used coupling in the last evaluation

    void calculate(const Mat4 mapM);

    // ---- the dipolar wave of a helix (FitArgs_dipolarWave.cpp) ----
public:
    // Moves the free wave parameters from param into the first tensor, in this order: Ru0 (psi),
    // THETA_AVE (theta), PHI_AVE (phi), Da, Rh, delta (expC); a parameter is free when its bounds
    // differ, a fixed one keeps the tensor's value. Changed values are written back into param:
    // Ru0 wrapped into [-180, 180], the average angles into [0, 180], Da and delta clamped, Da and
    // Rh re-ordered when Rh > 2/3. Then computes every selected coupling of a modelled class, in
    // list order: dCalc, its weighted residual in dResidual, and the sum of their squares in dRMS.
    // Returns the number of couplings computed.
    int DipolarWaveCalcDC(double* param);
    // The couplings the wave computes: selected and of a modelled class.
    static bool isDipolarWaveCoupling(const DipolarCouplingData& dc);

private:
    // A coupling the wave computes, read from dcList when first needed after readCouplings.
    struct WaveCoupling {
        int index;         // position in dcList
        int bond;          // its class's entry in the bond table of an evaluation
        double phase;      // residue phase, degrees (before Ru0 is subtracted)
        double offset;     // its class's phase offset a, radians
        double absDI, d, wCalc;
    };
    std::vector<WaveCoupling> wave_;
    std::vector<double> waveBonds_;   // angle b (radians) of each class present, as WaveCoupling::bond indexes
    bool waveRead_ = false;
    void readWaveCouplings();
    void moveWaveParameters(double* param);

public:
    // Principal values Dzz = 2 Da, Dxx = 1.5 Dr - Da, Dyy = -1.5 Dr - Da relabelled so that the
    // largest magnitude is Dzz and the smaller of the other two Dxx (ties keep the order zz, xx,
    // yy); Da = Dzz/2 and Dr = (Dxx - Dyy)/3 of the relabelled values are returned in da and dr.
    static void relabelPrincipalValues(double& da, double& dr);
};
