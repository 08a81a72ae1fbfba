// The SVD fit of RCSA records and its residue jackknife: RCSA simulated here from a known tensor
// on ubiquitin (2MJB) fitted back exactly; the jackknife and the full fit against per-trial
// least-squares solves of rows weighted as each one weights them; rows and residue keys by hand;
// the silent exit.
#include "fit/SVDWorkData.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "common/LeastSquaresReference.h"
#include "common/RcsaSimulation.h"
#include "common/TestUtil.h"
#include "couplings/RCSAListData.h"

namespace {

using List = std::vector<RCSA_Data>;
const std::string kExamples = std::string(ORVEX_SOURCE_DIR) + "/examples/";

// A ubiquitin-like tensor (Da_HN about -12.8 Hz, Rh 0.6) in a general orientation.
const rcsasim::Tensor kTensor = {-5.9e-4, -3.54e-4, 111.5, 26.5, 32.0};

// The records of `rows` read from a table, selected over the table's range and built against pdb.
List buildList(const std::string& pdb, const std::vector<rcsasim::Row>& rows) {
    testutil::TempDir dir;
    testutil::writeFile(dir.file("in.tab"), rcsasim::table(rows));
    std::vector<PDB> pdbs(1);
    EXPECT_TRUE(pdbs[0].loadPDB(pdb));
    RCSAListData list;
    DTensor t;
    testing::internal::CaptureStderr();
    list.readRCSA(dir.file("in.tab"), t);
    list.selectRCSA(list.segFIRST, list.segLAST, {}, {}, true);
    list.buildRCSA(pdbs, t);
    testing::internal::GetCapturedStderr();
    return list.rcsaList;
}

std::vector<rcsasim::Row> simulated(const std::string& pdb, const std::string& nuclei) {
    std::map<int, std::string> names;
    const rcsasim::Models models = rcsasim::readModels(pdb, &names);
    std::vector<rcsasim::Row> rows;
    for (char n : nuclei) {
        const auto part = rcsasim::simulate(models, names, n, kTensor);
        rows.insert(rows.end(), part.begin(), part.end());
    }
    return rows;
}

// One of the tensor's Euler solutions describes the axes of the known tensor.
bool hasSolution(const DTensor& t, const rcsasim::Tensor& known) {
    for (int k = 0; k < t.eulerCount; k++)
        if (rcsasim::sameAxes(t.psiList[k], t.thetaList[k], t.phiList[k], known, 1e-6)) return true;
    return false;
}

bool eligible(const RCSA_Data& r) { return r.selected == 1 && r.valid == 1 && r.d <= 900 && r.w != 0; }

double rowDot(const RCSA_Data& r, const double* s) { return std::inner_product(r.A.begin(), r.A.end(), s, 0.0); }

// The rows of the eligible records that keep(record) accepts, weighted by weightOf(record), solved.
template <class Weight, class Keep>
lsref::Solve solveWeighted(const List& list, Weight weightOf, Keep keep) {
    std::vector<double> a, b;
    for (const RCSA_Data& r : list) {
        if (!eligible(r) || !keep(r)) continue;
        const double h = weightOf(r);
        for (double x : r.A) a.push_back(h * x);
        b.push_back(h * r.d);
    }
    return lsref::solve(a, b, static_cast<int>(b.size()), 5);
}

}  // namespace

// RCSA of all three nuclei simulated from a known tensor on model 1: Q = 0 and the same Saupe
// vector, Da, Dr and angles to rounding. (Each nucleus alone and the 20-model ensemble are checked
// through the executable.)
TEST(RcsaSvdFit, KnownTensorRecoveredFromAllThreeNuclei) {
    const std::string pdb = kExamples + "2MJB_model1.pdb";
    const auto rows = simulated(pdb, "HNC");
    ASSERT_GT(rows.size(), 180u);
    List list = buildList(pdb, rows);
    ASSERT_EQ(list.size(), rows.size());
    DTensor t;
    SVDWorkData svd;
    EXPECT_EQ(svd.simD(list, 1, t), static_cast<int>(rows.size()));
    EXPECT_EQ(svd.svdCount, static_cast<int>(rows.size()));
    t.eulerCount = t.saupe2euler();
    const auto want = kTensor.rcsaOrder();
    for (int k = 0; k < 5; k++) EXPECT_NEAR(want[k], t.saupe[k], 1e-12) << k;
    EXPECT_NEAR(kTensor.Da, t.da, 1e-12);
    EXPECT_NEAR(kTensor.Dr, t.dr, 1e-12);
    EXPECT_TRUE(hasSolution(t, kTensor));
    for (const RCSA_Data& r : list) {
        EXPECT_NEAR(r.d, r.dCalc, 1e-7) << r.resID << r.atomName;
        EXPECT_NEAR(r.d, r.dCalc_jk, 1e-7) << r.resID << r.atomName;   // every trial finds the tensor
    }
    RCSAListData stats;
    stats.rcsaList = list;
    stats.getStatAll(t);
    EXPECT_LT(stats.rms, 1e-7);
    EXPECT_LT(stats.qfactor_norm, 1e-7);
    EXPECT_NEAR(1.0, stats.corr_r, 1e-12);
}

