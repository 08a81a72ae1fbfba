// One alignment tensor per conformer, fitted jointly by SVD (-multiTensor, -nTensors, with a
// structure of several MODELs; tensorMode 1). The tensors are prepared by the standard run
// (Orvex_standard.cpp), which also prints the conformer-count warnings.
#include "driver/Orvex.h"

// Not available yet: nothing is computed or written.
int Orvex::runMultiTensorFit(SVDWorkData&) {
    return -1;
}
