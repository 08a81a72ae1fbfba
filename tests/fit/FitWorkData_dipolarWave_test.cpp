// The dipolar wave of a helix in-process: the bond table and the residue phase, which couplings it
// computes, its values against hand-computed cases and the written-out formula, the parameters
// moved into range and the cost functions. (The refusal without a modelled coupling is checked
// through the executable.)
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "common/DipolarWaveReference.h"
#include "fit/DipolarWave.h"
#include "fit/FitCostFunctions.h"
#include "fit/FitWorkData.h"

using wavetest::Bond;
using wavetest::Wave;

namespace {

// A coupling of residue n between the atoms of `bond`, of class cls, observed value d.
DipolarCouplingData coupling(int cls, int n, double d, const Bond& bond) {
    DipolarCouplingData dc;
    dc.CLASS = cls;
    dc.resIDI = dc.resIDJ = n;
    dc.atomNameI = bond.nameI;
    dc.atomNameJ = bond.nameJ;
    dc.d = d;
    dc.diCalc = -bond.absDI;   // the sign of DI does not enter
    dc.w = dc.wCalc = 1;
    return dc;
}

// The tensor of a wave with every parameter fixed (bounds equal to the value); free() opens one.
struct WaveTensor {
    DTensor t;
    explicit WaveTensor(const Wave& w) {
        t.tensorMode = 8;
        t.fitMode = 6;
        t.rhFlag = 1;
        t.psi = t.psiMin = t.psiMax = w.ru0;
        t.theta = t.thetaMin = t.thetaMax = w.thetaAve;
        t.phi = t.phiMin = t.phiMax = w.phiAve;
        t.da = t.daMin = t.daMax = w.da;
        t.rh = t.rhMin = t.rhMax = w.rh;
        t.expC = t.expCMin = t.expCMax = w.delta;
    }
    WaveTensor& freeAll() {
        t.psiMin = t.thetaMin = t.phiMin = -180;
        t.psiMax = t.thetaMax = t.phiMax = 180;
        t.daMin = -0.01, t.daMax = 0.01;
        t.rhMin = 0, t.rhMax = 2.0 / 3;
        t.expCMin = 9, t.expCMax = 18;
        return *this;
    }
};

// dCalc of every coupling after one evaluation of the wave with parameter vector param (the free
// parameters in the order Ru0, THETA_AVE, PHI_AVE, Da, Rh, delta); the count computed in `count`.
std::vector<double> evaluate(const std::vector<DipolarCouplingData>& list, const DTensor& t, std::vector<double>& param,
                             int* count = nullptr, DTensor* after = nullptr) {
    FitWorkData fit(list, t, 0);
    FitArgs& a = fit.makeArgs(param.empty() ? 1 : static_cast<int>(param.size()), 1);
    if (param.empty()) param.push_back(0);
    const int n = a.DipolarWaveCalcDC(param.data());
    if (count) *count = n;
    if (after) *after = fit.dTensors.front();
    std::vector<double> calc;
    for (const DipolarCouplingData& dc : fit.dcList) calc.push_back(dc.dCalc);
    return calc;
}

const Wave kWave{30, 40, 65, 6e-4, 0.35, 17};

}  // namespace

