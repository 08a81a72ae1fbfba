// The dipolar wave fit of a helix on 60 couplings (N-H, HA-CA and C-CA of residues 1 to 20),
// set without noise to the wave of known parameters:
//   timing    one wave evaluation (the annealer's cost), and the whole fit (50 trials) five times
//             with seeds 1..5;
//   recovery  10 random waves (Ru0 in [-180, 180], THETA_AVE in [10, 170], PHI_AVE in [0, 180],
//             |Da| in [3e-4, 1e-3] with either sign, Rh in [0.05, 0.6], delta in [10, 18]), each
//             fitted once with -seed 1: the share fitted to RMS below 0.01 Hz with Da and Rh within 1 %.
// Results on the error stream (the fit's own lines go to /dev/null). Times are processor time.
// Usage: dipolarWave_bench [timing|recovery|all]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "common/RunSeed.h"
#include "fit/FitCostFunctions.h"
#include "fit/FitWorkData.h"

namespace {

struct Wave {
    double ru0, theta, phi, da, rh, delta;
};

double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

DTensor waveTensor(const Wave& w) {
    DTensor t;
    t.initTensor(1);
    t.tensorMode = 8;
    t.fitMode = 6;
    t.psi = w.ru0;
    t.theta = w.theta;
    t.phi = w.phi;
    t.da = w.da;
    t.rh = w.rh;
    t.expC = w.delta;
    t.expCMin = 9;
    t.expCMax = 18;
    return t;
}

// 60 couplings whose values are the wave's (the program's own evaluation with every parameter at
// its true value).
std::vector<DipolarCouplingData> couplings(const Wave& w) {
    std::vector<DipolarCouplingData> list;
    // |DI| = |gamma_I gamma_J| 3.356809033771374e-12 / r^3 at the standard distances
    auto dmax = [](double gI, double gJ, double r) { return std::fabs(gI * gJ * 3.356809033771374e-12 / (r * r * r)); };
    const double gH = 267.5198e6, gN = -27.116e6, gC = 67.283e6;
    const struct {
        int cls;
        double absDI;
    } classes[] = {{1, dmax(gH, gN, 1.041)}, {7, dmax(gH, gC, 1.107)}, {10, dmax(gC, gC, 1.525)}};
    for (const auto& c : classes)
        for (int n = 1; n <= 20; n++) {
            DipolarCouplingData dc;
            dc.CLASS = c.cls;
            dc.resIDI = dc.resIDJ = n;
            dc.diCalc = c.absDI;
            dc.w = dc.wCalc = 21585.2 / c.absDI;
            dc.d = 0;
            list.push_back(dc);
        }
    DTensor pinned = waveTensor(w);
    pinned.psiMin = pinned.psiMax = w.ru0;
    pinned.thetaMin = pinned.thetaMax = w.theta;
    pinned.phiMin = pinned.phiMax = w.phi;
    pinned.daMin = pinned.daMax = w.da;
    pinned.rhMin = pinned.rhMax = w.rh;
    pinned.expCMin = pinned.expCMax = w.delta;
    FitWorkData f(list, pinned, 0);
    double unused = 0;
    f.makeArgs(1, 60).DipolarWaveCalcDC(&unused);
    for (size_t i = 0; i < list.size(); i++) list[i].d = f.dcList[i].dCalc;
    return list;
}

void timing() {
    const Wave truth{30, 40, 65, 6e-4, 0.35, 17};
    const std::vector<DipolarCouplingData> dcs = couplings(truth);

    FitWorkData e(dcs, waveTensor(truth), 0);
    e.buildTensorParameters(false);
    e.addParameter(17, 9, 18, 0.01, 13);
    FitArgs& a = e.makeArgs(e.paramCount, 60);
    const int calls = 200000;
    double sink = 0;
    double t0 = cpuSeconds();
    for (int i = 0; i < calls; i++) {
        e.cg[0] = -180 + 360.0 * i / calls;
        sink += *fitDWFuncSA(e.cg.data(), &a);
    }
    const double perEval = (cpuSeconds() - t0) / calls;
    std::fprintf(stderr, "one evaluation of 60 couplings: %.2f us (%.0f ns per coupling)%s\n", 1e6 * perEval,
                 1e9 * perEval / 60, sink < 0 ? "?" : "");

    std::vector<double> times;
    for (int seed = 1; seed <= 5; seed++) {
        RunSeed::set(seed);
        FitWorkData f(dcs, waveTensor(Wave{0, 0, 0, -7.0097e-4, 0.466, 15.8}), 0);
        t0 = cpuSeconds();
        f.fitDCAlign_DiplolarWave();
        times.push_back(cpuSeconds() - t0);
        const DTensor& r = f.dTensors[0];
        std::fprintf(stderr, "fit, seed %d: %.2f s, RMS %.2e, Da %.5e, Rh %.5f, delta %.3f (about %.0f evaluations)\n",
                     seed, times.back(), f.dRMS, r.da, r.rh, r.expC, times.back() / perEval);
    }
    std::fprintf(stderr, "whole fit (50 trials): median %.2f s, fastest %.2f s\n", median(times),
                 *std::min_element(times.begin(), times.end()));
}

void recovery() {
    std::mt19937 rng(20261206);
    std::uniform_real_distribution<double> u(0, 1);
    int ok = 0;
    for (int i = 0; i < 10; i++) {
        const double mag = 3e-4 + 7e-4 * u(rng);
        const Wave w{-180 + 360 * u(rng), 10 + 160 * u(rng), 180 * u(rng), u(rng) < 0.5 ? -mag : mag,
                     0.05 + 0.55 * u(rng), 10 + 8 * u(rng)};
        RunSeed::set(1);
        FitWorkData f(couplings(w), waveTensor(Wave{0, 0, 0, -7.0097e-4, 0.466, 15.8}), 0);
        f.fitDCAlign_DiplolarWave();
        const DTensor& r = f.dTensors[0];
        const bool found = f.dRMS < 0.01 && std::fabs(r.da - w.da) <= 0.01 * std::fabs(w.da) &&
                           std::fabs(r.rh - w.rh) <= 0.01 * w.rh;
        ok += found;
        std::fprintf(stderr,
                     "wave %2d: Ru0 %7.2f THETA %6.2f PHI %6.2f Da %10.3e Rh %.3f delta %5.2f -> RMS %.2e Da %10.3e "
                     "Rh %.3f delta %5.2f %s\n",
                     i + 1, w.ru0, w.theta, w.phi, w.da, w.rh, w.delta, f.dRMS, r.da, r.rh, r.expC,
                     found ? "found" : "missed");
    }
    std::fprintf(stderr, "recovered %d of 10\n", ok);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "all";
    if (!std::freopen("/dev/null", "w", stdout)) return 1;
    if (what == "timing" || what == "all") timing();
    if (what == "recovery" || what == "all") recovery();
    return 0;
}
