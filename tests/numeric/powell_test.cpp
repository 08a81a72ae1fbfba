// Tests of Powell's direction-set minimiser: minima of test functions on 1-based vectors, the
// progress lines, the NaN start, the iteration-limit message, bracketing and Brent's method.
#include "numeric/powell.h"

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Counter {
    int calls = 0;
    bool sawNonZeroElement0 = false;
};

// Bowl with a cross term, minimum at (1, -2, 0.5); p is 1-based.
double bowl3(double* p, void* data) {
    Counter* c = static_cast<Counter*>(data);
    c->calls++;
    double x = p[1] - 1, y = p[2] + 2, z = p[3] - 0.5;
    return 3 * x * x + 2 * y * y + z * z + x * y + 7;
}

double rosenbrock(double* p, void* data) {
    static_cast<Counter*>(data)->calls++;
    double a = p[2] - p[1] * p[1], b = 1 - p[1];
    return 100 * a * a + b * b;
}

double nanCost(double*, void* data) {
    static_cast<Counter*>(data)->calls++;
    return NAN;
}

// Unit directions in a 1-based n x n matrix.
struct Directions {
    std::vector<std::vector<double>> m;
    std::vector<double*> rows;
    explicit Directions(int n) : m(n + 1, std::vector<double>(n + 1, 0.0)), rows(n + 1) {
        for (int i = 0; i <= n; i++) rows[i] = m[i].data();
        for (int i = 1; i <= n; i++) m[i][i] = 1.0;
    }
    double** xi() { return rows.data(); }
};

std::string fmt(double v) {
    std::ostringstream os;
    os << v;
    return os.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

} // namespace

TEST(Powell, QuadraticBowlAndProgressLines) {
    powell pw;
    Counter c;
    double p[4] = {-99, 3.0, 1.0, -2.0}; // element 0 is not a parameter
    Directions d(3);
    int iter = 0;
    double fret = 0;
    double start = bowl3(p, &c);
    testing::internal::CaptureStdout();
    pw.run_powell(p, d.xi(), 3, 1e-10, &iter, &fret, bowl3, &c);
    std::string out = testing::internal::GetCapturedStdout();

    EXPECT_NEAR(p[1], 1.0, 1e-4);
    EXPECT_NEAR(p[2], -2.0, 1e-4);
    EXPECT_NEAR(p[3], 0.5, 1e-4);
    EXPECT_EQ(p[0], -99);
    EXPECT_NEAR(fret, 7.0, 1e-8);
    EXPECT_DOUBLE_EQ(fret, bowl3(p, &c));
    EXPECT_GE(iter, 1);
    EXPECT_LT(iter, powell::ITMAX);

    // the lines of the first iteration and the iteration count in the last line
    std::vector<std::string> l = lines(out);
    ASSERT_GE(l.size(), 5u);
    EXPECT_EQ(l[0], "   Powell minimization iter #1...\t E: " + fmt(start) + "......");
    for (int i = 1; i <= 3; i++) {
        std::string head = "Powell minimization iter #1 .....\tdirection " + std::to_string(i) + ".  E: ";
        EXPECT_EQ(l[i].substr(0, head.size()), head);
        EXPECT_EQ(l[i].substr(l[i].size() - 6), "......");
    }
    EXPECT_EQ(l[4].substr(0, 38), "   Powell minimization iter #1...\t E: ");
    std::string lastHead = "   Powell minimization iter #" + std::to_string(iter) + "...\t E: " + fmt(fret) + "\t";
    EXPECT_EQ(l.back().substr(0, lastHead.size()), lastHead);
    EXPECT_EQ(out.back(), '\n');
    // each iteration prints n + 2 lines
    EXPECT_EQ(l.size(), static_cast<size_t>(iter * 5));
}

TEST(Powell, RosenbrockFromANearbyStart) {
    powell pw;
    Counter c;
    double p[3] = {0, 0.7, 0.45};
    Directions d(2);
    int iter = 0;
    double fret = 0;
    testing::internal::CaptureStdout();
    pw.run_powell(p, d.xi(), 2, 1e-12, &iter, &fret, rosenbrock, &c);
    testing::internal::GetCapturedStdout();
    EXPECT_NEAR(p[1], 1.0, 1e-3);
    EXPECT_NEAR(p[2], 1.0, 2e-3);
    EXPECT_LT(fret, 1e-6);
}

TEST(Powell, NanStartReturnsAtOnce) {
    powell pw;
    Counter c;
    double p[3] = {0, 1.5, 2.5};
    Directions d(2);
    int iter = 0;
    double fret = 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    pw.run_powell(p, d.xi(), 2, 1e-6, &iter, &fret, nanCost, &c);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(iter, 1);
    EXPECT_TRUE(std::isnan(fret));
    EXPECT_EQ(c.calls, 1);
    EXPECT_EQ(p[1], 1.5);
    EXPECT_EQ(p[2], 2.5);
}

