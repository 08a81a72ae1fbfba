// Couplings back-calculated from a given tensor: five Saupe values (-saupe, -align;
// tensorMode 2) or Da, rhombicity and three rotations (-fixed with -da -rh -rx -ry -rz;
// tensorMode 5). Without -inD the couplings are generated for the -class... options.
#include "common/Modes.h"
#include "driver/Orvex.h"
#include "fit/SVDWorkData.h"

namespace {

// Back-calculation needs a valid, selected coupling with atoms on both sides.
bool canBackCalculate(const DipolarCouplingData& dc) {
    return dc.valid == 1 && dc.selected == 1 && dc.atomICount != 0 && dc.atomJCount != 0;
}

}  // namespace

int Orvex::runGivenSaupe(SVDWorkData& svd) {
    DTensor& t = dTensor;
    t.eulerCount = t.saupe2euler();
    Mat4 rotation;
    t.principalFrame(rotation);
    for (DipolarCouplingData& dc : dcDataList.dcList)
        if (canBackCalculate(dc)) dc.calcDC(rotation, t.da, t.dr);
    dTensors.clear();
    dTensors.push_back(t);
    // no fit ran: the engine's count is 0
    if (!outDCFileName.empty()) dcDataList.reportDC(outDCFileName, 0, dTensors, svd.svdCount);
    writePlotIfAsked(dcDataList, dTensors, 0, svd.svdCount);
    return 1;
}

// The nonlinear route then hands these couplings to the fit engine; the fitMode that -fixed sets
// (1) runs no minimiser, so the table shows the tensor as given.
void Orvex::backCalculateFixedTensor() {
    DTensor& t = dTensor;
    t.euler2saupe2();
    t.eulerCount = t.saupe2euler();
    for (DipolarCouplingData& dc : dcDataList.dcList)
        if (canBackCalculate(dc)) dc.calcDC(t.saupe.data(), 5);
}
