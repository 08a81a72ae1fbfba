// Tests of the constrained nonlinear tensor fit in-process: the parameter records, parameters into
// the tensor (wrapping, clamping, the sign rule, re-ordered principal values), the coupling
// evaluation against the order matrix R^T diag R formed here, the cost functions, the capacities,
// and the recovery of a known tensor by the grid search and by annealing from couplings simulated
// here from the coordinates of ubiquitin.
#include "fit/FitWorkData.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/RunSeed.h"
#include "common/SimulatedCouplings.h"
#include "fit/FitCostFunctions.h"
#include "numeric/MatVec.h"

using namespace testsim;

namespace {

using List = std::vector<DipolarCouplingData>;

const std::string kModel1 = std::string(ORVEX_SOURCE_DIR) + "/examples/2MJB_model1.pdb";

// A coupling with one atom pair along a - b (vector stored as given: the evaluation normalises it).
DipolarCouplingData pairCoupling(const Xyz& v, double absDI, double d = 0, double w = 1) {
    DipolarCouplingData dc;
    dc.vi = {{v[0], v[1], v[2]}};
    dc.wi = {1.0};
    dc.atomICount = dc.atomJCount = 1;
    dc.di = dc.diCalc = -absDI;
    dc.d = d;
    dc.w = dc.wCalc = w;
    return dc;
}

Xyz minus(const Xyz& a, const Xyz& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

// A known tensor and the couplings it gives, computed here from the coordinates of model 1:
// |DI| u.S.u for N-H, CA-C, HA-CA and C(i)-HN(i+1), N-H weighted 1, the others 21585.2/|DI|.
struct Truth {
    double Da, Rh, psi, theta, phi;
    double Dr() const { return Rh * Da; }
};

List simulate(const Truth& t) {
    static const Models models = readModels(kModel1);
    const auto& model = models.begin()->second;
    const M3 S = tensorMatrix(t.Da, t.Dr(), t.psi, t.theta, t.phi);
    const struct {
        const char *i, *j;
        int offsetJ;
        double absDI;
    } kinds[] = {{"N", "H", 0, constant(gH, gN, 1.041)},
                 {"CA", "C", 0, constant(gC, gC, 1.525)},
                 {"HA", "CA", 0, constant(gH, gC, 1.107)},
                 {"C", "H", 1, constant(gC, gH, 2.085)}};
    List list;
    for (const auto& k : kinds)
        for (int res = 1; res <= 76; res++) {
            auto a = model.find({res, k.i}), b = model.find({res + k.offsetJ, k.j});
            if (a == model.end() || b == model.end()) continue;
            list.push_back(pairCoupling(minus(a->second, b->second), k.absDI,
                                        k.absDI * projection(a->second, b->second, S), 21585.2 / k.absDI));
        }
    return list;
}

DTensor startTensor(double da) {
    DTensor t;
    t.tensorMode = 3;
    t.da = da;
    return t;
}

// The order matrix of a fitted tensor equals the known one: same Da, Rh and axes up to the
// tensor's symmetry.
void expectSameTensor(const DTensor& fit, const Truth& truth) {
    const M3 a = tensorMatrix(fit.da, fit.dr, fit.psi, fit.theta, fit.phi);
    const M3 b = tensorMatrix(truth.Da, truth.Dr(), truth.psi, truth.theta, truth.phi);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(a[i][j], b[i][j], 1e-9) << i << j;
    EXPECT_NEAR(fit.da, truth.Da, 1e-9);
    EXPECT_NEAR(fit.dr / fit.da, truth.Rh, 1e-6);
}

}  // namespace

TEST(FitWorkData, ConstructionCountsUsableCouplingsAndCopies) {
    List list(6, pairCoupling({0, 0, 1}, 21585.2, 5.0));
    list[1].selected = 0;
    list[2].valid = 0;
    list[3].atomICount = list[3].atomJCount = 0;
    list[4].w = 0;   // usable for the evaluation, not counted among the fit's couplings
    DTensor t = startTensor(4e-4);
    FitWorkData fit(list, t, 3);
    EXPECT_EQ(fit.dcCount, 2);
    EXPECT_EQ(fit.pdbCount, 3);
    // the work object's copies change, the caller's couplings do not
    fit.dcList[0].d = 7;
    EXPECT_EQ(list[0].d, 5.0);
    // a new list is counted and read again by the argument block
    FitArgs& a = fit.makeArgs(5, 5);
    EXPECT_EQ(a.usedCouplingCount(), 3);   // the weight-0 coupling is evaluated too
    fit.setDCData(List(7, pairCoupling({0, 0, 1}, 21585.2)));
    EXPECT_EQ(fit.dcCount, 7);
    EXPECT_EQ(a.usedCouplingCount(), 7);
}

// Records in the order psi, theta, phi, Da, Rh, only for parameters whose bounds differ.
TEST(FitWorkData, ParameterRecords) {
    DTensor t = startTensor(5e-4);
    t.psi = 11, t.theta = 22, t.phi = 33, t.rh = 0.3;
    FitWorkData fit(List(4, pairCoupling({0, 0, 1}, 21585.2)), t, 1);
    fit.dTensors[0].psi = 1;   // the annealing fit starts from the tensor, the grid search from psi_0
    ASSERT_EQ(fit.buildTensorParameters(false), 5);
    EXPECT_EQ(fit.dTensors[0].rhFlag, 1);
    const double value[5] = {1, 22, 33, 5e-4, 0.3};
    const double lo[5] = {-180, -180, -180, -0.01, 0};
    const double hi[5] = {180, 180, 180, 0.01, 2.0 / 3};
    const double step[5] = {0.01, 0.01, 0.01, 1e-7, 1e-5};
    const int type[5] = {4, 5, 6, 1, 3};
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(fit.cg[i], value[i]) << i;
        EXPECT_EQ(fit.cLo[i], lo[i]) << i;
        EXPECT_DOUBLE_EQ(fit.cHi[i], hi[i]) << i;
        EXPECT_EQ(fit.cDelta[i], step[i]) << i;
        EXPECT_EQ(fit.cScale[i], 1.0) << i;
        EXPECT_EQ(fit.cAdjust[i], 1) << i;
        EXPECT_EQ(fit.cType[i], type[i]) << i;
    }
    EXPECT_EQ(fit.cg[5], 0);
    EXPECT_EQ(fit.residualCount(), 5);   // more parameters than couplings
    fit.buildTensorParameters(true);
    EXPECT_EQ(fit.cg[0], 11);

