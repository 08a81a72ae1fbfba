// Tests of the SVD solvers: decomposition properties, least squares against normal
// equations, covariance, rank-deficient systems, total least squares, the wrappers.
#include "numeric/SVD.h"
#include "numeric/SVD2.h"

#include <cmath>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

#include <gtest/gtest.h>

// Counts every allocation of this test program, to show which calls allocate. Kept out
// of line so the compiler does not pair malloc/free with new/delete at inlined sites.
static long gAllocations = 0;
__attribute__((noinline)) void* operator new(std::size_t size) {
    ++gAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// A one-based m x n matrix with its row pointers.
struct Mat1 {
    int m, n;
    std::vector<double> data;
    std::vector<double*> rows;
    Mat1(int mm, int nn) : m(mm), n(nn), data((mm + 1) * (nn + 1), 0.0), rows(mm + 1) {
        for (int i = 0; i <= m; ++i) rows[i] = data.data() + i * (n + 1);
    }
    double* operator[](int i) { return rows[i]; }
    double** ptr() { return rows.data(); }
};

std::vector<double> randomFlat(int n, int m, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> A(n * m);
    for (double& x : A) x = u(gen);
    return A;
}

// Solves the square system G x = r by Gaussian elimination with partial pivoting;
// also returns G^-1 when inv is given.
std::vector<double> gaussSolve(std::vector<double> G, std::vector<double> r, int k,
                               std::vector<double>* inv = nullptr) {
    std::vector<double> I(k * k, 0.0);
    for (int i = 0; i < k; ++i) I[i * k + i] = 1.0;
    for (int col = 0; col < k; ++col) {
        int piv = col;
        for (int i = col + 1; i < k; ++i)
            if (std::fabs(G[i * k + col]) > std::fabs(G[piv * k + col])) piv = i;
        for (int j = 0; j < k; ++j) {
            std::swap(G[col * k + j], G[piv * k + j]);
            std::swap(I[col * k + j], I[piv * k + j]);
        }
        std::swap(r[col], r[piv]);
        for (int i = 0; i < k; ++i) {
            if (i == col) continue;
            const double f = G[i * k + col] / G[col * k + col];
            for (int j = 0; j < k; ++j) {
                G[i * k + j] -= f * G[col * k + j];
                I[i * k + j] -= f * I[col * k + j];
            }
            r[i] -= f * r[col];
        }
    }
    for (int i = 0; i < k; ++i) {
        r[i] /= G[i * k + i];
        for (int j = 0; j < k; ++j) I[i * k + j] /= G[i * k + i];
    }
    if (inv) *inv = I;
    return r;
}

// Normal equations A^T A x = A^T b (A flat n x m), optionally (A^T A)^-1.
std::vector<double> normalEquations(const std::vector<double>& A, const std::vector<double>& b,
                                    int n, int m, std::vector<double>* inv = nullptr) {
    std::vector<double> G(m * m, 0.0), r(m, 0.0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < m; ++j) {
            r[j] += A[i * m + j] * b[i];
            for (int k = 0; k < m; ++k) G[j * m + k] += A[i * m + j] * A[i * m + k];
        }
    return gaussSolve(G, r, m, inv);
}

// Checks a = U diag(w) V^T, V orthogonal, U orthonormal on the non-zero values, w >= 0.
void checkDecomposition(Mat1& a0, Mat1& u, const std::vector<double>& w, Mat1& v, double tol) {
    const int m = a0.m, n = a0.n;
    double wmax = 0;
    for (int k = 1; k <= n; ++k) {
        EXPECT_GE(w[k], 0.0) << "value " << k;
        wmax = std::max(wmax, w[k]);
    }
    for (int i = 1; i <= m; ++i)
        for (int j = 1; j <= n; ++j) {
            double s = 0;
            for (int k = 1; k <= n; ++k) s += u[i][k] * w[k] * v[j][k];
            EXPECT_NEAR(s, a0[i][j], tol) << "A(" << i << "," << j << ")";
        }
    for (int p = 1; p <= n; ++p)
        for (int q = 1; q <= n; ++q) {
            double s = 0;
            for (int k = 1; k <= n; ++k) s += v[k][p] * v[k][q];
            EXPECT_NEAR(s, p == q ? 1 : 0, tol) << "V^T V(" << p << "," << q << ")";
            if (w[p] > 1e-10 * wmax && w[q] > 1e-10 * wmax) {
                double t = 0;
                for (int i = 1; i <= m; ++i) t += u[i][p] * u[i][q];
                EXPECT_NEAR(t, p == q ? 1 : 0, tol) << "U^T U(" << p << "," << q << ")";
            }
        }
}

void decomposeAndCheck(SVDSolver& s, Mat1& a0, double tol) {
    Mat1 u = a0, v(a0.n, a0.n);
    u.rows.clear();
    for (int i = 0; i <= u.m; ++i) u.rows.push_back(u.data.data() + i * (u.n + 1));
    std::vector<double> w(a0.n + 1, -1.0), rv1(a0.n + 1);
    EXPECT_EQ(s.svdcmpUser(u.ptr(), a0.m, a0.n, w.data(), v.ptr(), rv1.data()), 0);
    checkDecomposition(a0, u, w, v, tol);
}

Mat1 randomMat1(int m, int n, unsigned seed) {
    Mat1 a(m, n);
    std::vector<double> r = randomFlat(m, n, seed);
    for (int i = 1; i <= m; ++i)
        for (int j = 1; j <= n; ++j) a[i][j] = r[(i - 1) * n + (j - 1)];
    return a;
}

double basisPower(int j, int x) { return std::pow(static_cast<double>(x), j - 1); }

}  // namespace

