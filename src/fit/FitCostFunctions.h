// Cost functions of the constrained tensor fit, handed to the minimisers with a FitArgs block as
// their opaque argument. Each moves the parameters into the tensor and evaluates every coupling
// under its rotation (for every tensor in order: extractTensor, continuing the parameter index,
// then applyDCRot), then sets the block's dRMS to sqrt(sum of squares / n), n being the count the
// last evaluation used (0 when n = 0).
#pragma once

// The RMS as a value.
double fitFunc(double* param, void* args);
// Annealer callback: a pointer to the block's dRMS.
double* fitFuncSA(double* param, void* args);
// Levenberg-Marquardt callback: the block's residual vector.
double* fitFuncResidual(double* param, void* args);
// Powell callback: param is 1-based (element 0 ignored); returns the RMS.
double fitFuncPow(double* param, void* args);

// ---- variable-weight ensemble fit (FitCostFunctions_vwfit.cpp) ----
// Cost functions on the conformer weights and a FitArgs block whose ensemble holds the media:
// the score of the weights (VWFitEnsemble::score with the block's wPenalty and firstWFixed),
// also left in the block's dRMS.
// Annealer callback of the multi-medium fit: one Q per coupling class and medium; with exactly
// one class in CouplingClassList it hands over to vwfitFuncSA_CV_multi.
double* vwfitFuncSA_CV_multi_2(double* w, void* args);
// One Q per medium over all its working couplings.
double* vwfitFuncSA_CV_multi(double* w, void* args);
// Powell callback of the multi-medium fit: w is 1-based (element 0 ignored).
double fitDWFuncPowell_CV_multi_2(double* w, void* args);
// The single-medium fits' callbacks (fit mode 7, and 8 with validation couplings): the same score
// over their one medium; the Powell forms take 1-based vectors.
double* vwfitFuncSA(double* w, void* args);
double fitVW_FuncPowell(double* w, void* args);
double* vwfitFuncSA_CV(double* w, void* args);
double fitVW_FuncPowell_CV(double* w, void* args);

// The dipolar wave of a helix (FitArgs_dipolarWave.cpp): FitArgs::DipolarWaveCalcDC for every
// tensor, then the block's dRMS = sqrt(sum of squares / n), n the couplings computed (0 when n = 0).
// Annealer callback: a pointer to the block's dRMS.
double* fitDWFuncSA(double* param, void* args);
// Levenberg-Marquardt callback: the block's residual vector.
double* fitDWFuncResidual(double* param, void* args);
