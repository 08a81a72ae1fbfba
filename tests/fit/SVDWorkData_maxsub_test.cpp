// The maximal-subset searches: five corrupted residues found by the growing search and by culling
// at residue and coupling level; the engine (rows built once, units chosen by masks, one
// leave-group-out pass per trial) against the straightforward procedure written out here (each
// trial on a copied list with its own selection, the program's jackknife and full fit, the
// statistics of the trial computed from the coupling records); selection by ids; the cut-offs;
// no coupling at all; no allocation in a trial.
#include "fit/SVDWorkData.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/CountAllocations.h"
#include "common/MaxSubScenario.h"
#include "couplings/DCListData.h"

namespace {

using List = std::vector<DipolarCouplingData>;
using maxsubscenario::kOutliers;

bool usable(const DipolarCouplingData& dc) { return dc.valid == 1 && dc.d <= 900.0 && dc.w != 0; }
int key(const DipolarCouplingData& dc) { return std::max(dc.resIDI, dc.resIDJ); }

std::vector<int> residuesOf(const List& list, bool selectedOnly) {
    std::set<int> r;
    for (const DipolarCouplingData& dc : list)
        if (usable(dc) && (!selectedOnly || dc.selected == 1)) r.insert(key(dc));
    return {r.begin(), r.end()};
}

// ---- the straightforward procedure ----

void select(List& list, const std::vector<int>& ids, bool byRes) {
    for (size_t i = 0; i < list.size(); i++) {
        if (!usable(list[i])) continue;
        const int k = byRes ? key(list[i]) : static_cast<int>(i);
        list[i].selected = std::count(ids.begin(), ids.end(), k) ? 1 : 0;
    }
}

// Jackknife of the selected couplings, then the full fit; a coupling no trial left out is
// predicted by the full fit (its left-out prediction, Da and Dr are the fit's own).
void fitSelected(DTensor& t, List& list, bool byRes) {
    SVDWorkData svd;
    if (byRes)
        svd.findSaupe_jk_byRes(t, list, 1);
    else
        svd.findSaupe_jk(t, list, 1);
    svd.findSaupe(t, list, 1);
    for (DipolarCouplingData& dc : list) {
        if (dc.valid != 1 || !dc.atomICount || !dc.atomJCount || SVDWorkData::isFitEligible(dc)) continue;
        dc.dCalc_jk = dc.dCalc;
        dc.da_jk = t.da;
        dc.dr_jk = t.dr;
        for (int k = 0; k < 5; k++) dc.saupe_jk[k] = t.saupe[k];
    }
}

double normalised(const DipolarCouplingData& dc, double calc) { return (dc.d - calc) * std::fabs(-21585.2 / dc.diCalc); }

// RMS of the deviations, or the magnitude of the last one beyond the limit.
struct Score {
    std::vector<double> devs;
    double score(double limit, bool* outlier = nullptr) const {
        double s2 = 0, last = -1;
        for (double d : devs) {
            s2 += d * d;
            if (std::fabs(d) > limit) last = std::fabs(d);
        }
        if (outlier) *outlier = last >= 0;
        return last >= 0 ? last : std::sqrt(s2 / devs.size());
    }
};

struct Result {
    std::vector<int> ids;
    std::map<int, double> scores;
    double score = 0;
    List list;
    DTensor t;
    std::string out, err;
};

// Final scoring of a set: fit it with the residue jackknife, score every residue with usable
// couplings (in the set by dCalc_jk, else by dCalc), select the consistent ones by residue.
void finalScoring(Result& res, double dCut, const std::vector<int>& set, bool byRes, int N) {
    select(res.list, set, byRes);
    fitSelected(res.t, res.list, true);
    std::map<int, Score> per;
    for (const DipolarCouplingData& dc : res.list)
        if (usable(dc)) per[key(dc)].devs.push_back(normalised(dc, dc.selected == 1 ? dc.dCalc_jk : dc.dCalc));
    double sum = 0;
    for (const auto& [r, s] : per) {
        bool outlier;
        res.scores[r] = s.score(1.5 * dCut, &outlier);
        const double q = res.scores[r] / dCut;
        if (outlier || q >= 1) continue;
        res.ids.push_back(r);
        sum += 1 / (q * q + 1);
    }
    select(res.list, res.ids, true);
    res.score = sum / N;
}

Result referenceSoloSet(const List& list, double dCut) {
    Result res{{}, {}, 0, list, DTensor(), "", ""};
    const std::vector<int> residues = residuesOf(list, true);
    const int N = residues.size();
    std::ostringstream out;
    std::vector<int> best;
    for (int s = 0; s + 7 <= N; s++) {
        std::vector<int> cand(residues.begin() + s, residues.begin() + s + 7);
        bool complete = true;
        for (int level = 1; level <= 5 && complete; level++) {
            List work = list;
            select(work, cand, true);
            DTensor t;
            fitSelected(t, work, true);
            const double c = level < 5 ? std::max(level * dCut / 4, dCut / 2) : dCut;
            std::map<int, Score> per;
            for (size_t i = 0; i < work.size(); i++) {
                if (!usable(list[i]) || list[i].selected != 1) continue;   // the couplings the search started with
                const DipolarCouplingData& dc = work[i];
                per[key(dc)].devs.push_back(normalised(dc, dc.selected == 1 ? dc.dCalc : dc.dCalc_jk));
            }
            std::vector<int> next;
            for (const auto& [r, sc] : per) {
                const double score = sc.score(1.5 * c);
                const bool inSet = std::count(cand.begin(), cand.end(), r) > 0;
                if (level < 5 ? score < dCut / 4 : inSet && score < dCut) next.push_back(r);
            }
            if (next.size() < 7)
                complete = false;
            else
                cand = next;
        }
        if (!complete || cand.size() <= best.size()) continue;
        best = cand;
        char head[64];
        std::snprintf(head, sizeof head, "maxSub updated w/ %3d residues: ", static_cast<int>(best.size()));
        out << head << " ";
        for (int r : best) out << r << " ";
        out << "\n";
    }
    res.out = out.str();
    res.err = "Orvex::MaxSub:: number of residues with valid RDCs: " + std::to_string(N) + " ...\n";
    finalScoring(res, dCut, best, true, N);
    return res;
}

// One culling trial on a list whose selection is the trial's set; the units by their ids.
struct Trial {
    double e1 = 0, e2 = 0;
    double mean[5] = {};
    std::map<double, int> order;
};

Trial referenceTrial(List& list, const std::vector<int>& units, bool byRes, DTensor& t) {
    fitSelected(t, list, byRes);
    const double r3 = 1.7320508075688772;
    const int M = units.size();
    std::vector<std::array<double, 5>> T(M);
    std::vector<double> A(M);
    Trial tr;
    double aMean = 0;
    for (int j = 0; j < M; j++) {
        size_t i = 0;   // the unit's first coupling
        while (!(usable(list[i]) && list[i].selected == 1 && (byRes ? key(list[i]) : static_cast<int>(i)) == units[j])) i++;
        const DipolarCouplingData& dc = list[i];
        const double* s = dc.saupe_jk.data();
        const double f = 10 / dc.da_jk, rh = dc.dr_jk / dc.da_jk;
        T[j] = {f * s[0], f * (s[1] / r3), f * (2 * s[2] / r3), f * (2 * s[3] / r3), f * (2 * s[4] / r3)};
        A[j] = std::fabs(dc.da_jk) * std::sqrt((4 + 3 * rh * rh) / 5);
        for (int k = 0; k < 5; k++) tr.mean[k] += T[j][k];
        aMean += A[j];
    }
    for (double& m : tr.mean) m /= M;
    aMean /= M;
    double a2 = 0, e = 0;
    for (int j = 0; j < M; j++) {
        double ab = 0, aa = 0, bb = 0;
        for (int k = 0; k < 5; k++) {
            ab += T[j][k] * tr.mean[k];
            aa += T[j][k] * T[j][k];
            bb += tr.mean[k] * tr.mean[k];
        }
        a2 += (A[j] - aMean) * (A[j] - aMean);
        const double nsp = std::fabs(ab) / std::sqrt(aa * bb);
        e += (1 - nsp) * (1 - nsp);
        tr.order[nsp] = units[j];
    }
    tr.e2 = std::sqrt(a2) / aMean;
    tr.e1 = std::sqrt(e / M);
    return tr;
}

std::string statsLine(int n, const std::vector<int>& units, const List& list, bool byRes, double score,
                      const Trial& tr, double tau, double qjk) {
    std::vector<double> da, rh;
    for (int u : units) {
        size_t i = 0;
        while (!(usable(list[i]) && list[i].selected == 1 && (byRes ? key(list[i]) : static_cast<int>(i)) == u)) i++;
        da.push_back(-21585.2 * list[i].da_jk);
        rh.push_back(list[i].dr_jk / list[i].da_jk);
    }
    auto meanSpread = [](const std::vector<double>& v, double& mean, double& spread) {
        mean = 0;
        for (double x : v) mean += x;
        mean /= v.size();
        spread = 0;
        for (double x : v) spread += (x - mean) * (x - mean);
        spread = std::sqrt(spread);
    };
    double dm, ds, rm, rs;
    meanSpread(da, dm, ds);
    meanSpread(rh, rm, rs);
    std::ostringstream line;
    line << "Orvex culling:: round# " << n + 1 << " M= " << units.size() << "  Q_jk= " << qjk << "  Da_jk= " << dm << " "
         << ds << "  Rh_jk= " << rm << " " << rs << "  e1(S)= " << score << "  e2(S)= " << tr.e2
         << "  e(S)= " << (1 - tau) * score + tau * tr.e2;
    for (double m : tr.mean) line << " " << m;
    return line.str() + "\n";
}

Result referenceCulling(const List& list, double dCut, const DTensor& t0) {
    const bool byRes = t0.byRes;
    Result res{{}, {}, 0, list, t0, "", ""};
    std::ostringstream err, out;
    std::vector<int> units;
    for (size_t i = 0; i < list.size(); i++)
        if (usable(list[i]) && list[i].selected == 1) units.push_back(byRes ? key(list[i]) : static_cast<int>(i));
    std::sort(units.begin(), units.end());
    units.erase(std::unique(units.begin(), units.end()), units.end());
    const int N = residuesOf(list, true).size();
    const int M0 = units.size();
    err << "Orvex::Culling:: number of valid RDCs: " << std::count_if(list.begin(), list.end(), [](const DipolarCouplingData& dc) {
        return usable(dc) && dc.selected == 1;
    }) << " ...\nOrvex::Culling:: number of residues with valid RDCs: " << N << " ...\n";

    DCListData work;
    work.dcList = list;
    DTensor best = t0;
    Trial tr = referenceTrial(work.dcList, units, byRes, best);
    work.getStatAll(best);
    double current = tr.e1 * std::sqrt(M0);
    err << statsLine(0, units, work.dcList, byRes, current, tr, t0.tau, work.qfactor_jk);
    for (int round = 1; units.size() >= 7; round++) {
        const int M = units.size();
        const DCListData start = work;
        const std::map<double, int> roundOrder = tr.order;
        std::map<int, std::vector<double>> dev;   // unit -> deviations in sigma
        for (size_t i = 0; i < list.size(); i++) {
            const DipolarCouplingData& dc = start.dcList[i];
            if (!usable(dc) || dc.selected != 1) continue;
            const int owner = byRes ? key(dc) + (dc.CLASS == 10 ? 1 : 0) : static_cast<int>(i);
            dev[owner].push_back((dc.d - dc.dCalc_jk) / dc.sigma);
        }
        int removed = -1, tried = 0;
        for (const auto& [nsp, u] : roundOrder) {
            if (!byRes && tried >= t0.searchLevel) break;
            double d2 = 0;
            for (double x : dev[u]) d2 += x * x;
            if (dev[u].empty() || std::sqrt(d2 / dev[u].size()) < 3.0) continue;
            tried++;
            std::vector<int> trialUnits;
            for (int v : units)
                if (v != u) trialUnits.push_back(v);
            DCListData trial = start;
            select(trial.dcList, trialUnits, byRes);
            DTensor tt = t0;
            Trial ttr = referenceTrial(trial.dcList, trialUnits, byRes, tt);
            trial.getStatAll(tt);
            if (!(ttr.e1 * std::sqrt(M) <= current)) continue;
            current = ttr.e1 * std::sqrt(M);
            work = trial;
            best = tt;
            tr = ttr;
            removed = u;
        }
        if (removed < 0) {
            err << "Orvex culling:: e(S) score reach the minimum after " << round << " rounds ! \n";
            break;
        }
        units.erase(std::find(units.begin(), units.end(), removed));
        if (work.qfactor_jk < t0.culling_Q) {
            err << "Orvex culling:: Qjk reach the specified minimum of " << t0.culling_Q << " after " << round
                << " rounds ! \n";
            break;
        }
        if (std::lround(100 * t0.culling_percent) > 0 && 100 * (M0 - (int)units.size()) / M0 >= std::lround(100 * t0.culling_percent)) {
            err << "Orvex culling:: reach the specified " << 100 * t0.culling_percent << "% of culling after " << round
                << " rounds ! \n";
            break;
        }
        err << statsLine(round, units, work.dcList, byRes, current, tr, t0.tau, work.qfactor_jk);
    }
    std::set<int> residues;
    for (int u : units) residues.insert(byRes ? u : key(list[u]));
    out << "maxSub culling:: number of selected residues " << residues.size() << " / " << N << "\n";
    res.err = err.str();
    res.out = out.str();
    finalScoring(res, dCut, units, byRes, N);
    return res;
}

// ---- running the program's searches ----

Result runSearch(bool soloSet, const List& list, double dCut, const DTensor& t0) {
    Result res{{}, {}, 0, list, t0, "", ""};
    SVDWorkData svd;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    res.score = soloSet ? svd.findS_maxSub_soloSet(res.ids, res.scores, dCut, res.t, res.list)
                        : svd.findS_maxSub_culling(res.ids, res.scores, dCut, res.t, res.list);
    res.out = testing::internal::GetCapturedStdout();
    res.err = testing::internal::GetCapturedStderr();
    return res;
}

void expectSameResult(const Result& got, const Result& want, const std::string& what) {
    EXPECT_EQ(got.out, want.out) << what;
    EXPECT_EQ(got.err, want.err) << what;
    EXPECT_EQ(got.ids, want.ids) << what;
    ASSERT_EQ(got.scores.size(), want.scores.size()) << what;
    for (const auto& [r, s] : want.scores) EXPECT_NEAR(got.scores.at(r), s, 1e-12 * std::max(1.0, std::fabs(s))) << what << " " << r;
    EXPECT_NEAR(got.score, want.score, 1e-12) << what;
    for (int k = 0; k < 5; k++) EXPECT_NEAR(got.t.saupe[k], want.t.saupe[k], 1e-15) << what;
    EXPECT_EQ(got.t.N_JK, want.t.N_JK) << what;
    ASSERT_EQ(got.list.size(), want.list.size());
    for (size_t i = 0; i < want.list.size(); i++) {
        EXPECT_EQ(got.list[i].selected, want.list[i].selected) << what << " " << i;
        EXPECT_NEAR(got.list[i].dCalc_jk, want.list[i].dCalc_jk, 1e-9) << what << " " << i;
        EXPECT_NEAR(got.list[i].da_jk, want.list[i].da_jk, 1e-15) << what << " " << i;
    }
}

DTensor cullingTensor(bool byRes, double cullingQ, int level = 9999, double percent = 0) {
    DTensor t;
    t.byRes = byRes;
    t.tau = 0.1;
    t.culling_Q = cullingQ;
    t.culling_percent = percent;
    t.searchLevel = level;
    return t;
}

}  // namespace

