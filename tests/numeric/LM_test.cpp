// Tests of the Levenberg-Marquardt minimiser: least-squares minima, the Jacobian, the damping and
// "done" rules of one iteration, the invalid-point sentinel, Gauss-Jordan inversion and vvLimit.
#include "numeric/LM.h"

#include <cmath>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Argument block of the test residuals: a residual function, its output and every point tried.
struct Model {
    int npts = 0;
    std::function<void(const double* x, double* r)> fn;
    std::vector<double> r;
    std::vector<double> xs; // first parameter of every evaluation
    int calls = 0;
    Model(int n, std::function<void(const double*, double*)> f) : npts(n), fn(std::move(f)), r(n) {}
};

double* residuals(double* x, void* data) {
    Model* m = static_cast<Model*>(data);
    m->calls++;
    m->xs.push_back(x[0]);
    m->fn(x, m->r.data());
    return m->r.data();
}

// Determinant by cofactor expansion along the first row (the test's independent reference).
double cofactorDet(const std::vector<std::vector<double>>& a) {
    size_t n = a.size();
    if (n == 1) return a[0][0];
    double det = 0;
    for (size_t c = 0; c < n; c++) {
        std::vector<std::vector<double>> minor;
        for (size_t i = 1; i < n; i++) {
            std::vector<double> row;
            for (size_t j = 0; j < n; j++)
                if (j != c) row.push_back(a[i][j]);
            minor.push_back(row);
        }
        det += ((c % 2) ? -1.0 : 1.0) * a[0][c] * cofactorDet(minor);
    }
    return det;
}

// Inverts a copy of `a` with gaussj; returns the determinant.
double invert(std::vector<std::vector<double>>& a) {
    std::vector<double*> rows;
    for (auto& r : a) rows.push_back(r.data());
    return LM::gaussj(rows.data(), static_cast<int>(a.size()));
}

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; i++) out += s;
    return out;
}

} // namespace

TEST(LM, ReachesKnownLeastSquaresMinima) {
    // a straight line through exact points: y = 2 - 3t
    {
        Model m(5, [](const double* x, double* r) {
            for (int t = 0; t < 5; t++) r[t] = x[0] + x[1] * t - (2.0 - 3.0 * t);
        });
        double start[2] = {0, 0};
        LM lm(residuals, &m, 2, 5, start);
        EXPECT_NEAR(lm.parms[0], 2.0, 1e-7);
        EXPECT_NEAR(lm.parms[1], -3.0, 1e-7);
        EXPECT_EQ(lm.NPARMS, 2);
        EXPECT_EQ(lm.lb, (std::vector<double>{-1e17, -1e17}));
        EXPECT_EQ(lm.ub, (std::vector<double>{1e17, 1e17}));
    }
    // exponential decay y = 5 exp(-0.7 t) from a nearby start
    {
        Model m(8, [](const double* x, double* r) {
            for (int t = 0; t < 8; t++) r[t] = x[0] * std::exp(-x[1] * t) - 5.0 * std::exp(-0.7 * t);
        });
        double start[2] = {4.0, 0.5};
        LM lm(residuals, &m, 2, 8, start);
        EXPECT_NEAR(lm.parms[0], 5.0, 1e-6);
        EXPECT_NEAR(lm.parms[1], 0.7, 1e-6);
    }
    // Rosenbrock as residuals (10(y - x^2), 1 - x): minimum (1, 1)
    {
        Model m(2, [](const double* x, double* r) {
            r[0] = 10.0 * (x[1] - x[0] * x[0]);
            r[1] = 1.0 - x[0];
        });
        double start[2] = {-1.2, 1.0};
        LM lm(residuals, &m, 2, 2, start);
        EXPECT_NEAR(lm.parms[0], 1.0, 1e-6);
        EXPECT_NEAR(lm.parms[1], 1.0, 1e-6);
    }
}

