// Tests of the multi-tensor multi-conformer fit (one Saupe vector per conformer): both
// jackknifes on real ensembles against every trial refitted here from rows built here, with
// principal values and tensor agreement computed here; the limiting cases (one conformer,
// two identical conformers, fewer rows than unknowns) and the stops.
#include "fit/SVDWorkData.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/LeastSquaresReference.h"
#include "common/MaxSubScenario.h"
#include "common/TestUtil.h"
#include "couplings/DCListData.h"
#include "io/PDB.h"

namespace {

using List = std::vector<DipolarCouplingData>;
const std::string kExamples = std::string(ORVEX_SOURCE_DIR) + "/examples/";

List loadCouplings(const std::string& pdbPath, const std::string& table) {
    return maxsubscenario::builtCouplings(pdbPath, table).dcList;
}

bool eligible(const DipolarCouplingData& dc) {
    return dc.selected == 1 && dc.valid == 1 && dc.d <= 900.0 && dc.w != 0;
}

// ---- the fit written out here, from the unit vectors of the atom pairs ----

// Orientation terms of a unit vector u: u.S.u = sum_j term[j] s[j] for the Saupe vector s =
// (Szz, Sxx - Syy, Sxy, Sxz, Syz) of a traceless S.
std::array<double, 5> orientationTerms(const std::array<double, 3>& u) {
    const double x = u[0], y = u[1], z = u[2];
    return {(3 * z * z - 1) / 2, (x * x - y * y) / 2, 2 * x * y, 2 * x * z, 2 * y * z};
}

// Coupling = |DI| sum over the first P atom pairs c of u_c.S_c.u_c (a pair the coupling lacks
// contributes nothing).
double coupling(const DipolarCouplingData& dc, const double* x, int P) {
    double sum = 0;
    for (int c = 0; c < P && c < static_cast<int>(dc.vi.size()); c++) {
        const auto t = orientationTerms(dc.vi[c]);
        for (int j = 0; j < 5; j++) sum += t[j] * x[5 * c + j];
    }
    return std::fabs(dc.diCalc) * sum;
}

// The weighted system of the eligible couplings: row |DI|/sigma times the orientation terms,
// right-hand side d/sigma (sigma 0: weight 1/|DI|). Row r belongs to coupling index[r].
struct System {
    std::vector<double> a, b;
    std::vector<size_t> index;
};
System weightedSystem(const List& list, int P) {
    System s;
    for (size_t i = 0; i < list.size(); i++) {
        const DipolarCouplingData& dc = list[i];
        if (!eligible(dc)) continue;
        const double w = dc.sigma != 0 ? 1 / dc.sigma : 1 / std::fabs(dc.diCalc);
        std::vector<double> unit(5 * P, 0.0);
        for (int c = 0; c < 5 * P; c++) {
            unit[c] = 1;
            s.a.push_back(w * coupling(dc, unit.data(), P));
            unit[c] = 0;
        }
        s.b.push_back(w * dc.d);
        s.index.push_back(i);
    }
    return s;
}

// Principal values of the traceless S of a Saupe vector (closed-form eigenvalues of a
// symmetric 3x3), sorted by magnitude: Da = S_Z / 2, Dr = (S_X - S_Y) / 3.
std::pair<double, double> daDr(const double* s) {
    const double xx = -(s[0] - s[1]) / 2, yy = -(s[0] + s[1]) / 2, zz = s[0];
    const double p2 = xx * xx + yy * yy + zz * zz + 2 * (s[2] * s[2] + s[3] * s[3] + s[4] * s[4]);
    if (p2 == 0) return {0, 0};
    const double p = std::sqrt(p2 / 6);
    const double det = xx * (yy * zz - s[4] * s[4]) - s[2] * (s[2] * zz - s[4] * s[3]) + s[3] * (s[2] * s[4] - yy * s[3]);
    const double phi = std::acos(std::max(-1.0, std::min(1.0, det / (2 * p * p * p)))) / 3;
    std::array<double, 3> e = {2 * p * std::cos(phi), 2 * p * std::cos(phi + 2 * M_PI / 3),
                               2 * p * std::cos(phi + 4 * M_PI / 3)};
    std::sort(e.begin(), e.end(), [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    return {e[2] / 2, (e[0] - e[1]) / 3};
}

// |<S_a, S_b>| / (|S_a| |S_b|) with the Frobenius product of the full traceless matrices.
double generalisedCosine(const double* a, const double* b) {
    auto dot = [](const double* u, const double* v) {
        return 1.5 * u[0] * v[0] + 0.5 * u[1] * v[1] + 2 * (u[2] * v[2] + u[3] * v[3] + u[4] * v[4]);
    };
    return std::fabs(dot(a, b)) / std::sqrt(dot(a, a) * dot(b, b));
}

double agreement(const double* x, int P) {
    double sum = 0;
    int pairs = 0;
    for (int i = 0; i < P; i++)
        for (int j = i; j < P; j++, pairs++) sum += generalisedCosine(x + 5 * i, x + 5 * j);
    return sum / pairs;
}

double maxAbs(const double* x, int n) {
    double m = 0;
    for (int i = 0; i < n; i++) m = std::max(m, std::fabs(x[i]));
    return m;
}

// Refits every trial here and checks the tensors and couplings left by the jackknife.
void expectJackknife(const List& in, const List& out, const std::vector<DTensor>& tensors, int P, bool byRes,
                     double tol) {
    const System sys = weightedSystem(in, P);
    const int k = 5 * P;
    std::map<long, std::vector<int>> trials;   // key -> rows left out together
    for (size_t r = 0; r < sys.index.size(); r++) {
        const DipolarCouplingData& dc = in[sys.index[r]];
        trials[byRes ? std::max(dc.resIDI, dc.resIDJ) : -1 - static_cast<long>(r)].push_back(static_cast<int>(r));
    }
    const double K = trials.size();
    std::vector<std::vector<double>> x;
    std::vector<double> mean(k, 0.0);
    for (const auto& [key, rows] : trials) {
        x.push_back(lsref::solveRows(sys.a, sys.b, k, [&rows = rows](int r) {
                        return std::find(rows.begin(), rows.end(), r) == rows.end();
                    }).x);
        const std::vector<double>& xg = x.back();
        for (int j = 0; j < k; j++) mean[j] += xg[j] / K;
        const double scale = maxAbs(xg.data(), k);
        for (int r : rows) {
            const DipolarCouplingData& dc = out[sys.index[r]];
            EXPECT_NEAR(dc.dCalc_jk, coupling(dc, xg.data(), P), tol * scale * std::fabs(dc.diCalc)) << r;
            EXPECT_NEAR(dc.tensor_jk_multiTensor_nsp, agreement(xg.data(), P), tol) << r;
            for (int c = 0; c < std::min(P, 10); c++) {
                const auto [da, dr] = daDr(&xg[5 * c]);
                EXPECT_NEAR(dc.da_jk_multiTensor[c], da, tol * scale) << r << " tensor " << c;
                EXPECT_NEAR(dc.dr_jk_multiTensor[c], dr, tol * scale) << r << " tensor " << c;
            }
        }
    }
    // every coupling for the fit or for validation, valid and with atoms: dCalc from the means
    const double meanScale = maxAbs(mean.data(), k);
    for (size_t i = 0; i < out.size(); i++) {
        const DipolarCouplingData& dc = out[i];
        const bool calc = (dc.selected == 1 || dc.selected_v == 1) && dc.valid == 1 && dc.atomICount != 0;
        EXPECT_NEAR(dc.dCalc, calc ? coupling(dc, mean.data(), P) : in[i].dCalc, tol * meanScale * std::fabs(dc.diCalc))
            << i;
        if (!eligible(in[i])) {   // left out by no trial: no trial values
            EXPECT_EQ(dc.tensor_jk_multiTensor_nsp, 9999) << i;
            EXPECT_EQ(dc.da_jk_multiTensor[0], 9999) << i;
            EXPECT_EQ(dc.dCalc_jk, in[i].dCalc_jk) << i;
        }
    }
    // per tensor: its mean and its spreads over the trials, with no factor of the trial count
    for (int c = 0; c < P; c++) {
        const DTensor& t = tensors[c];
        const double* m = &mean[5 * c];
        const double scale = maxAbs(m, 5);
        double daMean = 0, rhMean = 0, eps = 0, daS = 0, rhS = 0, sS[5] = {};
        for (const auto& xg : x) {
            const auto [da, dr] = daDr(&xg[5 * c]);
            daMean += std::fabs(da) / K;
            rhMean += std::fabs(dr / da) / K;
        }
        for (const auto& xg : x) {
            const auto [da, dr] = daDr(&xg[5 * c]);
            eps += std::pow(1 - generalisedCosine(&xg[5 * c], m), 2);
            daS += std::pow(std::fabs(da) - daMean, 2);
            rhS += std::pow(std::fabs(dr / da) - rhMean, 2);
            for (int j = 0; j < 5; j++) sS[j] += std::pow(xg[5 * c + j] - m[j], 2);
        }
        SCOPED_TRACE("tensor " + std::to_string(c));
        EXPECT_EQ(t.N_JK, static_cast<int>(K));
        for (int j = 0; j < 5; j++) {
            EXPECT_NEAR(t.saupe[j], m[j], tol * scale) << j;
            EXPECT_NEAR(t.dSaupe_jk[j], std::sqrt(sS[j]), tol * scale) << j;
        }
        EXPECT_NEAR(t.saupe_epsilon, std::sqrt(eps), 1e3 * tol * std::sqrt(eps));
        EXPECT_NEAR(t.da_jk_stdev, std::sqrt(daS), 1e3 * tol * std::sqrt(daS));
        EXPECT_NEAR(t.rh_jk_stdev, std::sqrt(rhS), 1e3 * tol * std::sqrt(rhS));
    }
}

std::vector<DTensor> freshTensors(int n) {
    std::vector<DTensor> t(n);
    for (DTensor& x : t) x.saupe.fill(0.5);   // stale values the fit must not build on
    return t;
}

}  // namespace

// The 3-conformer peptide (N-H and CA-HA, Gly CA-HA# fitted with its first three atom pairs)
// and ubiquitin MODELs 1-3 (nearly identical conformers: directions near the singular-value
// cut). Mixed uncertainties and the couplings no trial leaves out: unselected but for
// validation, weight 0, above 900 Hz.
TEST(SVDWorkDataMulti, JackknifeOnRealEnsemblesAgainstIndependentRefits) {
    struct Case {
        std::string pdb, table;
        double tol;
    };
    const Case cases[] = {{kExamples + "2lwa_3models.pdb", kExamples + "2lwa.inp", 1e-10},
                          {kExamples + "2MJB_models1-3.pdb", kExamples + "2mjb_set502_pf1.tab", 1e-10}};
    for (const Case& c : cases) {
        List list = loadCouplings(c.pdb, c.table);
        ASSERT_GT(list.size(), 30u);
        for (size_t i = 0; i < list.size(); i++) list[i].sigma = 0.5 + 0.25 * (i % 3);
        list[1].selected = 0;   // validation only
        list[4].w = 0;
        list[6].d = 950;
        for (auto& dc : list) dc.dCalc_jk = -777;
        for (bool byRes : {true, false}) {
            SCOPED_TRACE(c.pdb + (byRes ? " residue jackknife" : " coupling jackknife"));
            List work = list;
            std::vector<DTensor> tensors = freshTensors(3);
            tensors[0].byRes = byRes;
            SVDWorkData w;
            const int nTrials = w.simD_multiTensors(work, 3, tensors);
            EXPECT_EQ(nTrials, tensors[0].N_JK);
            EXPECT_EQ(w.pdbCount, 3);
            EXPECT_EQ(w.svdCount, static_cast<int>(std::count_if(list.begin(), list.end(), eligible)));
            expectJackknife(list, work, tensors, 3, byRes, c.tol);
        }
    }
}

// One conformer: the joint fit is the single fit, the tensors agree with themselves (NSP 1), and
// the statistics are those of the single-tensor jackknife. Two identical conformers: the two
// column blocks are equal, the solver splits the tensor evenly (minimum norm) and NSP is 1.
TEST(SVDWorkDataMulti, OneConformerAndTwoIdenticalConformers) {
    testutil::TempDir dir;
    const std::string model1 = kExamples + "2MJB_model1.pdb", table = kExamples + "2mjb_set500_backbone.tab";
    const List list = loadCouplings(model1, table);
    for (bool byRes : {true, false}) {
        List single = list, multi = list;
        DTensor t;
        std::vector<DTensor> tensors(1);
        tensors[0].byRes = byRes;
        SVDWorkData s, m;
        EXPECT_EQ(byRes ? s.findSaupe_jk_byRes(t, single, 1) : s.findSaupe_jk(t, single, 1),
                  m.simD_multiTensors(multi, 1, tensors));
        for (int j = 0; j < 5; j++) {
            EXPECT_NEAR(tensors[0].saupe[j], t.saupe[j], 1e-12 * maxAbs(t.saupe.data(), 5));
            EXPECT_NEAR(tensors[0].dSaupe_jk[j], t.dSaupe_jk[j], 1e-9 * t.dSaupe_jk[j]);
        }
        EXPECT_NEAR(tensors[0].saupe_epsilon, t.saupe_epsilon, 1e-6 * t.saupe_epsilon);
        EXPECT_NEAR(tensors[0].da_jk_stdev, t.da_jk_stdev, 1e-9 * t.da_jk_stdev);
        EXPECT_NEAR(tensors[0].rh_jk_stdev, t.rh_jk_stdev, 1e-9 * t.rh_jk_stdev);
        for (size_t i = 0; i < list.size(); i++) {
            EXPECT_NEAR(multi[i].dCalc_jk, single[i].dCalc_jk, 1e-10) << i;
            EXPECT_NEAR(multi[i].da_jk_multiTensor[0], single[i].da_jk, 1e-12) << i;
            EXPECT_NEAR(multi[i].dr_jk_multiTensor[0], single[i].dr_jk, 1e-12) << i;
            EXPECT_NEAR(multi[i].tensor_jk_multiTensor_nsp, 1.0, 1e-15) << i;
        }
    }

    // the same model twice
    std::string atoms, twice;
    for (const std::string& line : testutil::splitLines(testutil::readFile(model1)))
        if (line.rfind("ATOM", 0) == 0) atoms += line + "\n";
    for (int m = 1; m <= 2; m++) twice += "MODEL        " + std::to_string(m) + "\n" + atoms + "ENDMDL\n";
    testutil::writeFile(dir.file("twice.pdb"), twice);
    List both = loadCouplings(dir.file("twice.pdb"), table), one = list;
    DTensor t;
    SVDWorkData().findSaupe(t, one, 1);
    std::vector<DTensor> tensors(2);
    EXPECT_EQ(SVDWorkData().findSaupe_multi(tensors, both, 2), 305);
    for (int j = 0; j < 5; j++) {
        EXPECT_NEAR(tensors[0].saupe[j], t.saupe[j] / 2, 1e-9 * maxAbs(t.saupe.data(), 5)) << j;
        EXPECT_NEAR(tensors[1].saupe[j], t.saupe[j] / 2, 1e-9 * maxAbs(t.saupe.data(), 5)) << j;
    }
    for (size_t i = 0; i < one.size(); i++) EXPECT_NEAR(both[i].dCalc, one[i].dCalc, 1e-8) << i;
    SVDWorkData().findSaupe_multi_jk_byRes(tensors, both, 2);
    for (const auto& dc : both) EXPECT_NEAR(dc.tensor_jk_multiTensor_nsp, 1.0, 1e-9);
}

// Eight couplings for fifteen unknowns: the null directions are dropped, the fit reproduces
// every coupling, and every trial reproduces the couplings it keeps.
TEST(SVDWorkDataMulti, FewerRowsThanUnknowns) {
    List list = loadCouplings(kExamples + "2lwa_3models.pdb", kExamples + "2lwa.inp");
    List few;
    for (const auto& dc : list)
        if (dc.CLASS == 1 && few.size() < 8) few.push_back(dc);
    std::vector<DTensor> tensors(3);
    EXPECT_EQ(SVDWorkData().findSaupe_multi(tensors, few, 3), 8);
    for (const auto& dc : few) EXPECT_NEAR(dc.dCalc, dc.d, 1e-9);
    for (bool byRes : {true, false}) {
        List work = few;
        tensors[0].byRes = byRes;
        SVDWorkData w;
        EXPECT_EQ(w.simD_multiTensors(work, 3, tensors), 8);
        const System sys = weightedSystem(few, 3);
        for (int out = 0; out < 8; out++) {
            const auto x = lsref::solveRows(sys.a, sys.b, 15, [out](int r) { return r != out; }).x;
            EXPECT_NEAR(work[out].dCalc_jk, coupling(work[out], x.data(), 3), 1e-9) << out;
            for (int i = 0; i < 8; i++) {
                if (i == out) continue;
                EXPECT_NEAR(coupling(few[i], x.data(), 3), few[i].d, 1e-9) << out << " " << i;
            }
        }
    }
}

TEST(SVDWorkDataMultiDeath, CountMismatchAndNothingEligible) {
    List list = loadCouplings(kExamples + "2lwa_3models.pdb", kExamples + "2lwa.inp");
    const char* message = "^Number of conformers is different to the number of alignment tensors\n$";
    std::vector<DTensor> two(2), none;
    EXPECT_EXIT(SVDWorkData().simD_multiTensors(list, 3, two), ::testing::ExitedWithCode(0), message);
    EXPECT_EXIT(SVDWorkData().simD_multiTensors(list, 3, none), ::testing::ExitedWithCode(0), message);
    EXPECT_EXIT(SVDWorkData().findSaupe_multi(two, list, 1), ::testing::ExitedWithCode(0), message);
    two[0].byRes = false;
    EXPECT_EXIT(SVDWorkData().simD_multiTensors(list, 0, two), ::testing::ExitedWithCode(0), message);

    for (auto& dc : list) dc.w = 0;
    std::vector<DTensor> three(3);
    EXPECT_EXIT(SVDWorkData().findSaupe_multi_jk_byRes(three, list, 3), ::testing::ExitedWithCode(0), "^$");
    EXPECT_EXIT(SVDWorkData().findSaupe_multi_jk(three, list, 3), ::testing::ExitedWithCode(0), "^$");
    EXPECT_EXIT(SVDWorkData().findSaupe_multi(three, list, 3), ::testing::ExitedWithCode(0), "^$");
    EXPECT_EQ(SVDWorkData().findD_multi(three), 0);
}