TEST(SVDDecomposition, PropertiesOnTallSquareWideAndRankDeficient) {
    SVD2 s2;
    SVD s1;
    Mat1 tall = randomMat1(9, 4, 1), square = randomMat1(5, 5, 2), wide = randomMat1(3, 5, 3);
    decomposeAndCheck(s2, tall, 1e-13);
    decomposeAndCheck(s1, tall, 1e-13);
    decomposeAndCheck(s2, square, 1e-13);
    decomposeAndCheck(s2, wide, 1e-13);

    // Rank 2: column 3 = column 1 + column 2, column 4 zero.
    Mat1 rank2 = randomMat1(7, 4, 4);
    for (int i = 1; i <= 7; ++i) {
        rank2[i][3] = rank2[i][1] + rank2[i][2];
        rank2[i][4] = 0.0;
    }
    decomposeAndCheck(s2, rank2, 1e-13);
    Mat1 u = rank2, v(4, 4);
    for (int i = 0; i <= u.m; ++i) u.rows[i] = u.data.data() + i * (u.n + 1);
    std::vector<double> w(5), rv1(5);
    s2.svdcmpUser(u.ptr(), 7, 4, w.data(), v.ptr(), rv1.data());
    int small = 0;
    for (int k = 1; k <= 4; ++k) small += (w[k] < 1e-12) ? 1 : 0;
    EXPECT_EQ(small, 2);

    // A single column and an empty call.
    Mat1 col = randomMat1(4, 1, 5);
    decomposeAndCheck(s2, col, 1e-14);
    EXPECT_EQ(s2.svdcmpUser(u.ptr(), 7, 0, w.data(), v.ptr(), rv1.data()), 0);
}

TEST(SVDDecomposition, DiagonalWithNegativeEntry) {
    // diag(3, -2, 0.5): values are the magnitudes; the negative entry shows as opposite
    // signs in its columns of U and V.
    const double d[4] = {0, 3, -2, 0.5};
    Mat1 a(3, 3), v(3, 3);
    for (int i = 1; i <= 3; ++i) a[i][i] = d[i];
    Mat1 a0 = a;
    for (int i = 0; i <= a0.m; ++i) a0.rows[i] = a0.data.data() + i * 4;
    std::vector<double> w(4), rv1(4);
    SVD2 s;
    s.svdcmpUser(a.ptr(), 3, 3, w.data(), v.ptr(), rv1.data());
    checkDecomposition(a0, a, w, v, 1e-15);
    for (int k = 1; k <= 3; ++k) {
        EXPECT_DOUBLE_EQ(w[k], std::fabs(d[k])) << "values stay in place, unsorted";
        EXPECT_NEAR(std::fabs(v[k][k]), 1.0, 1e-15);
        EXPECT_NEAR(a[k][k] * v[k][k], d[k] < 0 ? -1.0 : 1.0, 1e-15);
    }
}

