// Tests of the Levenberg-Marquardt minimiser: least-squares minima, the damping and "done" rules of
// one iteration, invalid points, Gauss-Jordan inversion and vvLimit.
#include "numeric/LM.h"

#include <functional>
#include <utility>

#include "common/TestUtil.h"

namespace {

typedef std::vector<double> V;

// Argument block of the test residuals: a residual function, its output and every point tried.
struct Model {
    std::function<void(const double* x, double* r)> fn;
    std::vector<double> r = std::vector<double>(8);
    std::vector<double> xs = {}; // first parameter of every evaluation
};

double* residuals(double* x, void* data) {
    Model* m = static_cast<Model*>(data);
    m->xs.push_back(x[0]);
    m->fn(x, m->r.data());
    return m->r.data();
}

// Inverts `a` in place with gaussj; returns the determinant.
double invert(std::vector<std::vector<double>>& a) {
    std::vector<double*> rows;
    for (auto& r : a) rows.push_back(r.data());
    return LM::gaussj(rows.data(), static_cast<int>(a.size()));
}

} // namespace

TEST(LM, ReachesKnownLeastSquaresMinima) {
    Model decay{[](const double* x, double* r) { // 5 exp(-0.7 t)
        for (int t = 0; t < 8; t++) r[t] = x[0] * std::exp(-x[1] * t) - 5.0 * std::exp(-0.7 * t);
    }};
    Model rosenbrock{[](const double* x, double* r) {
        r[0] = 10.0 * (x[1] - x[0] * x[0]);
        r[1] = 1.0 - x[0];
    }};
    double nearDecay[2] = {4, 0.5}, nearRosenbrock[2] = {-1.2, 1};
    LM a(residuals, &decay, 2, 8, nearDecay), b(residuals, &rosenbrock, 2, 2, nearRosenbrock);
    for (int i = 0; i < 2; i++) {
        EXPECT_NEAR(a.parms[i], i == 0 ? 5.0 : 0.7, 1e-6);
        EXPECT_NEAR(b.parms[i], 1.0, 1e-6);
    }
    // the bounded form applies no bound and prints one line per iteration
    Model m{[](const double* x, double* r) { r[0] = x[0] - 5, r[1] = x[1] + 1; }};
    double start[2] = {0, 0}, lo[2] = {-1, -2}, hi[2] = {3, 4};
    testing::internal::CaptureStdout();
    LM lm(residuals, &m, 2, 2, start, lo, hi);
    // the error shrinks by lambda/(1 + lambda) per step: 1e-3, 1e-4, then 1e-5 falls below 1e-12 relative
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "  LM niyrt = 0 done = 0\n  LM niyrt = 1 done = 0\n  LM niyrt = 2 done = 1\n");
    EXPECT_NEAR(lm.parms[0], 5.0, 1e-7); // above its upper bound
}

TEST(LM, DampingAndDoneRules) {
    // r = atan(x) from x = 2: J = 0.2; the Gauss-Newton step overshoots, so lambda grows tenfold
    // within the call (0.001, 0.01 taken back) until 0.1 helps, and is then divided by ten
    Model m{[](const double* x, double* r) { r[0] = std::atan(x[0]); }};
    double start[1] = {2.0};
    LM lm(residuals, &m, 1, 1, start);
    lm.parms[0] = 2.0;
    lm.lambda = 0.001;
    m.xs.clear();
    EXPECT_FALSE(lm.bLMiter());
    auto step = [](double lambda) { return 2.0 - 0.2 * std::atan(2.0) / (0.04 + lambda); };
    // start, +d, -d, back, then the trials, each but the last followed by its undo
    V tried = {2, 2 + 1e-6, 2 - 1e-6, 2, step(0.001), 2, step(0.01), 2, step(0.1)};
    ASSERT_EQ(m.xs.size(), tried.size());
    for (size_t i = 0; i < tried.size(); i++) EXPECT_NEAR(m.xs[i], tried[i], 1e-8) << i;
    EXPECT_NEAR(lm.lambda, 0.01, 1e-15);

    // r = 1 + up*x above 0, 1 - 3x below: every step goes up the x axis
    struct Case {
        double up, lambda, x;                  // lambda and x after the call
    } cases[] = {{1.0, 1e9, 0.0},              // always worse: lambda grows to 1e9, done
                 {1e-13, 0.001, 0.0},          // a rise below 1e-12 relative: taken back, done
                 {-1e-13, 1e-4, 1.5 / 2.251}}; // a fall below 1e-12 relative: kept, done
    for (const Case& c : cases) {
        m.fn = [&c](const double* x, double* r) { r[0] = x[0] > 0 ? 1.0 + c.up * x[0] : 1.0 - 3.0 * x[0]; };
        lm.parms[0] = 0.0;
        lm.lambda = 0.001;
        EXPECT_TRUE(lm.bLMiter()) << c.up;
        EXPECT_TRUE(testutil::near(lm.lambda, c.lambda, 1e-9)) << c.up;
        EXPECT_NEAR(lm.parms[0], c.x, 1e-6) << c.up;
    }
}

