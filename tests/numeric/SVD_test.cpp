// Tests of the SVD solvers: decomposition properties, least squares against normal
// equations, covariance, rank-deficient systems, total least squares, the wrapper.
#include "numeric/SVD.h"
#include "numeric/SVD2.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "common/CountAllocations.h"
#include "common/LeastSquaresReference.h"

namespace {

std::vector<double> randomFlat(int n, int m, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> A(n * m);
    for (double& x : A) x = u(gen);
    return A;
}

using lsref::normalEquations;

void expectRel(const double* got, const std::vector<double>& want, double rel) {
    for (size_t j = 0; j < want.size(); ++j)
        EXPECT_NEAR(got[j], want[j], rel * std::fabs(want[j]) + 1e-14) << "index " << j;
}

// Decomposes the m x n matrix a (flat) in the solver's own arrays and checks
// a = U diag(w) V^T, V^T V = I, U^T U = I on the non-zero values, w >= 0.
void decomposeAndCheck(SVDSolver& s, const std::vector<double>& a, int m, int n) {
    ASSERT_EQ(s.svdPolyInit(m, n - 1), 0);
    for (int i = 1; i <= m; ++i)
        for (int j = 1; j <= n; ++j) s.uu[i][j] = a[(i - 1) * n + j - 1];
    EXPECT_EQ(s.svdcmpUser(s.uu, m, n, s.ww, s.vv, s.pp), 0);
    const double wmax = *std::max_element(s.ww + 1, s.ww + n + 1);
    for (int p = 1; p <= n; ++p) {
        EXPECT_GE(s.ww[p], 0.0);
        for (int i = 1; i <= m; ++i) {
            double usv = 0;
            for (int k = 1; k <= n; ++k) usv += s.uu[i][k] * s.ww[k] * s.vv[p][k];
            EXPECT_NEAR(usv, a[(i - 1) * n + p - 1], 1e-13) << "A(" << i << "," << p << ")";
        }
        for (int q = 1; q <= n; ++q) {
            double vtv = 0, utu = 0;
            for (int k = 1; k <= n; ++k) vtv += s.vv[k][p] * s.vv[k][q];
            for (int i = 1; i <= m; ++i) utu += s.uu[i][p] * s.uu[i][q];
            EXPECT_NEAR(vtv, p == q ? 1 : 0, 1e-13) << "V^T V(" << p << "," << q << ")";
            const bool live = s.ww[p] > 1e-10 * wmax && s.ww[q] > 1e-10 * wmax;  // U on w > 0 only
            EXPECT_TRUE(!live || std::fabs(utu - (p == q)) < 1e-13) << "U^T U(" << p << "," << q << ")";
        }
    }
}

}  // namespace

TEST(SVDDecomposition, PropertiesNegativeDiagonalAndWrapper) {
    SVD2 s2;
    decomposeAndCheck(s2, randomFlat(9, 4, 1), 9, 4);
    decomposeAndCheck(s2, randomFlat(5, 5, 2), 5, 5);
    // Rank 2: column 2 = column 0 + column 1, column 3 zero; two values vanish.
    std::vector<double> r2 = randomFlat(7, 4, 4);
    for (int i = 0; i < 7; ++i) r2[i * 4 + 2] = r2[i * 4] + r2[i * 4 + 1], r2[i * 4 + 3] = 0;
    decomposeAndCheck(s2, r2, 7, 4);
    EXPECT_EQ(std::count_if(s2.ww + 1, s2.ww + 5, [](double w) { return w < 1e-12; }), 2);

    // diag(3, -2, 0.5): the values are the magnitudes, in place; the negative entry
    // shows as a negated column of V (relative to U).
    const double d[3] = {3, -2, 0.5};
    decomposeAndCheck(s2, {d[0], 0, 0, 0, d[1], 0, 0, 0, d[2]}, 3, 3);
    for (int k = 1; k <= 3; ++k) {
        EXPECT_EQ(s2.ww[k], std::fabs(d[k - 1]));
        EXPECT_NEAR(s2.uu[k][k] * s2.vv[k][k], d[k - 1] < 0 ? -1 : 1, 1e-15);
    }

    // The zero-based wrapper SingValDecomp of the process-wide solver type.
    SVD s;
    double a0[2][3] = {{1, 2, 3}, {4, 5, 6}}, w[3] = {7, 7, 7}, v0[3][3] = {};
    double *a[2] = {a0[0], a0[1]}, *v[3] = {v0[0], v0[1], v0[2]};
    EXPECT_EQ(s.SingValDecomp(a, 2, 3, w, v), 0);  // m < n: refused, nothing changed
    EXPECT_TRUE(a0[0][0] == 1 && a0[1][2] == 6 && w[0] == 7 && w[2] == 7 && v0[2][2] == 0);
    EXPECT_EQ(s.MAX_STEP, 1000);

    // m >= n: zero-based U, w and V; the limit is 30 from then on.
    std::vector<double> orig = randomFlat(4, 3, 51), u = orig;
    double* up[4] = {&u[0], &u[3], &u[6], &u[9]};
    EXPECT_EQ(s.SingValDecomp(up, 4, 3, w, v), 1);
    EXPECT_EQ(s.MAX_STEP, 30);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j) {
            double sum = 0;
            for (int k = 0; k < 3; ++k) sum += up[i][k] * w[k] * v[j][k];
            EXPECT_NEAR(sum, orig[i * 3 + j], 1e-14);
        }
}