TEST(Powell, IterationLimitMessage) {
    // Rosenbrock from far away with ftol 0: ten iterations are not enough
    powell pw;
    Counter c;
    double p[3] = {0, -1.2, 1.0};
    Directions d(2);
    int iter = 0;
    double fret = 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    pw.run_powell(p, d.xi(), 2, 0.0, &iter, &fret, rosenbrock, &c);
    std::string err = testing::internal::GetCapturedStderr();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(err, "powell exceeding maximum iterations.");
    EXPECT_EQ(iter, powell::ITMAX);
    EXPECT_DOUBLE_EQ(fret, rosenbrock(p, &c)); // the tenth iteration's point and its cost
    EXPECT_LT(fret, 24.2);                      // below the start cost
    std::vector<std::string> l = lines(out);
    EXPECT_EQ(l.size(), 10u * 4u);
    EXPECT_EQ(l.back().substr(0, 32), "   Powell minimization iter #10.");
}

TEST(Powell, LineMinimisation) {
    powell pw;
    Counter c;
    double p[4] = {0, 0, 0, 0};
    double dir[4] = {0, 1, 0, 0}; // along the first axis from the origin
    double fret = 0;
    pw.linmin(p, dir, 3, &fret, bowl3, &c);
    // f(x, 0, 0) = 3(x-1)^2 + 2(x-1) + 8 + 0.25 + 7: minimum at x - 1 = -1/3
    EXPECT_NEAR(p[1], 2.0 / 3.0, 1e-4);
    EXPECT_EQ(p[2], 0);
    EXPECT_EQ(p[3], 0);
    EXPECT_NEAR(dir[1], 2.0 / 3.0, 1e-4); // the direction becomes the displacement
    double q[4] = {0, 2.0 / 3.0, 0, 0};
    EXPECT_NEAR(fret, bowl3(q, &c), 1e-8);
    EXPECT_TRUE(pw.pcom.empty()); // the line's storage lives for the call only
    EXPECT_TRUE(pw.xicom.empty());
    EXPECT_EQ(pw.ncom, 3);

    // f1dim evaluates along the stored line with element 0 of the probe set to 0
    pw.ncom = 2;
    pw.pcom = {5, 1, 2};
    pw.xicom = {5, 1, -1};
    pw.aData = &c;
    pw.nrfunc = [](double* x, void* data) {
        static_cast<Counter*>(data)->sawNonZeroElement0 |= (x[0] != 0);
        return x[1] * 10 + x[2];
    };
    EXPECT_DOUBLE_EQ(pw.f1dim(0.5), 1.5 * 10 + 1.5);
    EXPECT_FALSE(c.sawNonZeroElement0);
}

TEST(Powell, BracketAndBrent) {
    powell pw;
    auto f = [](double x) { return (x - 2) * (x - 2) + 1; };
    double ax = 0, bx = 1, cx = 0, fa = 0, fb = 0, fc = 0;
    pw.mnbrak(&ax, &bx, &cx, &fa, &fb, &fc, f);
    EXPECT_LE(fb, fa);
    EXPECT_LE(fb, fc);
    EXPECT_GT((bx - ax) * (cx - bx), 0.0); // bx between ax and cx
    EXPECT_EQ(fa, f(ax));
    EXPECT_EQ(fb, f(bx));
    EXPECT_EQ(fc, f(cx));
    double xmin = 0;
    double fmin = pw.brent(ax, bx, cx, f, 1e-8, &xmin);
    EXPECT_NEAR(xmin, 2.0, 1e-6);
    EXPECT_NEAR(fmin, 1.0, 1e-12);

    // uphill start: the first two points are swapped so the search runs downhill
    auto g = [](double x) { return std::cosh(x + 3); };
    ax = 0;
    bx = 1;
    pw.mnbrak(&ax, &bx, &cx, &fa, &fb, &fc, g);
    EXPECT_LE(fb, fa);
    EXPECT_LE(fb, fc);
    EXPECT_GT((bx - ax) * (cx - bx), 0.0);
    EXPECT_LT(std::min(ax, cx), -3.0);
    EXPECT_GT(std::max(ax, cx), -3.0);
    fmin = pw.brent(ax, bx, cx, g, 2e-4, &xmin);
    EXPECT_NEAR(xmin, -3.0, 1e-3);
    EXPECT_NEAR(fmin, 1.0, 1e-6);
}

TEST(Powell, BrentIterationLimit) {
    // a cusp at pi in a huge interval with tol 0: Brent cannot narrow it within 100 iterations
    powell pw;
    auto f = [](double x) { return std::sqrt(std::fabs(x - 3.14159)); };
    double xmin = 0;
    testing::internal::CaptureStderr();
    double fmin = pw.brent(-1e100, 1.0, 3e100, f, 0.0, &xmin);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Too many iterations in brent");
    EXPECT_DOUBLE_EQ(fmin, f(xmin));
    EXPECT_LE(fmin, f(1.0));
}

TEST(Powell, SingleInstance) {
    powell* a = powell::getInstance();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, powell::getInstance());
    EXPECT_FALSE(a->disp);
    delete a; // destroying the instance clears it; the next call creates a new one
    powell* b = powell::getInstance();
    ASSERT_NE(b, nullptr);
    Counter c;
    double p[2] = {0, 5};
    Directions d(1);
    int iter = 0;
    double fret = 0;
    testing::internal::CaptureStdout();
    b->run_powell(p, d.xi(), 1, 1e-8, &iter, &fret, [](double* x, void*) { return (x[1] - 1) * (x[1] - 1); }, &c);
    testing::internal::GetCapturedStdout();
    EXPECT_NEAR(p[1], 1.0, 1e-4);
}
