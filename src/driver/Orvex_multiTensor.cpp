// One alignment tensor per conformer, fitted jointly by SVD (-multiTensor, -nTensors, with a
// structure of several MODELs; tensorMode 1). The tensors are prepared by the standard run
// (Orvex_standard.cpp), which also prints the conformer-count warnings. The jackknife (by
// residue, or by coupling with -JK_level C) always runs; -noJK only leaves its statistics
// block out of the result table.
#include <cstdio>

#include "driver/Orvex.h"
#include "fit/SVDWorkData.h"

int Orvex::runMultiTensorFit(SVDWorkData& svd) {
    svd.simD_multiTensors(dcDataList.dcList, pdbCount, dTensors);
    std::fprintf(stderr, "\nDC Multiple Tensor Multi-conformer (SVD) Fit with %d conformers/tensors ...\n\n", pdbCount);
    // the tensors hold the jackknife means: their principal frames and Euler solutions
    if (dTensor.eulerFlag == 1)
        for (DTensor& t : dTensors) t.eulerCount = t.saupe2euler();
    if (!outDCFileName.empty()) dcDataList.reportDC(outDCFileName, 1, dTensors, svd.svdCount);
    writePlotIfAsked(dcDataList, dTensors, 1, svd.svdCount);
    return 1;
}
