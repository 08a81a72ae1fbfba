// Maximal-subset search and culling: the largest set of residues whose couplings one alignment
// tensor explains. The design rows of the usable couplings are built once per search; every fit
// of a set of units (residues or couplings) takes the rows of its units by a mask, and the
// jackknife of a culling trial solves all its leave-one-out systems in one LeaveGroupOutLS pass.
// Deviations are normalised to an N-H coupling: (d - calculated) |-21585.2 / DI|.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>

#include "common/Constants.h"
#include "common/Fail.h"
#include "couplings/DCListData.h"
#include "fit/SVDWorkData.h"

namespace {

// The smallest set either search works with (a window of the growing search has this size).
constexpr int kMinUnits = 7;
// A culling candidate whose own deviation (in sigma) is below this stays without a trial.
constexpr double kCullingDeviation = 3.0;
// Outlier rule of the residue score: a deviation beyond this many cut-offs.
constexpr double kOutlierFactor = 1.5;
constexpr int kClassCCA = 10;   // C-CA couplings

bool isUsable(const DipolarCouplingData& dc) { return dc.valid == 1 && dc.d <= orvex::kFitMaxD && dc.w != 0; }

int residueKey(const DipolarCouplingData& dc) { return std::max(dc.resIDI, dc.resIDJ); }

bool hasAtoms(const DipolarCouplingData& dc) { return dc.atomICount != 0 && dc.atomJCount != 0; }

double normalisedDeviation(const DipolarCouplingData& dc, double calculated) {
    return (dc.d - calculated) * std::fabs(orvex::kDmaxNH / dc.diCalc);
}

// Score of one residue from its normalised deviations: their RMS, or the magnitude of the last
// deviation beyond `limit` when there is one.
struct ResidueScore {
    double sum2 = 0;
    int n = 0;
    double outlier = -1;   // -1: no deviation beyond the limit
    void add(double dev, double limit) {
        sum2 += dev * dev;
        n++;
        if (std::fabs(dev) > limit) outlier = std::fabs(dev);
    }
    bool hasOutlier() const { return outlier >= 0; }
    double rms() const { return std::sqrt(sum2 / n); }
    double score() const { return hasOutlier() ? outlier : rms(); }
};

// Couplings that took part in no jackknife trial of a fit (not fit-eligible) were not used by the
// fit at all: the fit's own value is their left-out prediction, with its Da, Dr and Saupe vector.
// Without this they would keep the values of an earlier fit or none, and a coupling selected
// after the fit would print a jackknife tensor of zero.
void keepPredictionsOutsideFit(const DTensor& t, std::vector<DipolarCouplingData>& list) {
    for (DipolarCouplingData& dc : list) {
        if (dc.valid != 1 || !hasAtoms(dc) || SVDWorkData::isFitEligible(dc)) continue;
        dc.dCalc_jk = dc.dCalc;
        dc.da_jk = t.da;
        dc.dr_jk = t.dr;
        for (int k = 0; k < SVDWorkData::kParams; k++) dc.saupe_jk[k] = t.saupe[k];
    }
}

// Jackknife tensor vector of a culling unit: (10 / Da) (s0, s1/sqrt3, 2 s2/sqrt3, 2 s3/sqrt3, 2 s4/sqrt3).
void unitTensor(const double* s, double da, double* T) {
    const double f = 10 / da;
    T[0] = f * s[0];
    T[1] = f * (s[1] / orvex::kSqrt3);
    T[2] = f * (2 * s[2] / orvex::kSqrt3);
    T[3] = f * (2 * s[3] / orvex::kSqrt3);
    T[4] = f * (2 * s[4] / orvex::kSqrt3);
}

// Ascending NSP, units ascending within equal values; a NaN (a jackknife tensor of Da 0) counts
// as the least consistent of all.
bool orderBefore(const std::pair<double, int>& a, const std::pair<double, int>& b) {
    const bool nanA = std::isnan(a.first), nanB = std::isnan(b.first);
    if (nanA != nanB) return nanA;
    if (!nanA && a.first != b.first) return a.first < b.first;
    return a.second < b.second;
}

bool sameKey(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// -culling_percent p stops the culling once the culled share of the units, in whole percent (the
// integer quotient of 100 times the culled count and the initial count), reaches p in whole
// percent: 0.2 stops once a fifth of the units are gone. p = 0, the default, never stops it.
bool culledShareReached(int initial, int current, double fraction) {
    const long target = std::lround(100 * fraction);
    return target > 0 && 100L * (initial - current) / initial >= target;
}

int countSet(const std::vector<char>& set) { return static_cast<int>(std::count(set.begin(), set.end(), 1)); }

}  // namespace

// ---------------------------------------------------------------- units and selection

int SVDWorkData::updateDClistSelectionByIDs(std::vector<DipolarCouplingData>& list, const std::vector<int>& ids,
                                            bool byRes) {
    std::vector<int> sorted(ids);
    std::sort(sorted.begin(), sorted.end());
    int selected = 0;
    for (size_t i = 0; i < list.size(); i++) {
        DipolarCouplingData& dc = list[i];
        if (!isUsable(dc)) continue;
        const int key = byRes ? residueKey(dc) : static_cast<int>(i);
        dc.selected = std::binary_search(sorted.begin(), sorted.end(), key) ? 1 : 0;
        selected += dc.selected;
    }
    return selected;
}

void SVDWorkData::buildSubsetUnits(const std::vector<DipolarCouplingData>& list, bool byRes, SubsetUnits& units) {
    units.byRes = byRes;
    Rows& rows = units.rows;
    buildRows(list, rows);
    auto keyOf = [&](int r) { return byRes ? residueKey(list[rows.pos[r]]) : rows.pos[r]; };
    auto unitOf = [&](int key) {
        auto it = std::lower_bound(units.id.begin(), units.id.end(), key);
        return it != units.id.end() && *it == key ? static_cast<int>(it - units.id.begin()) : -1;
    };

    units.id.clear();
    for (int r = 0; r < rows.n; r++) units.id.push_back(keyOf(r));
    std::sort(units.id.begin(), units.id.end());
    units.id.erase(std::unique(units.id.begin(), units.id.end()), units.id.end());
    const int U = units.count();

    units.unitOfRow.resize(rows.n);
    units.rowStart.assign(U + 1, 0);
    for (int r = 0; r < rows.n; r++) {
        units.unitOfRow[r] = unitOf(keyOf(r));
        units.rowStart[units.unitOfRow[r] + 1]++;
    }
    for (int u = 0; u < U; u++) units.rowStart[u + 1] += units.rowStart[u];
    units.unitRows.resize(rows.n);
    std::vector<int> next(units.rowStart.begin(), units.rowStart.end() - 1);
    for (int r = 0; r < rows.n; r++) units.unitRows[next[units.unitOfRow[r]]++] = r;

    units.byAppearance.resize(U);
    for (int u = 0; u < U; u++) units.byAppearance[u] = u;
    std::sort(units.byAppearance.begin(), units.byAppearance.end(), [&](int a, int b) {
        return units.unitRows[units.rowStart[a]] < units.unitRows[units.rowStart[b]];
    });

    units.deviationUnit.resize(rows.n);
    for (int r = 0; r < rows.n; r++) {
        const DipolarCouplingData& dc = list[rows.pos[r]];
        units.deviationUnit[r] = byRes && dc.CLASS == kClassCCA ? unitOf(residueKey(dc) + 1) : units.unitOfRow[r];
    }
}

void SVDWorkData::sizeSubsetWork(const SubsetUnits& units) {
    SubsetWork& w = subset_;
    const int U = units.count(), n = units.rows.n, nPad = std::max(n, kParams);
    w.trialOfUnit.resize(U);
    w.group.resize(n);
    w.unitDa.resize(U);
    w.unitDr.resize(U);
    w.unitA.resize(U);
    w.unitT.resize(static_cast<size_t>(U) * kParams);
    w.fitA.resize(static_cast<size_t>(nPad) * kParams);
    w.fitB.resize(nPad);
    w.deviation.resize(U);
    w.deviationCount.resize(U);
}

double SVDWorkData::soloSetCutoff(int level, double dCut) {
    return level < 5 ? std::max(level * dCut / 4, dCut / 2) : dCut;
}

// ---------------------------------------------------------------- fits of a set of units

void SVDWorkData::fitSubset(const std::vector<char>& units, const SubsetUnits& unitMap, DTensor& t,
                            std::vector<DipolarCouplingData>& list, bool allValid) {
    sizeSubsetWork(unitMap);
    const Rows& rows = unitMap.rows;
    double* A = subset_.fitA.data();
    double* B = subset_.fitB.data();
    int m = 0;
    for (int r = 0; r < rows.n; r++) {
        if (!units[unitMap.unitOfRow[r]]) continue;
        std::copy(&rows.a[static_cast<size_t>(r) * kParams], &rows.a[static_cast<size_t>(r + 1) * kParams],
                  A + static_cast<size_t>(m) * kParams);
        B[m++] = rows.b[r];
    }
    if (m == 0) quit(0);
    // Always the same number of rows, the set's rows followed by zero rows: zero rows change no
    // solution, and a solver of one size does not allocate again.
    const int nSolve = static_cast<int>(subset_.fitB.size());
    std::fill(A + static_cast<size_t>(m) * kParams, A + static_cast<size_t>(nSolve) * kParams, 0.0);
    std::fill(B + m, B + nSolve, 0.0);

    t.saupe.fill(0);
    t.dSaupe.fill(0);
    double s[kParams] = {};
    double cov[kParams * kParams] = {};
    fullFit_.svdLSMat(A, B, nSolve, kParams, s, cov, 1);
    for (int k = 0; k < kParams; k++) {
        t.saupe[k] = s[k];
        t.dSaupe[k] = std::sqrt(cov[k * kParams + k]);
    }
    t.saupe2euler();
    if (allValid) {
        backCalculate(t, list, false);
        return;
    }
    // The couplings of the units only, and their values only: the sum over the atom pairs that
    // calcDC forms, without its angles and derivatives, which no search reads.
    Mat4 M;
    t.principalFrame(M);
    for (int r = 0; r < rows.n; r++) {
        DipolarCouplingData& dc = list[rows.pos[r]];
        if (!hasAtoms(dc)) continue;
        const double absDI = std::fabs(dc.diCalc);
        dc.dCalc = 0;
        for (size_t k = 0; k < dc.vi.size(); k++)
            dc.dCalc += DipolarCouplingData::principalFrameTerm(M, dc.vi[k].data(), t.da, t.dr, absDI, dc.wi[k]).d;
    }
}

double SVDWorkData::runCullingTrialFit(CullingOrder& order, const std::vector<char>& units,
                                       const SubsetUnits& unitMap, DTensor& t) {
    sizeSubsetWork(unitMap);
    SubsetWork& w = subset_;
    const Rows& rows = unitMap.rows;
    const int U = unitMap.count();

    // jackknife trials in the order in which the units first appear in the list
    int M = 0;
    for (int u : unitMap.byAppearance) w.trialOfUnit[u] = units[u] ? M++ : -1;
    for (int r = 0; r < rows.n; r++) w.group[r] = w.trialOfUnit[unitMap.unitOfRow[r]];
    leaveOut_.fullCovariance = false;
    leaveOut_.run(rows.a.data(), rows.b.data(), rows.n, kParams, w.group.data(), M);

    double tMean[kParams] = {};
    double aMean = 0;
    for (int u = 0; u < U; u++) {
        if (!units[u]) continue;
        const double* s = leaveOut_.solution(w.trialOfUnit[u]);
        for (int k = 0; k < kParams; k++) w.scratch.saupe[k] = s[k];
        w.scratch.saupe2principal();
        const double da = w.scratch.da, dr = w.scratch.dr, rh = dr / da;
        w.unitDa[u] = da;
        w.unitDr[u] = dr;
        double* T = &w.unitT[static_cast<size_t>(u) * kParams];
        unitTensor(s, da, T);
        w.unitA[u] = std::fabs(da) * std::sqrt((4 + 3 * rh * rh) / 5);
        for (int k = 0; k < kParams; k++) tMean[k] += T[k];
        aMean += w.unitA[u];
    }
    for (double& v : tMean) v /= M;
    aMean /= M;

    double tSpread[kParams] = {};
    double aSpread = 0, e1 = 0;
    order.clear();
    for (int u = 0; u < U; u++) {
        if (!units[u]) continue;
        const double* T = &w.unitT[static_cast<size_t>(u) * kParams];
        for (int k = 0; k < kParams; k++) tSpread[k] += (T[k] - tMean[k]) * (T[k] - tMean[k]);
        aSpread += (w.unitA[u] - aMean) * (w.unitA[u] - aMean);
        const double nsp = calcNormScalarProduct(T, tMean, kParams);
        e1 += (1 - nsp) * (1 - nsp);
        order.emplace_back(nsp, u);
    }
    for (int k = 0; k < kParams; k++) {
        t.Tensor10_jk[k] = tMean[k];
        t.dTensor10_jk[k] = std::sqrt(tSpread[k] / M);
    }
    t.daRef = std::sqrt(aSpread) / aMean;

    // one unit per NSP value: of equal values the later unit
    std::sort(order.begin(), order.end(), orderBefore);
    size_t kept = 0;
    for (size_t i = 0; i < order.size(); i++) {
        if (kept > 0 && sameKey(order[kept - 1].first, order[i].first))
            order[kept - 1] = order[i];
        else
            order[kept++] = order[i];
    }
    order.resize(kept);
    return std::sqrt(e1 / M);
}

void SVDWorkData::keepCullingTrial(const std::vector<char>& units, const SubsetUnits& unitMap, DTensor& t,
                                   DCListData& list) {
    const SubsetWork& w = subset_;
    const Rows& rows = unitMap.rows;
    std::vector<DipolarCouplingData>& dcs = list.dcList;
    for (int r = 0; r < rows.n; r++) {
        DipolarCouplingData& dc = dcs[rows.pos[r]];
        const int u = unitMap.unitOfRow[r];
        dc.selected = units[u] ? 1 : 0;
        if (!units[u]) continue;
        const double* s = leaveOut_.solution(w.trialOfUnit[u]);
        dc.da_jk = w.unitDa[u];
        dc.dr_jk = w.unitDr[u];
        for (int k = 0; k < kParams; k++) dc.saupe_jk[k] = s[k];
        dc.calcDC(s, kParams);
        dc.dCalc_jk = dc.dCalc;
    }
    fitSubset(units, unitMap, t, dcs, true);
    keepPredictionsOutsideFit(t, dcs);
    list.getStatAll(t);
}

void SVDWorkData::printCullingStats(int n, int idxmin, double score, const std::vector<char>& units,
                                    const SubsetUnits& unitMap, const DTensor& t, const DCListData& list) {
    // each unit's jackknife Da (as an N-H coupling) and Rh, from its first coupling
    std::vector<double> da(unitMap.count()), rh(unitMap.count());
    int M = 0;
    double daMean = 0, rhMean = 0;
    for (int u = 0; u < unitMap.count(); u++) {
        if (!units[u] || u == idxmin) continue;
        const DipolarCouplingData& first = list.dcList[unitMap.rows.pos[unitMap.unitRows[unitMap.rowStart[u]]]];
        da[M] = orvex::kDmaxNH * first.da_jk;
        rh[M] = first.dr_jk / first.da_jk;
        daMean += da[M];
        rhMean += rh[M];
        M++;
    }
    daMean /= M;
    rhMean /= M;
    double daSpread = 0, rhSpread = 0;
    for (int j = 0; j < M; j++) {
        daSpread += (da[j] - daMean) * (da[j] - daMean);
        rhSpread += (rh[j] - rhMean) * (rh[j] - rhMean);
    }
    std::ostringstream line;
    line << "Orvex culling:: round# " << n + 1 << " M= " << M << "  Q_jk= " << list.qfactor_jk
         << "  Da_jk= " << daMean << " " << std::sqrt(daSpread) << "  Rh_jk= " << rhMean << " " << std::sqrt(rhSpread)
         << "  e1(S)= " << score << "  e2(S)= " << t.daRef << "  e(S)= " << (1 - t.tau) * score + t.tau * t.daRef;
    for (int k = 0; k < kParams; k++) line << " " << t.Tensor10_jk[k];
    line << "\n";
    std::fputs(line.str().c_str(), stderr);
}

// ---------------------------------------------------------------- the searches

double SVDWorkData::findS_maxSub_soloSet(std::vector<int>& ids, std::map<int, double>& scores, double dCut,
                                         DTensor& t, std::vector<DipolarCouplingData>& list) {
    std::vector<DipolarCouplingData> work = list;
    SubsetUnits& units = units_;
    buildSubsetUnits(work, true, units);
    const int N = units.count();
    std::fprintf(stderr, "Orvex::MaxSub:: number of residues with valid RDCs: %d ...\n", N);
    if (N + 1 != static_cast<int>(units.rowStart.size())) fail(0, "Orvex::MaxSub:: size mismatch warning ...\n");
    if (N < kMinUnits) fail(0, "Orvex::MaxSub:: number of residues with valid RDCs must be more than 6!\n");

    std::vector<char> set(N), next(N);
    std::vector<int> best;
    DTensor fit = t;
    for (int s = 0; s + kMinUnits <= N; s++) {
        std::fill(set.begin(), set.end(), 0);
        std::fill(set.begin() + s, set.begin() + s + kMinUnits, 1);
        bool complete = true;
        for (int level = 1; level <= 5 && complete; level++) {
            // The scores below read only the full fit of the set: the residue jackknife of each
            // level's fit would change nothing they read, and is not run.
            fitSubset(set, units, fit, work, false);
            const double limit = kOutlierFactor * soloSetCutoff(level, dCut);
            int size = 0;
            for (int u = 0; u < N; u++) {
                // Every coupling is scored by dCalc. For a coupling outside the set this is the
                // value predicted by a fit it took no part in, the role dCalc_jk plays in the final
                // scoring: this fit gives such a coupling no dCalc_jk of its own.
                ResidueScore rs;
                for (int i = units.rowStart[u]; i < units.rowStart[u + 1]; i++) {
                    const DipolarCouplingData& dc = work[units.rows.pos[units.unitRows[i]]];
                    rs.add(normalisedDeviation(dc, dc.dCalc), limit);
                }
                const double score = rs.score();
                next[u] = level < 5 ? score < dCut / 4 : set[u] && score < dCut;
                size += next[u];
            }
            if (size < kMinUnits)
                complete = false;
            else
                set.swap(next);
        }
        // a window that stops before level 5 yields no set
        const int size = countSet(set);
        if (!complete || size <= static_cast<int>(best.size())) continue;
        best.clear();
        for (int u = 0; u < N; u++)
            if (set[u]) best.push_back(units.id[u]);
        std::printf("maxSub updated w/ %3d residues: ", size);
        std::printf(" ");
        for (int id : best) std::printf("%d ", id);
        std::printf("\n");
    }
    return scoreSubset(ids, scores, dCut, t, list, best, true, N);
}

double SVDWorkData::findS_maxSub_culling(std::vector<int>& ids, std::map<int, double>& scores, double dCut,
                                         DTensor& t, std::vector<DipolarCouplingData>& list) {
    DCListData work;
    work.dcList = list;
    SubsetUnits& units = units_;
    buildSubsetUnits(work.dcList, t.byRes, units);
    const int n = units.rows.n;
    std::vector<int> residues;
    for (int r = 0; r < n; r++) residues.push_back(residueKey(work.dcList[units.rows.pos[r]]));
    std::sort(residues.begin(), residues.end());
    residues.erase(std::unique(residues.begin(), residues.end()), residues.end());
    const int N = static_cast<int>(residues.size());
    std::fprintf(stderr, "Orvex::Culling:: number of valid RDCs: %d ...\n", n);
    std::fprintf(stderr, "Orvex::Culling:: number of residues with valid RDCs: %d ...\n", N);
    // these two messages end their line like every other one
    if (n == 0 || N == 0) fail(0, "Orvex::MaxSub:: zero size warning ...\n");
    if (n < kMinUnits) fail(0, "Orvex::MaxSub:: number of valid RDCs must be more than 6!\n");
    sizeSubsetWork(units);

    const int M0 = units.count();
    std::vector<char> set(M0, 1), start(M0), trialSet(M0);
    CullingOrder order, trialOrder, roundOrder;
    order.reserve(M0);
    trialOrder.reserve(M0);
    roundOrder.reserve(M0);
    DTensor best = t, trial = t;
    double current = runCullingTrialFit(order, set, units, best) * std::sqrt(static_cast<double>(M0));
    keepCullingTrial(set, units, best, work);
    printCullingStats(0, -1, current, set, units, best, work);   // round 0, the first fit: "round# 1"

    SubsetWork& w = subset_;
    for (int round = 1; countSet(set) >= kMinUnits; round++) {
        const int M = countSet(set);
        start = set;
        roundOrder.assign(order.begin(), order.end());

        // each unit's own deviation from the jackknife predictions of the current set, in sigma
        std::fill(w.deviation.begin(), w.deviation.end(), 0.0);
        std::fill(w.deviationCount.begin(), w.deviationCount.end(), 0);
        for (int r = 0; r < n; r++) {
            const int v = units.deviationUnit[r];
            if (!start[units.unitOfRow[r]] || v < 0) continue;
            const DipolarCouplingData& dc = work.dcList[units.rows.pos[r]];
            const double x = (dc.d - dc.dCalc_jk) / dc.sigma;
            w.deviation[v] += x * x;
            w.deviationCount[v]++;
        }
        for (int u = 0; u < M0; u++)   // a residue none of whose couplings counts for it stays
            w.deviation[u] = w.deviationCount[u] ? std::sqrt(w.deviation[u] / w.deviationCount[u]) : 0.0;

        // One removal per round, as the statistics line counts it (the round's units less one):
        // each candidate is tried against the round's set, and the last trial accepted, the one
        // with the lowest score, is kept.
        int idxmin = -1, tried = 0;
        for (const auto& candidate : roundOrder) {
            if (!units.byRes && tried >= t.searchLevel) break;   // coupling level: -level trials per round
            const int u = candidate.second;
            if (w.deviation[u] < kCullingDeviation) continue;
            tried++;
            trialSet = start;
            trialSet[u] = 0;
            const double score = runCullingTrialFit(trialOrder, trialSet, units, trial) * std::sqrt(static_cast<double>(M));
            if (!(score <= current)) continue;
            keepCullingTrial(trialSet, units, trial, work);
            best = trial;
            std::swap(order, trialOrder);
            current = score;
            idxmin = u;
            set = trialSet;
        }

        // the stop messages go with the statistics lines, to the error stream
        std::ostringstream stop;
        if (idxmin < 0)
            stop << "Orvex culling:: e(S) score reach the minimum after " << round << " rounds ! \n";
        else if (work.qfactor_jk < t.culling_Q)
            stop << "Orvex culling:: Qjk reach the specified minimum of " << t.culling_Q << " after " << round
                 << " rounds ! \n";
        else if (culledShareReached(M0, countSet(set), t.culling_percent))
            stop << "Orvex culling:: reach the specified " << 100 * t.culling_percent << "% of culling after "
                 << round << " rounds ! \n";
        if (!stop.str().empty()) {
            std::fputs(stop.str().c_str(), stderr);
            break;
        }
        printCullingStats(round, idxmin, current, start, units, best, work);
    }

    std::vector<int> remaining, remainingResidues;
    for (int u = 0; u < M0; u++) {
        if (!set[u]) continue;
        remaining.push_back(units.id[u]);
        remainingResidues.push_back(units.byRes ? units.id[u] : residueKey(work.dcList[units.id[u]]));
    }
    std::sort(remainingResidues.begin(), remainingResidues.end());
    remainingResidues.erase(std::unique(remainingResidues.begin(), remainingResidues.end()), remainingResidues.end());
    // a result line, on standard output like the growing search's updates
    std::printf("maxSub culling:: number of selected residues %d / %d\n", static_cast<int>(remainingResidues.size()), N);
    return scoreSubset(ids, scores, dCut, t, list, remaining, units.byRes, N);
}

double SVDWorkData::scoreSubset(std::vector<int>& ids, std::map<int, double>& scores, double dCut, DTensor& t,
                                std::vector<DipolarCouplingData>& list, const std::vector<int>& set, bool byRes,
                                int nResidues) {
    updateDClistSelectionByIDs(list, set, byRes);
    const int nConf = std::max(pdbCount, 1);
    findSaupe_jk_byRes(t, list, nConf);
    findSaupe(t, list, nConf);
    keepPredictionsOutsideFit(t, list);

    // every residue with usable couplings: a coupling in the set by its jackknife prediction,
    // any other by the fit's value
    std::map<int, ResidueScore> residues;
    for (const DipolarCouplingData& dc : list) {
        if (!isUsable(dc)) continue;
        const double calculated = dc.selected == 1 ? dc.dCalc_jk : dc.dCalc;
        residues[residueKey(dc)].add(normalisedDeviation(dc, calculated), kOutlierFactor * dCut);
    }
    ids.clear();
    scores.clear();
    double sum = 0;
    for (const auto& [residue, rs] : residues) {
        scores[residue] = rs.score();
        const double q = rs.rms() / dCut;
        if (rs.hasOutlier() || !(q < 1)) continue;
        ids.push_back(residue);
        sum += 1 / (q * q + 1);
    }
    // The ids are residue numbers whatever the units of the search were (at coupling level the
    // set above was a list of couplings): the final selection is by residue.
    updateDClistSelectionByIDs(list, ids, true);
    return sum / nResidues;
}