    // Da and Rh pinned: the angles only, and Dr from Rh*Da
    DTensor& p = fit.dTensors[0];
    p.daMin = p.daMax = p.da;
    p.rhMin = p.rhMax = p.rh;
    p.dr = 0;
    ASSERT_EQ(fit.buildTensorParameters(false), 3);
    EXPECT_EQ(fit.cType[2], 6);
    EXPECT_DOUBLE_EQ(p.dr, 0.3 * 5e-4);
    // theta pinned as well: psi and phi
    p.thetaMin = p.thetaMax = 22;
    ASSERT_EQ(fit.buildTensorParameters(false), 2);
    EXPECT_EQ(fit.cType[1], 6);
    EXPECT_EQ(fit.residualCount(), 4);
}

TEST(FitArgs, ExtractTensorMovesParametersIntoTheTensor) {
    FitWorkData fit(List(1, pairCoupling({0, 0, 1}, 21585.2)), startTensor(1e-3), 1);
    fit.buildTensorParameters(false);
    FitArgs& a = fit.makeArgs(5, 5);
    DTensor& t = fit.dTensors[0];

    // Rh 0.8 at Da 1e-3: Dr 8e-4 exceeds 2 Da/3; principal values Dzz 2e-3, Dxx 2e-4, Dyy -2.2e-3
    // become Dzz -2.2e-3, Dxx 2e-4, Dyy 2e-3; the angles stay, Da and Rh go back into the vector
    double p[5] = {10, 20, 30, 1e-3, 0.8};
    EXPECT_EQ(a.extractTensor(p, 0), 5);
    EXPECT_DOUBLE_EQ(t.da, -1.1e-3);
    EXPECT_DOUBLE_EQ(t.dr, -6e-4);
    EXPECT_DOUBLE_EQ(t.rh, 6.0 / 11);
    EXPECT_EQ(t.psi, 10);
    EXPECT_EQ(t.theta, 20);
    EXPECT_EQ(t.phi, 30);
    EXPECT_DOUBLE_EQ(p[3], -1.1e-3);
    EXPECT_DOUBLE_EQ(p[4], 6.0 / 11);

    // an angle beyond 180 is used and stored once wrapped; Da clamped into its range
    double q[5] = {185, -190, 540, 0.02, 0.2};
    a.extractTensor(q, 0);
    EXPECT_EQ(t.psi, -175);
    EXPECT_EQ(q[0], -175);
    EXPECT_EQ(t.theta, 170);
    EXPECT_EQ(q[2], 180);   // once: 540 - 360
    EXPECT_EQ(t.da, 0.01);
    EXPECT_EQ(q[3], 0.01);
    EXPECT_DOUBLE_EQ(t.dr, 0.2 * 0.01);

    // the sign of Dr follows Da, also for a negative Rh; Rh = 0 at negative Da gives -0
    double r[5] = {0, 0, 0, -5e-4, 0.3};
    a.extractTensor(r, 0);
    EXPECT_DOUBLE_EQ(t.dr, -1.5e-4);
    double s[5] = {0, 0, 0, 5e-4, -0.3};
    a.extractTensor(s, 0);
    EXPECT_DOUBLE_EQ(t.dr, 1.5e-4);
    EXPECT_EQ(s[4], -0.3);   // no re-ordering: Rh stays as given
    double z[5] = {0, 0, 0, 0, 0.9};
    a.extractTensor(z, 0);   // Da 0: nothing re-ordered
    EXPECT_EQ(t.da, 0);
    EXPECT_EQ(t.rh, 0.9);

    // fixed parameters consume nothing; the index continues from n
    t.psiMin = t.psiMax = 7;
    t.psi = 7;
    t.daMin = t.daMax = t.da = 2e-4;
    double u[4] = {99, 5, 6, 0.25};
    EXPECT_EQ(a.extractTensor(u, 1), 4);
    EXPECT_EQ(t.psi, 7);
    EXPECT_EQ(t.theta, 5);
    EXPECT_EQ(t.phi, 6);
    EXPECT_EQ(t.da, 2e-4);
    EXPECT_DOUBLE_EQ(t.dr, 0.25 * 2e-4);   // Dr follows Rh*Da with Rh the parameter

    // working in Dr (rhFlag 0): a free Dr is taken as it is
    t.rhFlag = 0;
    t.daMin = -0.01;
    t.daMax = 0.01;
    double w[4] = {0, 0, 3e-4, -1e-4};
    EXPECT_EQ(a.extractTensor(w, 0), 4);
    EXPECT_DOUBLE_EQ(t.dr, 1e-4);   // sign of Da
}

