// The nonlinear fit's work object: construction from the caller's couplings and tensor, the
// parameter records and the argument block.
#include "fit/FitWorkData.h"

#include <string>

#include "common/Fail.h"
#include "common/Modes.h"

FitWorkData::FitWorkData() = default;

FitWorkData::FitWorkData(const std::vector<DipolarCouplingData>& couplings, const DTensor& tensor, int pdbCount_)
    : pdbCount(pdbCount_), retryCount(17), verbose(true), dTensors{tensor}, dcList(couplings), dcLists{couplings} {
    psi_0 = tensor.psi;
    theta_0 = tensor.theta;
    phi_0 = tensor.phi;
    da_0 = tensor.da;
    dr_0 = tensor.dr;
    rh_0 = tensor.rh;
    tensorCount = 1;
    countUsableCouplings();
    if (tensor.fitMode != orvex::kFitModeDipolarWave) pdbCopyOrigCoords();
}

FitWorkData::~FitWorkData() = default;

void FitWorkData::countUsableCouplings() {
    dcCount = 0;
    for (const DipolarCouplingData& dc : dcList)
        if (dc.selected == 1 && dc.valid == 1 && dc.atomICount > 0 && dc.atomJCount >= 1 && dc.w != 0) dcCount++;
}

void FitWorkData::pdbCopyOrigCoords() {}

void FitWorkData::Init() {
    dRMS = 0;
    if (dTensors.empty() || dTensors.front().fitMode != orvex::kFitModeDipolarWave) pdbCopyOrigCoords();
}

void FitWorkData::fitDCFree() { maxCouplings = 0; }

void FitWorkData::setDCData(const std::vector<DipolarCouplingData>& couplings) {
    dcList = couplings;
    countUsableCouplings();
    if (dArgs) dArgs->readCouplings();
}

void FitWorkData::clearParameters() {
    cg.fill(0);
    cHi.fill(0);
    cLo.fill(0);
    cDelta.fill(0);
    cScale.fill(0);
    cAdjust.fill(0);
    cType.fill(0);
    paramCount = 0;
}

void FitWorkData::addParameter(double value, double lower, double upper, double step, int type) {
    if (paramCount >= kMaxParameters)
        fail(-1, "Error: more than " + std::to_string(kMaxParameters) + " parameters for the nonlinear fit\n");
    const int i = paramCount++;
    cg[i] = value;
    cLo[i] = lower;
    cHi[i] = upper;
    cDelta[i] = step;
    cScale[i] = 1.0;
    cAdjust[i] = 1;
    cType[i] = type;
}

int FitWorkData::buildTensorParameters(bool anglesFromStart) {
    clearParameters();
    for (size_t k = 0; k < dTensors.size(); k++) {
        DTensor& t = dTensors[k];
        t.rhFlag = 1;
        const int ti = static_cast<int>(k);
        const double psi = anglesFromStart ? psi_0 : t.psi;
        const double theta = anglesFromStart ? theta_0 : t.theta;
        const double phi = anglesFromStart ? phi_0 : t.phi;
        if (t.psiMin != t.psiMax) addParameter(psi, t.psiMin, t.psiMax, kAngleStep, angleType(ti, 0));
        if (t.thetaMin != t.thetaMax) addParameter(theta, t.thetaMin, t.thetaMax, kAngleStep, angleType(ti, 1));
        if (t.phiMin != t.phiMax) addParameter(phi, t.phiMin, t.phiMax, kAngleStep, angleType(ti, 2));
        const bool daFree = t.daMin != t.daMax, rhFree = t.rhMin != t.rhMax;
        if (daFree) addParameter(t.da, t.daMin, t.daMax, kDaStep, kTypeDa);
        if (rhFree) addParameter(t.rh, t.rhMin, t.rhMax, kRhStep, kTypeRh);
        if (!daFree && !rhFree) t.dr = t.rh * t.da;
    }
    return paramCount;
}

FitArgs& FitWorkData::makeArgs(int cCnt, int xcCnt) {
    dArgs = std::make_unique<FitArgs>(cCnt, xcCnt);
    dArgs->bind(dTensors, dcList, dcLists);
    return *dArgs;
}

// Every fit leaves its fitted angles as the tensor's one Euler solution.
void FitWorkData::storeFittedAngles() {
    for (DTensor& t : dTensors) {
        t.psiList[0] = t.psi;
        t.thetaList[0] = t.theta;
        t.phiList[0] = t.phi;
        t.eulerCount = 1;
    }
}
