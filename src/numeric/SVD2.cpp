// SVD2: the per-fit least-squares solver (fixed iteration limit) and total least squares.
#include "numeric/SVD2.h"

#include <cmath>

SVD2::SVD2(int n, int order) { svdPolyInit(n, order); }

int SVD2::svdPolyInit(int n, int order) {
    LENGTH = n;
    ORDER = order;
    return SVDSolver::svdPolyInit(n, order);
}

int SVD2::svdTLS(const double* A, const double* b, int n, int m, double* x, double* dA) {
    if (m < 1 || n < 0) return 1;
    // Arrays for the m + 1 columns of [A | b].
    if (uu == nullptr || n != lastLength || m != lastOrder) {
        svdPolyFree();
        if (svdPolyInit(n, m) != 0) return 1;
    }
    const int cols = m + 1;
    for (int i = 1; i <= n; ++i) {
        const double* row = A + static_cast<size_t>(i - 1) * m;
        for (int j = 1; j <= m; ++j) uu[i][j] = row[j - 1];
        uu[i][cols] = b[i - 1];
    }
    svdcmpUser(uu, n, cols, ww, vv, pp);
    dropSmallValues(ww, cols);

    // The smallest singular value: first index strictly below the best so far,
    // starting from 1e6; the last column when none is below.
    int k = cols;
    double best = 1e6;
    for (int j = 1; j <= cols; ++j) {
        if (std::fabs(ww[j]) < best) {
            best = std::fabs(ww[j]);
            k = j;
        }
    }

    for (int j = 1; j <= m; ++j) x[j - 1] = -vv[j][k] / vv[cols][k];

    // Remove the rank-one part along v_k from the design matrix: t_i = [A | b]_i . v_k.
    for (int i = 1; i <= n; ++i) {
        const double* row = A + static_cast<size_t>(i - 1) * m;
        double t = 0.0;
        for (int j = 1; j <= m; ++j) t += vv[j][k] * row[j - 1];
        t += vv[cols][k] * b[i - 1];
        double* out = dA + static_cast<size_t>(i - 1) * m;
        for (int j = 1; j <= m; ++j) out[j - 1] = -t * vv[j][k];
    }
    return 0;
}