// Noisy data, mixed uncertainties, ineligible records. The jackknife: one trial per key (resID,
// plus 1 for a carbonyl) solved from the kept records with rows A/sigma; the mean weighted by
// the number left out; the selected records back-calculated from the mean tensor. The full
// fit: rows weighted by |DI|/sigma, which is 1 for records read from a table (DI 0).
TEST(RcsaSvdFit, JackknifeAndFullFitAgainstPerTrialSolves) {
    List list = buildList(kExamples + "2MJB_model1.pdb", simulated(kExamples + "2MJB_model1.pdb", "HNC"));
    for (size_t i = 0; i < list.size(); i++) {
        list[i].d += 3.0 * std::sin(1.3 * i + 0.2);
        list[i].sigma = list[i].CLASS == 1 ? 0.5 : list[i].CLASS == 2 ? 2.0 : 1.0 + 0.25 * (i % 3);
        list[i].dCalc = list[i].dCalc_jk = -777;
    }
    list[3].sigma = 0;   // weight 1
    list[5].w = 0;
    list[8].d = 999;
    list[13].selected = 0;
    const int nFit = static_cast<int>(std::count_if(list.begin(), list.end(), eligible));
    ASSERT_EQ(nFit, static_cast<int>(list.size()) - 3);

    List work = list;
    DTensor t;
    SVDWorkData svd;
    svd.init_RCSA_Saupe(work, 1);
    const int nTrials = svd.findSaupe_jk_byRes(t, work, 1);

    std::map<int, std::vector<size_t>> groups;   // key -> records left out together
    for (size_t i = 0; i < list.size(); i++)
        if (eligible(list[i])) groups[list[i].resID + (list[i].CLASS == 3 ? 1 : 0)].push_back(i);
    EXPECT_EQ(nTrials, static_cast<int>(groups.size()));
    double mean[5] = {}, dSaupe[5] = {};
    for (const auto& [key, out] : groups) {
        const int trialKey = key;
        const lsref::Solve s = solveWeighted(
            list, [](const RCSA_Data& r) { return r.sigma != 0 ? 1 / r.sigma : 1.0; },
            [trialKey](const RCSA_Data& r) { return r.resID + (r.CLASS == 3 ? 1 : 0) != trialKey; });
        DTensor trial;
        trial.isRCSA = true;
        for (int j = 0; j < 5; j++) {
            trial.saupe[j] = s.x[j];
            mean[j] += s.x[j] * out.size() / nFit;
            dSaupe[j] += std::sqrt(s.cov[j * 5 + j]) * out.size() / nFit;
        }
        trial.saupe2euler();
        for (size_t i : out) {
            EXPECT_NEAR(rowDot(list[i], s.x.data()), work[i].dCalc_jk, 1e-8) << i;
            EXPECT_NEAR(trial.da, work[i].da_jk, 1e-9 * std::fabs(trial.da)) << i;
            EXPECT_NEAR(trial.dr, work[i].dr_jk, 1e-9 * std::fabs(trial.da)) << i;
        }
    }
    for (int j = 0; j < 5; j++) {
        EXPECT_NEAR(mean[j], t.saupe[j], 1e-12) << j;
        EXPECT_NEAR(dSaupe[j], t.dSaupe[j], 1e-12) << j;
    }
    // a carbonyl goes with the next residue's proton and nitrogen
    auto at = [&work](int res, int cls) {
        return std::find_if(work.begin(), work.end(), [&](const RCSA_Data& r) { return r.resID == res && r.CLASS == cls; });
    };
    ASSERT_TRUE(at(10, 3) != work.end() && at(11, 2) != work.end() && at(10, 2) != work.end());
    EXPECT_EQ(at(10, 3)->da_jk, at(11, 2)->da_jk);
    EXPECT_NE(at(10, 3)->da_jk, at(10, 2)->da_jk);

    // the mean tensor: Euler solutions, and the selected valid records back-calculated from it
    DTensor meanTensor;
    meanTensor.isRCSA = true;
    for (int j = 0; j < 5; j++) meanTensor.saupe[j] = mean[j];
    EXPECT_EQ(t.eulerCount, meanTensor.saupe2euler());
    EXPECT_TRUE(t.isRCSA);
    for (size_t i = 0; i < work.size(); i++) {
        EXPECT_NEAR(work[i].dCalc, i == 13 ? -777 : rowDot(list[i], mean), 1e-9) << i;
        if (!eligible(list[i])) {
            EXPECT_EQ(work[i].dCalc_jk, -777) << i;
        }
    }

    // the full fit: unweighted rows whatever sigma, every valid record back-calculated
    for (double di : {0.0, -4.0}) {
        SCOPED_TRACE(di);
        List full = list;
        for (RCSA_Data& r : full) r.diCalc = di;
        const double absDI = std::fabs(di);
        const lsref::Solve s = solveWeighted(
            full,
            [absDI](const RCSA_Data& r) {
                const double g = absDI == 0 ? 0 : r.sigma / absDI;
                return g != 0 ? 1 / g : 1.0;
            },
            [](const RCSA_Data&) { return true; });
        DTensor f;
        f.fitFlag_JK = 0;
        EXPECT_EQ(SVDWorkData().simD(full, 1, f), nFit);
        for (int j = 0; j < 5; j++) {
            EXPECT_NEAR(s.x[j], f.saupe[j], 1e-12) << j;
            EXPECT_NEAR(std::sqrt(s.cov[j * 5 + j]), f.dSaupe[j], 1e-12) << j;
        }
        for (size_t i = 0; i < full.size(); i++) EXPECT_NEAR(rowDot(full[i], s.x.data()), full[i].dCalc, 1e-9) << i;
        EXPECT_EQ(full[0].dCalc_jk, -777);   // no jackknife when switched off
    }
}