// Five residues with an N-H coupling 10-15 Hz off the tensor the other 65 follow exactly: every
// search ends with exactly the 65 selected, the five scored by their own deviation and unselected,
// and the tensor recovered; culling removes one corrupted unit per round. (The printed lines are
// compared with the straightforward procedure below and checked through the executable.)
TEST(MaxSubset, FiveCorruptedResiduesFoundByEverySearch) {
    const DCListData scenario = maxsubscenario::simulated();
    const std::vector<int> all = residuesOf(scenario.dcList, true);
    ASSERT_EQ(all.size(), 70u);
    std::vector<int> clean;
    for (int r : all)
        if (!maxsubscenario::isOutlier(r)) clean.push_back(r);

    // an outlier residue scores its N-H deviation as an N-H coupling: shift |-21585.2 / DI|
    std::map<int, double> outlierScore;
    for (const DipolarCouplingData& dc : scenario.dcList)
        for (const maxsubscenario::Outlier& o : kOutliers)
            if (maxsubscenario::isNH(dc) && dc.resIDI == o.residue)
                outlierScore[o.residue] = std::fabs(o.shift * -21585.2 / dc.diCalc);

    struct Case {
        std::string name;
        bool soloSet;
        DTensor t;
        std::string lastRound, stop;
    };
    const std::string qStop = "Orvex culling:: Qjk reach the specified minimum of ";
    const std::string eStop = "Orvex culling:: e(S) score reach the minimum after 6 rounds ! \n";
    const Case cases[] = {
        {"growing", true, DTensor(), "", ""},
        {"culling", false, cullingTensor(true, 0.1f), "round# 5 M= 66 ", qStop + "0.1 after 5 rounds ! \n"},
        {"culling to the end", false, cullingTensor(true, 0), "round# 6 M= 65 ", eStop},
        {"culling by coupling", false, cullingTensor(false, 0.1f), "round# 5 M= 301 ", qStop + "0.1 after 5 rounds ! \n"},
        {"culling by coupling to the end", false, cullingTensor(false, 0), "round# 6 M= 300 ", eStop},
    };
    for (const Case& c : cases) {
        const Result r = runSearch(c.soloSet, scenario.dcList, 3.0, c.t);
        EXPECT_EQ(r.ids, clean) << c.name;
        for (const maxsubscenario::Outlier& o : kOutliers)
            EXPECT_NEAR(r.scores.at(o.residue), outlierScore.at(o.residue), 1e-9) << c.name;
        for (int res : clean) EXPECT_LT(r.scores.at(res), 1e-9) << c.name << " " << res;
        for (const DipolarCouplingData& dc : r.list) {
            if (!usable(dc)) continue;
            EXPECT_EQ(dc.selected, maxsubscenario::isOutlier(key(dc)) ? 0 : 1) << c.name;
        }
        // the fitted set is clean: the tensor comes back, and each of the 65 residues adds 1
        EXPECT_NEAR(r.score, 65.0 / 70, 1e-12) << c.name;
        for (int k = 0; k < 5; k++) EXPECT_NEAR(r.t.saupe[k], maxsubscenario::kSaupe[k], 1e-12) << c.name;
        EXPECT_EQ(r.t.N_JK, c.soloSet || c.t.byRes ? 65 : 70) << c.name;   // residues of the fitted set
        if (c.soloSet) continue;
        // one corrupted unit removed per round; the last statistics line, then the stop message
        const size_t last = r.err.rfind("Orvex culling:: round#");
        EXPECT_EQ(r.err.find(c.lastRound, last), last + 16) << c.name << r.err;
        EXPECT_EQ(r.err.substr(r.err.find('\n', last) + 1), c.stop) << c.name << r.err;
    }
}