// The evaluation against values worked out by hand and against |DI| u.S.u with the order matrix
// S = R^T diag(-Da + 1.5 Dr, -Da - 1.5 Dr, 2 Da) R formed here.
TEST(FitArgs, EvaluationOfTheCouplings) {
    const double D = 20000;
    List list = {pairCoupling({0, 0, 2}, D, 30.0, 2.0),   // along z, stored unnormalised
                 pairCoupling({1, 0, 0}, D, 0.0),          // along x
                 pairCoupling({0, 1, 0}, D, 0.0)};         // along y
    DipolarCouplingData unselected = pairCoupling({0, 0, 1}, D, 1.0);
    unselected.selected = 0;
    unselected.dCalc = 123;
    DipolarCouplingData atomless = pairCoupling({0, 0, 1}, D, 1.0);
    atomless.atomICount = atomless.atomJCount = 0;
    atomless.dCalc = 123;
    list.insert(list.begin() + 1, unselected);
    list.push_back(atomless);
    DTensor t = startTensor(1e-3);
    t.dr = 3e-4;
    FitWorkData fit(list, t, 1);
    FitArgs& a = fit.makeArgs(5, 5);
    Mat4 I;
    Mat4Ident(I);
    EXPECT_EQ(a.pdb3dCoordTransformNcalcDC(I), 3);
    // z: Da (3 - 1) |DI| = 40; x: (1.5 Dr - Da) |DI| = -11; y: (-1.5 Dr - Da) |DI| = -29
    EXPECT_DOUBLE_EQ(fit.dcList[0].dCalc, 40);
    EXPECT_DOUBLE_EQ(fit.dcList[2].dCalc, -11);
    EXPECT_DOUBLE_EQ(fit.dcList[3].dCalc, -29);
    EXPECT_EQ(fit.dcList[1].dCalc, 123);   // not selected: untouched
    EXPECT_EQ(fit.dcList[4].dCalc, 0);     // no atoms: cleared, not counted
    EXPECT_DOUBLE_EQ(a.dResidual[0], (30 - 40) * 2.0);
    EXPECT_DOUBLE_EQ(a.dResidual[1], 11);
    EXPECT_DOUBLE_EQ(a.dResidual[2], 29);
    EXPECT_DOUBLE_EQ(a.dRMS, 400 + 121 + 841);
    EXPECT_EQ(a.dCHI2, 0);
    EXPECT_DOUBLE_EQ(a.sumOfSquaresUnder(I), 400 + 121 + 841);

    // rotated: the couplings of model 1 against |DI| u.S.u
    const Truth truth{-6e-4, 0.4, 123, -47, 211};
    List sim = simulate(truth);
    ASSERT_GT(sim.size(), 250u);
    DTensor k = startTensor(truth.Da);
    k.dr = truth.Dr();
    k.psi = truth.psi, k.theta = truth.theta, k.phi = truth.phi;
    FitWorkData rot(sim, k, 1);
    FitArgs& b = rot.makeArgs(5, 5);
    EXPECT_EQ(b.applyDCRot(0), static_cast<int>(sim.size()));
    const M3 R = rotation(truth.psi, truth.theta, truth.phi);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(rot.dTensors[0].m[i][j], R[i][j], 1e-15);
    for (size_t c = 0; c < sim.size(); c++) EXPECT_NEAR(rot.dcList[c].dCalc, sim[c].d, 1e-10 * std::fabs(sim[c].diCalc)) << c;
    EXPECT_LT(b.dRMS, 1e-12);
}