TEST(RcsaSvdFit, RowsAndKeysByHand) {
    RCSA_Data r;
    r.A = {1, 2, 3, 4, 5};
    r.d = 10;
    r.sigma = 4;
    double row[5], rhs;
    SVDWorkData::rcsaFitRow(r, row, rhs);   // DI 0: weight 1
    EXPECT_EQ((std::vector<double>(row, row + 5)), (std::vector<double>{1, 2, 3, 4, 5}));
    EXPECT_EQ(rhs, 10);
    r.diCalc = -2;   // h = 1 / (sigma / |DI|) = 0.5
    SVDWorkData::rcsaFitRow(r, row, rhs);
    EXPECT_EQ((std::vector<double>(row, row + 5)), (std::vector<double>{0.5, 1, 1.5, 2, 2.5}));
    EXPECT_EQ(rhs, 5);
    SVDWorkData::rcsaJackknifeRow(r, row, rhs);   // u = 1 / sigma, DI ignored
    EXPECT_EQ((std::vector<double>(row, row + 5)), (std::vector<double>{0.25, 0.5, 0.75, 1, 1.25}));
    EXPECT_EQ(rhs, 2.5);
    r.sigma = 0;
    SVDWorkData::rcsaJackknifeRow(r, row, rhs);
    EXPECT_EQ(rhs, 10);

    r.resID = 7;
    for (int cls : {-1, 1, 2}) {
        r.CLASS = cls;
        EXPECT_EQ(SVDWorkData::rcsaResidueKey(r), 7);
    }
    r.CLASS = 3;
    EXPECT_EQ(SVDWorkData::rcsaResidueKey(r), 8);
}

TEST(RcsaSvdFitDeath, NothingEligibleExitsQuietlyWithStatusZero) {
    List list = buildList(kExamples + "2MJB_model1.pdb", simulated(kExamples + "2MJB_model1.pdb", "N"));
    for (RCSA_Data& r : list) r.d = 950;
    DTensor t;
    EXPECT_EXIT(SVDWorkData().findSaupe(t, list, 1), ::testing::ExitedWithCode(0), "^$");
    EXPECT_EXIT(SVDWorkData().findSaupe_jk_byRes(t, list, 1), ::testing::ExitedWithCode(0), "^$");
}
