// The order-matrix SVD fit and its jackknife. Model of one coupling: D = |DI| * sum_k A[k] s[k]
// with s the Saupe vector (Szz, Sxx-Syy, Sxy, Sxz, Syz); the rows are weighted by 1/sigma and
// solved by SVD2::svdLSMat (singular values below 1e-6 of the largest dropped).
#include "fit/SVDWorkData.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>

#include "common/Constants.h"
#include "common/Fail.h"
#include "numeric/SVD2.h"

namespace {

constexpr int kParams = 5;   // Saupe elements per tensor
// The solver needs at least as many rows as columns; zero rows pad a shorter system and
// change no least-squares solution.
constexpr int kMinRows = kParams;

// Normalised vector of a Saupe vector: (s0, s1/sqrt3, 2 s2/sqrt3, 2 s3/sqrt3, 2 s4/sqrt3).
// Its length does not depend on the orientation of the tensor.
void normalisedTensor(const double* s, double* T) {
    T[0] = s[0];
    T[1] = s[1] / orvex::kSqrt3;
    T[2] = 2 * s[2] / orvex::kSqrt3;
    T[3] = 2 * s[3] / orvex::kSqrt3;
    T[4] = 2 * s[4] / orvex::kSqrt3;
}

// M = transpose of the eigenvector matrix (rows of vv are the principal axes), so that a row
// vector u times M gives u in the principal frame.
void principalRotation(const DTensor& t, Mat4 M) {
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) M[i][j] = t.vv[j][i];
}

bool hasAtoms(const DipolarCouplingData& dc) { return dc.atomICount != 0 && dc.atomJCount != 0; }

}  // namespace

SVDWorkData::SVDWorkData() {}

SVDWorkData::SVDWorkData(int, int) {}

bool SVDWorkData::isFitEligible(const DipolarCouplingData& dc) {
    return dc.selected == 1 && dc.valid == 1 && dc.d <= orvex::kFitMaxD && dc.w != 0;
}

void SVDWorkData::fitRow(const DipolarCouplingData& dc, double* row, double& rhs) {
    const double f = dc.diCalc == 0 ? 0.0 : 1.0 / std::fabs(dc.diCalc);
    const double g = dc.sigma * f;
    const double h = g != 0 ? 1.0 / g : 1.0;
    for (int k = 0; k < kParams; k++) row[k] = dc.A[k] * h;
    rhs = h * f * dc.d;
}

void SVDWorkData::buildRows(const std::vector<DipolarCouplingData>& list, Rows& rows) {
    rows.a.clear();
    rows.b.clear();
    rows.pos.clear();
    for (size_t i = 0; i < list.size(); i++) {
        if (!isFitEligible(list[i])) continue;
        double row[kParams], rhs;
        fitRow(list[i], row, rhs);
        rows.a.insert(rows.a.end(), row, row + kParams);
        rows.b.push_back(rhs);
        rows.pos.push_back(static_cast<int>(i));
    }
    rows.n = static_cast<int>(rows.b.size());
}

int SVDWorkData::initDCSaupe(std::vector<DipolarCouplingData>& list, int nConf) {
    pdbCount = std::max(nConf, 1);
    dcCount = 0;
    int eligible = 0;
    for (const DipolarCouplingData& dc : list) {
        if (dc.selected == 1 && dc.valid == 1) dcCount++;
        if (isFitEligible(dc)) eligible++;
    }
    svdCount += eligible;
    return eligible;
}

int SVDWorkData::findSaupe(DTensor& t, std::vector<DipolarCouplingData>& list, int nConf) {
    pdbCount = std::max(nConf, 1);
    t.saupe.fill(0);
    t.dSaupe.fill(0);

    // The rows are those of the eligible couplings themselves, not svdCount of them: a
    // counter that grew over several counting passes would only add zero rows.
    Rows rows;
    buildRows(list, rows);
    if (rows.n == 0) quit(0);

    const int nSolve = std::max(rows.n, kMinRows);
    rows.a.resize(static_cast<size_t>(nSolve) * kParams, 0.0);
    rows.b.resize(nSolve, 0.0);

    SVD2 svd;
    double s[kParams] = {};
    double cov[kParams * kParams] = {};
    svd.svdLSMat(rows.a.data(), rows.b.data(), nSolve, kParams, s, cov, 1);

    for (int k = 0; k < kParams; k++) {
        t.saupe[k] = s[k];
        t.dSaupe[k] = std::sqrt(cov[k * kParams + k]);
    }
    t.saupe2euler();   // the caller stores the solution count when it needs it
    backCalculate(t, list, false);
    return rows.n;
}