TEST(SVDDecomposition, BackSubstitutionAndCovarianceThresholds) {
    // u = I, v = I, w = (2, 1e-23): the second term is below the absolute threshold.
    Mat1 u(2, 2), v(2, 2);
    u[1][1] = u[2][2] = v[1][1] = v[2][2] = 1;
    double w[3] = {0, 2, 1e-23}, b[3] = {0, 4, 5}, x[3], tmp[3], wti[3];
    SVD2 s;
    s.svbksbUser(u.ptr(), w, v.ptr(), 2, 2, b, x, tmp);
    EXPECT_DOUBLE_EQ(x[1], 2.0);
    EXPECT_EQ(x[2], 0.0);
    double cvm[4] = {-1, -1, -1, -1};
    s.svdvarUser(v.ptr(), 2, w, wti, cvm);
    EXPECT_DOUBLE_EQ(cvm[0], 0.25);
    EXPECT_EQ(cvm[1], 0.0);
    EXPECT_EQ(cvm[2], 0.0);
    EXPECT_EQ(cvm[3], 0.0);
    EXPECT_EQ(s.svdvarUser(v.ptr(), 2, w, wti, nullptr), 0);
}

TEST(SVDLeastSquares, AgreesWithNormalEquationsAndCovariance) {
    for (int n : {6, 40, 500}) {
        const int m = 5;
        std::vector<double> A = randomFlat(n, m, 100 + n), b = randomFlat(n, 1, 200 + n);
        std::vector<double> x(m), cvm(m * m), inv;
        SVD2 s;
        ASSERT_EQ(s.svdLSMat(A.data(), b.data(), n, m, x.data(), cvm.data(), 1), 0);
        std::vector<double> ref = normalEquations(A, b, n, m, &inv);
        for (int j = 0; j < m; ++j) EXPECT_NEAR(x[j], ref[j], 1e-10 * std::fabs(ref[j]) + 1e-14);
        for (int k = 0; k < m * m; ++k)
            EXPECT_NEAR(cvm[k], inv[k], 1e-10 * std::fabs(inv[k]) + 1e-14);
    }

    // Consistent data comes back exactly; the SVD instance gives the same answer.
    const int n = 30, m = 4;
    std::vector<double> A = randomFlat(n, m, 7), b(n);
    const double truth[m] = {1.5, -2, 0.25, 3};
    for (int i = 0; i < n; ++i) {
        b[i] = 0;
        for (int j = 0; j < m; ++j) b[i] += A[i * m + j] * truth[j];
    }
    std::vector<double> x(m);
    SVD s1;
    s1.svdLSMat(A.data(), b.data(), n, m, x.data(), nullptr, 1);
    for (int j = 0; j < m; ++j) EXPECT_NEAR(x[j], truth[j], 1e-13);
}

TEST(SVDLeastSquares, OneColumnCase) {
    SVD2 s;
    double A[4] = {1, -2, 3, 0.5}, b[4], x = -1, cvm = -1;
    for (int i = 0; i < 4; ++i) b[i] = 2 * A[i];
    EXPECT_EQ(s.svdLSMat(A, b, 4, 1, &x, &cvm, 1), 0);
    EXPECT_DOUBLE_EQ(x, 2.0);
    EXPECT_EQ(cvm, 1.0);
    EXPECT_EQ(s.lastLength, 0) << "no work arrays for one column";

    // A.b summing to zero gives 0.
    double A0[2] = {1, 1}, b0[2] = {1, -1};
    s.svdLSMat(A0, b0, 2, 1, &x, nullptr, 1);
    EXPECT_EQ(x, 0.0);
    x = -1;
    s.svdLSMat(A0, b0, 0, 1, &x, nullptr, 1);
    EXPECT_EQ(x, 0.0);

    // Otherwise the ratio sum b^2 / sum A b (hand computed: 1+4 / (1*1 + 2*2.5)).
    double A1[2] = {1, 2.5}, b1[2] = {1, 2};
    s.svdLSMat(A1, b1, 2, 1, &x, nullptr, 1);
    EXPECT_DOUBLE_EQ(x, 5.0 / 6.0);
}

