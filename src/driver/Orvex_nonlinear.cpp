// Constrained nonlinear tensor fits of the standard run (tensorMode 3, 4, 8): -fit, -fit_nlls,
// -fit_lm, -fit_pw, -fit_gs, -fit_sa, -fit_sa_lm, -vwfit_cv, -fit_dw, -nofixed, the
// fixed-parameter options (-daFixed, -rot, -rotrh, ...) and -fixed with a tensor value missing.
#include "driver/Orvex.h"

// Not available yet: nothing is computed or written.
int Orvex::runNonlinearFit() {
    return -1;
}