void SVDWorkData::backCalculate(const DTensor& t, std::vector<DipolarCouplingData>& list, bool selectedOnly) {
    Mat4 M;
    principalRotation(t, M);
    for (DipolarCouplingData& dc : list) {
        if (dc.valid != 1 || !hasAtoms(dc)) continue;
        if (selectedOnly && dc.selected != 1) continue;
        dc.calcDC(M, t.da, t.dr);
    }
}

int SVDWorkData::simD(std::vector<DipolarCouplingData>& list, int nConf, DTensor& t) {
    // Counting only reads the couplings, so it runs on the caller's list instead of a copy.
    initDCSaupe(list, nConf);
    if (t.fitFlag_JK != 0) {
        if (t.byRes)
            findSaupe_jk_byRes(t, list, nConf);
        else
            findSaupe_jk(t, list, nConf);
    }
    // The full fit replaces saupe, dSaupe, da, dr, the Euler lists and dCalc; the jackknife
    // results stay.
    return findSaupe(t, list, nConf);
}

int SVDWorkData::findSaupe_jk(DTensor& t, std::vector<DipolarCouplingData>& list, int nConf) {
    std::vector<int> trialOf;
    Rows rows;
    buildRows(list, rows);
    trialOf.resize(rows.n);
    for (int r = 0; r < rows.n; r++) trialOf[r] = r;   // one trial per eligible coupling
    pdbCount = std::max(nConf, 1);
    runJackknife(t, list, rows, trialOf, rows.n);

    // the mean tensor: its Euler solutions and the back-calculation of the selected couplings
    t.eulerCount = t.saupe2euler();
    backCalculate(t, list, true);
    return t.N_JK;
}

int SVDWorkData::findSaupe_jk_byRes(DTensor& t, std::vector<DipolarCouplingData>& list, int nConf) {
    Rows rows;
    buildRows(list, rows);
    // residue jackknife: one trial per residue key, numbered in order of first appearance
    std::map<int, int> trialOfKey;
    std::vector<int> trialOf(rows.n);
    for (int r = 0; r < rows.n; r++) {
        const DipolarCouplingData& dc = list[rows.pos[r]];
        const int key = std::max(dc.resIDI, dc.resIDJ);
        auto it = trialOfKey.emplace(key, static_cast<int>(trialOfKey.size())).first;
        trialOf[r] = it->second;
    }
    pdbCount = std::max(nConf, 1);
    runJackknife(t, list, rows, trialOf, static_cast<int>(trialOfKey.size()));
    return t.N_JK;
}

void SVDWorkData::runJackknife(DTensor& t, std::vector<DipolarCouplingData>& list, const Rows& rows,
                               const std::vector<int>& trialOf, int nTrials) {
    t.saupe.fill(0);
    t.dSaupe.fill(0);
    if (rows.n == 0) quit(0);

    // rows of each trial, grouped: left[first[g] .. first[g+1]) are the rows trial g leaves out
    std::vector<int> first(nTrials + 1, 0), left(rows.n);
    for (int r = 0; r < rows.n; r++) first[trialOf[r] + 1]++;
    for (int g = 0; g < nTrials; g++) first[g + 1] += first[g];
    {
        std::vector<int> fill(first.begin(), first.end() - 1);
        for (int r = 0; r < rows.n; r++) left[fill[trialOf[r]]++] = r;
    }

    const int maxRows = std::max(rows.n, kMinRows);
    std::vector<double> a(static_cast<size_t>(maxRows) * kParams, 0.0), b(maxRows, 0.0);
    std::vector<double> sTrial(static_cast<size_t>(nTrials) * kParams), tTrial(static_cast<size_t>(nTrials) * kParams);
    std::vector<double> daTrial(nTrials), rhTrial(nTrials);
    double tMean[kParams] = {};
    double daMean = 0, rhMean = 0;
    const double N = nTrials;

    SVD2 svd;   // one solver: its work arrays are kept while the trial sizes repeat
    DTensor scratch;
    double cov[kParams * kParams];
    for (int g = 0; g < nTrials; g++) {
        // the system without the trial's rows, padded with zero rows up to 5
        int nr = 0;
        for (int r = 0; r < rows.n; r++) {
            if (trialOf[r] == g) continue;
            std::copy_n(&rows.a[static_cast<size_t>(r) * kParams], kParams, &a[static_cast<size_t>(nr) * kParams]);
            b[nr] = rows.b[r];
            nr++;
        }
        const int nSolve = std::max(nr, kMinRows);
        std::fill(a.begin() + static_cast<size_t>(nr) * kParams, a.begin() + static_cast<size_t>(nSolve) * kParams, 0.0);
        std::fill(b.begin() + nr, b.begin() + nSolve, 0.0);

        double* s = &sTrial[static_cast<size_t>(g) * kParams];
        double* T = &tTrial[static_cast<size_t>(g) * kParams];
        svd.svdLSMat(a.data(), b.data(), nSolve, kParams, s, cov, 1);

        for (int k = 0; k < kParams; k++) {
            t.saupe[k] += s[k] / N;
            // a running value; the full fit replaces it
            t.dSaupe[k] += std::sqrt(cov[k * kParams + k]) / N;
        }
        normalisedTensor(s, T);
        for (int k = 0; k < kParams; k++) tMean[k] += T[k] / N;

        for (int k = 0; k < kParams; k++) scratch.saupe[k] = s[k];
        scratch.saupe2euler();
        daTrial[g] = scratch.da;
        rhTrial[g] = scratch.dr / scratch.da;   // not a number when the trial tensor is zero

        for (int i = first[g]; i < first[g + 1]; i++) {
            DipolarCouplingData& dc = list[rows.pos[left[i]]];
            dc.da_jk = scratch.da;
            dc.dr_jk = scratch.dr;
            for (int k = 0; k < kParams; k++) dc.saupe_jk[k] = s[k];
            dc.calcDC(s, kParams);
            dc.dCalc_jk = dc.dCalc;
        }
        daMean += std::fabs(daTrial[g]) / N;
        rhMean += std::fabs(rhTrial[g]) / N;
    }

    // spreads over the trials, without any (N-1)/N factor
    double eps = 0, daSpread = 0, rhSpread = 0;
    double sSpread[kParams] = {};
    for (int g = 0; g < nTrials; g++) {
        const double P = calcNormScalarProduct(&tTrial[static_cast<size_t>(g) * kParams], tMean, kParams);
        eps += (1 - P) * (1 - P);
        const double dDa = std::fabs(daTrial[g]) - daMean;
        const double dRh = std::fabs(rhTrial[g]) - rhMean;
        daSpread += dDa * dDa;
        rhSpread += dRh * dRh;
        for (int k = 0; k < kParams; k++) {
            const double ds = sTrial[static_cast<size_t>(g) * kParams + k] - t.saupe[k];
            sSpread[k] += ds * ds;
        }
    }
    t.saupe_epsilon = std::sqrt(eps);
    t.da_jk_stdev = std::sqrt(daSpread);
    t.rh_jk_stdev = std::sqrt(rhSpread);
    for (int k = 0; k < kParams; k++) t.dSaupe_jk[k] = std::sqrt(sSpread[k]);
    t.N_JK = nTrials;
}

