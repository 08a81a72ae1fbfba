// The variable-weight ensemble fit: one weight per conformer, fitted over one or more media by
// trials that each start from random weights and run three annealing phases and two Powell
// passes, with the statistics blocks and trial lines the program prints on standard output.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/Constants.h"
#include "common/RunSeed.h"
#include "fit/FitCostFunctions.h"
#include "fit/FitWorkData.h"
#include "fit/VWFitEnsemble.h"
#include "numeric/powell.h"

namespace {

// Starting weights are drawn as rand() / 2147483647.0, each in [0, 1] (also the annealer's bounds).
constexpr double kRandMax = 2147483647.0;
// The two Powell passes; a pass stops when 2 (fp - f) <= ftol (|fp| + |f|) + 1e-25.
constexpr double kPowellFtol[2] = {0.003, 0.0006};

const char* const kPhaseLines[3] = {
    "\n Simulated annealing phase #1 (%4d steps) of Trial # %3d \n score: %8.4f [<Q>:%6.3f  L2_norm:%6.3f]\n",
    "\n Simulated annealing phase #2 (%4d steps) of Trial # %3d \n score: %8.4f [<Q>:%6.3f  L2_norm:%6.3f]\n",
    "\n Simulated annealing phase #3 (%4d steps) of Trial # %3d \n score: %8.4f [<Q>:%6.3f  L2_norm:%6.3f]\n",
};
const char* const kSinglePhaseLines[3] = {
    "\n SA #1 (%4d steps) of Trial # %3d \tRMS: %8.5f\n",
    "\n SA #2 (%4d steps) of Trial # %3d \tRMS: %8.5f\n",
    "\n SA #3 (%4d steps) of Trial # %3d \tRMS: %8.5f\n",
};

std::string numbered(const char* format, int a, int b = 0) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

// Chosen: every printed weight is the normalised one (the conformer's share of the population).
void printWeights(const std::vector<double>& weights, const char* format, double scale) {
    for (double w : weights) std::printf(format, scale * w);
}

std::vector<double> randomWeights(int n) {
    RunSeed::reseed();
    std::vector<double> w(n);
    for (double& v : w) v = std::rand() / kRandMax;
    return w;
}

// Powell's method from the weights w along the unit directions; w receives the point reached.
// Powell's steps are not bounded: a weight is used by its magnitude (VWFitEnsemble::score).
void powellPass(std::vector<double>& w, double ftol, costFunction cost, FitArgs& args) {
    const int n = static_cast<int>(w.size());
    std::vector<double> p(n + 1, 0.0), directions(static_cast<size_t>(n + 1) * (n + 1), 0.0);
    std::copy(w.begin(), w.end(), p.begin() + 1);
    std::vector<double*> xi(n + 1);
    for (int i = 0; i <= n; i++) xi[i] = &directions[static_cast<size_t>(i) * (n + 1)];
    for (int i = 1; i <= n; i++) xi[i][i] = 1.0;
    int iter = 0;
    double fret = 0;
    powell minimiser;
    minimiser.run_powell(p.data(), xi.data(), n, ftol, &iter, &fret, cost, &args);
    std::copy(p.begin() + 1, p.end(), w.begin());
}

// A medium's tensor as the statistics print it: Da as an N-H coupling in Hz, and Rh.
double daHz(const DTensor& t) { return orvex::kDmaxNHAbs * t.da; }
double rhombicity(const DTensor& t) { return t.da != 0 ? t.dr / t.da : 0.0; }

}  // namespace

FitWorkData::FitWorkData(const std::vector<std::vector<DipolarCouplingData>>& media,
                         const std::vector<DTensor>& tensors, int pdbCount_)
    : pdbCount(pdbCount_), retryCount(17), verbose(true), dTensors(tensors),
      dcList(media.empty() ? std::vector<DipolarCouplingData>() : media.front()), dcLists(media) {
    if (!dTensors.empty()) {
        const DTensor& t = dTensors.front();
        psi_0 = t.psi;
        theta_0 = t.theta;
        phi_0 = t.phi;
        da_0 = t.da;
        dr_0 = t.dr;
        rh_0 = t.rh;
    }
    tensorCount = static_cast<int>(dTensors.size());
    countUsableCouplings();
}