// A methyl coupling built on its three protons is the mean of its three bond terms times
// 0.927321; so is a coupling whose ends hold one and three atoms by count.
TEST(FitArgs, ThreeAtomEndsAreScaled) {
    const double D = 43353.9;
    const double s = 1 / std::sqrt(3.0);
    DipolarCouplingData methyl = pairCoupling({0, 0, 1}, D);
    methyl.vi = {{0, 0, 1}, {1, 0, 0}, {s, s, s}};
    methyl.wi = {1, 1, 1};
    methyl.atomICount = methyl.atomJCount = 3;
    methyl.isMethyl = 1;
    methyl.isMethylCC = 0;
    DipolarCouplingData byCount = methyl;
    byCount.isMethyl = 0;
    byCount.atomJCount = 1;
    DipolarCouplingData axis = methyl;   // the C-C axis form: no scale
    axis.isMethylCC = 1;
    FitWorkData fit({methyl, byCount, axis}, startTensor(1e-3), 1);
    FitArgs& a = fit.makeArgs(5, 5);
    Mat4 I;
    Mat4Ident(I);
    a.pdb3dCoordTransformNcalcDC(I);
    // terms with the tensor's Da 1e-3 and Dr -3.27e-4 (the default)
    const double Da = 1e-3, Dr = -3.27e-4;
    const double terms[3] = {2 * Da, 1.5 * Dr - Da, 0};
    double expected = 0, plain = 0;
    for (double term : terms) {
        expected += term * D * 0.927321 / 3;
        plain += term * D * 1.0 / 3;
    }
    EXPECT_DOUBLE_EQ(fit.dcList[0].dCalc, expected);
    EXPECT_DOUBLE_EQ(fit.dcList[1].dCalc, expected);
    EXPECT_DOUBLE_EQ(fit.dcList[2].dCalc, plain);
}