TEST(LM, CentralDifferenceJacobianAndAccessors) {
    Model m(3, [](const double* x, double* r) {
        for (int t = 0; t < 3; t++) r[t] = x[0] * std::exp(-x[1] * t) + x[0] * x[1];
    });
    double start[2] = {1.0, 0.0};
    LM lm(residuals, &m, 2, 3, start);
    lm.parms = {2.0, 0.3};
    double sos = lm.dComputeResiduals();
    double expectSos = 0;
    for (int t = 0; t < 3; t++) {
        double rt = 2.0 * std::exp(-0.3 * t) + 0.6;
        EXPECT_DOUBLE_EQ(lm.dGetResid(t), rt);
        expectSos += rt * rt;
    }
    EXPECT_DOUBLE_EQ(sos, expectSos);

    ASSERT_TRUE(lm.bBuildJacobian());
    for (int t = 0; t < 3; t++) {
        EXPECT_NEAR(lm.dGetJac(t, 0), std::exp(-0.3 * t) + 0.3, 1e-8);
        EXPECT_NEAR(lm.dGetJac(t, 1), -2.0 * t * std::exp(-0.3 * t) + 2.0, 1e-8);
    }
    EXPECT_NEAR(lm.parms[0], 2.0, 1e-15);
    EXPECT_NEAR(lm.parms[1], 0.3, 1e-15);

    // dNudge adds the step and evaluates there
    double dp[2] = {0.5, -0.3};
    double s2 = lm.dNudge(dp);
    EXPECT_NEAR(lm.parms[0], 2.5, 1e-14);
    EXPECT_NEAR(lm.parms[1], 0.0, 1e-14);
    EXPECT_NEAR(s2, 3 * 2.5 * 2.5, 1e-12);

    // func calls the callback on any vector
    double probe[2] = {1.0, 1.0};
    double* r = lm.func(0, 0, probe);
    EXPECT_DOUBLE_EQ(r[1], std::exp(-1.0) + 1.0);

    double to[3] = {0, 0, 9}, from[3] = {1, 2, 3};
    LM::vvCopy(to, from, 2);
    EXPECT_EQ(to[0], 1);
    EXPECT_EQ(to[1], 2);
    EXPECT_EQ(to[2], 9);
}

TEST(LM, DampingGrowsTenfoldUntilAStepHelps) {
    // r = atan(x) from x = 2: J = 0.2, r = atan 2; the Gauss-Newton step overshoots to about -3.4
    Model m(1, [](const double* x, double* r) { r[0] = std::atan(x[0]); });
    double start[1] = {0.0};
    LM lm(residuals, &m, 1, 1, start);
    lm.parms[0] = 2.0;
    lm.lambda = 0.001;
    m.xs.clear();
    m.calls = 0;

    EXPECT_FALSE(lm.bLMiter()); // a large decrease: not done
    const double J = 0.2, r = std::atan(2.0);
    auto stepWith = [&](double lambda) { return 2.0 - J * r / (J * J + lambda); };
    // start, +d, -d, restored, then trials with lambda 0.001 and 0.01 (each taken back) and 0.1
    ASSERT_EQ(m.calls, 9);
    EXPECT_NEAR(m.xs[1], 2.0 + 1e-6, 1e-15);
    EXPECT_NEAR(m.xs[2], 2.0 - 1e-6, 1e-15);
    EXPECT_NEAR(m.xs[4], stepWith(0.001), 1e-8);
    EXPECT_NEAR(m.xs[5], 2.0, 1e-14);
    EXPECT_NEAR(m.xs[6], stepWith(0.01), 1e-8);
    EXPECT_NEAR(m.xs[7], 2.0, 1e-14);
    EXPECT_NEAR(m.xs[8], stepWith(0.1), 1e-8);
    EXPECT_NEAR(lm.parms[0], stepWith(0.1), 1e-8);
    EXPECT_NEAR(lm.lambda, 0.01, 1e-15); // 0.1 after the retries, then divided by ten
    EXPECT_DOUBLE_EQ(lm.sosprev, r * r);
    EXPECT_DOUBLE_EQ(lm.sos, std::atan(lm.parms[0]) * std::atan(lm.parms[0]));
}

