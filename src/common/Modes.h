// The mode codes of the program: how the alignment tensor is obtained (tensorMode), which
// nonlinear method fits it (fitMode), and how a residue range selects a coupling
// (excludeMode). The numbers are the ones the program stores and users' tables show.
#pragma once

namespace orvex {

// DTensor::tensorMode
constexpr int kTensorModeSvd = 1;             // order-matrix SVD fit (-svd, the default; -rcsa)
constexpr int kTensorModeGivenSaupe = 2;      // back-calculation from five Saupe values (-saupe, -align)
constexpr int kTensorModeNonlinear = 3;       // constrained nonlinear fit (-fit..., fixed-parameter options)
constexpr int kTensorModeGridSearch = 4;      // grid search over rotations
constexpr int kTensorModeFixed = 5;           // back-calculation from Da, Rh and three rotations (-fixed)
constexpr int kTensorModeSteric = 6;          // steric alignment prediction
constexpr int kTensorModeElectrostatic = 7;   // electrostatic alignment prediction
constexpr int kTensorModeDipolarWave = 8;     // dipolar wave of a helix (-fit_dw); needs no structure
constexpr int kTensorModeUnlabelled = 9;      // no option sets it; result tables print no tensor-mode block
constexpr int kTensorModeShape = 10;          // tensor from the molecular shape (-shapeTensor)

// DTensor::fitMode
constexpr int kFitModeNlls = 1;          // -fit_nlls, and what -fixed sets
constexpr int kFitModeLm = 2;            // -fit_lm
constexpr int kFitModeSaLm = 3;          // -fit_sa_lm
constexpr int kFitModePowell = 4;        // -fit_pw
constexpr int kFitModeGridSearch = 5;    // -fit_gs, -fit
constexpr int kFitModeDipolarWave = 6;   // -fit_dw
constexpr int kFitModeVwfit = 7;         // -vwfit
constexpr int kFitModeVwfitCv = 8;       // -vwfit_cv
constexpr int kFitModeMultiTensor = 9;   // -multiTensor with several conformers

// Orvex::excludeMode: which residue of a coupling must lie in the analysed range
constexpr int kExcludeModeBoth = 1;      // both residues (-excl)
constexpr int kExcludeModeEither = 2;    // at least one (-incl, -inclAll)
constexpr int kExcludeModeSmaller = 3;   // the smaller residue number (-inclMin)
constexpr int kExcludeModeLarger = 4;    // the larger residue number (-inclMax, the default)

}  // namespace orvex
