// The working state of a nonlinear fit: copies of the caller's couplings and tensor, the
// parameter records (value, bounds, step, scale, adjust flag, type code) and the argument block
// handed to the cost functions. The constrained tensor fit runs here: three annealing phases
// (fitDCAlign_SA_LM) or an orientation grid search refined by Levenberg-Marquardt
// (fitDCAlign_GS_Powell); the ensemble and dipolar-wave fits build on the same object.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "couplings/DipolarCouplingData.h"
#include "fit/FitArgs.h"
#include "numeric/Anneal_opt.h"
#include "tensor/DTensor.h"

class FitWorkData {
public:
    // At most this many parameters (the size of the parameter records).
    static constexpr int kMaxParameters = 160;

    // Parameter type codes: Da, Dr, Rh; the angles psi, theta, phi of the first tensor are 4, 5, 6,
    // of the second 7, 8, 9, of any further one 10, 11, 12.
    static constexpr int kTypeDa = 1;
    static constexpr int kTypeDr = 2;
    static constexpr int kTypeRh = 3;
    static int angleType(int tensorIndex, int axis) { return 4 + 3 * (tensorIndex < 2 ? tensorIndex : 2) + axis; }

    // Steps of the parameter records.
    static constexpr double kAngleStep = 0.01;
    static constexpr double kDaStep = 1e-7;
    static constexpr double kRhStep = 1e-5;

    int xyzCount = 0, maxCouplings = 0, coordCount = 0, pdbCount = 0, tensorCount = 0;
    int dcCount = 0;       // usable couplings: selected, valid, atoms on both ends, weight w != 0
    int retryCount = 0, evalCount = 0;
    bool verbose = false;
    int DC_EULER_COUNT = 17;
    std::vector<double> dTerm, daTerm, drTerm, dadrTerm, dResidual;   // not used by these fits
    double dRMS = 0;       // RMS of the last evaluation made by the fit
    // the tensor's values at construction (the grid-search fit starts its angles there)
    double psi_0 = 0, theta_0 = 0, phi_0 = 0, da_0 = 0, dr_0 = 0, rh_0 = 0;

    // Parameter records; paramCount of them are in use.
    std::array<double, kMaxParameters> cg{};      // value
    std::array<double, kMaxParameters> cHi{};     // upper bound
    std::array<double, kMaxParameters> cLo{};     // lower bound
    std::array<double, kMaxParameters> cDelta{};  // step
    std::array<double, kMaxParameters> cScale{};  // scale
    std::array<int, kMaxParameters> cAdjust{};    // adjust flag
    std::array<int, kMaxParameters> cType{};      // type code
    int paramCount = 0;

    std::vector<DTensor> dTensors;                         // receives the result
    std::vector<DipolarCouplingData> dcList;               // receives the calculated couplings
    std::vector<std::vector<DipolarCouplingData>> dcLists; // one coupling set per medium
    std::unique_ptr<FitArgs> dArgs;                        // the argument block in use

    FitWorkData();
    // Copies the couplings (into dcList and as the single entry of dcLists) and the tensor (as the
    // single entry of dTensors), and counts the usable couplings.
    FitWorkData(const std::vector<DipolarCouplingData>& couplings, const DTensor& tensor, int pdbCount);
    // The argument block points into this object: it is neither copied nor moved.
    FitWorkData(const FitWorkData&) = delete;
    FitWorkData& operator=(const FitWorkData&) = delete;
    virtual ~FitWorkData();

    // Nothing to copy: the couplings keep the unit vectors of their atom pairs, which an evaluation
    // rotates without changing them, so the original coordinates are always at hand.
    void pdbCopyOrigCoords();
    // dRMS = 0, and pdbCopyOrigCoords unless the first tensor's fitMode is the dipolar wave.
    void Init();
    void fitDCFree();
    // Replaces the coupling list (and has the argument block read it again).
    void setDCData(const std::vector<DipolarCouplingData>& couplings);