// The class table, the phase step of 360/3.607 = 99.806 degrees per residue, and the couplings the
// wave leaves alone: classes outside the table and couplings that are not selected.
TEST(DipolarWave, BondTablePhaseAndIgnoredCouplings) {
    const struct {
        int cls;
        double a, b;
    } table[] = {{1, 0, 0}, {9, 0, 0}, {3, -33.7, 32.06}, {5, 130.1, 38.2}, {6, -37.2, 57.0}, {7, 42.5, 48.3}, {10, -132.0, 33.0}};
    for (const auto& row : table) {
        dipolar_wave::BondGeometry g{99, 99};
        ASSERT_TRUE(dipolar_wave::bondGeometry(row.cls, g)) << row.cls;
        EXPECT_EQ(g.phaseOffset, row.a);
        EXPECT_EQ(g.deltaOffset, row.b);
    }
    dipolar_wave::BondGeometry g;
    for (int cls : {-1, 0, 2, 4, 8, 11, 12, 13}) EXPECT_FALSE(dipolar_wave::bondGeometry(cls, g)) << cls;
    EXPECT_EQ(dipolar_wave::residuePhase(1), 0.0);
    EXPECT_NEAR(dipolar_wave::residuePhase(2) - dipolar_wave::residuePhase(1), 99.806, 5e-4);

    // residue 2 at Ru0 equals residue 1 at Ru0 - 99.806 for every modelled bond
    for (const Bond& bond : {wavetest::bondNH(), wavetest::bondHACA(), wavetest::bondCCA()}) {
        const int cls = bond.a == 0 ? 1 : bond.a > 0 ? 7 : 10;
        std::vector<double> none;
        WaveTensor later(kWave), earlier(Wave{kWave.ru0 - 360 / 3.607, 40, 65, 6e-4, 0.35, 17});
        const double d2 = evaluate({coupling(cls, 2, 0, bond)}, later.t, none)[0];
        none.clear();
        const double d1 = evaluate({coupling(cls, 1, 0, bond)}, earlier.t, none)[0];
        EXPECT_NEAR(d2, d1, 1e-12) << bond.nameI;
        EXPECT_NEAR(d2, wavetest::coupling(kWave, 2, bond), 1e-12) << bond.nameI;
        EXPECT_GT(std::fabs(d2 - wavetest::coupling(kWave, 1, bond)), 0.5) << "residues 1 and 2 differ";
    }

    std::vector<DipolarCouplingData> list = {coupling(1, 3, 5.0, wavetest::bondNH())};
    for (int cls : {0, 2, 4, 8, 11, 12}) list.push_back(coupling(cls, 3, 5.0, wavetest::bondNH()));
    list.push_back(coupling(1, 4, 5.0, wavetest::bondNH()));
    list.back().selected = 0;
    for (DipolarCouplingData& dc : list) dc.dCalc = 777;
    std::vector<double> none;
    int count = 0;
    const std::vector<double> calc = evaluate(list, WaveTensor(kWave).t, none, &count);
    EXPECT_EQ(count, 1);
    EXPECT_NEAR(calc[0], wavetest::coupling(kWave, 3, wavetest::bondNH()), 1e-12);
    for (size_t i = 1; i < list.size(); i++) {
        EXPECT_EQ(calc[i], 777) << "coupling " << i;
        EXPECT_FALSE(FitArgs::isDipolarWaveCoupling(list[i])) << "coupling " << i;
    }
}

// With delta = 0 every N-H bond lies along the helix axis: theta = THETA_AVE and phi = PHI_AVE for
// every residue, D = Da [3 cos^2 40 - 1 + 1.5 Rh sin^2 40 cos 130] |DI|.
TEST(DipolarWave, CouplingsAgainstHandComputedValues) {
    const Wave axial{30, 40, 65, 6e-4, 0.35, 0};
    const double k = M_PI / 180, c2 = std::pow(std::cos(40 * k), 2);
    const double expected = 6e-4 * ((3 * c2 - 1) + 1.5 * 0.35 * (1 - c2) * std::cos(130 * k)) * wavetest::bondNH().absDI;
    EXPECT_NEAR(expected, 8.04317, 1e-5);   // 12.95112 Hz (Da times the N-H constant) times 0.62104
    std::vector<DipolarCouplingData> list;
    for (int n = 1; n <= 8; n++) list.push_back(coupling(1, n, 0, wavetest::bondNH()));
    std::vector<double> none;
    for (double d : evaluate(list, WaveTensor(axial).t, none)) EXPECT_NEAR(d, expected, 1e-12);
}