double SVDWorkData::calcNormScalarProduct(const double* a, const double* b, int n) {
    if (n < 1) return std::numeric_limits<double>::quiet_NaN();
    double ab = 0, aa = 0, bb = 0;
    for (int i = 0; i < n; i++) {
        ab += a[i] * b[i];
        aa += a[i] * a[i];
        bb += b[i] * b[i];
    }
    return std::fabs(ab) / std::sqrt(aa * bb);
}

int SVDWorkData::vvCopy(double* dst, const double* src, int n) {
    for (int i = 0; i < n; i++) dst[i] = src[i];
    return 0;
}

double SVDWorkData::arccos_(double x) {
    if (x > 1) return 0;
    if (x < -1) return orvex::kPi;
    if (std::fabs(x) >= 0.5) {
        double a = std::atan(std::sqrt(1 - x * x) / x);
        if (x <= 0) a += orvex::kPi;
        return a;
    }
    return orvex::kPi / 2 - std::atan(x / std::sqrt(1 - x * x));
}

int SVDWorkData::getSaupeD_all(std::vector<DipolarCouplingData>& list, DTensor& t, bool) {
    t.saupe2euler();
    Mat4 M;
    principalRotation(t, M);
    int count = 0;
    for (DipolarCouplingData& dc : list) {
        if (dc.selected != 1 || dc.valid != 1 || dc.d > orvex::kUnmeasured || !hasAtoms(dc)) continue;
        dc.dCalc = 0;
        dc.derivativeErr = 0;
        // The record's own vector v is never filled (it stays zero), which would make every
        // value -Da |DI|: the coupling's vector is taken from its first atom pair unless v
        // has been set.
        double u[3] = {dc.v[0], dc.v[1], dc.v[2]};
        if (u[0] == 0 && u[1] == 0 && u[2] == 0 && !dc.vi.empty())
            for (int j = 0; j < 3; j++) u[j] = dc.vi[0][j];
        const auto f = DipolarCouplingData::principalFrameTerm(M, u, t.da, t.dr, std::fabs(dc.diCalc), 1.0);
        dc.dCalc += f.d;
        dc.dtheta = f.dTheta;
        dc.dphi = f.dPhi;
        dc.theta = arccos_(f.z) * orvex::kRadToDegShort;
        dc.phi = arccos_(f.x / f.rho) * orvex::kRadToDegShort;
        count++;
    }
    return count;
}