TEST(LM, InvalidPoints) {
    Model m{[](const double*, double* r) { r[0] = r[1] = r[2] = 9e99; }};
    double start[2] = {0.25, -4.0};
    testing::internal::CaptureStderr();
    LM lm(residuals, &m, 2, 3, start);
    std::string faulty;
    for (int i = 0; i < 100; i++) faulty += "  bLMiter finds faulty initial dNudge()";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), faulty);
    EXPECT_EQ(lm.parms, V({0.25, -4.0}));

    // an invalid point in the Jacobian (put back) or at the step (taken back, lambda x 10)
    m.fn = [](const double* x, double* r) { r[0] = x[0] - 3; };
    LM one(residuals, &m, 1, 1, start);
    std::vector<std::pair<std::function<bool(double x)>, const char*>> cases = {
        {[](double x) { return x > 0.5; }, // at 0.5 + d
         "Bad dBuildJacobian() exit 2  bLMiter finds bBuildJacobian()=false"},
        {[](double x) { return x < 0.5 - 5e-7; }, // at 0.5 - d
         "Bad dBuildJacobian() exit 3  bLMiter finds bBuildJacobian()=false"},
        {[](double x) { return x > 1.0; }, "  LMinner failed SOS step"}}; // the step aims at 3
    for (const auto& c : cases) {
        m.fn = [&c](const double* x, double* r) { r[0] = c.first(x[0]) ? 9e99 : x[0] - 3; };
        one.parms[0] = 0.5;
        one.lambda = 0.001;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(one.bLMiter());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.second);
        EXPECT_NEAR(one.parms[0], 0.5, 1e-15);
    }
    EXPECT_NEAR(one.lambda, 0.01, 1e-15); // the failed step damps harder
}

TEST(LM, GaussJordanInverseAndDeterminant) {
    std::vector<std::vector<double>> a = {{2, 1, 1}, {1, 3, 2}, {1, 0, 0}}; // by hand: det -1, adj/det
    EXPECT_DOUBLE_EQ(invert(a), -1.0);
    std::vector<std::vector<double>> inv = {{0, 0, 1}, {-2, 1, 3}, {3, -1, -5}};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_NEAR(a[i][j], inv[i][j], 1e-14) << i << "," << j;
    std::vector<std::vector<double>> p = {{0, 0, 4}, {0, 5, 0}, {3, 0, 0}}; // odd permutation of diag
    EXPECT_DOUBLE_EQ(invert(p), -60.0);
    EXPECT_EQ(p, (std::vector<std::vector<double>>{{0, 0, 1.0 / 3}, {0, 0.2, 0}, {0.25, 0, 0}}));
    std::vector<std::vector<double>> s = {{1, 2, 3}, {2, 4, 6}, {1, 1, 1}};
    EXPECT_EQ(invert(s), 0.0);
}

TEST(LM, VvLimitWrapsAnglesAndKeepsOthersInside) {
    double lo[5] = {-180, 0, -180, -90, -180}, hi[5] = {180, 10, 180, 90, 180}, dl[5] = {0.5, 0.5, 0.5, 1, 0};
    double v[5] = {-185, -1, 190, 95, INFINITY}, w[5] = {-600, 9.8, 900, -95, -INFINITY};
    double u[5] = {180, 9.5, -180, 0, 179};
    // the result is v itself; an infinite angle is left alone, not wrapped forever
    EXPECT_EQ(V(LM::vvLimit(v, lo, hi, dl, 5), v + 5), V({175, 0.5, -170, 89, INFINITY}));
    EXPECT_EQ(V(LM::vvLimit(w, lo, hi, dl, 5), w + 5), V({120, 9.5, 180, -89, -INFINITY}));
    EXPECT_EQ(V(LM::vvLimit(u, lo, hi, dl, 5), u + 5), V({180, 9.5, -180, 0, 179}));
}