TEST(SVDLeastSquares, RankDeficientSystemsDropNullDirections) {
    const int n = 25, m = 4;
    std::vector<double> A = randomFlat(n, m, 11), b = randomFlat(n, 1, 12);
    for (int i = 0; i < n; ++i) A[i * m + 2] = 0.0;  // column 2 is zero
    std::vector<double> x(m), cvm(m * m);
    SVD2 s;
    s.svdLSMat(A.data(), b.data(), n, m, x.data(), cvm.data(), 1);
    // Zero to rounding: the row reflections mix the zero column with its neighbours, so
    // the null direction is e_2 only up to the last bits.
    EXPECT_LT(std::fabs(x[2]), 1e-14);
    EXPECT_LT(std::fabs(cvm[2 * m + 2]), 1e-14 * std::fabs(cvm[0]));
    for (double v : x) EXPECT_TRUE(std::isfinite(v));
    // The others are the least-squares solution of the reduced system.
    std::vector<double> Ar;
    for (int i = 0; i < n; ++i)
        for (int j : {0, 1, 3}) Ar.push_back(A[i * m + j]);
    std::vector<double> ref = normalEquations(Ar, b, n, 3);
    EXPECT_NEAR(x[0], ref[0], 1e-10 * std::fabs(ref[0]));
    EXPECT_NEAR(x[1], ref[1], 1e-10 * std::fabs(ref[1]));
    EXPECT_NEAR(x[3], ref[2], 1e-10 * std::fabs(ref[2]));

    // Column 3 duplicates column 0: the minimum-norm solution splits the weight evenly.
    std::vector<double> D = randomFlat(n, m, 13);
    for (int i = 0; i < n; ++i) D[i * m + 3] = D[i * m];
    s.svdLSMat(D.data(), b.data(), n, m, x.data(), nullptr, 1);
    std::vector<double> Dr;
    for (int i = 0; i < n; ++i)
        for (int j : {0, 1, 2}) Dr.push_back(D[i * m + j]);
    ref = normalEquations(Dr, b, n, 3);
    EXPECT_NEAR(x[0], ref[0] / 2, 1e-10 * std::fabs(ref[0]));
    EXPECT_NEAR(x[3], ref[0] / 2, 1e-10 * std::fabs(ref[0]));
    EXPECT_NEAR(x[1], ref[1], 1e-10 * std::fabs(ref[1]));

    // Fewer rows than columns: an exact, minimum-norm solution (x in the row space).
    const int rows = 3, cols = 5;
    std::vector<double> W = randomFlat(rows, cols, 14), bw = randomFlat(rows, 1, 15);
    std::vector<double> xw(cols);
    s.svdLSMat(W.data(), bw.data(), rows, cols, xw.data(), nullptr, 1);
    for (int i = 0; i < rows; ++i) {
        double r = 0;
        for (int j = 0; j < cols; ++j) r += W[i * cols + j] * xw[j];
        EXPECT_NEAR(r, bw[i], 1e-13);
    }
    // x = W^T y with (W W^T) y = b.
    std::vector<double> WWt(rows * rows, 0.0);
    for (int i = 0; i < rows; ++i)
        for (int k = 0; k < rows; ++k)
            for (int j = 0; j < cols; ++j) WWt[i * rows + k] += W[i * cols + j] * W[k * cols + j];
    std::vector<double> y = gaussSolve(WWt, bw, rows);
    for (int j = 0; j < cols; ++j) {
        double e = 0;
        for (int i = 0; i < rows; ++i) e += W[i * cols + j] * y[i];
        EXPECT_NEAR(xw[j], e, 1e-12);
    }
}

TEST(SVDLeastSquares, WorkArraysKeptWhileSizesStay) {
    const int n = 20, m = 5;
    std::vector<double> A = randomFlat(n, m, 21), b1 = randomFlat(n, 1, 22), b2 = randomFlat(n, 1, 23);
    std::vector<double> x(m);
    SVD2 s;
    s.svdLSMat(A.data(), b1.data(), n, m, x.data(), nullptr, 1);
    EXPECT_EQ(s.lastLength, n);
    EXPECT_EQ(s.lastOrder, m - 1);
    double** uu = s.uu;
    double* ww = s.ww;
    std::vector<double> cvm(m * m);
    const long before = gAllocations;
    s.svdLSMat(A.data(), b2.data(), n, m, x.data(), cvm.data(), 1);
    const long allocated = gAllocations - before;
    EXPECT_EQ(allocated, 0) << "a repeated solve of the same size allocates";
    EXPECT_EQ(s.uu, uu);
    EXPECT_EQ(s.ww, ww);

    // decompose = 0 reuses the held decomposition for a new right-hand side.
    std::vector<double> zeros(n * m, 0.0), x0(m);
    s.svdLSMat(zeros.data(), b1.data(), n, m, x0.data(), nullptr, 0);
    std::vector<double> ref = normalEquations(A, b1, n, m);
    for (int j = 0; j < m; ++j) EXPECT_NEAR(x0[j], ref[j], 1e-10 * std::fabs(ref[j]));

    // A different n re-creates the arrays.
    std::vector<double> A3 = randomFlat(n + 3, m, 24), b3 = randomFlat(n + 3, 1, 25);
    s.svdLSMat(A3.data(), b3.data(), n + 3, m, x.data(), nullptr, 1);
    EXPECT_EQ(s.lastLength, n + 3);
    ref = normalEquations(A3, b3, n + 3, m);
    for (int j = 0; j < m; ++j) EXPECT_NEAR(x[j], ref[j], 1e-10 * std::fabs(ref[j]));

    // A fresh solver asked to reuse a decomposition it does not have decomposes anyway.
    SVD2 fresh;
    fresh.svdLSMat(A.data(), b1.data(), n, m, x0.data(), nullptr, 0);
    ref = normalEquations(A, b1, n, m);
    for (int j = 0; j < m; ++j) EXPECT_NEAR(x0[j], ref[j], 1e-10 * std::fabs(ref[j]));

    // Copies own their arrays.
    SVD2 copy = s;
    EXPECT_NE(copy.uu, s.uu);
    EXPECT_EQ(copy.lastLength, s.lastLength);
    EXPECT_EQ(copy.uu[3][2], s.uu[3][2]);
    copy.svdLSMat(A.data(), b1.data(), n, m, x.data(), nullptr, 1);
    EXPECT_EQ(s.lastLength, n + 3);
}

