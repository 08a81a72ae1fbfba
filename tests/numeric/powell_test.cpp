// Tests of Powell's direction-set minimiser: minima of test functions on 1-based vectors, the
// progress lines, the NaN start and the iteration-limit messages.
#include "numeric/powell.h"

#include <algorithm>

#include "common/TestUtil.h"

namespace {

// Bowl with a cross term, minimum 7 at (1, -2, 0.5); p is 1-based, data counts the calls.
double bowl3(double* p, void* data) {
    ++*static_cast<int*>(data);
    double x = p[1] - 1, y = p[2] + 2, z = p[3] - 0.5;
    return 3 * x * x + 2 * y * y + z * z + x * y + 7;
}

double rosenbrock(double* p, void* data) {
    ++*static_cast<int*>(data);
    double a = p[2] - p[1] * p[1], b = 1 - p[1];
    return 100 * a * a + b * b;
}

double nanCost(double*, void* data) {
    ++*static_cast<int*>(data);
    return NAN;
}

struct Result {
    int iter = 0, calls = 0;
    double fret = 0;
    std::string out, err;
};

// Runs Powell from p[1..n] along the unit directions, capturing both streams.
Result minimise(double* p, int n, double ftol, costFunction f) {
    std::vector<std::vector<double>> m(n + 1, std::vector<double>(n + 1, 0.0));
    std::vector<double*> xi;
    for (int i = 0; i <= n; i++) {
        m[i][i] = 1;
        xi.push_back(m[i].data());
    }
    Result r;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    powell().run_powell(p, xi.data(), n, ftol, &r.iter, &r.fret, f, &r.calls);
    r.err = testing::internal::GetCapturedStderr();
    r.out = testing::internal::GetCapturedStdout();
    return r;
}

} // namespace

TEST(Powell, BowlAndRosenbrockFromANearbyStart) {
    double p[4] = {-99, 3.0, 1.0, -2.0}; // element 0 is not a parameter
    Result r = minimise(p, 3, 1e-10, bowl3);
    EXPECT_EQ(p[0], -99);
    EXPECT_NEAR(p[1], 1.0, 1e-4);
    EXPECT_NEAR(p[2], -2.0, 1e-4);
    EXPECT_NEAR(p[3], 0.5, 1e-4);
    EXPECT_NEAR(r.fret, 7.0, 1e-8);
    EXPECT_LT(r.iter, powell::ITMAX);
    EXPECT_EQ(r.err, "");
    // f(3, 1, -2) = 12 + 18 + 6.25 + 6 + 7; each iteration prints n + 2 lines
    std::string head = "   Powell minimization iter #1...\t E: 49.25......\n"
                       "Powell minimization iter #1 .....\tdirection 1.  E: ";
    EXPECT_EQ(r.out.substr(0, head.size()), head);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), r.iter * 5);

    double q[3] = {0, 0.7, 0.45};
    r = minimise(q, 2, 1e-12, rosenbrock);
    EXPECT_NEAR(q[1], 1.0, 1e-3);
    EXPECT_NEAR(q[2], 1.0, 2e-3);
    EXPECT_LT(r.fret, 1e-6);
}

TEST(Powell, NanStartAndIterationLimits) {
    double p[3] = {0, 1.5, 2.5};
    Result r = minimise(p, 2, 1e-6, nanCost);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(r.iter, 1);
    EXPECT_TRUE(std::isnan(r.fret));
    EXPECT_EQ(r.calls, 1);
    EXPECT_EQ(p[1], 1.5);

    // Rosenbrock from far away with ftol 0: ten iterations are not enough
    double q[3] = {0, -1.2, 1.0};
    r = minimise(q, 2, 0.0, rosenbrock);
    EXPECT_EQ(r.err, "powell exceeding maximum iterations.");
    EXPECT_EQ(r.iter, powell::ITMAX);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 10 * 4);
    EXPECT_DOUBLE_EQ(r.fret, rosenbrock(q, &r.calls)); // the point reached stands
    EXPECT_LT(r.fret, 24.2);                           // below the start cost

    // Brent's method on a cusp in a huge interval with tol 0
    double xmin = 0;
    testing::internal::CaptureStderr();
    auto cusp = [](double x) { return std::sqrt(std::fabs(x - 3.14159)); };
    powell().brent(-1e100, 1.0, 3e100, cusp, 0.0, &xmin);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Too many iterations in brent");
}