TEST(LM, DoneRules) {
    // r = 1 + up*x for x > 0, 1 - 3x below: J = (up - 3)/2 < 0, every step goes up the x axis
    auto kinked = [](double up) {
        return [up](const double* x, double* r) { r[0] = x[0] > 0 ? 1.0 + up * x[0] : 1.0 - 3.0 * x[0]; };
    };
    double start[1] = {0.0};

    // every step is worse: lambda grows within one call until it reaches 1e9 -> done
    {
        Model m(1, kinked(1.0));
        LM lm(residuals, &m, 1, 1, start);
        lm.parms[0] = 0.0;
        lm.lambda = 0.001;
        m.xs.clear();
        EXPECT_TRUE(lm.bLMiter());
        EXPECT_GE(lm.lambda, 1e9);
        EXPECT_LT(lm.lambda, 1.0001e10);
        EXPECT_NEAR(lm.parms[0], 0.0, 1e-15); // the last step was taken back
        EXPECT_GT(lm.sos, lm.sosprev);        // sos keeps the rejected value
        EXPECT_NEAR(m.xs[4], 1.0 / 1.001, 1e-9);
        EXPECT_NEAR(m.xs[6], 1.0 / 1.01, 1e-9);
        EXPECT_NEAR(m.xs[8], 1.0 / 1.1, 1e-9);
    }
    // a rise below a relative 1e-12: taken back and done, lambda unchanged
    {
        Model m(1, kinked(1e-13));
        LM lm(residuals, &m, 1, 1, start);
        lm.parms[0] = 0.0;
        lm.lambda = 0.001;
        m.calls = 0;
        EXPECT_TRUE(lm.bLMiter());
        EXPECT_EQ(lm.lambda, 0.001);
        EXPECT_NEAR(lm.parms[0], 0.0, 1e-15);
        EXPECT_EQ(m.calls, 6);
    }
    // a fall below a relative 1e-12: kept and done, lambda divided by ten
    {
        Model m(1, kinked(-1e-13));
        LM lm(residuals, &m, 1, 1, start);
        lm.parms[0] = 0.0;
        lm.lambda = 0.001;
        EXPECT_TRUE(lm.bLMiter());
        EXPECT_NEAR(lm.lambda, 1e-4, 1e-18);
        EXPECT_NEAR(lm.parms[0], 1.5 / (2.25 + 0.001), 1e-6);
        EXPECT_LT(lm.sos, lm.sosprev);
    }
}

TEST(LM, SentinelEverywhereKeepsTheStart) {
    Model m(3, [](const double*, double* r) {
        for (int i = 0; i < 3; i++) r[i] = 9e99;
    });
    double start[2] = {0.25, -4.0};
    testing::internal::CaptureStderr();
    LM lm(residuals, &m, 2, 3, start);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), repeat("  bLMiter finds faulty initial dNudge()", 100));
    EXPECT_EQ(m.calls, 100);
    EXPECT_EQ(lm.parms, (std::vector<double>{0.25, -4.0}));

    // the sentinel is also recognised as the sum of squares itself, and a null result counts as one
    Model one(1, [](const double*, double* r) { r[0] = 3.0; });
    LM plain(residuals, &one, 1, 1, start);
    EXPECT_EQ(plain.dComputeResiduals(), 9.0);
    one.fn = [](const double*, double* r) { r[0] = 9e99; };
    EXPECT_EQ(plain.dComputeResiduals(), 9e99);
    testing::internal::CaptureStderr();
    LM nothing([](double*, void*) -> double* { return nullptr; }, &one, 1, 1, start);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(nothing.dComputeResiduals(), 9e99);
    EXPECT_EQ(nothing.parms[0], 0.25);
}