    // The fits; both return 0.
    int fitDCAlign_SA_LM();
    int fitDCAlign_GS_Powell(int grid_step);
    // The dipolar wave of a helix (FitWorkData_dipolarWave.cpp): fifty trials from random phase and
    // average angles, each annealed, refined by Levenberg-Marquardt and annealed twice more; the
    // best trial's wave is left in the first tensor (Ru0, thetaAve, phiAve, expC, da, rh). Returns 0.
    int fitDCAlign_DiplolarWave();
    // The orientation grid search on the parameter vector cg (psi, theta, phi first); returns 0.
    int findBestStartingTrial_GridSearch_allMinima(int gs, double* cg, FitArgs* aData, double offset);
    // Phase `phase` (0, 1, 2) of the annealing schedule every nonlinear fit runs ("fast" from T0
    // 1e-6, then "cauchy" from 0.5 and from 0.1, with their step scales; Tf 1e-12, dwell 20):
    // minimize_anneal2 on `annealer` from x (dim parameters within lower..upper) for `steps`
    // cooling steps. The phase's best point is copied into x; returns its cost.
    static double annealPhase(Anneal_opt& annealer, int phase, double* x, int dim, CostFunction cost, void* args,
                              const double* lower, const double* upper, int steps);

    // ---- parameter records ----
    void clearParameters();
    // Appends one record (scale 1, adjust flag 1); more than kMaxParameters end the run (status -1).
    void addParameter(double value, double lower, double upper, double step, int type);
    // The tensor fit's records: for each tensor (rhFlag set to 1 first) its free parameters in the
    // order psi, theta, phi, Da, Rh (a parameter is free when its bounds differ). The angles start
    // from the tensor's values, or from psi_0, theta_0, phi_0 with anglesFromStart. A tensor with
    // both Da and Rh fixed gets Dr = Rh*Da. Returns the number of records.
    int buildTensorParameters(bool anglesFromStart);
    // The larger of dcCount and the number of parameters.
    int residualCount() const { return dcCount > paramCount ? dcCount : paramCount; }
    // A new argument block for cCnt parameters and xcCnt residuals, bound to this object's vectors
    // and kept in dArgs.
    FitArgs& makeArgs(int cCnt, int xcCnt);

    // ---- variable-weight ensemble fit (FitWorkData_vwfit.cpp) ----
    // One weight per conformer, the media fitted together: dcLists holds one coupling set per
    // medium (the couplings built against the structure), dTensors one tensor per medium. The
    // trial settings come from the first tensor (saTryCount, saItStep1..3, saPowellFlag,
    // first_W_nonzero).
    FitWorkData(const std::vector<std::vector<DipolarCouplingData>>& media, const std::vector<DTensor>& tensors,
                int pdbCount);
    std::vector<int> conformerNumbers;   // the structure's conformer (MODEL) numbers, in order
    double wPenalty = 0;                 // coefficient C of the weight penalty (-vwfit_C)
    // The multi-medium fit: equal weights, then saTryCount trials of three annealing phases and
    // two Powell passes; the best weights go to every tensor's VWfit_w, and every tensor and
    // coupling set keeps the fit of those weights. Returns 0, or -1 without fitting when num_PDB
    // exceeds the conformer limit (message on the error stream).
    int vwfit_SA_LM_CV_multi_topN_2(int num_PDB);
    // The single-medium forms (fit modes 7 and 8) on dcLists[0] and the first tensor, with their
    // own lines; the fitted couplings are also left in dcList. Return as above.
    int vwfit_SA_LM(int num_PDB);
    int vwfit_SA_LM_CV(int num_PDB);
    // The statistics block of the weights ccg (num_PDB values; the coupling classes `list`): per
    // medium its working couplings with the validation ones in brackets, and with printW the
    // weights in percent. Evaluates ccg, so the tensors and couplings then hold that fit.
    void vwfit_print_stats_multi_2(int num_PDB, const double* ccg, const std::vector<int>& list, const std::string& str,
                                   bool printW);
    // The same block over all classes together, with the weights.
    void vwfit_print_stats_multi(int num_PDB, const double* ccg, const std::string& str);

private:
    int setUpEnsembleFit(int num_PDB);
    int runSingleMediumFit(int num_PDB, bool validation);
    void countUsableCouplings();
    void storeFittedAngles();
};
