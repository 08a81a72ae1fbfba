// Variable-weight ensemble fit of conformer populations over one or more media (-vwfit,
// -vwfit_cv_multi; reads -inDs or -inD, -pdb, -select, -select_valid, -saStep1..3, -vwfitCount,
// -vwfit_C, -outTitle). The single-medium -vwfit_cv is a fit mode of the standard run
// (Orvex_nonlinear.cpp).
#include "driver/Orvex.h"

// Not available yet: nothing is computed or written.
int Orvex::vwFit_multi() {
    return -1;
}
