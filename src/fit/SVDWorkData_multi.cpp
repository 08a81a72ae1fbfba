// Multi-tensor multi-conformer fit: one Saupe vector per conformer, all fitted together to
// couplings that are the sum of the conformers' contributions, with a residue or coupling
// jackknife whose trial means are the tensors reported. Trial solutions come from
// LeaveGroupOutLS; the per-tensor statistics are computed here in trial order.
#include <algorithm>
#include <cmath>
#include <vector>

#include "common/Constants.h"
#include "common/Fail.h"
#include "fit/SVDWorkData.h"

namespace {

constexpr int kS = SVDWorkData::kParams;
// Da and Dr of a coupling's trial are recorded for this many tensors at most.
constexpr int kRecordedTensors = 10;

// P = max(nConf, 1), which must be the number of tensors.
int conformerCount(const std::vector<DTensor>& tensors, int nConf) {
    const int P = std::max(nConf, 1);
    if (static_cast<int>(tensors.size()) != P)
        fail(0, "Number of conformers is different to the number of alignment tensors\n");
    return P;
}

bool hasAtoms(const DipolarCouplingData& dc) { return dc.atomICount != 0 && dc.atomJCount != 0; }

// dCalc from one Saupe vector per conformer (x, 5 P values) for every coupling selected for the
// fit or for validation, valid and with atoms on both ends.
void backCalculateAll(std::vector<DipolarCouplingData>& list, const double* x, int P) {
    for (DipolarCouplingData& dc : list)
        if ((dc.selected == 1 || dc.selected_v == 1) && dc.valid == 1 && hasAtoms(dc)) dc.calcDC(x, kS * P);
}

// Agreement of the P tensors of one trial (normalised vectors T, 5 values each): the mean of
// their normalised scalar products over the pairs i <= j, each tensor with itself included.
double meanPairAgreement(SVDWorkData& svd, const double* T, int P) {
    double sum = 0;
    for (int i = 0; i < P; i++)
        for (int j = i; j < P; j++) sum += svd.calcNormScalarProduct(T + kS * i, T + kS * j, kS);
    return sum / (P * (P + 1) / 2.0);
}

// One multi-tensor jackknife over `rows` (5 P columns), trial trialOf[r] leaving out row r:
// every trial solved by `trials`, then the statistics. With sumsFirst (coupling jackknife) the
// Saupe vectors are summed over the trials and divided by the trial count at the end; otherwise
// each trial adds its share. Per-trial buffers: t (5 P per trial), da and rh (P per trial).
// Exits with status 0 when there is no row.
void multiJackknife(SVDWorkData& svd, LeaveGroupOutLS& trials, const SVDWorkData::Rows& rows,
                    const std::vector<int>& trialOf, int K, bool sumsFirst, std::vector<DTensor>& tensors,
                    std::vector<DipolarCouplingData>& list, std::vector<double>& t, std::vector<double>& da,
                    std::vector<double>& rh) {
    if (rows.n == 0) quit(0);
    trials.fullCovariance = false;
    trials.run(rows.a.data(), rows.b.data(), rows.n, rows.k, trialOf.data(), K);
    const int k = rows.k, P = k / kS;
    const double N = K;
    t.assign(static_cast<size_t>(K) * k, 0.0);
    da.assign(static_cast<size_t>(K) * P, 0.0);
    rh.assign(static_cast<size_t>(K) * P, 0.0);
    std::vector<double> xMean(k, 0.0), tMean(k, 0.0), daMean(P, 0.0), rhMean(P, 0.0), dr(P, 0.0);
    // The means start from zero whatever the tensors held before.
    for (DTensor& tensor : tensors) tensor.saupe.fill(0);

    // A coupling that no trial leaves out (not eligible for the fit) has no trial values; 9999
    // marks them "not recorded", as for an unmeasured coupling. Its dCalc_jk is left alone.
    for (DipolarCouplingData& dc : list) {
        dc.tensor_jk_multiTensor_nsp = orvex::kUnmeasuredValue;
        dc.da_jk_multiTensor.fill(orvex::kUnmeasuredValue);
        dc.dr_jk_multiTensor.fill(orvex::kUnmeasuredValue);
    }

    DTensor scratch;
    for (int g = 0; g < K; g++) {
        const double* x = trials.solution(g);
        double* T = &t[static_cast<size_t>(g) * k];
        for (int c = 0; c < P; c++) {
            const double* s = x + kS * c;
            for (int j = 0; j < kS; j++) tensors[c].saupe[j] += sumsFirst ? s[j] : s[j] / N;
            SVDWorkData::normalisedTensor(s, T + kS * c);
            for (int j = 0; j < kS; j++) tMean[kS * c + j] += T[kS * c + j] / N;
            for (int j = 0; j < kS; j++) scratch.saupe[j] = s[j];
            scratch.saupe2principal();
            const size_t gc = static_cast<size_t>(g) * P + c;
            da[gc] = scratch.da;
            dr[c] = scratch.dr;
            rh[gc] = scratch.dr / scratch.da;   // not a number when the trial tensor is zero
            daMean[c] += std::fabs(da[gc]) / N;
            rhMean[c] += std::fabs(rh[gc]) / N;
        }
        for (int j = 0; j < k; j++) xMean[j] += sumsFirst ? x[j] : x[j] / N;
        const double nsp = meanPairAgreement(svd, T, P);

        const int* left = trials.leftOut(g);
        for (int i = 0; i < trials.leftOutCount(g); i++) {
            DipolarCouplingData& dc = list[rows.pos[left[i]]];
            dc.calcDC(x, k);
            dc.dCalc_jk = dc.dCalc;
            for (int c = 0; c < std::min(P, kRecordedTensors); c++) {
                dc.da_jk_multiTensor[c] = da[static_cast<size_t>(g) * P + c];
                dc.dr_jk_multiTensor[c] = dr[c];
            }
            dc.tensor_jk_multiTensor_nsp = nsp;
        }
    }
    if (sumsFirst) {
        for (DTensor& tensor : tensors)
            for (double& s : tensor.saupe) s /= N;
        for (double& v : xMean) v /= N;
    }
    backCalculateAll(list, xMean.data(), P);

    // spreads of each tensor over the trials, without any (N-1)/N factor
    for (int c = 0; c < P; c++) {
        DTensor& tensor = tensors[c];
        double eps = 0, daSpread = 0, rhSpread = 0, sSpread[kS] = {};
        for (int g = 0; g < K; g++) {
            const size_t gc = static_cast<size_t>(g) * P + c;
            const double p = svd.calcNormScalarProduct(&t[static_cast<size_t>(g) * k + kS * c], &tMean[kS * c], kS);
            eps += (1 - p) * (1 - p);
            daSpread += std::pow(std::fabs(da[gc]) - daMean[c], 2);
            rhSpread += std::pow(std::fabs(rh[gc]) - rhMean[c], 2);
            const double* s = trials.solution(g) + kS * c;
            for (int j = 0; j < kS; j++) sSpread[j] += std::pow(s[j] - tensor.saupe[j], 2);
        }
        tensor.saupe_epsilon = std::sqrt(eps);
        tensor.da_jk_stdev = std::sqrt(daSpread);
        tensor.rh_jk_stdev = std::sqrt(rhSpread);
        for (int j = 0; j < kS; j++) tensor.dSaupe_jk[j] = std::sqrt(sSpread[j]);
        tensor.N_JK = K;
    }
}

}  // namespace

