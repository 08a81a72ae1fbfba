// The dipolar wave fit of a helix (-fit_dw): fifty trials, each from a random phase Ru0 and random
// average angles, annealed (a fast local phase), refined by Levenberg-Marquardt and annealed twice
// more; the trial of lowest RMS is the result, printed with every coupling's observed and
// calculated value.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "common/RunSeed.h"
#include "fit/AnnealPhases.h"
#include "fit/FitCostFunctions.h"
#include "fit/FitWorkData.h"
#include "numeric/LM.h"

namespace {

constexpr int kTrials = 50;
// Cooling steps of the three annealing phases (the fast first phase stops far earlier, when its
// temperature falls below the final one).
constexpr int kPhaseSteps[3] = {200, 1000, 1000};
// Type code of the parameter record of delta, after the codes of the tensors' parameters.
constexpr int kTypeHelixDelta = 13;

// u uniform on [0, 1] from the C library generator.
double uniform() { return std::rand() / 2147483647.0; }

}  // namespace

int FitWorkData::fitDCAlign_DiplolarWave() {
    DTensor& t = dTensors.front();
    buildTensorParameters(false);
    if (t.expCMin != t.expCMax) addParameter(t.expC, t.expCMin, t.expCMax, kAngleStep, kTypeHelixDelta);
    const int cCnt = paramCount;

    // Reading adopted: the wave builds no coupling from a structure, so its usable couplings are
    // the selected couplings of the modelled classes (counted by atoms, none would be usable and the
    // Levenberg-Marquardt step would see only as many residuals as parameters). Without any, there
    // is nothing to fit: the argument block refuses a residual count of 0.
    dcCount = static_cast<int>(std::count_if(dcList.begin(), dcList.end(), FitArgs::isDipolarWaveCoupling));
    FitArgs& args = makeArgs(cCnt, dcCount > 0 ? residualCount() : 0);
    if (static_cast<int>(args.dResidual.size()) < args.xcCnt) args.dResidual.resize(args.xcCnt, 0.0);

    const std::array<double, kMaxParameters> start = cg;
    RunSeed::reseed();
    double* x = cg.data();
    std::array<double, kMaxParameters> best = cg;
    double bestRms = std::numeric_limits<double>::infinity();
    double rms0 = 0;
    for (int trial = 0; trial < kTrials; trial++) {
        // Every trial starts from a random phase and random average angles, drawn in [-360, 0]
        // (the evaluation maps them into range). Reading adopted: the three are found by their type
        // codes; they are the first three parameters unless one of them is fixed.
        cg = start;
        for (int i = 0; i < cCnt; i++)
            if (cType[i] >= angleType(0, 0) && cType[i] <= angleType(0, 2)) cg[i] = (uniform() - 1) * 360;
        fitDWFuncResidual(x, &args);
        rms0 = dRMS = args.dRMS;

        for (int p = 0; p < 3; p++) {
            Anneal_opt annealer;
            annealPhase(annealer, p, x, cCnt, fitDWFuncSA, &args, cLo.data(), cHi.data(), kPhaseSteps[p]);
            if (p == 0) {
                LM lm(fitDWFuncResidual, &args, cCnt, args.xcCnt, x);
                std::copy(lm.parms.begin(), lm.parms.begin() + cCnt, x);
            }
        }
        const double rms = *fitDWFuncSA(x, &args);
        if (rms < bestRms) {
            bestRms = rms;
            best = cg;
        }
    }

    cg = best;
    fitDWFuncResidual(x, &args);
    dRMS = args.dRMS;
    std::copy(args.solverParams.begin(), args.solverParams.end(), x);
    t.Ru0 = t.psi;
    t.thetaAve = t.theta;
    t.phiAve = t.phi;

    std::printf("DipolarWave fitting: %3d rms_0: %8.5f  rms_best: %8.5f   %8.5f %8.5f %8.5f %8.5e %8.5f %8.5f\n",
                dcList.front().resIDI, rms0, dRMS, t.Ru0, t.thetaAve, t.phiAve, t.da, t.rh, t.expC);
    for (const DipolarCouplingData& dc : dcList)
        std::printf("cross %3d %8.3f %8.3f %8.3f %7.4f \n", dc.resIDI, dc.d, dc.dCalc, dc.d - dc.dCalc, dc.wCalc);
    std::fflush(stdout);
    return 0;
}