int FitWorkData::setUpEnsembleFit(int num_PDB) {
    if (num_PDB > VWFitEnsemble::kMaxConformers) {
        std::fflush(stdout);
        // kept as the program has always written it ("strutures")
        std::fprintf(stderr, "Error: Number of strutures %d exceed VWFIT limit of %d\n", num_PDB,
                     VWFitEnsemble::kMaxConformers);
        return -1;
    }
    const std::vector<int> classes = VWFitEnsemble::classesInUse(dcLists);
    auto ensemble = std::make_shared<VWFitEnsemble>(dcLists, dTensors, num_PDB, conformerNumbers, classes);
    int working = 0, validation = 0;
    for (int m = 0; m < ensemble->mediumCount(); m++) {
        working += ensemble->workingCount(m);
        validation += ensemble->validationCount(m);
    }
    dcCount = working;
    // The block is not bound to the rotation evaluation of the tensor fit: the score reads the
    // media through the ensemble, whose residual storage is sized from the data.
    dArgs = std::make_unique<FitArgs>(num_PDB, std::max(working, num_PDB));
    FitArgs& a = *dArgs;
    a.dTensors = &dTensors;
    a.dcList = &dcList;
    a.dcLists = &dcLists;
    a.CouplingClassList = classes;
    a.pdbCount = num_PDB;
    a.wPenalty = wPenalty;
    a.firstWFixed = dTensors.front().first_W_nonzero;
    a.cv_coupling_count = validation;
    a.ensemble = ensemble;
    return 0;
}

void FitWorkData::vwfit_print_stats_multi_2(int num_PDB, const double* ccg, const std::vector<int>& list,
                                            const std::string& str, bool printW) {
    VWFitEnsemble& ens = *dArgs->ensemble;
    (void)num_PDB;   // the ensemble holds the conformer count
    dArgs->dRMS = ens.evaluateAll(ccg, dArgs->wPenalty, dArgs->firstWFixed != 0, list.size() != 1);
    std::printf("\n ###### VWFit Statistics ###### ");
    for (int m = 0; m < ens.mediumCount(); m++) {
        const VWFitEnsemble::MediumStats& st = ens.stats(m);
        const DTensor& t = dTensors[m];
        const std::array<double, 5>& s = t.saupe;
        std::printf("\n %s\t Medium #%d\n\t N:\t%3d\n\t RMS:\t%6.3f [ %6.3f ]\n\t Q:\t%6.3f [ %6.3f ]\n\t Da:\t%6.3f "
                    "\n\t Rh:\t%6.3f\n\t Saupe:\t%6.4e %6.4e %6.4e %6.4e %6.4e\n",
                    str.c_str(), m + 1, st.n, st.rms, st.rmsV, st.q, st.qV, daHz(t), rhombicity(t), s[0], s[1], s[2],
                    s[3], s[4]);
    }
    if (printW) {
        std::printf(" w*100: \n\t");
        printWeights(ens.weights(), " %6.3f ", 100);
    }
    std::printf("\n ###### End of VWFit Statistics ###### \n");
}

void FitWorkData::vwfit_print_stats_multi(int num_PDB, const double* ccg, const std::string& str) {
    vwfit_print_stats_multi_2(num_PDB, ccg, {0}, str, true);   // one group: all classes together
}

