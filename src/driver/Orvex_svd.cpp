// SVD fit of one alignment tensor (the default route of the standard run; -svd; tensorMode 1
// without -multiTensor): jackknife by residue or by coupling (-JK, -noJK, -JK_level,
// -jkByRes, -jkByCoupling), the full fit, and the result table.
#include "driver/Orvex.h"
#include "fit/SVDWorkData.h"

int Orvex::runSvdFit(SVDWorkData& svd) {
    DTensor& t = dTensor;
    svd.simD(dcDataList.dcList, pdbCount, t);
    if (t.eulerFlag == 1) {
        t.eulerCount = t.saupe2euler();
        dTensors.clear();
        dTensors.push_back(t);
    }
    if (!outDCFileName.empty()) dcDataList.reportDC(outDCFileName, 1, dTensors, svd.svdCount);
    writePlotIfAsked(dcDataList, dTensors, 1, svd.svdCount);
    return 1;
}
