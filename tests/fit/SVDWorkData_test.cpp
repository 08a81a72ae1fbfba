// Tests of the order-matrix SVD fit and its jackknife: known tensors recovered from simulated
// couplings on ubiquitin (2MJB), fits and leave-out refits checked against weighted normal
// equations solved here by Gaussian elimination, eligibility, padding and the silent exit.
#include "fit/SVDWorkData.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "common/TestUtil.h"
#include "couplings/DCListData.h"
#include "io/PDB.h"

namespace {

using Vec5 = std::array<double, 5>;
using List = std::vector<DipolarCouplingData>;

const std::string kExamples = std::string(ORVEX_SOURCE_DIR) + "/examples/";

// A tensor of ubiquitin-like size and general orientation.
const Vec5 kSaupe = {4.1e-4, -7.3e-4, 2.2e-4, -3.1e-4, 1.7e-4};

// Reads the backbone table and builds it against a structure file of the examples.
List loadCouplings(const std::string& pdbName, int* conformers = nullptr) {
    testing::internal::CaptureStderr();
    std::vector<PDB> pdbs(1);
    EXPECT_TRUE(pdbs[0].loadPDB(kExamples + pdbName));
    DCListData list;
    DTensor t;
    list.readDC(kExamples + "2mjb_set500_backbone.tab", t);
    list.selectDC(list.segFIRST, list.segLAST, {}, {}, true);
    list.buildDC(pdbs, true, 0);
    testing::internal::GetCapturedStderr();
    if (conformers) *conformers = pdbs[0].conformer_count;
    return list.dcList;
}

// Replaces every measured value by the one the tensor s gives.
void simulate(List& list, const Vec5& s) {
    for (DipolarCouplingData& dc : list) {
        if (dc.valid != 1) continue;
        dc.calcDC(s.data(), 5);
        dc.d = dc.dCalc;
    }
}

// Deterministic pseudo-noise of a few Hz.
void addNoise(List& list, double amplitude) {
    for (size_t i = 0; i < list.size(); i++)
        if (list[i].d <= 900) list[i].d += amplitude * std::sin(1.7 * i + 0.3);
}

double relDiff(double a, double b) { return std::fabs(a - b) / std::max(std::fabs(b), 1e-300); }

void expectVecNear(const double* got, const double* want, double rel, const char* what) {
    double scale = 0;
    for (int k = 0; k < 5; k++) scale = std::max(scale, std::fabs(want[k]));
    for (int k = 0; k < 5; k++) EXPECT_NEAR(got[k], want[k], rel * scale) << what << " element " << k;
}

// ---- reference fit: weighted normal equations, Gaussian elimination with pivoting ----

bool eligible(const DipolarCouplingData& dc) {
    return dc.selected == 1 && dc.valid == 1 && dc.d <= 900.0 && dc.w != 0;
}

int residueKey(const DipolarCouplingData& dc) { return std::max(dc.resIDI, dc.resIDJ); }

struct RefFit {
    Vec5 s{};    // least-squares Saupe vector
    Vec5 sd{};   // square roots of the diagonal of (X^T X)^-1
};

// Fits the eligible couplings for which keep(index) holds. Model |DI| A.s = d weighted by
// 1/sigma; sigma = 0 fits A.s = d/|DI| unweighted.
RefFit refFit(const List& list, const std::function<bool(size_t)>& keep) {
    double M[5][11] = {};   // [X^T X | X^T y | I]
    for (size_t i = 0; i < list.size(); i++) {
        const DipolarCouplingData& dc = list[i];
        if (!eligible(dc) || !keep(i)) continue;
        const double absDI = std::fabs(dc.diCalc);
        double x[5], y;
        if (dc.sigma == 0) {
            for (int k = 0; k < 5; k++) x[k] = dc.A[k];
            y = dc.d / absDI;
        } else {
            for (int k = 0; k < 5; k++) x[k] = absDI * dc.A[k] / dc.sigma;
            y = dc.d / dc.sigma;
        }
        for (int r = 0; r < 5; r++) {
            for (int c = 0; c < 5; c++) M[r][c] += x[r] * x[c];
            M[r][5] += x[r] * y;
        }
    }
    for (int r = 0; r < 5; r++) M[r][6 + r] = 1;
    for (int c = 0; c < 5; c++) {
        int p = c;
        for (int r = c + 1; r < 5; r++)
            if (std::fabs(M[r][c]) > std::fabs(M[p][c])) p = r;
        for (int j = 0; j < 11; j++) std::swap(M[c][j], M[p][j]);
        const double piv = M[c][c];
        for (int j = 0; j < 11; j++) M[c][j] /= piv;
        for (int r = 0; r < 5; r++) {
            if (r == c) continue;
            const double f = M[r][c];
            for (int j = 0; j < 11; j++) M[r][j] -= f * M[c][j];
        }
    }
    RefFit fit;
    for (int k = 0; k < 5; k++) {
        fit.s[k] = M[k][5];
        fit.sd[k] = std::sqrt(M[k][6 + k]);
    }
    return fit;
}

double backCalc(const DipolarCouplingData& dc, const Vec5& s) {
    double sum = 0;
    for (int k = 0; k < 5; k++) sum += dc.A[k] * s[k];
    return std::fabs(dc.diCalc) * sum;
}

Vec5 normalised(const Vec5& s) {
    const double r3 = std::sqrt(3.0);
    return {s[0], s[1] / r3, 2 * s[2] / r3, 2 * s[3] / r3, 2 * s[4] / r3};
}

// Da and Dr of a Saupe vector from the diagonalisation of the tensor record.
void daDr(const Vec5& s, double& da, double& dr) {
    DTensor t;
    for (int k = 0; k < 5; k++) t.saupe[k] = s[k];
    t.saupe2euler();
    da = t.da;
    dr = t.dr;
}

// A whole jackknife computed here: the trials (groups of list indices, in order), the
// refit of each, and the statistics of the tensor record.
struct RefJackknife {
    std::vector<std::vector<size_t>> trials;
    std::vector<Vec5> s;
    Vec5 mean{}, dSaupeRunning{}, dSaupe_jk{};
    double eps = 0, daStdev = 0, rhStdev = 0;
};

RefJackknife refJackknife(const List& list, bool byResidue) {
    RefJackknife J;
    std::map<int, size_t> trialOfKey;
    for (size_t i = 0; i < list.size(); i++) {
        if (!eligible(list[i])) continue;
        if (!byResidue) {
            J.trials.push_back({i});
            continue;
        }
        auto it = trialOfKey.find(residueKey(list[i]));
        if (it == trialOfKey.end()) {
            trialOfKey[residueKey(list[i])] = J.trials.size();
            J.trials.push_back({i});
        } else {
            J.trials[it->second].push_back(i);
        }
    }
    const double N = J.trials.size();
    std::vector<double> da(J.trials.size()), rh(J.trials.size());
    Vec5 tMean{};
    double daMean = 0, rhMean = 0;
    for (size_t g = 0; g < J.trials.size(); g++) {
        const auto& out = J.trials[g];
        RefFit f = refFit(list, [&](size_t i) { return std::find(out.begin(), out.end(), i) == out.end(); });
        J.s.push_back(f.s);
        double dr;
        daDr(f.s, da[g], dr);
        rh[g] = dr / da[g];
        Vec5 T = normalised(f.s);
        for (int k = 0; k < 5; k++) {
            J.mean[k] += f.s[k] / N;
            J.dSaupeRunning[k] += f.sd[k] / N;
            tMean[k] += T[k] / N;
        }
        daMean += std::fabs(da[g]) / N;
        rhMean += std::fabs(rh[g]) / N;
    }
    for (size_t g = 0; g < J.trials.size(); g++) {
        Vec5 T = normalised(J.s[g]);
        double ab = 0, aa = 0, bb = 0;
        for (int k = 0; k < 5; k++) {
            ab += T[k] * tMean[k];
            aa += T[k] * T[k];
            bb += tMean[k] * tMean[k];
            J.dSaupe_jk[k] += std::pow(J.s[g][k] - J.mean[k], 2);
        }
        J.eps += std::pow(1 - std::fabs(ab) / std::sqrt(aa * bb), 2);
        J.daStdev += std::pow(std::fabs(da[g]) - daMean, 2);
        J.rhStdev += std::pow(std::fabs(rh[g]) - rhMean, 2);
    }
    for (int k = 0; k < 5; k++) J.dSaupe_jk[k] = std::sqrt(J.dSaupe_jk[k]);
    J.eps = std::sqrt(J.eps);
    J.daStdev = std::sqrt(J.daStdev);
    J.rhStdev = std::sqrt(J.rhStdev);
    return J;
}

// Compares what a jackknife left in the tensor and the couplings with the reference.
void expectJackknife(const DTensor& t, const List& list, const RefJackknife& J, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(t.N_JK, static_cast<int>(J.trials.size()));
    expectVecNear(t.saupe.data(), J.mean.data(), 1e-9, "mean saupe");
    expectVecNear(t.dSaupe.data(), J.dSaupeRunning.data(), 1e-8, "running dSaupe");
    expectVecNear(t.dSaupe_jk.data(), J.dSaupe_jk.data(), 1e-6, "dSaupe_jk");
    EXPECT_NEAR(t.saupe_epsilon, J.eps, 1e-6 * J.eps + 1e-15);
    EXPECT_NEAR(t.da_jk_stdev, J.daStdev, 1e-6 * J.daStdev + 1e-18);
    EXPECT_NEAR(t.rh_jk_stdev, J.rhStdev, 1e-6 * J.rhStdev + 1e-15);
    for (size_t g = 0; g < J.trials.size(); g++) {
        double da, dr;
        daDr(J.s[g], da, dr);
        for (size_t i : J.trials[g]) {
            const DipolarCouplingData& dc = list[i];
            expectVecNear(dc.saupe_jk.data(), J.s[g].data(), 1e-9, "saupe_jk");
            EXPECT_NEAR(dc.dCalc_jk, backCalc(dc, J.s[g]), 1e-9 * std::fabs(dc.diCalc) * 1e-3) << "coupling " << i;
            EXPECT_NEAR(dc.da_jk, da, 1e-9 * std::fabs(da));
            EXPECT_NEAR(dc.dr_jk, dr, 1e-8 * std::fabs(da));
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------

TEST(SVDWorkDataHelpers, ArccosAndNormalisedScalarProduct) {
    SVDWorkData w;
    EXPECT_EQ(w.arccos_(1.5), 0.0);
    EXPECT_DOUBLE_EQ(w.arccos_(-2), M_PI);
    EXPECT_EQ(w.arccos_(1.0), 0.0);
    EXPECT_DOUBLE_EQ(w.arccos_(-1.0), M_PI);
    EXPECT_DOUBLE_EQ(w.arccos_(0.0), M_PI / 2);
    // both branches (|x| >= 0.5 and below) against the library arc cosine
    for (double x = -1.0; x <= 1.0; x += 0.03125) EXPECT_NEAR(w.arccos_(x), std::acos(x), 1e-14) << x;
    EXPECT_NEAR(w.arccos_(0.5), M_PI / 3, 1e-15);
    EXPECT_NEAR(w.arccos_(-0.5), 2 * M_PI / 3, 1e-15);

    const double a[3] = {1, 0, 0}, b[3] = {1, 1, 0}, c[3] = {-2, -2, 0}, d[3] = {0, 0, 5};
    EXPECT_NEAR(w.calcNormScalarProduct(a, b, 3), 1 / std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(w.calcNormScalarProduct(b, c, 3), 1.0, 1e-15);   // antiparallel counts as parallel
    EXPECT_EQ(w.calcNormScalarProduct(a, d, 3), 0.0);
    EXPECT_NEAR(w.calcNormScalarProduct(a, b, 1), 1.0, 1e-15);     // only the first element
    EXPECT_TRUE(std::isnan(w.calcNormScalarProduct(a, b, 0)));
    EXPECT_TRUE(std::isnan(w.calcNormScalarProduct(a, d, -1)));

    double dst[4] = {9, 9, 9, 9};
    const double src[4] = {1, 2, 3, 4};
    EXPECT_EQ(w.vvCopy(dst, src, 3), 0);
    EXPECT_EQ(dst[0], 1);
    EXPECT_EQ(dst[2], 3);
    EXPECT_EQ(dst[3], 9);

    SVDWorkData w2(7, 9);
    EXPECT_EQ(w2.dcCount, 0);
    EXPECT_EQ(w2.pdbCount, 0);
    EXPECT_EQ(w2.svdCount, 0);
}

TEST(SVDWorkDataCounting, CountsAccumulateAndEligibility) {
    List list = loadCouplings("2MJB_model1.pdb");
    ASSERT_EQ(list.size(), 305u);
    simulate(list, kSaupe);
    list[0].w = 0;          // selected and valid, not eligible
    list[1].d = 999;        // not eligible
    list[2].selected = 0;   // neither
    list[3].valid = 0;      // neither
    list[4].d = 900;        // still eligible
    int selectedValid = 0, fit = 0;
    for (const auto& dc : list) {
        selectedValid += dc.selected == 1 && dc.valid == 1;
        fit += eligible(dc);
    }
    EXPECT_EQ(fit, selectedValid - 2);
    SVDWorkData w;
    EXPECT_EQ(w.initDCSaupe(list, 0), fit);
    EXPECT_EQ(w.pdbCount, 1);
    EXPECT_EQ(w.dcCount, selectedValid);
    EXPECT_EQ(w.svdCount, fit);
    w.initDCSaupe(list, 20);
    EXPECT_EQ(w.pdbCount, 20);
    EXPECT_EQ(w.dcCount, selectedValid);   // set, not added
    EXPECT_EQ(w.svdCount, 2 * fit);        // added, not set

    // a counter grown by two passes does not change the fit
    DTensor once, twice;
    SVDWorkData w1;
    w1.initDCSaupe(list, 1);
    EXPECT_EQ(w1.findSaupe(once, list, 1), fit);
    w.findSaupe(twice, list, 1);
    for (int k = 0; k < 5; k++) {
        EXPECT_EQ(once.saupe[k], twice.saupe[k]);
        EXPECT_EQ(once.dSaupe[k], twice.dSaupe[k]);
    }
}

// Noise-free couplings from a known tensor fit back exactly; every jackknife trial returns
// the same tensor.
void checkKnownTensor(List list, int nConf, bool byRes) {
    simulate(list, kSaupe);
    for (auto& dc : list) dc.dCalc_jk = dc.dCalc = -777;
    DTensor t;
    t.byRes = byRes;
    SVDWorkData w;
    const int n = w.simD(list, nConf, t);
    EXPECT_EQ(n, w.svdCount);
    EXPECT_EQ(w.pdbCount, std::max(nConf, 1));
    for (int k = 0; k < 5; k++) EXPECT_LT(relDiff(t.saupe[k], kSaupe[k]), 1e-10) << k;

    // Da, Dr and angles as the diagonalisation of the true tensor gives them
    DTensor ref;
    for (int k = 0; k < 5; k++) ref.saupe[k] = kSaupe[k];
    const int nEuler = ref.saupe2euler();
    EXPECT_LT(relDiff(t.da, ref.da), 1e-9);
    EXPECT_LT(relDiff(t.dr, ref.dr), 1e-9);
    for (int e = 0; e < nEuler; e++) {
        EXPECT_NEAR(t.psiList[e], ref.psiList[e], 1e-6);
        EXPECT_NEAR(t.thetaList[e], ref.thetaList[e], 1e-6);
        EXPECT_NEAR(t.phiList[e], ref.phiList[e], 1e-6);
    }
    // and independently of it: the invariants sum S_i^2 = 6 Da^2 + 4.5 Dr^2 and
    // S_X S_Y S_Z = 2 Da (Da^2 - 2.25 Dr^2) of the full matrix
    const double szz = kSaupe[0], sxx = -(kSaupe[0] - kSaupe[1]) / 2, syy = -(kSaupe[0] + kSaupe[1]) / 2;
    const double sxy = kSaupe[2], sxz = kSaupe[3], syz = kSaupe[4];
    const double norm2 = sxx * sxx + syy * syy + szz * szz + 2 * (sxy * sxy + sxz * sxz + syz * syz);
    const double det = sxx * (syy * szz - syz * syz) - sxy * (sxy * szz - syz * sxz) + sxz * (sxy * syz - syy * sxz);
    EXPECT_LT(relDiff(6 * t.da * t.da + 4.5 * t.dr * t.dr, norm2), 1e-9);
    EXPECT_LT(relDiff(2 * t.da * (t.da * t.da - 2.25 * t.dr * t.dr), det), 1e-9);

    // jackknife: every trial is the true tensor
    EXPECT_LT(t.saupe_epsilon, 1e-10);
    EXPECT_LT(t.da_jk_stdev, 1e-12 * std::fabs(t.da) * t.N_JK + 1e-16);
    EXPECT_LT(t.rh_jk_stdev, 1e-9);
    for (int k = 0; k < 5; k++) EXPECT_LT(t.dSaupe_jk[k], 1e-10 * std::fabs(kSaupe[k]) * t.N_JK);
    std::map<int, int> keys;
    for (const auto& dc : list) {
        if (dc.valid == 1) {
            EXPECT_NEAR(dc.dCalc, dc.d, 1e-9) << dc.id;
        }
        if (eligible(dc)) {
            keys[residueKey(dc)]++;
            EXPECT_NEAR(dc.dCalc_jk, dc.dCalc, 1e-9) << dc.id;
            EXPECT_LT(relDiff(dc.da_jk, t.da), 1e-9);
            EXPECT_LT(relDiff(dc.dr_jk, t.dr), 1e-8);
        }
    }
    EXPECT_EQ(t.N_JK, byRes ? static_cast<int>(keys.size()) : n);
    if (!byRes) {
        EXPECT_EQ(t.eulerCount, nEuler);
    }
}

TEST(SVDWorkDataFit, KnownTensorNHOnlyTwentyConformers) {
    int nConf = 0;
    List all = loadCouplings("2MJB.pdb", &nConf);
    ASSERT_EQ(nConf, 20);
    List nh;
    for (const auto& dc : all)
        if (dc.CLASS == 1) nh.push_back(dc);
    ASSERT_GT(nh.size(), 50u);
    {
        SCOPED_TRACE("residue jackknife");
        checkKnownTensor(nh, nConf, true);
    }
    {
        SCOPED_TRACE("coupling jackknife");
        checkKnownTensor(nh, nConf, false);
    }
}

TEST(SVDWorkDataFit, KnownTensorMixedClassesTwentyConformers) {
    int nConf = 0;
    List all = loadCouplings("2MJB.pdb", &nConf);
    std::map<int, int> classes;
    for (const auto& dc : all)
        if (dc.valid == 1) classes[dc.CLASS]++;
    EXPECT_GE(classes.size(), 5u);   // N-H, C-CA, HA-CA, HN-C and N-C
    for (int c : {1, 3, 7, 10}) EXPECT_GT(classes[c], 0) << c;
    {
        SCOPED_TRACE("residue jackknife");
        checkKnownTensor(all, nConf, true);
    }
    {
        SCOPED_TRACE("coupling jackknife");
        checkKnownTensor(all, nConf, false);
    }
}

// Noisy data with mixed uncertainties: the full fit, its covariance and both jackknifes
// against the normal equations solved here.
TEST(SVDWorkDataJackknife, NoisyDataAgainstIndependentRefits) {
    List list = loadCouplings("2MJB.pdb");
    simulate(list, kSaupe);
    addNoise(list, 1.5);
    for (size_t i = 0; i < list.size(); i++) list[i].sigma = 0.5 + 0.25 * (i % 4);
    // couplings that take no part: they must neither start nor belong to a trial
    const int lonely = 500;   // a residue key of its own, first in the list, not eligible
    list.front().resIDI = list.front().resIDJ = lonely;
    list.front().w = 0;
    list[7].d = 950;
    list[11].selected = 0;
    list[13].w = 0;
    for (auto& dc : list) {
        dc.dCalc_jk = -777;
        dc.saupe_jk.fill(-7);
    }

    // a residue with at least three eligible couplings
    std::map<int, int> perKey;
    for (const auto& dc : list)
        if (eligible(dc)) perKey[residueKey(dc)]++;
    int triple = -1;
    for (auto& kv : perKey)
        if (kv.second >= 3) triple = kv.first;
    ASSERT_NE(triple, -1);
    EXPECT_EQ(perKey.count(lonely), 0u);

    // residue jackknife
    {
        List work = list;
        DTensor t;
        SVDWorkData w;
        w.initDCSaupe(work, 20);
        EXPECT_EQ(w.findSaupe_jk_byRes(t, work, 20), static_cast<int>(perKey.size()));
        RefJackknife J = refJackknife(list, true);
        EXPECT_EQ(J.trials.size(), perKey.size());
        expectJackknife(t, work, J, "residue jackknife");
        // the residue left out as a unit: one trial, one Saupe vector
        std::vector<const DipolarCouplingData*> group;
        for (const auto& dc : work)
            if (eligible(dc) && residueKey(dc) == triple) group.push_back(&dc);
        ASSERT_GE(group.size(), 3u);
        for (const auto* dc : group) EXPECT_EQ(dc->saupe_jk, group.front()->saupe_jk);
        RefFit without = refFit(list, [&](size_t i) { return residueKey(list[i]) != triple; });
        expectVecNear(group.front()->saupe_jk.data(), without.s.data(), 1e-9, "group refit");
        // no trial for ineligible couplings, no result written to them
        for (size_t i : {size_t(0), size_t(7), size_t(11), size_t(13)}) {
            EXPECT_EQ(work[i].dCalc_jk, -777) << i;
            EXPECT_EQ(work[i].saupe_jk[0], -7) << i;
        }
        EXPECT_EQ(t.eulerCount, 0);   // left to the full fit
    }

    // coupling jackknife
    {
        List work = list;
        DTensor t;
        SVDWorkData w;
        w.initDCSaupe(work, 20);
        EXPECT_EQ(w.findSaupe_jk(t, work, 20), w.svdCount);
        RefJackknife J = refJackknife(list, false);
        EXPECT_EQ(static_cast<int>(J.trials.size()), w.svdCount);
        expectJackknife(t, work, J, "coupling jackknife");
        for (size_t i : {size_t(0), size_t(7), size_t(11), size_t(13)}) EXPECT_EQ(work[i].dCalc_jk, -777) << i;
        // the mean tensor: its Euler solutions and the back-calculation of the selected couplings
        DTensor mean;
        for (int k = 0; k < 5; k++) mean.saupe[k] = J.mean[k];
        EXPECT_EQ(t.eulerCount, mean.saupe2euler());
        EXPECT_LT(relDiff(t.da, mean.da), 1e-9);
        for (const auto& dc : work) {
            if (dc.selected == 1 && dc.valid == 1) {
                EXPECT_NEAR(dc.dCalc, backCalc(dc, J.mean), 1e-8);
            }
        }
        EXPECT_EQ(work[11].dCalc, list[11].dCalc);   // unselected: untouched
    }

    // the driver: full fit over the jackknife, whose spreads stay
    {
        List work = list;
        DTensor t;
        SVDWorkData w;
        w.simD(work, 20, t);
        RefFit full = refFit(list, [](size_t) { return true; });
        expectVecNear(t.saupe.data(), full.s.data(), 1e-9, "full fit");
        expectVecNear(t.dSaupe.data(), full.sd.data(), 1e-8, "full-fit uncertainties");
        RefJackknife J = refJackknife(list, true);
        expectVecNear(t.dSaupe_jk.data(), J.dSaupe_jk.data(), 1e-6, "dSaupe_jk after the full fit");
        EXPECT_NEAR(t.saupe_epsilon, J.eps, 1e-6 * J.eps);
        EXPECT_EQ(t.N_JK, static_cast<int>(J.trials.size()));
        for (size_t i = 0; i < work.size(); i++) {
            const auto& dc = work[i];
            if (dc.valid == 1) {
                EXPECT_NEAR(dc.dCalc, backCalc(dc, full.s), 1e-8) << i;
            }
        }
        EXPECT_GT(t.saupe_epsilon, 0);
        EXPECT_GT(t.da_jk_stdev, 0);
    }

    // no jackknife when switched off
    {
        List work = list;
        DTensor t;
        t.fitFlag_JK = 0;
        t.N_JK = -5;
        SVDWorkData w;
        w.simD(work, 20, t);
        EXPECT_EQ(t.N_JK, -5);
        for (const auto& dc : work) EXPECT_EQ(dc.dCalc_jk, -777);
    }
}

TEST(SVDWorkDataFit, EligibilityWeightsAndSmallSystems) {
    List base = loadCouplings("2MJB_model1.pdb");
    List nh;
    for (const auto& dc : base)
        if (dc.CLASS == 1) nh.push_back(dc);
    simulate(nh, kSaupe);
    addNoise(nh, 1.0);
    auto fit = [](List& list, DTensor& t) {
        SVDWorkData w;
        w.initDCSaupe(list, 1);
        return w.findSaupe(t, list, 1);
    };

    // w = 0, d = 999 and unselected couplings: out of the fit, yet back-calculated
    List marked = nh;
    marked[2].w = 0;
    marked[2].d = 400;   // an outlier that would spoil the fit if it entered
    marked[5].d = 999;
    marked[9].selected = 0;
    marked[9].d = -300;
    marked[12].valid = 0;
    marked[12].dCalc = 55;
    marked[14].atomICount = 0;   // valid but without atoms (never built): not back-calculated
    marked[14].w = 0;
    marked[14].dCalc = 66;
    DTensor t;
    const int rows = fit(marked, t);
    EXPECT_EQ(rows, static_cast<int>(nh.size()) - 5);
    RefFit ref = refFit(marked, [](size_t) { return true; });
    expectVecNear(t.saupe.data(), ref.s.data(), 1e-9, "fit without the marked couplings");
    expectVecNear(t.dSaupe.data(), ref.sd.data(), 1e-8, "uncertainties");
    for (size_t i : {size_t(2), size_t(5), size_t(9)}) EXPECT_NEAR(marked[i].dCalc, backCalc(marked[i], ref.s), 1e-8);
    EXPECT_EQ(marked[12].dCalc, 55);   // not valid: not touched
    EXPECT_EQ(marked[14].dCalc, 66);

    // sigma all 0: the unweighted fit of d/|DI|; all equal: one Saupe vector whatever the value,
    // with uncertainties in proportion (all N-H: the same as the unweighted fit)
    List s0 = nh, sHalf = nh, sThree = nh;
    for (auto& dc : s0) dc.sigma = 0;
    for (auto& dc : sHalf) dc.sigma = 0.5;
    for (auto& dc : sThree) dc.sigma = 3;
    DTensor t0, tHalf, tThree;
    fit(s0, t0);
    fit(sHalf, tHalf);
    fit(sThree, tThree);
    RefFit ref0 = refFit(s0, [](size_t) { return true; });
    expectVecNear(t0.saupe.data(), ref0.s.data(), 1e-9, "sigma 0");
    expectVecNear(t0.dSaupe.data(), ref0.sd.data(), 1e-8, "sigma 0 uncertainties");
    expectVecNear(tHalf.saupe.data(), tThree.saupe.data(), 1e-12, "equal sigmas");
    expectVecNear(tHalf.saupe.data(), t0.saupe.data(), 1e-12, "equal sigmas and sigma 0");
    for (int k = 0; k < 5; k++) EXPECT_NEAR(tThree.dSaupe[k], 6 * tHalf.dSaupe[k], 1e-12 * tThree.dSaupe[k]);

    // exactly 5 couplings in general position are reproduced exactly, so are 3 (padded system)
    for (int count : {5, 3, 1}) {
        SCOPED_TRACE(count);
        List few(nh.begin(), nh.begin() + count);
        for (int i = 0; i < count; i++) few[i].d = 3.5 * i - 6.25;   // any values
        few.push_back(nh[count]);
        few.back().selected = 0;
        DTensor tf;
        EXPECT_EQ(fit(few, tf), count);
        for (int i = 0; i < count; i++) EXPECT_NEAR(few[i].dCalc, few[i].d, 1e-9) << i;
        EXPECT_NEAR(few.back().dCalc, backCalc(few.back(), Vec5{tf.saupe[0], tf.saupe[1], tf.saupe[2], tf.saupe[3], tf.saupe[4]}),
                    1e-9);
        for (int k = 0; k < 5; k++) EXPECT_TRUE(std::isfinite(tf.saupe[k]));
        // both jackknifes run on fewer than 5 rows too
        DTensor tj;
        SVDWorkData wj;
        EXPECT_EQ(wj.findSaupe_jk(tj, few, 1), count);
        EXPECT_EQ(wj.findSaupe_jk_byRes(tj, few, 1), count);
    }

    // residue trials of 4 then 3 rows (keys a, b, b, c, d): each trial's padded system holds
    // the kept rows only, so it reproduces them exactly and, being under-determined, not the
    // left-out coupling (a stale padding row would force that one too)
    List five(nh.begin(), nh.begin() + 5);
    const int keys[5] = {20, 21, 21, 22, 23};
    for (int i = 0; i < 5; i++) {
        five[i].resIDI = five[i].resIDJ = keys[i];
        five[i].d = 2.5 * i - 4.0;
    }
    DTensor tr;
    SVDWorkData wr;
    EXPECT_EQ(wr.findSaupe_jk_byRes(tr, five, 1), 4);
    for (int out = 0; out < 5; out++) {
        Vec5 s = five[out].saupe_jk;
        for (int i = 0; i < 5; i++) {
            if (keys[i] == keys[out]) {
                EXPECT_EQ(five[i].saupe_jk, s);
                EXPECT_GT(std::fabs(backCalc(five[i], s) - five[i].d), 1e-3) << out << " " << i;
            } else {
                EXPECT_NEAR(backCalc(five[i], s), five[i].d, 1e-9) << out << " " << i;
            }
        }
    }
}

TEST(SVDWorkDataFit, PrincipalFrameBackCalculation) {
    List list = loadCouplings("2MJB_model1.pdb");
    simulate(list, kSaupe);
    list[3].selected = 0;
    list[4].d = 9500;
    DTensor t;
    for (int k = 0; k < 5; k++) t.saupe[k] = kSaupe[k];
    SVDWorkData w;
    int expected = 0;
    for (auto& dc : list) {
        expected += dc.selected == 1 && dc.valid == 1 && dc.d <= 9000;
        dc.dCalc = -777;
    }
    EXPECT_EQ(w.getSaupeD_all(list, t, false), expected);
    EXPECT_EQ(list[3].dCalc, -777);
    EXPECT_EQ(list[4].dCalc, -777);
    for (size_t i = 5; i < list.size(); i++) {
        const auto& dc = list[i];
        if (dc.valid != 1) continue;
        // one conformer: the principal-frame value is the Saupe-vector value
        EXPECT_NEAR(dc.dCalc, dc.d, 1e-9) << i;
        // theta is the angle between the coupling vector and the principal Z axis
        const auto& u = dc.vi[0];
        const double z = t.vv[2][0] * u[0] + t.vv[2][1] * u[1] + t.vv[2][2] * u[2];
        EXPECT_NEAR(dc.theta, std::acos(z) * 180 / M_PI, 1e-6) << i;
        EXPECT_GE(dc.phi, 0);
        EXPECT_LE(dc.phi, 180);
    }
}

TEST(SVDWorkDataDeath, NothingEligibleExitsQuietlyWithStatusZero) {
    List list = loadCouplings("2MJB_model1.pdb");
    for (auto& dc : list) dc.w = 0;
    SVDWorkData w;
    DTensor t;
    w.initDCSaupe(list, 1);
    EXPECT_EQ(w.svdCount, 0);
    EXPECT_EXIT(w.findSaupe(t, list, 1), ::testing::ExitedWithCode(0), "^$");
    EXPECT_EXIT(w.findSaupe_jk(t, list, 1), ::testing::ExitedWithCode(0), "^$");
    EXPECT_EXIT(w.findSaupe_jk_byRes(t, list, 1), ::testing::ExitedWithCode(0), "^$");
    EXPECT_EXIT(w.simD(list, 1, t), ::testing::ExitedWithCode(0), "^$");
    List empty;
    EXPECT_EXIT(w.simD(empty, 1, t), ::testing::ExitedWithCode(0), "^$");
}