int FitWorkData::vwfit_SA_LM_CV_multi_topN_2(int num_PDB) {
    if (setUpEnsembleFit(num_PDB) != 0) return -1;
    FitArgs& args = *dArgs;
    VWFitEnsemble& ens = *args.ensemble;
    const std::vector<int>& classes = args.CouplingClassList;
    const DTensor& first = dTensors.front();
    const int trials = first.saTryCount;
    const int steps[3] = {first.saItStep1, first.saItStep2, first.saItStep3};
    const std::vector<double> lower(num_PDB, 0.0), upper(num_PDB, 1.0);

    std::vector<double> best(num_PDB, 1.0 / num_PDB);
    std::printf(" SVD Fit with an equal weight for all conformers ...");
    vwfit_print_stats_multi_2(num_PDB, best.data(), classes, "SVD Fit with equal weights\t", false);
    // Reading adopted: the equal-weight result seeds the best record, so that the fit never ends
    // above the score it prints first, also when no trial from random weights gets back to it
    // (an ensemble of alike models whose weights the couplings cannot tell apart).
    double bestScore = args.dRMS;
    std::printf(" SVD Fit with an equal weight for all conformers - score (<Q>): \t%6.3f\n\n", bestScore);
    auto keepIfBest = [&](const std::vector<double>& w, const char* announce, const char* title) {
        if (!(args.dRMS < bestScore)) return false;
        best = w;
        bestScore = args.dRMS;
        std::printf("%s", announce);
        vwfit_print_stats_multi_2(num_PDB, best.data(), classes, title, true);
        return true;
    };

    for (int trial = 1; trial <= trials; trial++) {
        std::printf("\n=======VWFit Trial # %d/%d (coefficient C = %g)=======\n", trial, trials, wPenalty);
        std::printf("\n Start simulated annealing phase ... Trial # %d", trial);
        std::vector<double> w = randomWeights(num_PDB);
        vwfit_print_stats_multi_2(num_PDB, w.data(), classes, "Random Starting Weights", true);
        std::printf("\n Starting score: %8.4f [<Q>: %6.3f   L2_norm: %6.3f]\n", args.dRMS, ens.meanQ(), ens.l2Norm());

        Anneal_opt annealer;
        for (int p = 0; p < 3; p++) {
            if (steps[p] <= 0) continue;   // a phase of no steps is not run and prints nothing
            annealPhase(annealer, p, w.data(), num_PDB, vwfitFuncSA_CV_multi_2, &args, lower.data(), upper.data(),
                        steps[p]);
            const double score = *vwfitFuncSA_CV_multi_2(w.data(), &args);   // with its <Q> and L2 norm
            std::printf(kPhaseLines[p], steps[p], trial, score, ens.meanQ(), ens.l2Norm());
            printWeights(ens.weights(), " %6.3f ", 1);
        }
        vwfit_print_stats_multi_2(num_PDB, w.data(), classes, numbered("Simulated annealing Trial #%d", trial), true);
        if (keepIfBest(w, "\n=== New minimum found: ", "Best parameters updated:"))
            vwfit_print_stats_multi_2(num_PDB, w.data(), classes, numbered("VWFit Trial #%d / %d", trial, trials),
                                      true);

        if (first.saPowellFlag == 0) continue;   // -nosaPowell
        std::printf("\nPowell minimization ... Trial # %d", trial);
        for (int pass = 0; pass < 2; pass++) {
            powellPass(w, kPowellFtol[pass], fitDWFuncPowell_CV_multi_2, args);
            vwfit_print_stats_multi_2(num_PDB, w.data(), classes,
                                      pass == 0 ? "VWFit Powell minimization" : "VWFit Powell minimization #2", true);
            keepIfBest(w, "\n=== new minimum found : ", "Best updated:");
        }
    }

    // The best weights: every tensor and coupling set keeps their fit.
    vwfit_print_stats_multi_2(num_PDB, best.data(), classes, "VWFit Final", true);
    for (DTensor& t : dTensors) {
        std::fill(std::begin(t.VWfit_w), std::end(t.VWfit_w), 0.0);
        std::copy(ens.weights().begin(), ens.weights().end(), t.VWfit_w);
    }
    if (!dcLists.empty()) dcList = dcLists.front();
    std::fflush(stdout);
    return 0;
}

int FitWorkData::vwfit_SA_LM(int num_PDB) { return runSingleMediumFit(num_PDB, false); }

int FitWorkData::vwfit_SA_LM_CV(int num_PDB) { return runSingleMediumFit(num_PDB, true); }

