// Least-squares references the solvers and fits are checked against: the normal equations solved
// by Gauss-Jordan elimination (no code of the program), and the straightforward per-trial solve:
// the whole system decomposed with U formed (svdcmpUser), singular values below 1e-6 of the
// largest set to 0, then back-substitution and covariance from U, w and V.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "numeric/SVD2.h"

namespace lsref {

// The normal equations A^T A x = A^T b (A flat n x m) solved by Gauss-Jordan elimination on
// [A^T A | A^T b | I] (positive definite: no pivoting): x and (A^T A)^-1 (row-major).
struct NormalEq {
    std::vector<double> x, inv;
};
inline NormalEq normalEquations(const std::vector<double>& A, const std::vector<double>& b, int n, int m) {
    const int c = 2 * m + 1;
    std::vector<double> G(m * c, 0.0);
    for (int j = 0; j < m; ++j) {
        G[j * c + m + 1 + j] = 1;
        for (int i = 0; i < n; ++i) {
            G[j * c + m] += A[i * m + j] * b[i];
            for (int k = 0; k < m; ++k) G[j * c + k] += A[i * m + j] * A[i * m + k];
        }
    }
    for (int col = 0; col < m; ++col) {
        const double p = G[col * c + col];
        for (int j = 0; j < c; ++j) G[col * c + j] /= p;
        for (int i = 0; i < m; ++i) {
            const double f = i == col ? 0.0 : G[i * c + col];
            for (int j = 0; j < c; ++j) G[i * c + j] -= f * G[col * c + j];
        }
    }
    NormalEq r;
    for (int i = 0; i < m; ++i) {
        r.x.push_back(G[i * c + m]);
        for (int k = 0; k < m; ++k) r.inv.push_back(G[i * c + m + 1 + k]);
    }
    return r;
}

struct Solve {
    std::vector<double> x, cov;   // k values, k x k row-major
    std::vector<double> w;        // singular values after the drop (unsorted)
    std::vector<double> raw;      // the same before the drop
    int rank = 0;                 // values kept
    double wmax = 0;              // largest singular value before the drop
};

// A (flat n x k) x ~ b; a system of fewer than k rows is padded with zero rows.
inline Solve solve(const std::vector<double>& A, const std::vector<double>& b, int n, int k) {
    const int rows = std::max(n, k);
    SVD2 s;
    s.svdPolyInit(rows, k - 1);
    for (int i = 1; i <= rows; ++i) {
        for (int j = 1; j <= k; ++j) s.uu[i][j] = i <= n ? A[(i - 1) * k + j - 1] : 0.0;
        s.bb[i] = i <= n ? b[i - 1] : 0.0;
    }
    s.svdcmpUser(s.uu, rows, k, s.ww, s.vv, s.pp);
    Solve r;
    for (int j = 1; j <= k; ++j) r.wmax = std::max(r.wmax, std::fabs(s.ww[j]));
    for (int j = 1; j <= k; ++j) {
        r.raw.push_back(s.ww[j]);
        if (std::fabs(s.ww[j]) < 1e-6 * r.wmax) s.ww[j] = 0;
        r.w.push_back(s.ww[j]);
        if (s.ww[j] != 0) r.rank++;
    }
    std::vector<double> x1(k + 1), tmp(k + 1), wti(k + 1);
    r.cov.assign(static_cast<size_t>(k) * k, 0.0);
    s.svdvarUser(s.vv, k, s.ww, wti.data(), r.cov.data());
    s.svbksbUser(s.uu, s.ww, s.vv, rows, k, s.bb, x1.data(), tmp.data());
    r.x.assign(x1.begin() + 1, x1.end());
    return r;
}

// The system of the rows r with keep(r) true, in row order.
template <class Keep>
Solve solveRows(const std::vector<double>& A, const std::vector<double>& b, int k, Keep keep) {
    std::vector<double> As, bs;
    for (size_t r = 0; r < b.size(); ++r) {
        if (!keep(static_cast<int>(r))) continue;
        As.insert(As.end(), A.begin() + r * k, A.begin() + (r + 1) * k);
        bs.push_back(b[r]);
    }
    return solve(As, bs, static_cast<int>(bs.size()), k);
}

}  // namespace lsref