// Free parameters are moved into range and written back: Ru0 190 -> -170; THETA_AVE -30 -> 150 and
// PHI_AVE -200 -> 160 (turning the axis by 180 degrees gives the same wave); Da and delta clamped.
// A rhombicity above 2/3 relabels the axes: Da 1e-3 with Rh 0.8 has principal values 2e-3, 2e-4
// and -2.2e-3, so Da becomes -1.1e-3 and Rh 6e-4/1.1e-3 = 0.54545.
TEST(DipolarWave, ParametersMovedIntoRange) {
    std::vector<DipolarCouplingData> list;
    for (int n = 1; n <= 6; n++) list.push_back(coupling(1, n, 0, wavetest::bondNH()));
    const DTensor freeT = WaveTensor(kWave).freeAll().t;

    std::vector<double> param = {190, -30, -200, 0.02, 0.3, 25};
    DTensor t;
    const std::vector<double> calc = evaluate(list, freeT, param, nullptr, &t);
    EXPECT_EQ(param, (std::vector<double>{-170, 150, 160, 0.01, 0.3, 18}));
    EXPECT_EQ(std::vector<double>({t.psi, t.theta, t.phi, t.da, t.rh, t.expC}), param);
    EXPECT_NEAR(t.dr, 0.003, 1e-15);
    const Wave stored{-170, 150, 160, 0.01, 0.3, 18}, asGiven{-170, -30, -20, 0.01, 0.3, 18};
    for (size_t i = 0; i < list.size(); i++) {
        EXPECT_NEAR(calc[i], wavetest::coupling(stored, list[i].resIDI, wavetest::bondNH()), 1e-10);
        EXPECT_NEAR(calc[i], wavetest::coupling(asGiven, list[i].resIDI, wavetest::bondNH()), 1e-10);
    }

    param = {30, 40, 65, 1e-3, 0.8, 17};
    evaluate(list, freeT, param, nullptr, &t);
    EXPECT_NEAR(param[3], -1.1e-3, 1e-15);
    EXPECT_NEAR(param[4], 6.0 / 11, 1e-12);
    EXPECT_NEAR(t.da, -1.1e-3, 1e-15);
    EXPECT_NEAR(t.rh, 6.0 / 11, 1e-12);
    EXPECT_NEAR(t.dr, -6e-4, 1e-15);
    EXPECT_EQ(std::vector<double>(param.begin(), param.begin() + 3), (std::vector<double>{30, 40, 65}));

    // a fixed quantity keeps its value, however the vector is shaped: only THETA_AVE free here
    WaveTensor one(kWave);
    one.t.thetaMin = -180, one.t.thetaMax = 180;
    param = {-30};
    evaluate(list, one.t, param, nullptr, &t);
    EXPECT_EQ(param[0], 150);
    EXPECT_EQ(std::vector<double>({t.psi, t.phi, t.da, t.rh, t.expC}), (std::vector<double>{30, 65, 6e-4, 0.35, 17}));
}

// The annealer's cost is the RMS of the weighted residuals; the Levenberg-Marquardt callback
// returns the residuals (d - D) w in list order and leaves the solver's vector as it was.
TEST(DipolarWave, CostFunctions) {
    std::vector<DipolarCouplingData> list;
    double sum = 0;
    for (int n = 1; n <= 5; n++) {
        list.push_back(coupling(1, n, 3.0 * n, wavetest::bondNH()));
        list.back().wCalc = 0.5 * n;
        sum += std::pow((3.0 * n - wavetest::coupling(kWave, n, wavetest::bondNH())) * 0.5 * n, 2);
    }
    WaveTensor wt(kWave);
    wt.t.thetaMin = -180, wt.t.thetaMax = 180;
    FitWorkData fit(list, wt.t, 0);
    FitArgs& a = fit.makeArgs(1, 5);
    double theta = -140;   // the same wave as THETA_AVE 40
    const double* residuals = fitDWFuncResidual(&theta, &a);
    EXPECT_EQ(theta, -140);
    EXPECT_NEAR(a.dRMS, std::sqrt(sum / 5), 1e-12);
    for (int n = 1; n <= 5; n++)
        EXPECT_NEAR(residuals[n - 1], (3.0 * n - wavetest::coupling(kWave, n, wavetest::bondNH())) * 0.5 * n, 1e-12);
    EXPECT_EQ(*fitDWFuncSA(&theta, &a), a.dRMS);
    EXPECT_NEAR(a.dRMS, std::sqrt(sum / 5), 1e-12);
    EXPECT_EQ(theta, 40);
}