TEST(SVDLeastSquares, NormalEquationsCovarianceAndOneColumn) {
    for (int n : {6, 40, 500}) {
        const int m = 5;
        std::vector<double> A = randomFlat(n, m, 100 + n), b = randomFlat(n, 1, 200 + n), x(m), cvm(m * m);
        SVD2 s;
        ASSERT_EQ(s.svdLSMat(A.data(), b.data(), n, m, x.data(), cvm.data(), 1), 0);
        const lsref::NormalEq ref = normalEquations(A, b, n, m);
        expectRel(x.data(), ref.x, 1e-10);
        expectRel(cvm.data(), ref.inv, 1e-10);
    }

    // One column: no decomposition, x = sum b^2 / sum A b (the program's ratio, not the
    // slope), 0 when sum A b = 0, and a "covariance" of 1.
    SVD2 s;
    double A[2] = {1, 2.5}, b[2] = {1, 2}, A0[2] = {1, 1}, b0[2] = {1, -1}, x = -1, cvm = -1;
    EXPECT_EQ(s.svdLSMat(A, b, 2, 1, &x, &cvm, 1), 0);
    EXPECT_DOUBLE_EQ(x, 5.0 / 6.0);  // (1 + 4) / (1 + 5)
    EXPECT_EQ(cvm, 1.0);
    s.svdLSMat(A0, b0, 2, 1, &x, nullptr, 1);
    EXPECT_EQ(x, 0.0);
}

// svdLSMat applies the left transformations to b instead of forming U: against the solve with
// U formed, on tall, square, short (fewer rows than columns) and rank-deficient systems; and
// decompose = 0 reuses the held decomposition for a new b.
TEST(SVDLeastSquares, WithoutUAgainstUFormedAndHeldDecomposition) {
    struct Shape {
        int n, m;
    };
    for (Shape sh : {Shape{300, 5}, Shape{7, 7}, Shape{3, 6}, Shape{40, 12}}) {
        SCOPED_TRACE(std::to_string(sh.n) + " x " + std::to_string(sh.m));
        for (bool deficient : {false, true}) {
            std::vector<double> A = randomFlat(sh.n, sh.m, sh.n + 7 * sh.m), b = randomFlat(sh.n, 1, sh.m);
            if (deficient)   // column 1 = 2 column 0 - column 2
                for (int i = 0; i < sh.n; ++i) A[i * sh.m + 1] = 2 * A[i * sh.m] - A[i * sh.m + 2];
            std::vector<double> x(sh.m), cvm(sh.m * sh.m);
            SVD2 s;
            ASSERT_EQ(s.svdLSMat(A.data(), b.data(), sh.n, sh.m, x.data(), cvm.data(), 1), 0);
            const lsref::Solve ref = lsref::solve(A, b, sh.n, sh.m);
            double xs = 0, cs = 0;
            int kept = 0;
            for (int j = 0; j < sh.m; ++j) {
                xs = std::max(xs, std::fabs(ref.x[j]));
                kept += s.ww[j + 1] != 0;
            }
            for (double c : ref.cov) cs = std::max(cs, std::fabs(c));
            EXPECT_EQ(kept, ref.rank);
            for (int j = 0; j < sh.m; ++j) EXPECT_NEAR(x[j], ref.x[j], 1e-12 * xs) << j;
            for (int j = 0; j < sh.m * sh.m; ++j) EXPECT_NEAR(cvm[j], ref.cov[j], 1e-12 * cs) << j;

            // a new b on the held decomposition: what a full solve of the new b gives, exactly
            std::vector<double> b2 = randomFlat(sh.n, 1, 5 * sh.n), x0(sh.m), x1(sh.m);
            s.svdLSMat(A.data(), b2.data(), sh.n, sh.m, x0.data(), nullptr, 0);
            s.svdLSMat(A.data(), b2.data(), sh.n, sh.m, x1.data(), nullptr, 1);
            for (int j = 0; j < sh.m; ++j) EXPECT_EQ(x0[j], x1[j]) << j;
        }
    }

    // decompose = 0 with no decomposition held (fresh arrays, or after svdTLS overwrote them)
    // decomposes the given matrix
    std::vector<double> A = randomFlat(20, 3, 70), b = randomFlat(20, 1, 71), x(3), dA(60), ref(3);
    SVD2 fresh, after;
    fresh.svdLSMat(A.data(), b.data(), 20, 3, x.data(), nullptr, 0);
    SVD2().svdLSMat(A.data(), b.data(), 20, 3, ref.data(), nullptr, 1);
    for (int j = 0; j < 3; ++j) EXPECT_EQ(x[j], ref[j]);
    after.svdLSMat(A.data(), b.data(), 20, 3, x.data(), nullptr, 1);
    after.svdTLS(A.data(), b.data(), 20, 2, x.data(), dA.data());   // arrays sized 20 x 3 again
    after.svdLSMat(A.data(), b.data(), 20, 3, x.data(), nullptr, 0);
    for (int j = 0; j < 3; ++j) EXPECT_EQ(x[j], ref[j]);
}