// The single-medium forms print their own lines; the lines that say RMS give the RMS of the
// weighted residuals of the working couplings at that point, while the fit minimises the score.
int FitWorkData::runSingleMediumFit(int num_PDB, bool validation) {
    dcLists.resize(1);
    dTensors.resize(1);
    if (setUpEnsembleFit(num_PDB) != 0) return -1;
    FitArgs& args = *dArgs;
    VWFitEnsemble& ens = *args.ensemble;
    const CostFunction annealCost = validation ? vwfitFuncSA_CV : vwfitFuncSA;
    const costFunction powellCost = validation ? fitVW_FuncPowell_CV : fitVW_FuncPowell;
    const DTensor& t = dTensors.front();
    const int trials = t.saTryCount;
    const int steps[3] = {t.saItStep1, t.saItStep2, t.saItStep3};
    const std::vector<double> lower(num_PDB, 0.0), upper(num_PDB, 1.0);
    const bool byClass = args.CouplingClassList.size() != 1;
    // Evaluates w as the cost does and leaves the statistics of the medium.
    auto evaluate = [&](const std::vector<double>& w) {
        args.dRMS = ens.evaluateAll(w.data(), args.wPenalty, args.firstWFixed != 0, byClass);
        return ens.stats(0);
    };
    auto saupe = [&t](int k) { return t.saupe[k]; };

    std::vector<double> best(num_PDB, 1.0 / num_PDB);
    VWFitEnsemble::MediumStats st = evaluate(best);
    double bestScore = args.dRMS;   // seeded with the equal-weight result, as in the multi-medium fit
    std::printf("\n SVD Fit with equal weights\n\t N:\t%3d\n\t RMS:\t%6.3f\n\t Q:\t%6.3f \n\t Da:\t%6.3f \n\t Rh:\t%6.3f\n\t "
                "Saupe:\t%6.4e %6.4e %6.4e %6.4e %6.4e\n\n",
                st.n, st.rms, st.q, daHz(t), rhombicity(t), saupe(0), saupe(1), saupe(2), saupe(3), saupe(4));

    for (int trial = 1; trial <= trials; trial++) {
        std::printf("\nStart anealing ... Trial # %d\n", trial);
        std::vector<double> w = randomWeights(num_PDB);
        st = evaluate(w);
        std::printf(" w0: \n\t");
        printWeights(ens.weights(), " %5.3f ", 1);
        std::printf("\n RMS_0 = %g\n", st.rms);

        Anneal_opt annealer;
        for (int p = 0; p < 3; p++) {
            if (steps[p] <= 0) continue;
            annealPhase(annealer, p, w.data(), num_PDB, annealCost, &args, lower.data(), upper.data(), steps[p]);
            st = evaluate(w);
            std::printf(kSinglePhaseLines[p], steps[p], trial, st.rms);
            std::printf(" w: \n\t");
            printWeights(ens.weights(), " %6.4f ", 1);
        }
        st = evaluate(w);
        std::printf("\n VWFit SA Trial #%3d\n\t N:\t%3d\n\t RMS:\t%6.3f\n\t Q:\t%6.3f \n\t Da:\t%6.3f \n\t Rh:\t%6.3f\n\t "
                    "Saupe:\t%6.4e %6.4e %6.4e %6.4e %6.4e\n\n",
                    trial, st.n, st.rms, st.q, daHz(t), rhombicity(t), saupe(0), saupe(1), saupe(2), saupe(3),
                    saupe(4));
        if (args.dRMS < bestScore) {
            best = w;
            bestScore = args.dRMS;
        }

        if (t.saPowellFlag == 0) continue;
        for (int pass = 0; pass < 2; pass++) powellPass(w, kPowellFtol[pass], powellCost, args);
        st = evaluate(w);
        std::printf(" w*100 Powell: \n\t");
        printWeights(ens.weights(), " %6.3f ", 100);
        std::printf("\n Powell Trial #%3d\n\t RMS:\t%6.3f\n\t Q:\t%6.3f \n\t Da:\t%6.3f \n\t Rh:\t%6.3f\n\t Saupe:\t%6.4e "
                    "%6.4e %6.4e %6.4e %6.4e\n\n",
                    trial, st.rms, st.q, daHz(t), rhombicity(t), saupe(0), saupe(1), saupe(2), saupe(3), saupe(4));
        if (args.dRMS < bestScore) {
            best = w;
            bestScore = args.dRMS;
        }
    }

    st = evaluate(best);
    std::printf("\n VWFit SA Final\n\t RMS:\t%6.3f\n\t Q:\t%6.3f \n\t Da:\t%6.3f \n\t Rh:\t%6.3f\n\t Saupe:\t%6.4e %6.4e "
                "%6.4e %6.4e %6.4e\n\n",
                st.rms, st.q, daHz(t), rhombicity(t), saupe(0), saupe(1), saupe(2), saupe(3), saupe(4));
    std::printf(" w final: \n\t");
    printWeights(ens.weights(), " %6.3f ", 1);
    std::printf("\n");
    DTensor& fitted = dTensors.front();
    std::fill(std::begin(fitted.VWfit_w), std::end(fitted.VWfit_w), 0.0);
    std::copy(ens.weights().begin(), ens.weights().end(), fitted.VWfit_w);
    dcList = dcLists.front();
    std::fflush(stdout);
    return 0;
}