TEST(SVDLeastSquares, ArraySetupAndRelease) {
    SVD2 s(10, 3);
    EXPECT_EQ(s.LENGTH, 10);
    EXPECT_EQ(s.ORDER, 3);
    EXPECT_EQ(s.lastLength, 10);
    EXPECT_EQ(s.lastOrder, 3);
    ASSERT_NE(s.uu, nullptr);
    EXPECT_EQ(s.uu[10][4], 0.0);  // rows 0..n, columns 0..order+1
    EXPECT_EQ(s.svdPolyFree(), 0);
    EXPECT_EQ(s.lastLength, 0);
    EXPECT_EQ(s.lastOrder, 0);
    EXPECT_EQ(s.uu, nullptr);
    EXPECT_EQ(s.svdPolyInit(4, 1), 0);
    EXPECT_EQ(s.LENGTH, 4);
    EXPECT_EQ(s.svdPolyInit(-1, 1), 1);
    SVD s1(6, 2);
    EXPECT_EQ(s1.lastLength, 6);
    EXPECT_EQ(s1.MAX_STEP, 1000);
}

TEST(SVDLeastSquares, PolynomialAndBasisFits) {
    const int n = 12;
    std::vector<double> x(n), y(n);
    for (int i = 0; i < n; ++i) {
        x[i] = i - 4;
        y[i] = 1.0 - 2.0 * x[i] + 0.5 * x[i] * x[i];
    }
    double coef[3] = {0, 0, 0};
    SVD2 s;
    EXPECT_EQ(s.svdPoly(x.data(), y.data(), n, 2, coef), 0);
    EXPECT_NEAR(coef[0], 1.0, 1e-12);
    EXPECT_NEAR(coef[1], -2.0, 1e-12);
    EXPECT_NEAR(coef[2], 0.5, 1e-12);

    // The same through a caller-given basis on arrays set up beforehand; x is truncated.
    SVD2 f(n, 2);
    std::vector<double> xs(x);
    for (double& v : xs) v += 0.4;  // truncates back to the integers for x >= 0 ...
    for (int i = 0; i < n; ++i)
        if (x[i] < 0) xs[i] = x[i] - 0.4;  // ... and towards zero below
    double c2[3];
    EXPECT_EQ(f.svdFunc(xs.data(), y.data(), n, 2, c2, basisPower), 0);
    EXPECT_NEAR(c2[0], 1.0, 1e-12);
    EXPECT_NEAR(c2[1], -2.0, 1e-12);
    EXPECT_NEAR(c2[2], 0.5, 1e-12);

    // Noisy data: polynomial least squares equals the normal-equation solution.
    std::vector<double> noise = randomFlat(n, 1, 31), V;
    for (int i = 0; i < n; ++i) {
        y[i] += 0.1 * noise[i];
        V.insert(V.end(), {1.0, x[i], x[i] * x[i]});
    }
    s.svdPoly(x.data(), y.data(), n, 2, coef);
    std::vector<double> ref = normalEquations(V, y, n, 3);
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(coef[j], ref[j], 1e-10 * std::fabs(ref[j]));
}

