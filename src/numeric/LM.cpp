// Levenberg-Marquardt with additive damping. Each iteration builds J by central differences,
// forms beta = -J'r and alpha = J'J, and solves (alpha + lambda*I) delta = beta by inverting the
// damped matrix; a step that raises the sum of squares is taken back and lambda grows tenfold.
#include "numeric/LM.h"

#include <cmath>
#include <cstdio>

// ---- matrix storage --------------------------------------------------------------------------

LM::Matrix::Matrix(int rows, int cols)
    : nrows(rows > 0 ? rows : 0), ncols(cols > 0 ? cols : 0), block(static_cast<size_t>(nrows) * ncols, 0.0) {
    link();
}

LM::Matrix::Matrix(const Matrix& o) : nrows(o.nrows), ncols(o.ncols), block(o.block) { link(); }

LM::Matrix& LM::Matrix::operator=(const Matrix& o) {
    if (this != &o) {
        nrows = o.nrows;
        ncols = o.ncols;
        block = o.block;
        link();
    }
    return *this;
}

void LM::Matrix::link() {
    rowPtr.resize(nrows);
    for (int i = 0; i < nrows; i++) rowPtr[i] = block.data() + static_cast<size_t>(i) * ncols;
}

// ---- construction: the fit ------------------------------------------------------------------

void LM::allocate(int gnadj, int gnpts, const double* init_parms) {
    nadj = gnadj > 0 ? gnadj : 0;
    npts = gnpts > 0 ? gnpts : 0;
    NPARMS = nadj;
    lambda = 0.001;
    delta.assign(nadj, 0.0);
    beta.assign(nadj, 0.0);
    alpha = Matrix(nadj, nadj);
    amatrix = Matrix(nadj, nadj);
    parms.assign(nadj, 0.0);
    if (init_parms != nullptr) vvCopy(parms.data(), init_parms, nadj);
    lb.assign(nadj, -1e17);
    ub.assign(nadj, 1e17);
    resid.assign(npts, 0.0);
    jac = Matrix(npts, nadj);
}

LM::LM(costFunctionLM fn, void* data_, int gnadj, int gnpts, const double* init_parms) : f(fn), data(data_) {
    allocate(gnadj, gnpts, init_parms);
    for (int it = 0; it < kMaxIter; it++)
        if (bLMiter()) break;
}

LM::LM(costFunctionLM fn, void* data_, int gnadj, int gnpts, const double* init_parms, const double* lowerb,
       const double* upperb)
    : f(fn), data(data_) {
    allocate(gnadj, gnpts, init_parms);
    if (lowerb != nullptr) vvCopy(lb.data(), lowerb, nadj);
    if (upperb != nullptr) vvCopy(ub.data(), upperb, nadj);
    // the bounds are kept for the caller; no step applies them
    for (int it = 0; it < kMaxIter; it++) {
        bool done = bLMiter();
        std::printf("  LM niyrt = %d done = %d\n", it, done ? 1 : 0);
        if (done) break;
    }
}

// ---- evaluations ----------------------------------------------------------------------------

// Sum of squares at parms, or the sentinel 9e99 for an invalid point. A callback declares a point
// invalid by returning 9e99 in any residual (one residual of 9e99 alone would not sum to exactly
// 9e99, so the sentinel is recognised per residual as well as in the sum) or by returning null.
double LM::dComputeResiduals() {
    double* r = f != nullptr ? f(parms.data(), data) : nullptr;
    if (r == nullptr) return kSentinel;
    double sum = 0;
    bool invalid = false;
    for (int i = 0; i < npts; i++) {
        resid[i] = r[i];
        if (r[i] == kSentinel) invalid = true;
        sum += r[i] * r[i];
    }
    return invalid ? kSentinel : sum;
}

double LM::dNudge(const double* dp) {
    for (int j = 0; j < nadj; j++) parms[j] += dp[j];
    return dComputeResiduals();
}

double* LM::func(int /*i*/, int /*j*/, double* x) { return f(x, data); }

// Central differences, column j = (r(p + d e_j) - r(p - d e_j)) / (2d). The parameter is moved by
// +d, -2d, +d as always; on an invalid point it is put back before returning false, so that a
// failed Jacobian leaves the parameters where they were.
bool LM::bBuildJacobian() {
    std::vector<double> dp(nadj, 0.0);
    for (int j = 0; j < nadj; j++) {
        const double saved = parms[j];
        dp[j] = kStep;
        if (dNudge(dp.data()) == kSentinel) {
            std::fputs("Bad dBuildJacobian() exit 2", stderr);
            parms[j] = saved;
            return false;
        }
        for (int i = 0; i < npts; i++) jac[i][j] = resid[i];
        dp[j] = -2 * kStep;
        if (dNudge(dp.data()) == kSentinel) {
            std::fputs("Bad dBuildJacobian() exit 3", stderr);
            parms[j] = saved;
            return false;
        }
        for (int i = 0; i < npts; i++) jac[i][j] = (jac[i][j] - resid[i]) * kFactor;
        dp[j] = kStep;
        if (dNudge(dp.data()) == kSentinel) {
            std::fputs("Bad dBuildJacobian() exit 4", stderr);
            return false;
        }
        dp[j] = 0;
    }
    return true;
}