// Each cost function evaluates once: fitFunc the RMS, fitFuncSA a pointer to it, fitFuncResidual
// the residuals (evaluating the solver's parameters through a copy), fitFuncPow a 1-based vector.
TEST(FitArgs, CostFunctions) {
    const double D = 20000;
    List list = {pairCoupling({0, 0, 1}, D, 30.0), pairCoupling({1, 0, 0}, D, 0.0)};
    FitWorkData fit(list, startTensor(1e-3), 1);
    ASSERT_EQ(fit.buildTensorParameters(false), 5);
    FitArgs& a = fit.makeArgs(5, fit.residualCount());
    // Da 1e-3, Rh 0.3 (Dr 3e-4): 40 and -11 against 30 and 0
    double p[5] = {360, 0, 0, 1e-3, 0.3};
    const double rms = std::sqrt((100.0 + 121.0) / 2);
    EXPECT_DOUBLE_EQ(fitFunc(p, &a), rms);
    EXPECT_EQ(p[0], 0);   // 360 used and stored as 0
    EXPECT_DOUBLE_EQ(a.dRMS, rms);
    double* cost = fitFuncSA(p, &a);
    EXPECT_EQ(cost, &a.dRMS);
    EXPECT_DOUBLE_EQ(*cost, rms);
    double q[5] = {360, 0, 0, 0.02, 0.3};
    double* res = fitFuncResidual(q, &a);
    EXPECT_EQ(res, a.dResidual.data());
    EXPECT_DOUBLE_EQ(res[0], 30 - 0.01 * 2 * D);   // Da clamped to 0.01 in the evaluation ...
    EXPECT_EQ(q[0], 360);                          // ... the solver's vector unchanged
    EXPECT_EQ(q[3], 0.02);
    // Dr = 0.3 * 0.01: the x coupling is (1.5 Dr - Da) |DI| = -110
    EXPECT_DOUBLE_EQ(a.dRMS, std::sqrt((std::pow(30 - 400.0, 2) + std::pow(110.0, 2)) / 2));
    double one[6] = {-1, 0, 0, 0, 1e-3, 0.3};
    EXPECT_DOUBLE_EQ(fitFuncPow(one, &a), rms);
    // no coupling used: RMS 0
    FitWorkData empty(List(1, pairCoupling({0, 0, 1}, D, 3.0)), startTensor(1e-3), 1);
    empty.dcList[0].selected = 0;
    FitArgs& e = empty.makeArgs(5, 5);
    EXPECT_EQ(fitFunc(p, &e), 0);
}

TEST(FitArgs, RotationWithOffsetsAndAdditions) {
    DTensor t = startTensor(1e-3);
    t.psi = 10, t.theta = 20, t.phi = 30;
    t.psiOff = 5, t.thetaOff = 0, t.phiOff = 0;
    t.psiAdd = 0, t.thetaAdd = 0, t.phiAdd = 40;
    FitWorkData fit(List(1, pairCoupling({0, 0, 1}, 1000)), t, 1);
    FitArgs& a = fit.makeArgs(1, 1);
    a.applyDCRot(0);
    // M = Rz(40) . (Rz(30) Ry(20) Rx(10)) . Rx(5)
    const M3 expected = [] {
        const M3 add = rotation(0, 0, 40), mid = rotation(10, 20, 30), off = rotation(5, 0, 0);
        M3 r{}, m{};
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                for (int k = 0; k < 3; k++) m[i][j] += mid[i][k] * off[k][j];
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                for (int k = 0; k < 3; k++) r[i][j] += add[i][k] * m[k][j];
        return r;
    }();
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(fit.dTensors[0].m[i][j], expected[i][j], 1e-15);
    // all zero: the identity
    DTensor z = startTensor(1e-3);
    FitWorkData still(List(1, pairCoupling({0, 0, 1}, 1000)), z, 1);
    still.makeArgs(1, 1).applyDCRot(0);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) EXPECT_EQ(still.dTensors[0].m[i][j], i == j ? 1.0 : 0.0);
}