// Real couplings of residues 1-30 with two N-H couplings moved by 8-9 Hz: the searches give
// exactly what the straightforward procedure gives (every printed line, the selection, the
// scores, the final fit), with rounds that remove units and, at coupling level, -level 2.
TEST(MaxSubset, SearchesEqualTheStraightforwardProcedure) {
    DCListData real = maxsubscenario::exampleCouplings(1, 30);
    for (DipolarCouplingData& dc : real.dcList) {
        if (maxsubscenario::isNH(dc) && dc.resIDI == 7) dc.d += 8;
        if (maxsubscenario::isNH(dc) && dc.resIDI == 21) dc.d -= 9;
    }
    const List& list = real.dcList;
    ASSERT_EQ(residuesOf(list, true).size(), 30u);

    expectSameResult(runSearch(true, list, 3.0, DTensor()), referenceSoloSet(list, 3.0), "growing");
    expectSameResult(runSearch(true, list, 4.0, DTensor()), referenceSoloSet(list, 4.0), "growing, dCut 4");
    for (const DTensor& t : {cullingTensor(true, 0.0001f), cullingTensor(false, 0.0001f, 2), cullingTensor(true, 0.1f),
                             cullingTensor(true, 0.0001f, 9999, 0.05f)}) {
        const Result got = runSearch(false, list, 3.0, t);
        const Result want = referenceCulling(list, 3.0, t);
        expectSameResult(got, want, t.byRes ? "culling by residue" : "culling by coupling");
        EXPECT_GE(std::count(got.err.begin(), got.err.end(), '\n'), 4) << got.err;   // rounds that removed units
    }
}