bool LM::bLMiter() {
    sos = dComputeResiduals();
    if (sos == kSentinel) {
        std::fputs("  bLMiter finds faulty initial dNudge()", stderr);
        return false;
    }
    sosprev = sos;
    if (!bBuildJacobian()) {
        std::fputs("  bLMiter finds bBuildJacobian()=false", stderr);
        return false;
    }
    for (int j = 0; j < nadj; j++) {
        double b = 0;
        for (int i = 0; i < npts; i++) b -= jac[i][j] * resid[i];
        beta[j] = b;
        for (int k = 0; k < nadj; k++) {
            double a = 0;
            for (int i = 0; i < npts; i++) a += jac[i][j] * jac[i][k];
            alpha[k][j] = a;
        }
    }
    std::vector<double> back(nadj);
    for (;;) {
        for (int k = 0; k < nadj; k++)
            for (int j = 0; j < nadj; j++) amatrix[k][j] = alpha[k][j] + (k == j ? lambda : 0.0);
        gaussj(amatrix.rows(), nadj);
        for (int j = 0; j < nadj; j++) {
            double d = 0;
            for (int k = 0; k < nadj; k++) d += amatrix[k][j] * beta[k];
            delta[j] = d;
        }
        sos = dNudge(delta.data());
        for (int j = 0; j < nadj; j++) back[j] = -delta[j];
        if (sos == kSentinel) {
            std::fputs("  LMinner failed SOS step", stderr);
            // The step landed on an invalid point: take it back and damp harder, so that the next
            // call starts from the last valid point and tries a shorter step instead of the same one.
            for (int j = 0; j < nadj; j++) parms[j] += back[j];
            lambda *= 10;
            return false;
        }
        const double rrise = (sos - sosprev) / (sos + 1);
        if (rrise <= 0) {
            lambda *= 0.1;
            return rrise > -1e-12;
        }
        // worse (a NaN sum counts as worse): take the step back; sos keeps the rejected value
        const double rejected = sos;
        dNudge(back.data());
        sos = rejected;
        if (rrise < 1e-12) return true;
        lambda *= 10;
        if (lambda >= 1e9) return true;
    }
}

// ---- Gauss-Jordan inversion -----------------------------------------------------------------

namespace {

// Exchange of rows (or columns) i and j in which the line moved out of i changes sign:
// new i = old j, new j = -old i. Undoing it: new i = -old j, new j = old i.
void swapRowsSigned(double** a, int N, int i, int j) {
    for (int c = 0; c < N; c++) {
        double t = a[i][c];
        a[i][c] = a[j][c];
        a[j][c] = -t;
    }
}
void swapColsSigned(double** a, int N, int i, int j) {
    for (int r = 0; r < N; r++) {
        double t = a[r][i];
        a[r][i] = a[r][j];
        a[r][j] = -t;
    }
}

} // namespace

// Full-pivot Gauss-Jordan in place. Each exchange negates the line it moves, so it keeps the
// determinant's sign and the determinant is the plain product of the pivots. Stage k sweeps the
// pivot: column k /= -pivot, a[i][j] += a[i][k]*a[k][j] elsewhere, row k /= pivot, pivot = 1/pivot.
// The inverse of the exchanged matrix is turned back by the inverse exchanges in reverse order:
// a row exchange becomes a column exchange and vice versa.
double LM::gaussj(double** a, int N) {
    if (N < 1) return 1.0;
    std::vector<int> prow(N), pcol(N);
    double det = 1.0;
    for (int k = 0; k < N; k++) {
        double big = 0.0;
        int p = k, q = k;
        for (int i = k; i < N; i++)
            for (int j = k; j < N; j++)
                if (std::fabs(a[i][j]) >= big) { // on ties the later element
                    big = std::fabs(a[i][j]);
                    p = i;
                    q = j;
                }
        if (big == 0.0) return 0.0;
        prow[k] = p;
        pcol[k] = q;
        if (p != k) swapRowsSigned(a, N, k, p);
        if (q != k) swapColsSigned(a, N, k, q);
        const double pivot = a[k][k];
        for (int i = 0; i < N; i++)
            if (i != k) a[i][k] /= -pivot;
        for (int i = 0; i < N; i++) {
            if (i == k) continue;
            for (int j = 0; j < N; j++)
                if (j != k) a[i][j] += a[i][k] * a[k][j];
        }
        for (int j = 0; j < N; j++)
            if (j != k) a[k][j] /= pivot;
        a[k][k] = 1.0 / pivot;
        det *= pivot;
    }
    for (int k = N - 1; k >= 0; k--) {
        if (prow[k] > k) swapColsSigned(a, N, prow[k], k); // undo: new k = -old p, new p = old k
        if (pcol[k] > k) swapRowsSigned(a, N, pcol[k], k);
    }
    return det;
}

// ---- vector helpers -------------------------------------------------------------------------

double* LM::vvLimit(double* v, const double* vLo, const double* vHi, const double* vDelta, int nv) {
    for (int i = 0; i < nv; i++) {
        if (vLo[i] == -180.0 && vHi[i] == 180.0) {
            if (!std::isfinite(v[i])) continue; // nothing to wrap; the loops would not end
            const double span = vHi[i] - vLo[i];
            if (v[i] < -180.0) {
                v[i] += 360.0;
                while (v[i] < -180.0) v[i] += span;
            }
            while (v[i] > 180.0) v[i] -= span;
        } else {
            if (v[i] < vLo[i]) v[i] = vLo[i] + vDelta[i];
            if (v[i] > vHi[i] - vDelta[i]) v[i] = vHi[i] - vDelta[i];
        }
    }
    return v;
}

void LM::vvCopy(double* to, const double* from, int n) {
    for (int i = 0; i < n; i++) to[i] = from[i];
}
