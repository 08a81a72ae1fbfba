// The nonlinear route of the standard run (tensorMode 3, 4, 5, 8): -fit, -fit_gs (grid search
// with Levenberg-Marquardt), -fit_sa_lm (annealing), -fit_dw (the dipolar wave of a helix, which
// needs no structure), -fit_nlls, -fit_lm, -fit_pw, -fit_sa, -nofixed, the fixed-parameter options
// (-daFixed, -rot, -rotrh, ...), -vwfit_cv (the single-medium ensemble fit), and -fixed, whose
// back-calculated couplings pass through the fit engine unchanged.
#include <utility>

#include "common/Modes.h"
#include "driver/Orvex.h"
#include "fit/FitWorkData.h"

int Orvex::runNonlinearFit() {
    DTensor& t = dTensor;
    if (t.tensorMode == orvex::kTensorModeFixed) backCalculateFixedTensor();

    FitWorkData fit(dcDataList.dcList, t, pdbCount);
    // fitMode 1, 2 and 4 (and the 1 that -fixed sets) run no minimiser: the start tensor is reported
    if (t.fitMode == orvex::kFitModeSaLm) fit.fitDCAlign_SA_LM();
    if (t.fitMode == orvex::kFitModeGridSearch) fit.fitDCAlign_GS_Powell(grid_step);
    if ((t.fitMode == orvex::kFitModeVwfit || t.fitMode == orvex::kFitModeVwfitCv) && !runEnsembleFit(fit))
        return 1;   // more conformers than the ensemble fit takes: the message, no table
    if (t.fitMode == orvex::kFitModeDipolarWave) fit.fitDCAlign_DiplolarWave();
    if (t.tensorMode != orvex::kTensorModeFixed) t = fit.dTensors.front();

    dcDataList.dcList = std::move(fit.dcList);
    dTensors.clear();
    dTensors.push_back(t);
    if (!outDCFileName.empty()) dcDataList.reportDC(outDCFileName, 0, dTensors, dcDataList.validCount);
    writePlotIfAsked(dcDataList, dTensors, 0, dcDataList.validCount);
    return 1;
}
