// Residual chemical shift anisotropy fit (-rcsa, -inRCSA, -outRCSA, the -N_csa_/-H_csa_/-C_csa_ options).
#include "driver/Orvex.h"

// Not available yet: nothing is computed or written.
int Orvex::simRCSA() {
    return -1;
}