TEST(SVDLeastSquares, ZeroColumnWorkArraysAndTotalLeastSquares) {
    const int n = 20, m = 4;
    std::vector<double> A = randomFlat(n, m, 11), b = randomFlat(n, 1, 12);
    for (int i = 0; i < n; ++i) A[i * m + 2] = 0.0, A[i * m + 3] = A[i * m];  // zero, duplicate
    std::vector<double> x(m), cvm(m * m), Ar;
    SVD2 s;
    s.svdLSMat(A.data(), b.data(), n, m, x.data(), cvm.data(), 1);
    // The zero column's parameter is zero to rounding (the reflections mix the column with
    // its neighbours); the duplicate shares the weight of column 0 evenly (minimum norm);
    // column 1 solves the reduced system.
    for (int i = 0; i < n; ++i)
        for (int j : {0, 1}) Ar.push_back(A[i * m + j]);
    const std::vector<double> red = normalEquations(Ar, b, n, 2).x;
    expectRel(x.data(), {red[0] / 2, red[1], 0, red[0] / 2}, 1e-10);
    EXPECT_LT(std::fabs(cvm[2 * m + 2]), 1e-14 * std::fabs(cvm[0]));

    // A repeated solve of the same size keeps the arrays and does not allocate.
    const long before = gAllocations;
    s.svdLSMat(A.data(), b.data(), n, m, x.data(), cvm.data(), 1);
    EXPECT_EQ(gAllocations - before, 0) << "a repeated solve of the same size allocates";
    // A different n re-creates them.
    std::vector<double> A3 = randomFlat(n + 3, m, 24), b3 = randomFlat(n + 3, 1, 25);
    s.svdLSMat(A3.data(), b3.data(), n + 3, m, x.data(), nullptr, 1);
    EXPECT_EQ(s.lastLength, n + 3);
    expectRel(x.data(), normalEquations(A3, b3, n + 3, m).x, 1e-10);

    // Total least squares on points u (1, 2) + t (-2, 1) around y = 2 x: the offsets t lie
    // along the normal (noise in both coordinates) and are uncorrelated with u, so the
    // slope is exactly 2 and the corrected abscissae are the u.
    std::vector<double> Ax, bx, dA(21);
    for (int i = 0; i <= 20; ++i) {
        const double u = 0.3 * (i - 10), t = i % 2 ? 0.05 : -0.05;
        Ax.push_back(u - 2 * t);
        bx.push_back(2 * u + t);
    }
    ASSERT_EQ(s.svdTLS(Ax.data(), bx.data(), 21, 1, x.data(), dA.data()), 0);
    EXPECT_NEAR(x[0], 2.0, 1e-13);
    for (int i = 0; i <= 20; ++i) EXPECT_NEAR(Ax[i] + dA[i], 0.3 * (i - 10), 1e-13);
}
