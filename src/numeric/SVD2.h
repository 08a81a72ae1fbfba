// The least-squares solver of the order-matrix fits: every fit owns one SVD2 and calls
// svdLSMat; also total least squares (svdTLS).
#pragma once

#include "numeric/SVD.h"

class SVD2 : public SVDSolver {
public:
    // QR iterations allowed per singular value (fixed).
    static constexpr int kMaxSteps = 1000;

    int LENGTH = 0;  // rows last asked for (constructor or svdPolyInit)
    int ORDER = 0;   // order last asked for

    SVD2() = default;
    SVD2(int n, int order);

    int svdPolyInit(int n, int order) override;

    // Total least squares of A x ~ b with errors in A and b alike (A flat row-major
    // n x m, b n values). The augmented matrix [A | b] is decomposed; the right singular
    // vector v of the smallest singular value gives x[j] = -v[j] / v[m+1], and
    // dA (flat n x m) receives the correction of A: dA(i, j) = -t_i v[j] with
    // t_i = [A | b]_i . v, the rank-one part removed from [A | b]. Returns 0, or 1 when
    // the work arrays could not be set up.
    int svdTLS(const double* A, const double* b, int n, int m, double* x, double* dA);

protected:
    int maxQRSteps() const override { return kMaxSteps; }
};
