// A measured N-H coupling with its back-calculated value, and the tensor of the fit, as a fit
// leaves them, for tests that build coupling lists by hand (statistics, result tables, plots).
#pragma once

#include "couplings/DipolarCouplingData.h"
#include "tensor/DTensor.h"

namespace testcouplings {

// Residue `res` (both atoms), observed d, calculated dCalc (also its jackknife prediction), weight
// and uncertainty 1, the N-H constant, a jackknife trial tensor Da 5e-4, Dr 1e-4.
inline DipolarCouplingData measured(int res, double d, double dCalc, int selected = 1, int selectedV = 1) {
    DipolarCouplingData dc;
    dc.id = res;
    dc.CLASS = 1;
    dc.resIDI = dc.resIDJ = res;
    dc.resNameI = dc.resNameJ = "ALA";
    dc.atomNameI = "N";
    dc.atomNameJ = "HN";
    dc.d = d;
    dc.dCalc = dCalc;
    dc.dCalc_jk = dCalc;
    dc.w = dc.wCalc = 1;
    dc.sigma = 1;
    dc.diCalc = -21585.2;
    dc.selected = selected;
    dc.selected_v = selectedV;
    dc.da_jk = 5e-4;
    dc.dr_jk = 1e-4;
    return dc;
}

// The tensor those couplings were fitted with: Da 5e-4 (10.7926 Hz as an N-H coupling), Dr 1e-4,
// four jackknife trials.
inline DTensor tensor() {
    DTensor t;
    t.da = 5e-4;
    t.dr = 1e-4;
    t.N_JK = 4;
    return t;
}

}  // namespace testcouplings