TEST(SVDTotalLeastSquares, LineWithNoiseInBothCoordinates) {
    // Points near y = 2 x with noise in x and y. TLS through the origin has the closed
    // form k = (Syy - Sxx + sqrt((Syy - Sxx)^2 + 4 Sxy^2)) / (2 Sxy).
    const int n = 200;
    std::mt19937 gen(41);
    std::uniform_real_distribution<double> t(-3, 3);
    std::normal_distribution<double> noise(0, 0.02);
    std::vector<double> A(n), b(n), dA(n);
    double sxx = 0, syy = 0, sxy = 0;
    for (int i = 0; i < n; ++i) {
        const double s = t(gen);
        A[i] = s + noise(gen);
        b[i] = 2 * s + noise(gen);
        sxx += A[i] * A[i];
        syy += b[i] * b[i];
        sxy += A[i] * b[i];
    }
    const double k = (syy - sxx + std::sqrt((syy - sxx) * (syy - sxx) + 4 * sxy * sxy)) / (2 * sxy);
    double x = 0;
    SVD2 s;
    ASSERT_EQ(s.svdTLS(A.data(), b.data(), n, 1, &x, dA.data()), 0);
    EXPECT_NEAR(x, k, 1e-10 * k);
    EXPECT_NEAR(x, 2.0, 0.02);
    // The corrected abscissae are the orthogonal projections onto the fitted line.
    for (int i = 0; i < n; ++i)
        EXPECT_NEAR(A[i] + dA[i], (A[i] + k * b[i]) / (1 + k * k), 1e-10);

    // A plane z = 0.5 x - 1.5 y without noise: exact, and no correction of A.
    const int np = 15, m = 2;
    std::vector<double> P = randomFlat(np, m, 42), z(np), dP(np * m);
    for (int i = 0; i < np; ++i) z[i] = 0.5 * P[i * m] - 1.5 * P[i * m + 1];
    double xp[2];
    s.svdTLS(P.data(), z.data(), np, m, xp, dP.data());
    EXPECT_NEAR(xp[0], 0.5, 1e-12);
    EXPECT_NEAR(xp[1], -1.5, 1e-12);
    for (double d : dP) EXPECT_NEAR(d, 0, 1e-12);
    EXPECT_EQ(s.lastOrder, m);
}

TEST(SVDSingleInstance, WrapperAndIterationLimit) {
    SVD* inst = SVD::getInstance();
    EXPECT_EQ(SVD::getInstance(), inst);

    SVD s;
    EXPECT_EQ(s.MAX_STEP, 1000);
    // m < n: refused, nothing touched, the limit unchanged.
    double a0[2][3] = {{1, 2, 3}, {4, 5, 6}}, w[3] = {7, 7, 7}, v0[3][3] = {};
    double* a[2] = {a0[0], a0[1]};
    double* v[3] = {v0[0], v0[1], v0[2]};
    EXPECT_EQ(s.SingValDecomp(a, 2, 3, w, v), 0);
    EXPECT_EQ(a0[1][2], 6.0);
    EXPECT_EQ(w[0], 7.0);
    EXPECT_EQ(v0[2][2], 0.0);
    EXPECT_EQ(s.MAX_STEP, 1000);

    // m >= n: zero-based results, limit 30 from now on.
    const int m = 4, n = 3;
    std::vector<double> r = randomFlat(m, n, 51);
    double b0[m][n], orig[m][n], vv[n][n], ww[n];
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) b0[i][j] = orig[i][j] = r[i * n + j];
    double* b[m] = {b0[0], b0[1], b0[2], b0[3]};
    double* vp[n] = {vv[0], vv[1], vv[2]};
    EXPECT_EQ(s.SingValDecomp(b, m, n, ww, vp), 1);
    EXPECT_EQ(s.MAX_STEP, 30);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) {
            double sum = 0;
            for (int k = 0; k < n; ++k) sum += b0[i][k] * ww[k] * vv[j][k];
            EXPECT_NEAR(sum, orig[i][j], 1e-14);
        }
    for (int k = 0; k < n; ++k) EXPECT_GE(ww[k], 0.0);
    EXPECT_EQ(inst->lastLength, 0) << "the wrapper leaves the least-squares arrays alone";
    // Repeated small decompositions reuse the wrapper's scratch.
    const long before = gAllocations;
    s.SingValDecomp(b, m, n, ww, vp);
    const long allocated = gAllocations - before;
    EXPECT_EQ(allocated, 0);

    // Destroying the single instance makes the next call create a new one.
    delete inst;
    SVD* again = SVD::getInstance();
    EXPECT_EQ(again->MAX_STEP, 1000);
    { SVD other; }  // another object going away does not forget the instance
    EXPECT_EQ(SVD::getInstance(), again);
}
