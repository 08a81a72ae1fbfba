// The annealing tensor fit (-fit_sa_lm): three simulated-annealing phases of decreasing
// temperature and step, each starting from the best point of the one before, with the trial
// lines the program prints after every phase and at the end.
#include <cstdio>

#include "fit/AnnealPhases.h"
#include "fit/FitCostFunctions.h"
#include "fit/FitWorkData.h"

namespace {

// The line printed after each phase with its best point and cost.
const char* const kTrialLines[3] = {
    " SA 1 Trial # %3d %8.3f %8.3f %8.3f %6.3e %6.3e %6.3e  RMS: %8.5f\n",
    " SA 2 Trial # %3d %8.3f %8.3f %8.3f %6.3e %6.3e %6.3e  RMS: %8.5f\n",
    " SA 3 Trial # %3d %8.3f %8.3f %8.3f %6.3e %6.3e %6.3e  RMS: %8.5f\n",
};

constexpr int kTrial = 1;   // the one trial of this fit, as the lines number it

}  // namespace

double FitWorkData::annealPhase(Anneal_opt& annealer, int phase, double* x, int dim, CostFunction cost, void* args,
                                const double* lower, const double* upper, int steps) {
    anneal_phases::run(annealer, phase, steps, x, dim, cost, args, lower, upper);
    const double* bestX = annealer.getBestX();
    for (int i = 0; i < dim; i++) x[i] = bestX[i];
    return annealer.best_state->cost;
}

int FitWorkData::fitDCAlign_SA_LM() {
    DTensor& first = dTensors.front();
    const int phaseSteps[3] = {first.saItStep1, first.saItStep2, first.saItStep3};
    std::printf("%d 1 %d 2 \n", phaseSteps[0], phaseSteps[1]);
    evalCount = 0;

    const int cCnt = buildTensorParameters(false);
    FitArgs& args = makeArgs(cCnt, residualCount());
    double* x = cg.data();
    const double rms0 = fitFunc(x, &args);
    dRMS = rms0;
    std::array<double, kMaxParameters> best = cg;
    double bestRms = rms0;

    //        psi   theta phi   Da     Rh
    std::printf(" cLo %8.3f %8.3f %8.3f %6.3e %6.3e  \n", cLo[0], cLo[1], cLo[2], cLo[3], cLo[4]);
    std::printf(" cHi %8.3f %8.3f %8.3f %6.3e %6.3e  \n", cHi[0], cHi[1], cHi[2], cHi[3], cHi[4]);
    std::fflush(stdout);
    std::fprintf(stderr, "cCnt= %d rms_0=%g RMS0\n", cCnt, rms0);

    Anneal_opt annealer;
    std::array<double, kMaxParameters> start = cg;
    for (int p = 0; p < 3; p++) {
        if (phaseSteps[p] <= 0) continue;   // a phase of no steps is not run and prints nothing
        const double cost =
            annealPhase(annealer, p, start.data(), cCnt, fitFuncSA, &args, cLo.data(), cHi.data(), phaseSteps[p]);
        for (int i = 0; i < cCnt; i++) cg[i] = start[i];
        std::printf(kTrialLines[p], kTrial, cg[0], cg[1], cg[2], cg[3], cg[4], cg[5], cost);
    }

    std::printf(" LM Trial # %3d %8.3f %8.3f %8.3f %6.3e %6.3e %6.3e  RMS_0: %8.5f\n", kTrial, cg[0], cg[1], cg[2],
                cg[3], cg[4], cg[5], dRMS);
    const double rms = fitFunc(x, &args);
    dRMS = rms;
    std::printf(" LM Trial # %3d %8.3f %8.3f %8.3f %6.3e %6.3e %6.3e  RMS: %8.5f\n", kTrial, cg[0], cg[1], cg[2],
                cg[3], cg[4], cg[5], dRMS);

    if (rms < rms0) {
        best = cg;
        bestRms = rms;
    }
    first.euler2saupe2();
    const std::array<double, 5>& s = first.saupe;
    std::printf(" LM Trial # %3d %8.3f %8.3f %8.3f %6.3e %6.3e   RMS: %8.5f (final %s) %8.5f  Saupe %6.4e %6.4e "
                "%6.4e %6.4e %6.4e\n",
                kTrial, first.psi, first.theta, first.phi, first.da, first.rh, dRMS, "lm", rms0, s[0], s[1], s[2],
                s[3], s[4]);
    std::printf(" LM Trial # %3d %8.3f %8.3f %8.3f %6.3e %6.3e   RMS: %8.5f (final %s) %d\n", kTrial, cg[0], cg[1],
                cg[2], first.da, first.rh, bestRms, "", cCnt);

    cg = best;
    dRMS = fitFunc(x, &args);
    first.euler2saupe2();
    std::printf("Trial final  rms_0: %8.5f  rms_best: %8.5f   %6.3e %6.3e %6.3e %6.3e %6.3e\n", rms0, dRMS, cg[0],
                cg[1], cg[2], cg[3], cg[4]);

    storeFittedAngles();
    std::fflush(stdout);
    std::fputs("XXXXXXX     XXX\n", stderr);
    return 0;
}