TEST(LM, JacobianFailuresAndFailedSteps) {
    double start[1] = {0.5};
    Model m(1, [](const double* x, double* r) { r[0] = x[0]; });
    LM lm(residuals, &m, 1, 1, start);

    struct Case {
        std::function<bool(double x, int call)> invalid;
        const char* message;
    } cases[] = {
        {[](double x, int) { return x > 0.5; }, "Bad dBuildJacobian() exit 2"},
        {[](double x, int) { return x < 0.5 - 5e-7; }, "Bad dBuildJacobian() exit 3"},
        {[](double, int call) { return call == 3; }, "Bad dBuildJacobian() exit 4"},
    };
    for (const Case& c : cases) {
        int calls = 0;
        m.fn = [&](const double* x, double* r) {
            calls++;
            r[0] = c.invalid(x[0], calls) ? 9e99 : x[0];
        };
        lm.parms[0] = 0.5;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(lm.bBuildJacobian());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_NEAR(lm.parms[0], 0.5, 1e-15);
    }
    // one iteration reports the failed Jacobian after the Jacobian's own message
    m.fn = [](const double* x, double* r) { r[0] = x[0] > 0.5 ? 9e99 : x[0]; };
    lm.parms[0] = 0.5;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(lm.bLMiter());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Bad dBuildJacobian() exit 2  bLMiter finds bBuildJacobian()=false");

    // r = x - 3, invalid above 1: the first step lands on an invalid point
    m.fn = [](const double* x, double* r) { r[0] = x[0] > 1.0 ? 9e99 : x[0] - 3.0; };
    lm.parms[0] = 0.0;
    lm.lambda = 0.001;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(lm.bLMiter());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "  LMinner failed SOS step");
    EXPECT_NEAR(lm.parms[0], 0.0, 1e-15); // back on the last valid point
    EXPECT_NEAR(lm.lambda, 0.01, 1e-15);

    // the fit goes on from there and ends on a valid point closer to the residual's zero
    double zero[1] = {0.0};
    testing::internal::CaptureStderr();
    LM fit(residuals, &m, 1, 1, zero);
    testing::internal::GetCapturedStderr();
    EXPECT_GT(fit.parms[0], 0.9);
    EXPECT_LE(fit.parms[0], 1.0);
}

TEST(LM, BoundedFormPrintsEachIteration) {
    Model m(4, [](const double* x, double* r) {
        for (int t = 0; t < 4; t++) r[t] = x[0] + x[1] * t - (1.0 + 0.5 * t);
    });
    double start[2] = {0, 0}, lo[2] = {-1, -2}, hi[2] = {3, 4};
    testing::internal::CaptureStdout();
    LM lm(residuals, &m, 2, 4, start, lo, hi);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NEAR(lm.parms[0], 1.0, 1e-7);
    EXPECT_NEAR(lm.parms[1], 0.5, 1e-7);
    EXPECT_EQ(lm.lb, (std::vector<double>{-1, -2}));
    EXPECT_EQ(lm.ub, (std::vector<double>{3, 4}));

    std::istringstream lines(out);
    std::string line;
    int i = 0;
    std::string last;
    while (std::getline(lines, line)) {
        std::string prefix = "  LM niyrt = " + std::to_string(i) + " done = ";
        ASSERT_EQ(line.substr(0, prefix.size()), prefix) << line;
        last = line.substr(prefix.size());
        i++;
    }
    EXPECT_GE(i, 2);
    EXPECT_EQ(last, "1");
    EXPECT_EQ(out.back(), '\n');
}

