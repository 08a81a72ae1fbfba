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

// The dipolar wave of a helix (FitArgs_dipolarWave.cpp): FitArgs::DipolarWaveCalcDC for every
// tensor, then the block's dRMS = sqrt(sum of squares / n), n the couplings computed (0 when n = 0).
// Annealer callback: a pointer to the block's dRMS.
double* fitDWFuncSA(double* param, void* args);
// Levenberg-Marquardt callback: the block's residual vector.
double* fitDWFuncResidual(double* param, void* args);