TEST(MaxSubset, GrowingCutoffs) {
    const double three[] = {1.5, 1.5, 2.25, 3.0, 3.0}, two[] = {1.0, 1.0, 1.5, 2.0, 2.0};
    for (int level = 1; level <= 5; level++) {
        EXPECT_EQ(SVDWorkData::soloSetCutoff(level, 3.0), three[level - 1]) << level;
        EXPECT_EQ(SVDWorkData::soloSetCutoff(level, 2.0), two[level - 1]) << level;
    }
}

// Ids are residues (key max(resIDI, resIDJ)) or list indices; couplings that are not usable
// keep their flag and do not count.
TEST(MaxSubset, SelectionByIds) {
    auto coupling = [](int i, int j, double d, double w, int valid, int selected) {
        DipolarCouplingData dc;
        dc.resIDI = i;
        dc.resIDJ = j;
        dc.d = d;
        dc.w = w;
        dc.valid = valid;
        dc.selected = selected;
        return dc;
    };
    const List start = {coupling(4, 5, 1, 1, 1, 0),  coupling(5, 5, 2, 1, 1, 1),   coupling(6, 6, 3, 1, 1, 1),
                        coupling(5, 5, 950, 1, 1, 1), coupling(5, 5, 3, 0, 1, 0),  coupling(5, 5, 3, 1, 0, 0),
                        coupling(7, 6, -2, 1, 1, 1)};
    List list = start;
    EXPECT_EQ(SVDWorkData::updateDClistSelectionByIDs(list, {5, 9}, true), 2);
    const int byResidue[] = {1, 1, 0, 1, 0, 0, 0};
    for (size_t i = 0; i < list.size(); i++) EXPECT_EQ(list[i].selected, byResidue[i]) << i;
    list = start;
    EXPECT_EQ(SVDWorkData::updateDClistSelectionByIDs(list, {6, 2, 3, 4}, false), 2);
    const int byIndex[] = {0, 0, 1, 1, 0, 0, 1};
    for (size_t i = 0; i < list.size(); i++) EXPECT_EQ(list[i].selected, byIndex[i]) << i;
}

