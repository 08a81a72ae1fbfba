// The three simulated-annealing phases shared by the annealing fits (the tensor fit, the dipolar
// wave of a helix): schedule, starting temperature and step scale of each, and the settings all
// phases share. Each phase starts from the best point of the one before.
#pragma once

#include "numeric/Anneal_opt.h"

namespace anneal_phases {

// One annealing phase: schedule, starting temperature, step scale.
struct Phase {
    const char* schedule;
    double T0;
    double learnRate;
};

// Phase 1 cools fast from a low temperature (a local search); phases 2 and 3 use the heavy-tailed
// "cauchy" steps at decreasing temperature and step scale.
constexpr Phase kPhases[3] = {{"fast", 1e-6, 1.0}, {"cauchy", 0.5, 0.5}, {"cauchy", 0.1, 0.2}};

// Settings shared by the phases: stop below this temperature, Boltzmann constant, relative
// tolerance of the "no longer changing" stop, "fast" cooling law constants, points per temperature.
constexpr double kFinalT = 1e-12;
constexpr double kBoltzmann = 1;
constexpr double kFtol = 1e-7;
constexpr double kQuench = 1, kM = 1, kN = 1;
constexpr int kDwell = 20;

// Runs phase p (0-based) of `steps` cooling steps on `cost` from x within [lower, upper], without
// evaluation or acceptance limits and without display; the result is annealer.getBestX().
inline void run(Anneal_opt& annealer, int p, int steps, const double* x, int n, CostFunction cost, void* args,
                const double* lower, const double* upper) {
    const Phase& ph = kPhases[p];
    annealer.minimize_anneal2(x, n, cost, args, ph.schedule, ph.T0, kFinalT, 0, 0, steps, kBoltzmann, ph.learnRate,
                              kFtol, kQuench, kM, kN, lower, upper, kDwell, false, 0, 0);
}

}  // namespace anneal_phases
