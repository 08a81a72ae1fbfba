// The order-matrix SVD fit: rows, counting, the single fit and the helpers. Model of one
// coupling: D = |DI| * sum_k A[k] s[k] with s the Saupe vector (Szz, Sxx-Syy, Sxy, Sxz, Syz);
// the rows are weighted by 1/sigma and solved by SVD2::svdLSMat (singular values below 1e-6 of
// the largest dropped). The jackknife is in SVDWorkData_jackknife.cpp.
#include "fit/SVDWorkData.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/Angles.h"
#include "common/Constants.h"
#include "common/Fail.h"

namespace {

// The solver needs at least as many rows as columns; zero rows pad a shorter system and
// change no least-squares solution.
constexpr int kMinRows = SVDWorkData::kParams;

// The rows of the eligible couplings, k columns each, filled by fill(dc, row, rhs).
template <class Fill>
void collectRows(const std::vector<DipolarCouplingData>& list, SVDWorkData::Rows& rows, int k, Fill fill) {
    int n = 0;
    for (const DipolarCouplingData& dc : list)
        if (SVDWorkData::isFitEligible(dc)) n++;
    rows.n = n;
    rows.k = k;
    rows.a.resize(static_cast<size_t>(n) * k);
    rows.b.resize(n);
    rows.pos.resize(n);
    int r = 0;
    for (size_t i = 0; i < list.size(); i++) {
        if (!SVDWorkData::isFitEligible(list[i])) continue;
        fill(list[i], &rows.a[static_cast<size_t>(r) * k], rows.b[r]);
        rows.pos[r] = static_cast<int>(i);
        r++;
    }
}

bool hasAtoms(const DipolarCouplingData& dc) { return dc.atomICount != 0 && dc.atomJCount != 0; }

}  // namespace

SVDWorkData::SVDWorkData() {}

SVDWorkData::SVDWorkData(int, int) {}

bool SVDWorkData::isFitEligible(const DipolarCouplingData& dc) {
    return dc.selected == 1 && dc.valid == 1 && dc.d <= orvex::kFitMaxD && dc.w != 0;
}

void SVDWorkData::rowWeights(const DipolarCouplingData& dc, double& f, double& h) {
    f = dc.diCalc == 0 ? 0.0 : 1.0 / std::fabs(dc.diCalc);
    const double g = dc.sigma * f;
    h = g != 0 ? 1.0 / g : 1.0;
}

void SVDWorkData::fitRow(const DipolarCouplingData& dc, double* row, double& rhs) {
    double f, h;
    rowWeights(dc, f, h);
    for (int k = 0; k < kParams; k++) row[k] = dc.A[k] * h;
    rhs = h * f * dc.d;
}

void SVDWorkData::fitRowPerPair(const DipolarCouplingData& dc, int nPairs, double* row, double& rhs) {
    double f, h;
    rowWeights(dc, f, h);
    for (int c = 0; c < nPairs; c++)
        for (int k = 0; k < kParams; k++) row[kParams * c + k] = h * dc.getAi(c, k);
    rhs = f * dc.d * h;   // this product order (it rounds differently from h f d)
}

void SVDWorkData::buildRows(const std::vector<DipolarCouplingData>& list, Rows& rows) {
    collectRows(list, rows, kParams, fitRow);
}

void SVDWorkData::buildRowsPerPair(const std::vector<DipolarCouplingData>& list, int nPairs, Rows& rows) {
    collectRows(list, rows, kParams * nPairs, [nPairs](const DipolarCouplingData& dc, double* row, double& rhs) {
        fitRowPerPair(dc, nPairs, row, rhs);
    });
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
    buildRows(list, rows_);
    if (rows_.n == 0) quit(0);
    const int n = rows_.n;
    solveFullFit(t);
    t.saupe2euler();   // the caller stores the solution count when it needs it
    backCalculate(t, list, false);
    return n;
}

void SVDWorkData::solveFullFit(DTensor& t) {
    Rows& rows = rows_;
    const int nSolve = std::max(rows.n, kMinRows);
    rows.a.resize(static_cast<size_t>(nSolve) * kParams, 0.0);
    rows.b.resize(nSolve, 0.0);

    double s[kParams] = {};
    double cov[kParams * kParams] = {};
    fullFit_.svdLSMat(rows.a.data(), rows.b.data(), nSolve, kParams, s, cov, 1);

    for (int k = 0; k < kParams; k++) {
        t.saupe[k] = s[k];
        t.dSaupe[k] = std::sqrt(cov[k * kParams + k]);
    }
}

void SVDWorkData::backCalculate(const DTensor& t, std::vector<DipolarCouplingData>& list, bool selectedOnly) {
    Mat4 M;
    t.principalFrame(M);
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

double SVDWorkData::arccos_(double x) { return orvex::clampedArccos(x); }

int SVDWorkData::getSaupeD_all(std::vector<DipolarCouplingData>& list, DTensor& t, bool) {
    t.saupe2euler();
    Mat4 M;
    t.principalFrame(M);
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
