// Jackknife of the order-matrix fit: the fit repeated with one coupling, or all couplings of
// one residue, left out each time. The trial solutions come from LeaveGroupOutLS (every trial
// in one pass over the rows); the spreads of the trial tensors and the left-out predictions
// are computed here.
#include <algorithm>
#include <cmath>
#include <map>

#include "common/Constants.h"
#include "common/Fail.h"
#include "fit/SVDWorkData.h"

void SVDWorkData::normalisedTensor(const double* s, double* T) {
    T[0] = s[0];
    T[1] = s[1] / orvex::kSqrt3;
    T[2] = 2 * s[2] / orvex::kSqrt3;
    T[3] = 2 * s[3] / orvex::kSqrt3;
    T[4] = 2 * s[4] / orvex::kSqrt3;
}

int SVDWorkData::couplingTrials(const Rows& rows, std::vector<int>& trialOf) {
    trialOf.resize(rows.n);
    for (int r = 0; r < rows.n; r++) trialOf[r] = r;
    return rows.n;
}

int SVDWorkData::residueTrials(const std::vector<DipolarCouplingData>& list, const Rows& rows,
                               std::vector<int>& trialOf) {
    std::map<int, int> trialOfKey;
    trialOf.resize(rows.n);
    for (int r = 0; r < rows.n; r++) {
        const DipolarCouplingData& dc = list[rows.pos[r]];
        const int key = std::max(dc.resIDI, dc.resIDJ);
        trialOf[r] = trialOfKey.emplace(key, static_cast<int>(trialOfKey.size())).first->second;
    }
    return static_cast<int>(trialOfKey.size());
}

int SVDWorkData::findSaupe_jk(DTensor& t, std::vector<DipolarCouplingData>& list, int nConf) {
    buildRows(list, rows_);
    const int nTrials = couplingTrials(rows_, trialOf_);
    pdbCount = std::max(nConf, 1);
    runJackknife(t, list, nTrials);

    // the mean tensor: its Euler solutions and the back-calculation of the selected couplings
    t.eulerCount = t.saupe2euler();
    backCalculate(t, list, true);
    return t.N_JK;
}

int SVDWorkData::findSaupe_jk_byRes(DTensor& t, std::vector<DipolarCouplingData>& list, int nConf) {
    buildRows(list, rows_);
    const int nTrials = residueTrials(list, rows_, trialOf_);
    pdbCount = std::max(nConf, 1);
    runJackknife(t, list, nTrials);
    return t.N_JK;
}

void SVDWorkData::runJackknife(DTensor& t, std::vector<DipolarCouplingData>& list, int nTrials) {
    t.saupe.fill(0);
    t.dSaupe.fill(0);
    if (rows_.n == 0) quit(0);

    leaveOut_.fullCovariance = false;
    leaveOut_.run(rows_.a.data(), rows_.b.data(), rows_.n, kParams, trialOf_.data(), nTrials);

    tTrial_.resize(static_cast<size_t>(nTrials) * kParams);
    daTrial_.resize(nTrials);
    rhTrial_.resize(nTrials);
    double tMean[kParams] = {};
    double daMean = 0, rhMean = 0;
    const double N = nTrials;

    DTensor scratch;
    for (int g = 0; g < nTrials; g++) {
        const double* s = leaveOut_.solution(g);
        const double* var = leaveOut_.variance(g);
        double* T = &tTrial_[static_cast<size_t>(g) * kParams];
        for (int k = 0; k < kParams; k++) {
            t.saupe[k] += s[k] / N;
            // a running value; the full fit replaces it
            t.dSaupe[k] += std::sqrt(var[k]) / N;
        }
        normalisedTensor(s, T);
        for (int k = 0; k < kParams; k++) tMean[k] += T[k] / N;

        for (int k = 0; k < kParams; k++) scratch.saupe[k] = s[k];
        scratch.saupe2principal();
        daTrial_[g] = scratch.da;
        rhTrial_[g] = scratch.dr / scratch.da;   // not a number when the trial tensor is zero

        const int* left = leaveOut_.leftOut(g);
        for (int i = 0; i < leaveOut_.leftOutCount(g); i++) {
            DipolarCouplingData& dc = list[rows_.pos[left[i]]];
            dc.da_jk = scratch.da;
            dc.dr_jk = scratch.dr;
            for (int k = 0; k < kParams; k++) dc.saupe_jk[k] = s[k];
            dc.calcDC(s, kParams);
            dc.dCalc_jk = dc.dCalc;
        }
        daMean += std::fabs(daTrial_[g]) / N;
        rhMean += std::fabs(rhTrial_[g]) / N;
    }

    // spreads over the trials, without any (N-1)/N factor
    double eps = 0, daSpread = 0, rhSpread = 0;
    double sSpread[kParams] = {};
    for (int g = 0; g < nTrials; g++) {
        const double P = calcNormScalarProduct(&tTrial_[static_cast<size_t>(g) * kParams], tMean, kParams);
        eps += (1 - P) * (1 - P);
        const double dDa = std::fabs(daTrial_[g]) - daMean;
        const double dRh = std::fabs(rhTrial_[g]) - rhMean;
        daSpread += dDa * dDa;
        rhSpread += dRh * dRh;
        const double* s = leaveOut_.solution(g);
        for (int k = 0; k < kParams; k++) {
            const double ds = s[k] - t.saupe[k];
            sSpread[k] += ds * ds;
        }
    }
    t.saupe_epsilon = std::sqrt(eps);
    t.da_jk_stdev = std::sqrt(daSpread);
    t.rh_jk_stdev = std::sqrt(rhSpread);
    for (int k = 0; k < kParams; k++) t.dSaupe_jk[k] = std::sqrt(sSpread[k]);
    t.N_JK = nTrials;
}