// Zero counts, more than 160 parameters, everything pinned: the message and status 255; 1000
// couplings are accepted. (The message for more than 1000 is checked through the executable.)
TEST(FitArgsDeathTest, CountsAndCapacities) {
    const std::string zero = "Error: number of param or data can't be zero!\n";
    EXPECT_EXIT(FitArgs(0, 5), ::testing::ExitedWithCode(255), zero);
    EXPECT_EXIT(FitArgs(3, 0), ::testing::ExitedWithCode(255), zero);
    // 1000 couplings are accepted, and unselected ones do not count
    List many(1200, pairCoupling({0, 0, 1}, 1000));
    for (int i = 1000; i < 1200; i++) many[i].selected = 0;
    FitWorkData ok(many, startTensor(1e-3), 1);
    EXPECT_EQ(ok.makeArgs(5, 1000).usedCouplingCount(), 1000);
    // 161 parameters: 33 tensors with five free parameters each
    EXPECT_EXIT(
        {
            FitWorkData fit(List(1, pairCoupling({0, 0, 1}, 1000)), startTensor(1e-3), 1);
            const DTensor copy = fit.dTensors[0];
            fit.dTensors.resize(33, copy);
            fit.buildTensorParameters(false);
        },
        ::testing::ExitedWithCode(255), "Error: more than 160 parameters for the nonlinear fit\n");
    // everything pinned: both fits stop at the count check
    DTensor pinned = startTensor(1e-3);
    pinned.daMin = pinned.daMax = pinned.da;
    pinned.rhMin = pinned.rhMax = pinned.rh;
    pinned.psiMin = pinned.psiMax = pinned.thetaMin = pinned.thetaMax = pinned.phiMin = pinned.phiMax = 0;
    EXPECT_EXIT(FitWorkData(List(3, pairCoupling({0, 0, 1}, 1000)), pinned, 1).fitDCAlign_GS_Powell(30),
                ::testing::ExitedWithCode(255), zero);
    EXPECT_EXIT(FitWorkData(List(3, pairCoupling({0, 0, 1}, 1000)), pinned, 1).fitDCAlign_SA_LM(),
                ::testing::ExitedWithCode(255), zero);
}

// Noise-free couplings of a known tensor fitted back from a Da of the right sign, 25 % off.
TEST(FitWorkData, GridSearchRecoversKnownTensor) {
    for (const Truth& truth : {Truth{6e-4, 0.3, 30, -40, 70}, Truth{-8e-4, 0.2, -120, 25, -60}}) {
        FitWorkData fit(simulate(truth), startTensor(0.75 * truth.Da), 1);
        EXPECT_EQ(fit.fitDCAlign_GS_Powell(30), 0);
        EXPECT_LT(fit.dRMS, 1e-9);
        expectSameTensor(fit.dTensors[0], truth);
        const DTensor& t = fit.dTensors[0];
        // the Saupe elements of the fitted tensor, and its couplings
        const M3 S = tensorMatrix(truth.Da, truth.Dr(), truth.psi, truth.theta, truth.phi);
        EXPECT_NEAR(t.saupe[0], S[2][2], 1e-12);
        EXPECT_NEAR(t.saupe[1], S[0][0] - S[1][1], 1e-12);
        EXPECT_NEAR(t.saupe[2], S[0][1], 1e-12);
        EXPECT_NEAR(t.saupe[3], S[0][2], 1e-12);
        EXPECT_NEAR(t.saupe[4], S[1][2], 1e-12);
        for (const DipolarCouplingData& dc : fit.dcList) EXPECT_NEAR(dc.dCalc, dc.d, 1e-7);
    }
}

// Started at the known tensor, annealing finds nothing better: the result is the start and its RMS.
// The run draws one seed per phase. (Recovery from a distant start is checked through the executable.)
TEST(FitWorkData, AnnealingFromTheAnswerKeepsIt) {
    const Truth truth{-5e-4, 0.25, 40, 60, -100};
    DTensor t = startTensor(truth.Da);
    t.rh = truth.Rh, t.psi = truth.psi, t.theta = truth.theta, t.phi = truth.phi;
    t.saItStep1 = 20, t.saItStep2 = 20, t.saItStep3 = 20;
    FitWorkData fit(simulate(truth), t, 1);
    RunSeed::set(1);
    testing::internal::CaptureStdout();
    fit.fitDCAlign_SA_LM();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(RunSeed::count(), 3);
    RunSeed::clear();
    EXPECT_EQ(fit.dTensors[0].psi, truth.psi);
    EXPECT_EQ(fit.dTensors[0].theta, truth.theta);
    EXPECT_EQ(fit.dTensors[0].phi, truth.phi);
    EXPECT_EQ(fit.dTensors[0].da, truth.Da);
    EXPECT_LT(fit.dRMS, 1e-9);
    EXPECT_NE(out.find("20 1 20 2 \n"), std::string::npos);
    EXPECT_NE(out.find("Trial final  rms_0:  0.00000  rms_best:  0.00000   4.000e+01 6.000e+01 -1.000e+02 -5.000e-04 "
                       "2.500e-01\n"),
              std::string::npos)
        << out;
}