int SVDWorkData::simD_multiTensors(std::vector<DipolarCouplingData>& list, int nConf, std::vector<DTensor>& tensors) {
    // Counting only reads the couplings, so it runs on the caller's list instead of a copy.
    initDCSaupe(list, nConf);
    // an empty tensor list reaches the residue variant, which stops at the count check
    if (!tensors.empty() && !tensors.front().byRes) return findSaupe_multi_jk(tensors, list, nConf);
    return findSaupe_multi_jk_byRes(tensors, list, nConf);
}

int SVDWorkData::findSaupe_multi_jk_byRes(std::vector<DTensor>& tensors, std::vector<DipolarCouplingData>& list,
                                          int nConf) {
    pdbCount = conformerCount(tensors, nConf);
    buildRowsPerPair(list, pdbCount, rows_);
    const int nTrials = residueTrials(list, rows_, trialOf_);
    multiJackknife(*this, leaveOut_, rows_, trialOf_, nTrials, false, tensors, list, tTrial_, daTrial_, rhTrial_);
    return nTrials;
}

int SVDWorkData::findSaupe_multi_jk(std::vector<DTensor>& tensors, std::vector<DipolarCouplingData>& list,
                                    int nConf) {
    pdbCount = conformerCount(tensors, nConf);
    buildRowsPerPair(list, pdbCount, rows_);
    const int nTrials = couplingTrials(rows_, trialOf_);
    multiJackknife(*this, leaveOut_, rows_, trialOf_, nTrials, true, tensors, list, tTrial_, daTrial_, rhTrial_);
    return nTrials;
}

int SVDWorkData::findSaupe_multi(std::vector<DTensor>& tensors, std::vector<DipolarCouplingData>& list, int nConf) {
    const int P = pdbCount = conformerCount(tensors, nConf);
    Rows& rows = rows_;
    buildRowsPerPair(list, P, rows);
    if (rows.n == 0) quit(0);

    // zero rows pad a system with fewer rows than unknowns; they change no solution
    const int k = rows.k, nSolve = std::max(rows.n, k);
    rows.a.resize(static_cast<size_t>(nSolve) * k, 0.0);
    rows.b.resize(nSolve, 0.0);
    std::vector<double> x(k), cov(static_cast<size_t>(k) * k);
    fullFit_.svdLSMat(rows.a.data(), rows.b.data(), nSolve, k, x.data(), cov.data(), 1);

    for (int c = 0; c < P; c++)
        for (int j = 0; j < kS; j++) tensors[c].saupe[j] = x[kS * c + j];
    backCalculateAll(list, x.data(), P);
    return rows.n;
}

int SVDWorkData::findD_multi(std::vector<DTensor>&) { return 0; }
