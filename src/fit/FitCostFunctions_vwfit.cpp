// The ensemble fit's cost functions: the score of a weight vector, for the annealer (a pointer to
// the block's dRMS) and for Powell's method (1-based vectors, the score as a value).
#include "fit/FitArgs.h"
#include "fit/FitCostFunctions.h"
#include "fit/VWFitEnsemble.h"

namespace {

double* scoreInto(const double* w, void* args, bool byClass) {
    FitArgs& a = *static_cast<FitArgs*>(args);
    a.dCHI2 = 0;
    a.dRMS = a.ensemble->score(w, a.wPenalty, a.firstWFixed != 0, byClass);
    return &a.dRMS;
}

}  // namespace

double* vwfitFuncSA_CV_multi_2(double* w, void* args) {
    if (static_cast<FitArgs*>(args)->CouplingClassList.size() == 1) return vwfitFuncSA_CV_multi(w, args);
    return scoreInto(w, args, true);
}

double* vwfitFuncSA_CV_multi(double* w, void* args) { return scoreInto(w, args, false); }

double fitDWFuncPowell_CV_multi_2(double* w, void* args) { return *vwfitFuncSA_CV_multi_2(w + 1, args); }

double* vwfitFuncSA(double* w, void* args) { return vwfitFuncSA_CV_multi_2(w, args); }

double fitVW_FuncPowell(double* w, void* args) { return *vwfitFuncSA(w + 1, args); }

double* vwfitFuncSA_CV(double* w, void* args) { return vwfitFuncSA_CV_multi_2(w, args); }

double fitVW_FuncPowell_CV(double* w, void* args) { return *vwfitFuncSA_CV(w + 1, args); }