// No coupling at all for culling: the message and status 0. (Fewer than seven residues or couplings
// are checked through the executable.)
TEST(MaxSubsetDeath, NoCouplingEndsWithStatusZero) {
    DTensor t;
    std::vector<int> ids;
    std::map<int, double> scores;
    List none = maxsubscenario::simulated(false, 80, 90).dcList;
    EXPECT_EXIT(SVDWorkData().findS_maxSub_culling(ids, scores, 3.0, t, none), ::testing::ExitedWithCode(0),
                "^Orvex::Culling:: number of valid RDCs: 0 \\.\\.\\.\n"
                "Orvex::Culling:: number of residues with valid RDCs: 0 \\.\\.\\.\n"
                "Orvex::MaxSub:: zero size warning \\.\\.\\.\n$");
}

// Once the buffers have their size, a culling trial and keeping it allocate nothing.
TEST(MaxSubset, TrialsDoNotAllocate) {
    DCListData list = maxsubscenario::simulated();
    for (bool byRes : {true, false}) {
        SVDWorkData svd;
        SVDWorkData::SubsetUnits units;
        SVDWorkData::buildSubsetUnits(list.dcList, byRes, units);
        std::vector<char> all(units.count(), 1), fewer = all;
        fewer[1] = fewer[40] = 0;
        SVDWorkData::CullingOrder order;
        order.reserve(units.count());
        DTensor t;
        svd.runCullingTrialFit(order, all, units, t);
        svd.keepCullingTrial(all, units, t, list);
        const long before = gAllocations;
        svd.runCullingTrialFit(order, fewer, units, t);
        svd.keepCullingTrial(fewer, units, t, list);
        svd.runCullingTrialFit(order, all, units, t);
        EXPECT_EQ(gAllocations - before, 0) << (byRes ? "by residue" : "by coupling");
    }
}
