// The tensor fit's cost functions: one evaluation, reported as RMS, RMS pointer or residuals.
#include "fit/FitCostFunctions.h"

#include <cmath>

#include "fit/FitArgs.h"

namespace {

FitArgs& evaluate(double* param, void* args) {
    FitArgs& a = *static_cast<FitArgs*>(args);
    int next = 0, n = 0;
    for (size_t k = 0; k < a.dTensors->size(); k++) {
        next = a.extractTensor(param, next);
        n = a.applyDCRot(static_cast<int>(k));
    }
    a.dRMS = n > 0 ? std::sqrt(a.dRMS / n) : 0.0;
    return a;
}

}  // namespace

double fitFunc(double* param, void* args) { return evaluate(param, args).dRMS; }

double* fitFuncSA(double* param, void* args) { return &evaluate(param, args).dRMS; }

// Reading adopted: the solver's own parameters are evaluated through a copy, so that what the
// evaluation writes back (a wrapped angle, a clamped Da, re-ordered Da and Rh) stays out of them.
// The solver takes a rejected step back by subtracting it; from a rewritten value that would land
// somewhere else, and a clamped Da would send the refinement far from where it started.
double* fitFuncResidual(double* param, void* args) {
    FitArgs& a = *static_cast<FitArgs*>(args);
    a.solverParams.assign(param, param + a.cCnt);
    return evaluate(a.solverParams.data(), args).dResidual.data();
}

double fitFuncPow(double* param, void* args) { return evaluate(param + 1, args).dRMS; }
