// The dipolar wave's evaluation: the wave parameters moved into the first tensor, every modelled
// coupling computed from its residue's phase along the helix, and the cost functions built on it.
//   cos(theta) = cos(THETA_AVE) cos(delta') - sin(THETA_AVE) sin(delta') cos(x)
//   phi        = PHI_AVE + asin( sin(delta') sin(x) / sin(theta) )
//   D          = Da [ (3 cos^2(theta) - 1) + 1.5 Rh sin^2(theta) cos(2 phi) ] |DI|
// with x = Ru - Ru0 + a and delta' = delta + b for the bond of the coupling's class.
#include <algorithm>
#include <array>
#include <cmath>

#include "common/Constants.h"
#include "fit/DipolarWave.h"
#include "fit/FitArgs.h"
#include "fit/FitCostFunctions.h"

namespace {

constexpr double kDegToRad = orvex::kPi / 180.0;

double clampTo(double v, double lo, double hi) {
    if (v > hi) v = hi;
    if (v < lo) v = lo;
    return v;
}

// Wraps an angle once: above 180 by -360, below -180 by +360.
double wrapAngleOnce(double a) {
    if (a > 180) return a - 360;
    if (a < -180) return a + 360;
    return a;
}

}  // namespace

bool FitArgs::isDipolarWaveCoupling(const DipolarCouplingData& dc) {
    dipolar_wave::BondGeometry g;
    return dc.selected == 1 && dipolar_wave::bondGeometry(dc.CLASS, g);
}

void FitArgs::readWaveCouplings() {
    wave_.clear();
    waveBonds_.clear();
    std::array<int, 16> bondOfClass;
    bondOfClass.fill(-1);
    for (size_t i = 0; dcList != nullptr && i < dcList->size(); i++) {
        const DipolarCouplingData& dc = (*dcList)[i];
        dipolar_wave::BondGeometry g;
        if (!isDipolarWaveCoupling(dc) || !dipolar_wave::bondGeometry(dc.CLASS, g)) continue;
        int& bond = bondOfClass[dc.CLASS];
        if (bond < 0) {
            bond = static_cast<int>(waveBonds_.size());
            waveBonds_.push_back(g.deltaOffset * kDegToRad);
        }
        wave_.push_back({static_cast<int>(i), bond, dipolar_wave::residuePhase(std::max(dc.resIDI, dc.resIDJ)),
                         g.phaseOffset * kDegToRad, std::fabs(dc.diCalc), dc.d, dc.wCalc});
    }
    // the residual vector holds one entry per computed coupling, however many there are
    if (dResidual.size() < wave_.size()) dResidual.resize(wave_.size(), 0.0);
    waveRead_ = true;
}

void FitArgs::moveWaveParameters(double* param) {
    DTensor& t = dTensors->front();
    int n = 0;
    if (t.psiMin != t.psiMax) {
        param[n] = t.psi = wrapAngleOnce(param[n]);
        n++;
    }
    // THETA_AVE and PHI_AVE in [0, 180]: turning the helix axis by 180 degrees gives the same wave
    auto averageAngle = [&](double& field, double lo, double hi) {
        if (lo == hi) return;
        double v = wrapAngleOnce(param[n]);
        if (v < 0) v += 180;
        param[n++] = field = v;
    };
    averageAngle(t.theta, t.thetaMin, t.thetaMax);
    averageAngle(t.phi, t.phiMin, t.phiMax);

    const bool daFree = t.daMin != t.daMax, rhFree = t.rhMin != t.rhMax;
    int daAt = -1, rhAt = -1;
    if (daFree) {
        param[n] = t.da = clampTo(param[n], t.daMin, t.daMax);
        daAt = n++;
    }
    if (rhFree) {
        t.rh = param[n];
        rhAt = n++;
    }
    if (t.expCMin != t.expCMax) {
        param[n] = t.expC = clampTo(param[n], t.expCMin, t.expCMax);
        n++;
    }

    if (t.da != 0 && t.rh > 2.0 / 3.0) {
        // a rhombicity beyond 2/3 describes the same tensor with other axis labels
        double da = t.da, dr = std::fabs(t.rh * t.da) * (t.da >= 0 ? 1 : -1);
        relabelPrincipalValues(da, dr);
        const double rh = std::fabs(dr / da);
        t.da = daFree ? clampTo(da, t.daMin, t.daMax) : da;
        if (daAt >= 0) param[daAt] = t.da;
        if (t.rhFlag == 1 && rhFree) param[rhAt] = t.rh = clampTo(rh, t.rhMin, t.rhMax);
    }
    // Dr = Rh Da with the sign of Da (the table's DATA Dr)
    t.dr = std::fabs(t.rh * t.da) * (t.da >= 0 ? 1 : -1);
}

int FitArgs::DipolarWaveCalcDC(double* param) {
    moveWaveParameters(param);
    if (!waveRead_) readWaveCouplings();
    const DTensor& t = dTensors->front();

    // per bond: cos and sin of delta' = delta + b
    std::array<double, 16> cosDelta{}, sinDelta{};
    for (size_t b = 0; b < waveBonds_.size(); b++) {
        const double delta = t.expC * kDegToRad + waveBonds_[b];
        cosDelta[b] = std::cos(delta);
        sinDelta[b] = std::sin(delta);
    }
    const double thetaAve = t.theta * kDegToRad;
    const double cosThetaAve = std::cos(thetaAve), sinThetaAve = std::sin(thetaAve);

    std::vector<DipolarCouplingData>& list = *dcList;
    dRMS = 0;
    dCHI2 = 0;
    int k = 0;
    for (const WaveCoupling& w : wave_) {
        const double x = (w.phase - t.psi) * kDegToRad + w.offset;
        const double sinX = std::sin(x);
        const double cosTheta = cosThetaAve * cosDelta[w.bond] - sinThetaAve * sinDelta[w.bond] * std::cos(x);
        const double s2 = 1 - cosTheta * cosTheta;
        // Along the field (s2 = 0) the azimuth is undefined and its term vanishes: it is taken as
        // PHI_AVE. The sine is kept within [-1, 1] against rounding.
        const double turn = s2 > 0 ? std::asin(clampTo(sinDelta[w.bond] * sinX / std::sqrt(s2), -1, 1)) : 0.0;
        const double phi = t.phi + turn * orvex::kRadToDeg;
        const double D =
            t.da * ((3 * cosTheta * cosTheta - 1) + 1.5 * t.rh * s2 * std::cos(2 * phi * kDegToRad)) * w.absDI;
        list[w.index].dCalc = D;
        const double r = (w.d - D) * w.wCalc;
        dRMS += r * r;
        dResidual[k++] = r;
    }
    return k;
}

namespace {

FitArgs& evaluateWave(double* param, void* args) {
    FitArgs& a = *static_cast<FitArgs*>(args);
    int n = 0;
    for (size_t k = 0; k < a.dTensors->size(); k++) n = a.DipolarWaveCalcDC(param);
    a.dRMS = n > 0 ? std::sqrt(a.dRMS / n) : 0.0;
    return a;
}

}  // namespace

double* fitDWFuncSA(double* param, void* args) { return &evaluateWave(param, args).dRMS; }

// Evaluated through a copy, as the tensor fit's residuals are: what the evaluation writes back (a
// wrapped angle, a clamped Da) stays out of the solver's own parameters, which it moves by steps
// and takes back by subtracting them.
double* fitDWFuncResidual(double* param, void* args) {
    FitArgs& a = *static_cast<FitArgs*>(args);
    a.solverParams.assign(param, param + a.cCnt);
    return evaluateWave(a.solverParams.data(), args).dResidual.data();
}