TEST(LM, GaussJordanInverseAndDeterminant) {
    // hand-computed: det = -1, inverse = adj/det
    std::vector<std::vector<double>> a = {{2, 1, 1}, {1, 3, 2}, {1, 0, 0}};
    EXPECT_DOUBLE_EQ(invert(a), -1.0);
    std::vector<std::vector<double>> inv = {{0, 0, 1}, {-2, 1, 3}, {3, -1, -5}};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(a[i][j], inv[i][j], 1e-14) << i << "," << j;

    // an odd permutation of a diagonal: det = -(4*5*3), inverse is the transposed reciprocal
    std::vector<std::vector<double>> p = {{0, 0, 4}, {0, 5, 0}, {3, 0, 0}};
    EXPECT_DOUBLE_EQ(invert(p), -60.0);
    std::vector<std::vector<double>> pinv = {{0, 0, 1.0 / 3}, {0, 0.2, 0}, {0.25, 0, 0}};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(p[i][j], pinv[i][j], 1e-15);

    // ties everywhere (equal magnitudes): later pivots, same result
    std::vector<std::vector<double>> d = {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}};
    EXPECT_DOUBLE_EQ(invert(d), -1.0);
    EXPECT_EQ(d, (std::vector<std::vector<double>>{{1, 0, 0}, {0, -1, 0}, {0, 0, 1}}));

    // singular matrices give 0; N < 1 gives 1; 1 x 1
    std::vector<std::vector<double>> s = {{1, 2, 3}, {2, 4, 6}, {1, 1, 1}};
    EXPECT_EQ(invert(s), 0.0);
    std::vector<std::vector<double>> z = {{0, 0}, {0, 0}};
    EXPECT_EQ(invert(z), 0.0);
    EXPECT_EQ(LM::gaussj(nullptr, 0), 1.0);
    std::vector<std::vector<double>> one = {{4}};
    EXPECT_EQ(invert(one), 4.0);
    EXPECT_EQ(one[0][0], 0.25);

    // random matrices: A * inverse = I and the determinant by cofactor expansion
    std::mt19937 gen(17);
    std::uniform_real_distribution<double> dist(-2, 2);
    for (int n : {2, 4, 6}) {
        std::vector<std::vector<double>> m(n, std::vector<double>(n));
        for (auto& row : m)
            for (double& v : row) v = dist(gen);
        std::vector<std::vector<double>> mi = m;
        double det = invert(mi);
        EXPECT_NEAR(det, cofactorDet(m), 1e-10 * std::max(1.0, std::fabs(det)));
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++) {
                double s2 = 0;
                for (int k = 0; k < n; k++) s2 += m[i][k] * mi[k][j];
                EXPECT_NEAR(s2, i == j ? 1.0 : 0.0, 1e-10);
            }
    }
}

TEST(LM, VvLimitWrapsAnglesAndKeepsOthersInside) {
    double lo[4] = {-180, 0, -180, -90}, hi[4] = {180, 10, 180, 90}, dl[4] = {0.5, 0.5, 0.5, 1};
    double v[4] = {-185, -1, 190, 95};
    EXPECT_EQ(LM::vvLimit(v, lo, hi, dl, 4), v);
    EXPECT_EQ(v[0], 175);
    EXPECT_EQ(v[1], 0.5);
    EXPECT_EQ(v[2], -170);
    EXPECT_EQ(v[3], 89);
    double w[4] = {-600, 12, 900, -95};
    LM::vvLimit(w, lo, hi, dl, 4);
    EXPECT_EQ(w[0], 120);
    EXPECT_EQ(w[1], 9.5);
    EXPECT_EQ(w[2], 180);
    EXPECT_EQ(w[3], -89); // below: lower + delta
    double u[4] = {180, 9.8, -180, 0};
    LM::vvLimit(u, lo, hi, dl, 4);
    EXPECT_EQ(u[0], 180);
    EXPECT_EQ(u[1], 9.5); // above upper - delta
    EXPECT_EQ(u[2], -180);
    EXPECT_EQ(u[3], 0);
    double inf[1] = {INFINITY};
    LM::vvLimit(inf, lo, hi, dl, 1); // no endless wrap
    EXPECT_TRUE(std::isinf(inf[0]));
}
