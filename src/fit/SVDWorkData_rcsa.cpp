// The order-matrix SVD fit of RCSA records: model RCSA = A s with the Saupe vector in RCSA
// order (Syy, Szz, Sxy, Sxz, Syz), the full fit and its residue jackknife. The rows differ
// between the two: the full fit weights a row by |DI|/sigma (weight 1 for records read from a
// table, whose DI is 0), the jackknife by 1/sigma.
#include <algorithm>
#include <cmath>
#include <map>

#include "common/Constants.h"
#include "common/Fail.h"
#include "common/ResidueNumber.h"
#include "fit/SVDWorkData.h"

bool SVDWorkData::isFitEligible(const RCSA_Data& r) {
    return r.selected == 1 && r.valid == 1 && r.d <= orvex::kFitMaxD && r.w != 0;
}

void SVDWorkData::rcsaFitRow(const RCSA_Data& r, double* row, double& rhs) {
    const double f = r.diCalc == 0 ? 0.0 : 1.0 / std::fabs(r.diCalc);
    const double g = r.sigma * f;
    const double h = g != 0 ? 1.0 / g : 1.0;
    for (int k = 0; k < kParams; k++) row[k] = r.A[k] * h;
    rhs = h * r.d;
}

void SVDWorkData::rcsaJackknifeRow(const RCSA_Data& r, double* row, double& rhs) {
    const double u = r.sigma != 0 ? 1.0 / r.sigma : 1.0;
    for (int k = 0; k < kParams; k++) row[k] = r.A[k] * u;
    rhs = u * r.d;
}

int SVDWorkData::rcsaResidueKey(const RCSA_Data& r) {
    return r.CLASS == RCSA_Data::kClassC ? orvex::residueOffset(r.resID, 1) : r.resID;
}

void SVDWorkData::startRcsaFit(DTensor& t, const std::vector<RCSA_Data>& list, int nConf,
                               void (*makeRow)(const RCSA_Data&, double*, double&)) {
    pdbCount = std::max(nConf, 1);
    t.saupe.fill(0);
    t.dSaupe.fill(0);
    Rows& rows = rows_;
    rows.a.clear();
    rows.b.clear();
    rows.pos.clear();
    rows.k = kParams;
    double row[kParams], rhs;
    for (size_t i = 0; i < list.size(); i++) {
        if (!isFitEligible(list[i])) continue;
        makeRow(list[i], row, rhs);
        rows.a.insert(rows.a.end(), row, row + kParams);
        rows.b.push_back(rhs);
        rows.pos.push_back(static_cast<int>(i));
    }
    rows.n = static_cast<int>(rows.b.size());
    if (rows.n == 0) quit(0);
}

int SVDWorkData::init_RCSA_Saupe(std::vector<RCSA_Data>& list, int nConf) {
    pdbCount = std::max(nConf, 1);
    dcCount = 0;
    int eligible = 0;
    for (const RCSA_Data& r : list) {
        if (r.selected == 1 && r.valid == 1) dcCount++;
        if (isFitEligible(r)) eligible++;
    }
    svdCount += eligible;
    return eligible;
}

int SVDWorkData::findSaupe(DTensor& t, std::vector<RCSA_Data>& list, int nConf) {
    startRcsaFit(t, list, nConf, rcsaFitRow);
    const int n = rows_.n;
    solveFullFit(t);
    t.isRCSA = true;
    t.saupe2euler();   // the caller stores the solution count
    for (RCSA_Data& r : list)
        if (r.valid == 1) r.calcRCSA(t.saupe.data());
    return n;
}

int SVDWorkData::simD(std::vector<RCSA_Data>& list, int nConf, DTensor& t) {
    init_RCSA_Saupe(list, nConf);
    if (t.fitFlag_JK != 0) findSaupe_jk_byRes(t, list, nConf);
    return findSaupe(t, list, nConf);
}

int SVDWorkData::findSaupe_jk_byRes(DTensor& t, std::vector<RCSA_Data>& list, int nConf) {
    startRcsaFit(t, list, nConf, rcsaJackknifeRow);

    // one trial per residue key, numbered by first appearance
    std::map<int, int> trialOfKey;
    trialOf_.resize(rows_.n);
    for (int r = 0; r < rows_.n; r++) {
        const int key = rcsaResidueKey(list[rows_.pos[r]]);
        trialOf_[r] = trialOfKey.emplace(key, static_cast<int>(trialOfKey.size())).first->second;
    }
    const int nTrials = static_cast<int>(trialOfKey.size());
    leaveOut_.fullCovariance = false;
    leaveOut_.run(rows_.a.data(), rows_.b.data(), rows_.n, kParams, trialOf_.data(), nTrials);

    // the mean over the trials weighted by the number of records each leaves out
    const double N = rows_.n;
    DTensor scratch;
    scratch.isRCSA = true;
    for (int g = 0; g < nTrials; g++) {
        const double* s = leaveOut_.solution(g);
        const double* var = leaveOut_.variance(g);
        const int left = leaveOut_.leftOutCount(g);
        for (int k = 0; k < kParams; k++) {
            t.saupe[k] += s[k] * left / N;
            t.dSaupe[k] += std::sqrt(var[k]) * left / N;   // a running value; the full fit replaces it
        }
        for (int k = 0; k < kParams; k++) scratch.saupe[k] = s[k];
        scratch.saupe2principal();
        const int* rows = leaveOut_.leftOut(g);
        for (int i = 0; i < left; i++) {
            RCSA_Data& r = list[rows_.pos[rows[i]]];
            r.da_jk = scratch.da;
            r.dr_jk = scratch.dr;
            r.calcRCSA(s);
            r.dCalc_jk = r.dCalc;
        }
    }

    // the mean tensor: its Euler solutions and the back-calculation of the selected records
    t.isRCSA = true;
    t.eulerCount = t.saupe2euler();
    Mat4 M;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) M[i][j] = t.vv[j][i];
    for (RCSA_Data& r : list)
        if (r.selected == 1 && r.valid == 1) r.calcRCSA(M, t.da, t.dr);
    return nTrials;
}
