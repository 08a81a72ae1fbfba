// Tests of the simulated-annealing minimiser: minima of test functions, stop reasons and their
// lines, step bounds (clamp and angle wrap), cooling laws, acceptance, starting temperature,
// descent loop, report text and the refusals.
#include "numeric/Anneal_opt.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Argument block of the test costs: records every point and cost evaluated.
struct Probe {
    std::function<double(const double*)> cost;
    int dims = 0;
    double value = 0; // the callback returns the address of this field
    std::vector<std::vector<double>> points;
    std::vector<double> costs;
};

double* probeCost(double* x, void* args) {
    Probe* p = static_cast<Probe*>(args);
    p->value = p->cost(x);
    p->points.emplace_back(x, x + p->dims);
    p->costs.push_back(p->value);
    return &p->value;
}

// Bowl with its minimum at `centre`.
std::function<double(const double*)> bowl(std::vector<double> centre) {
    return [centre](const double* x) {
        double s = 0;
        for (size_t i = 0; i < centre.size(); i++) s += (x[i] - centre[i]) * (x[i] - centre[i]);
        return s;
    };
}

// Runs fn with the seed fixed and restores the seam afterwards.
struct SeedGuard {
    explicit SeedGuard(long seed) { Anneal_opt::fixedSeed = seed; }
    ~SeedGuard() { Anneal_opt::fixedSeed = -1; }
};

// The three phases the fits use: "fast" T0 1e-6, "cauchy" T0 0.5 and 0.1, Tf 1e-12, dwell 20.
std::vector<double> threePhases(Probe& probe, std::vector<double> x, const std::vector<double>& lo,
                                const std::vector<double>& hi, int steps1, int steps2, int steps3) {
    struct Phase {
        const char* schedule;
        double T0, learn_rate;
        int steps;
    } phases[3] = {{"fast", 1e-6, 1.0, steps1}, {"cauchy", 0.5, 0.5, steps2}, {"cauchy", 0.1, 0.2, steps3}};
    for (const Phase& ph : phases) {
        Anneal_opt sa;
        sa.minimize_anneal2(x.data(), static_cast<int>(x.size()), probeCost, &probe, ph.schedule, ph.T0, 1e-12, 0,
                            0, ph.steps, 1.0, ph.learn_rate, 1e-7, 1, 1, 1, lo.data(), hi.data(), 20, false, 0,
                            0);
        x = sa.getBestX_copy();
    }
    return x;
}

} // namespace

TEST(AnnealOpt, BoundedBowlReachesItsMinimum) {
    SeedGuard seed(20240611);
    Probe probe;
    probe.dims = 3;
    probe.cost = bowl({1.5, -2.0, 30.0});
    std::vector<double> lo = {-10, -10, -180}, hi = {10, 10, 180};
    std::vector<double> x = threePhases(probe, {8.0, 7.0, -150.0}, lo, hi, 100, 1000, 1000);
    ASSERT_EQ(x.size(), 3u);
    EXPECT_NEAR(x[0], 1.5, 5e-3);
    EXPECT_NEAR(x[1], -2.0, 5e-3);
    EXPECT_NEAR(x[2], 30.0, 5e-3);

    // every point ever tried respected the clamped bounds (the angle only wraps once, so a
    // long Cauchy step may leave it outside +-180)
    for (const auto& p : probe.points)
        for (int i = 0; i < 2; i++) {
            EXPECT_GE(p[i], lo[i]);
            EXPECT_LE(p[i], hi[i]);
        }
}

TEST(AnnealOpt, MinimumOnTheBoundWhenTheBowlLiesOutside) {
    SeedGuard seed(7);
    Probe probe;
    probe.dims = 2;
    probe.cost = bowl({5.0, -3.0});
    std::vector<double> lo = {0, 0}, hi = {2, 2};
    std::vector<double> x = threePhases(probe, {1.0, 1.0}, lo, hi, 50, 300, 300);
    EXPECT_NEAR(x[0], 2.0, 1e-3);
    EXPECT_NEAR(x[1], 0.0, 1e-3);
}

TEST(AnnealOpt, UnboundedRunOnABowlAndRepeatableWithTheSeed) {
    auto once = [](std::vector<double>& best, double& cost) {
        SeedGuard seed(99);
        Probe probe;
        probe.dims = 2;
        probe.cost = bowl({0.3, -0.4});
        Anneal_opt sa;
        double x0[2] = {2.0, 2.0};
        sa.minimize_anneal(x0, 2, probeCost, &probe, "cauchy", 1.0, 1e-12, 0, 0, 3000, 1.0, 0.1, 1e-7, 1, 1, 1,
                           -5.0, 5.0, 20, false, 0, 0);
        best = sa.getBestX_copy();
        cost = sa.best_state->cost;
        EXPECT_TRUE(sa.x0.empty()); // the start-point copy is released
    };
    std::vector<double> a, b;
    double ca = 0, cb = 0;
    once(a, ca);
    once(b, cb);
    ASSERT_EQ(a.size(), 2u);
    EXPECT_NEAR(a[0], 0.3, 5e-3);
    EXPECT_NEAR(a[1], -0.4, 5e-3);
    EXPECT_EQ(a, b);
    EXPECT_EQ(ca, cb);
}

TEST(AnnealOpt, BestStateIsTheLowestCostEverEvaluated) {
    SeedGuard seed(3);
    Probe probe;
    probe.dims = 2;
    // a rugged cost, so that many uphill moves are accepted
    probe.cost = [](const double* x) { return 2.0 + std::sin(5 * x[0]) * std::cos(3 * x[1]) + 0.01 * x[0] * x[0]; };
    std::vector<double> lo = {-5, -5}, hi = {5, 5};
    Anneal_opt sa;
    double x0[2] = {1, 1};
    sa.minimize_anneal2(x0, 2, probeCost, &probe, "cauchy", 2.0, 0, 0, 0, 50, 1.0, 0.3, 0, 1, 1, 1, lo.data(),
                        hi.data(), 10, false, 0, 0);
    double lowest = probe.costs[0];
    size_t at = 0;
    for (size_t i = 0; i < probe.costs.size(); i++)
        if (probe.costs[i] < lowest) {
            lowest = probe.costs[i];
            at = i;
        }
    EXPECT_EQ(sa.best_state->cost, lowest);
    EXPECT_EQ(sa.getBestX_copy(), probe.points[at]);
    EXPECT_GT(sa.accepted, 0);
    EXPECT_LT(sa.accepted, sa.tests);
    EXPECT_EQ(sa.tests, 51 * 10); // dwell trials per cooling step, maxiter + 1 steps
    EXPECT_EQ(sa.feval, 1 + 51 * 10);
    EXPECT_EQ(static_cast<int>(probe.costs.size()), sa.feval);
}

TEST(AnnealOpt, MaxiterZeroEvaluatesOnlyTheStart) {
    Probe probe;
    probe.dims = 2;
    probe.cost = bowl({0, 0});
    Anneal_opt sa;
    double x0[2] = {3, 4};
    double lo[2] = {-10, -10}, hi[2] = {10, 10};
    testing::internal::CaptureStdout();
    sa.minimize_anneal2(x0, 2, probeCost, &probe, "fast", 1.0, 0, 0, 0, 0, 1, 1, 1e-7, 1, 1, 1, lo, hi, 20, true, 0,
                        0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "z4 iters: 0\tmaxiter: 0\n");
    EXPECT_EQ(sa.retval, 3);
    EXPECT_EQ(sa.finalIter, -1);
    EXPECT_EQ(sa.feval, 1);
    EXPECT_EQ(probe.costs.size(), 1u);
    EXPECT_EQ(sa.best_state->cost, 25.0);
    EXPECT_EQ(sa.getBestX_copy(), (std::vector<double>{3, 4}));
}

TEST(AnnealOpt, StopReasonsAndTheirLines) {
    SeedGuard seed(11);
    double lo[1] = {-100}, hi[1] = {100};
    double x0[1] = {1};

    // retval 3: cooling-step limit (feps 0 keeps the queue stop off, Tf 0 the temperature stop)
    {
        Probe probe;
        probe.dims = 1;
        probe.cost = bowl({0});
        Anneal_opt sa;
        testing::internal::CaptureStdout();
        sa.minimize_anneal2(x0, 1, probeCost, &probe, "linear", 1.0, 0, 0, 0, 2, 1, 1, 0, 1, 1, 1, lo, hi, 5, true,
                            0, 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "z4 iters: 3\tmaxiter: 2\n");
        EXPECT_EQ(sa.retval, 3);
        EXPECT_EQ(sa.finalIter, 2);
        EXPECT_EQ(sa.feval, 1 + 3 * 5);
    }
    // retval 1: cooled below Tf; "cauchy" T = 1/k falls below 0.3 at k = 4
    {
        Probe probe;
        probe.dims = 1;
        probe.cost = bowl({0});
        Anneal_opt sa;
        testing::internal::CaptureStdout();
        sa.minimize_anneal2(x0, 1, probeCost, &probe, "cauchy", 1.0, 0.3, 0, 0, 100, 1, 0.01, 0, 1, 1, 1, lo, hi, 5,
                            true, 0, 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "z2 Tf: 0.3 T0.25iters: 4\n");
        EXPECT_EQ(sa.retval, 1);
        EXPECT_EQ(sa.T, 0.25);
    }
    // retval 2: evaluations 1 + 5 per step exceed 12 after the third step
    {
        Probe probe;
        probe.dims = 1;
        probe.cost = bowl({0});
        Anneal_opt sa;
        testing::internal::CaptureStdout();
        sa.minimize_anneal2(x0, 1, probeCost, &probe, "linear", 1.0, 0, 12, 0, 100, 1, 1, 0, 1, 1, 1, lo, hi, 5, true,
                            0, 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "z3 iters: 3\n");
        EXPECT_EQ(sa.retval, 2);
        EXPECT_EQ(sa.feval, 16);
        EXPECT_EQ(sa.maxfev, 12);
    }
    // retval 4: a flat cost accepts every trial (dE = 0); 10 accepted > 7 after the second step
    {
        Probe probe;
        probe.dims = 1;
        probe.cost = [](const double*) { return 4.0; };
        Anneal_opt sa;
        testing::internal::CaptureStdout();
        sa.minimize_anneal2(x0, 1, probeCost, &probe, "linear", 1.0, 0, 0, 7, 100, 1, 1, 0, 1, 1, 1, lo, hi, 5, true,
                            0, 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "z5 iters: 2\n");
        EXPECT_EQ(sa.retval, 4);
        EXPECT_EQ(sa.accepted, 10);
        EXPECT_EQ(sa.tests, 10);
    }
    // retval 0: a flat cost; the queue's start values hold the stop off for nine steps
    {
        Probe probe;
        probe.dims = 1;
        probe.cost = [](const double*) { return 0.001; };
        Anneal_opt sa;
        testing::internal::CaptureStdout();
        sa.minimize_anneal2(x0, 1, probeCost, &probe, "linear", 1.0, 0, 0, 0, 100, 1, 1, 0.5, 1, 1, 1, lo, hi, 5,
                            true, 0, 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "z1 feps: 0.5 iters: 10\n");
        EXPECT_EQ(sa.retval, 0);
        EXPECT_EQ(sa.finalIter, 9);
    }
    // retval 5: converged on cost 1 while the start point (cost 0.5) stays the best; this stop
    // wins although the cooling-step limit is reached at the same time
    {
        Probe probe;
        probe.dims = 1;
        probe.cost = [&probe](const double*) { return probe.costs.empty() ? 0.5 : 1.0; };
        Anneal_opt sa;
        testing::internal::CaptureStdout();
        sa.minimize_anneal2(x0, 1, probeCost, &probe, "linear", 1.0, 0, 0, 0, 9, 1e12, 1, 1e-3, 1, 1, 1, lo, hi, 3,
                            true, 0, 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "z1 feps: 0.001 iters: 10\nWarning: Cooled to 1.000000 but this is not the smallest point found.\n");
        EXPECT_EQ(sa.retval, 5);
        EXPECT_EQ(sa.best_state->cost, 0.5);
        EXPECT_EQ(sa.getBestX_copy(), std::vector<double>{1});
    }
    // without disp nothing is printed
    {
        Probe probe;
        probe.dims = 1;
        probe.cost = bowl({0});
        Anneal_opt sa;
        testing::internal::CaptureStdout();
        sa.minimize_anneal2(x0, 1, probeCost, &probe, "linear", 1.0, 0, 0, 0, 2, 1, 1, 0, 1, 1, 1, lo, hi, 5, false,
                            0, 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(sa.retval, 3);
    }
}

TEST(AnnealOpt, QueueStopNeedsTenCostsWithinFeps) {
    // costs creep down by a relative 1e-4 per step: stop when feps = 1e-2, never when feps = 1e-5
    for (double feps : {1e-2, 1e-5}) {
        Probe probe;
        probe.dims = 1;
        probe.cost = [&probe](const double*) { return 1.0 - 1e-4 * static_cast<double>(probe.costs.size()); };
        Anneal_opt sa;
        double x0[1] = {0}, lo[1] = {-1}, hi[1] = {1};
        sa.minimize_anneal2(x0, 1, probeCost, &probe, "linear", 1.0, 0, 0, 0, 40, 1, 1, feps, 1, 1, 1, lo, hi, 1,
                            false, 0, 0);
        if (feps > 1e-3) {
            EXPECT_EQ(sa.retval, 0);
            EXPECT_EQ(sa.finalIter, 9);
        } else {
            EXPECT_EQ(sa.retval, 3);
        }
    }
}

TEST(AnnealOpt, AngleBoundsWrapOtherBoundsClamp) {
    Anneal_opt sa;
    double lo[4] = {-180, 0, -180, -180}, hi[4] = {180, 10, 179, 180};
    sa.init2(4, probeCost, nullptr, 1, 1, 0.0, lo, hi, 1, 1, 1, 1);
    sa.schedule = "linear"; // learn_rate 0: the step leaves the point as it is
    sa.T = 1;

    double a[4] = {190, 12, 190, 400};
    sa.update_guess2(a);
    EXPECT_EQ(sa.xnew, (std::vector<double>{-170, 10, 179, 40}));
    double b[4] = {-185, -3, -185, -600};
    sa.update_guess2(b);
    EXPECT_EQ(sa.xnew, (std::vector<double>{175, 0, -180, -240})); // the wrap is made once only
    double c[4] = {180, 10, -180, -180};
    sa.update_guess2(c);
    EXPECT_EQ(sa.xnew, (std::vector<double>{180, 10, -180, -180}));

    // the unbounded run's step clamps even an angle
    sa.update_guess(a);
    EXPECT_EQ(sa.xnew, (std::vector<double>{180, 10, 179, 180}));

    // without bounds nothing is touched
    sa.lowers = nullptr;
    sa.update_guess(a);
    EXPECT_EQ(sa.xnew, (std::vector<double>{190, 12, 190, 400}));
}

TEST(AnnealOpt, StepRules) {
    SeedGuard seed(5);
    Anneal_opt sa;
    double lo[2] = {-1, 10}, hi[2] = {1, 30};
    sa.init2(2, probeCost, nullptr, 1, 1, 0.5, lo, hi, 1, 1, 1, 1);
    sa.lower = 0;
    sa.upper = 4;
    sa.T = 0.25;
    double x[2] = {0, 20};
    const double big = 1e9;
    double wide_lo[2] = {-big, -big}, wide_hi[2] = {big, big};

    // the draws of one step, reproduced with the same seed
    auto draws = [](int count) {
        std::srand(5);
        std::vector<double> u;
        for (int i = 0; i < count; i++) u.push_back(std::rand() / 2147483647.0);
        return u;
    };

    // "linear": x + (2u - 1)*learn_rate*T, inside the bounds
    sa.schedule = "linear";
    std::srand(5);
    sa.update_guess2(x);
    std::vector<double> u = draws(2);
    EXPECT_DOUBLE_EQ(sa.xnew[0], (2 * u[0] - 1) * 0.5 * 0.25);
    EXPECT_DOUBLE_EQ(sa.xnew[1], 20 + (2 * u[1] - 1) * 0.5 * 0.25);

    // "boltzmann": only upwards, sigma = min(sqrt(T), R/3/learn_rate) with the scalar range R = 4
    sa.schedule = "boltzmann";
    sa.lowers = wide_lo;
    sa.uppers = wide_hi;
    std::srand(5);
    sa.update_guess2(x);
    EXPECT_DOUBLE_EQ(sa.xnew[0], u[0] * 0.5 * 0.5);
    EXPECT_DOUBLE_EQ(sa.xnew[1], 20 + u[1] * 0.5 * 0.5);
    sa.T = 100; // sqrt(T) = 10 > 4/3/0.5
    std::srand(5);
    sa.update_guess(x);
    EXPECT_DOUBLE_EQ(sa.xnew[0], u[0] * (4.0 / 3.0 / 0.5) * 0.5);
    sa.T = 0.25;

    // "cauchy": learn_rate*T*tan(pi*u - pi/2), times the bound range in the bounded run
    sa.schedule = "cauchy";
    sa.lowers = lo;
    sa.uppers = hi;
    const double pi = std::acos(-1.0);
    std::srand(5);
    sa.update_guess(x); // clamps into the bounds of the bounded run's arrays
    double c0 = 0.5 * 0.25 * std::tan(pi * u[0] - pi / 2);
    EXPECT_DOUBLE_EQ(sa.xnew[0], std::min(1.0, std::max(-1.0, c0)));
    sa.lowers = wide_lo;
    sa.uppers = wide_hi;
    std::srand(5);
    sa.update_guess2(x);
    double c1 = 20 + 0.5 * 0.25 * std::tan(pi * u[1] - pi / 2) * 2 * big;
    EXPECT_NEAR(sa.xnew[1], std::min(big, std::max(-big, c1)), 1e-6 * big);

    // "fast": y = sign(u - 0.5)*T*((1 + 1/T)^|2u - 1| - 1), times the range
    sa.schedule = "fast";
    sa.lowers = lo;
    sa.uppers = hi;
    std::srand(5);
    sa.update_guess2(x);
    for (int i = 0; i < 2; i++) {
        double s = u[i] > 0.5 ? 1 : (u[i] < 0.5 ? -1 : 0);
        double y = s * 0.25 * (std::pow(5.0, std::fabs(2 * u[i] - 1)) - 1);
        double expect = x[i] + y * (hi[i] - lo[i]);
        expect = std::min(hi[i], std::max(lo[i], expect));
        EXPECT_DOUBLE_EQ(sa.xnew[i], expect);
    }

    // an unknown schedule computes no step: xnew keeps its content
    std::vector<double> before = sa.xnew;
    sa.schedule = "Fast";
    sa.update_guess2(x);
    EXPECT_EQ(sa.xnew, before);
}

TEST(AnnealOpt, CoolingLaws) {
    auto twoSteps = [](const std::string& schedule, double quench, double m, double n) {
        Anneal_opt sa;
        sa.schedule = schedule;
        sa.maxiter = 4;
        sa.init(1, probeCost, nullptr, 1, 2.0, 1, 0, 1, m, n, quench, 1);
        sa.T = sa.T0;
        std::vector<double> t;
        for (int i = 0; i < 3; i++) {
            sa.update_temp();
            t.push_back(sa.T);
        }
        return t;
    };
    std::vector<double> t;
    // "fast": T0*exp(-c*k^quench), k from 0; zero m and n become 1, c = exp(-quench)
    t = twoSteps("fast", 2.0, 0, 0);
    EXPECT_EQ(t[0], 2.0);
    EXPECT_DOUBLE_EQ(t[1], 2.0 * std::exp(-std::exp(-2.0)));
    EXPECT_DOUBLE_EQ(t[2], 2.0 * std::exp(-std::exp(-2.0) * 4.0));
    t = twoSteps("fast", 1.0, 3.0, 0.5);
    EXPECT_DOUBLE_EQ(t[1], 2.0 * std::exp(-3.0 * std::exp(-0.5)));

    t = twoSteps("cauchy", 1, 1, 1);
    EXPECT_EQ(t[0], 2.0);
    EXPECT_EQ(t[1], 1.0);
    EXPECT_DOUBLE_EQ(t[2], 2.0 / 3.0);
    EXPECT_EQ(twoSteps("cauchynorm", 1, 1, 1), t);

    t = twoSteps("boltzmann", 1, 1, 1);
    EXPECT_DOUBLE_EQ(t[0], 2.0 / std::log(2.0));
    EXPECT_DOUBLE_EQ(t[1], 2.0 / std::log(3.0));

    t = twoSteps("linear", 1, 1, 1);
    EXPECT_DOUBLE_EQ(t[0], 2.0 * std::exp(-1 / 2.71));
    EXPECT_DOUBLE_EQ(t[1], 2.0 * std::exp(-2 / 2.71));

    t = twoSteps("cauchynorm2", 1, 1, 1); // T - T0/maxiter
    EXPECT_DOUBLE_EQ(t[0], 1.5);
    EXPECT_DOUBLE_EQ(t[1], 1.0);

    t = twoSteps("none", 1, 1, 1);
    EXPECT_EQ(t, (std::vector<double>{2.0, 2.0, 2.0}));

    // through a run: maxiter 1 makes two cooling steps, so "cauchy" ends at T0/2
    Probe probe;
    probe.dims = 1;
    probe.cost = bowl({0});
    Anneal_opt sa;
    double x0[1] = {0.5}, lo[1] = {-1}, hi[1] = {1};
    sa.minimize_anneal2(x0, 1, probeCost, &probe, "cauchy", 0.8, 0, 0, 0, 1, 1, 0.1, 0, 1, 1, 1, lo, hi, 2, false, 0,
                        0);
    EXPECT_EQ(sa.T, 0.4);
    EXPECT_EQ(sa.k, 2);
    // and "fast" keeps T0 after its first step
    sa.minimize_anneal2(x0, 1, probeCost, &probe, "fast", 0.8, 0, 0, 0, 1, 1, 0.1, 0, 1, 0, 0, lo, hi, 2, false, 0,
                        0);
    EXPECT_EQ(sa.m, 1);
    EXPECT_EQ(sa.n, 1);
    EXPECT_DOUBLE_EQ(sa.T, 0.8 * std::exp(-std::exp(-1.0)));
}

TEST(AnnealOpt, MetropolisAcceptance) {
    SeedGuard seed(1);
    Anneal_opt sa;
    sa.boltzmann = 2.0;
    sa.T = 0.5;
    std::srand(1);
    EXPECT_TRUE(sa.accept_test(-1e-300));
    EXPECT_TRUE(sa.accept_test(-5));
    EXPECT_FALSE(sa.accept_test(1e6));
    int acceptedZero = 0;
    for (int i = 0; i < 1000; i++) acceptedZero += sa.accept_test(0.0) ? 1 : 0;
    EXPECT_EQ(acceptedZero, 1000); // p = 1 beats every u below 1
    EXPECT_EQ(sa.tests, 1003);
    EXPECT_EQ(sa.accepted, 1002);

    // p = exp(-dE/boltzmann/T) = 0.25: about a quarter of the uphill trials pass
    const double dE = std::log(4.0) * 2.0 * 0.5;
    int hits = 0;
    const int N = 40000;
    for (int i = 0; i < N; i++) hits += sa.accept_test(dE) ? 1 : 0;
    EXPECT_NEAR(hits / static_cast<double>(N), 0.25, 0.01);
}

TEST(AnnealOpt, AutomaticStartingTemperature) {
    SeedGuard seed(42);
    // unbounded run: samples drawn in [lower, upper] and scaled to add up to 1
    Probe probe;
    probe.dims = 3;
    probe.cost = bowl({0.2, 0.3, 0.5});
    Anneal_opt sa;
    double x0[3] = {5, 5, 5};
    sa.minimize_anneal(x0, 3, probeCost, &probe, "linear", 0.0, 0, 0, 0, 0, 1, 1, 1e-7, 1, 1, 1, 1.0, 3.0, 5,
                       false, 0, 0);
    ASSERT_EQ(probe.costs.size(), 51u); // 50 samples and the start point
    double lo = probe.costs[0], hi = probe.costs[0];
    size_t best = 0;
    for (size_t i = 0; i < 50; i++) {
        double sum = 0;
        for (double v : probe.points[i]) {
            sum += v;
            EXPECT_GE(v, 1.0 / 9.0 - 1e-12); // each coordinate in [1, 3] before the scaling
            EXPECT_LE(v, 3.0 / 5.0 + 1e-12);
        }
        EXPECT_NEAR(sum, 1.0, 1e-12);
        if (probe.costs[i] > hi) hi = probe.costs[i];
        if (probe.costs[i] < lo) {
            lo = probe.costs[i];
            best = i;
        }
    }
    EXPECT_DOUBLE_EQ(sa.T0, 1.5 * (hi - lo));
    EXPECT_EQ(sa.T, sa.T0);
    EXPECT_EQ(probe.points[50], probe.points[best]); // the best sample is the start point
    EXPECT_EQ(sa.best_state->cost, lo);
    EXPECT_EQ(sa.feval, 51);

    // bounded run: samples stay inside each parameter's bounds
    Probe probe2;
    probe2.dims = 2;
    probe2.cost = bowl({0, 0});
    Anneal_opt sb;
    double y0[2] = {0, 0}, blo[2] = {-180, 2}, bhi[2] = {180, 3};
    sb.minimize_anneal2(y0, 2, probeCost, &probe2, "fast", 0.0, 0, 0, 0, 0, 1, 1, 1e-7, 1, 1, 1, blo, bhi, 5, false,
                        0, 0);
    ASSERT_EQ(probe2.costs.size(), 51u);
    for (const auto& p : probe2.points) {
        EXPECT_GE(p[0], -180);
        EXPECT_LE(p[0], 180);
        EXPECT_GE(p[1], 2);
        EXPECT_LE(p[1], 3);
    }
    EXPECT_GT(sb.T0, 0);
}

TEST(AnnealOpt, DescentLoop) {
    // f hands over (cost, chi2, S) in a new[] array; g takes a quarter of the gradient step
    struct Bowl {
        int calls = 0;
    } bowlArgs;
    CostFunction f = [](double* x, void* a) -> double* {
        static_cast<Bowl*>(a)->calls++;
        double* r = new double[3];
        r[0] = (x[0] - 1) * (x[0] - 1) + (x[1] + 2) * (x[1] + 2);
        r[1] = 10 * r[0];
        r[2] = x[0];
        return r;
    };
    GradientFunction g = [](double* x, void*) -> double* {
        double* y = new double[2];
        y[0] = x[0] - 0.25 * 2 * (x[0] - 1);
        y[1] = x[1] - 0.25 * 2 * (x[1] + 2);
        return y;
    };
    Anneal_opt sa;
    double x0[2] = {5, 6};
    testing::internal::CaptureStdout();
    sa.minimize_gradient_descent(x0, 2, f, g, &bowlArgs, 1e-12, 1000, 0.1, true, 0, 0);
    std::string out = testing::internal::GetCapturedStdout();
    std::vector<double> best = sa.getBestX_copy();
    EXPECT_NEAR(best[0], 1, 1e-5);
    EXPECT_NEAR(best[1], -2, 1e-5);
    EXPECT_EQ(sa.retval, 0);
    EXPECT_EQ(sa.feval, bowlArgs.calls);
    EXPECT_DOUBLE_EQ(sa.Chi2, 10 * sa.best_state->cost);
    EXPECT_DOUBLE_EQ(sa.S, best[0]);
    // first line: the distances halve, so the cost falls from 80 to 20
    std::string first = out.substr(0, out.find('\n'));
    EXPECT_EQ(first, "iters 0\tdE -60\t20\t80\t\tbestE: 80\t chi2: 200\t S: 3");

    // the iteration limit: retval 3 and the z4 line
    Anneal_opt sb;
    testing::internal::CaptureStdout();
    sb.minimize_gradient_descent(x0, 2, f, g, &bowlArgs, 1e-12, 2, 0.1, true, 0, 0);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(sb.retval, 3);
    EXPECT_EQ(sb.finalIter, 2);
    EXPECT_NE(out.find("\nz4 iters: 3\tmaxiter: 2\n"), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4);
}

TEST(AnnealOpt, ResultsReportAndHelpers) {
    Anneal_opt fresh;
    EXPECT_EQ(fresh.getBestX(), nullptr);
    EXPECT_TRUE(fresh.getBestX_copy().empty());
    EXPECT_EQ(fresh.retval, -1);
    EXPECT_EQ(fresh.finalIter, -1);
    EXPECT_EQ(fresh.err, -1);
    EXPECT_EQ(fresh.dimension, 0);
    EXPECT_EQ(fresh.print_SA_report(),
              "  SA schedule: \n  >\n  Simulated annealing final parameters:\n     Energy function: inf\n"
              "     Starting T: 0.000\n     Final T: 0.000\n     Final iteration: -001\n");

    Probe probe;
    probe.dims = 2;
    probe.cost = [](const double*) { return 1.25; };
    Anneal_opt sa;
    double x0[2] = {1, 2}, lo[2] = {0, 0}, hi[2] = {3, 3};
    sa.minimize_anneal2(x0, 2, probeCost, &probe, "linear", 2.0, 0, 0, 0, 11, 1, 1, 0, 1, 1, 1, lo, hi, 1, false,
                        0, 0);
    EXPECT_EQ(sa.retval, 3);
    char finalT[64];
    std::snprintf(finalT, sizeof finalT, "%.3f", 2.0 * std::exp(-12 / 2.71));
    EXPECT_EQ(sa.print_SA_report(), std::string("  SA schedule: linear\n  > Maximum cooling iterations reached\n"
                                                 "  Simulated annealing final parameters:\n"
                                                 "     Energy function: 1.250\n     Starting T: 2.000\n"
                                                 "     Final T: ") +
                                         finalT + "\n     Final iteration: 011\n");
    const char* reasons[] = {" Points no longer changing", " Cooled to final temperature",
                             " Maximum function evaluations", " Maximum cooling iterations reached",
                             " Maximum accepted query locations reached",
                             " Final point not the minimum amongst encountered points"};
    for (int r = 0; r < 6; r++) {
        sa.retval = r;
        std::string head = std::string("  SA schedule: linear\n  >") + reasons[r] + "\n";
        EXPECT_EQ(sa.print_SA_report().substr(0, head.size()), head);
    }

    // getBestX borrows the best point; the copy is independent of it
    double* borrowed = sa.getBestX();
    ASSERT_NE(borrowed, nullptr);
    std::vector<double> copy = sa.getBestX_copy();
    borrowed[0] = 99;
    EXPECT_NE(copy[0], 99);

    // a run of another dimension starts its arrays afresh
    double y0[3] = {1, 1, 1}, ylo[3] = {0, 0, 0}, yhi[3] = {2, 2, 2};
    probe.dims = 3;
    sa.minimize_anneal2(y0, 3, probeCost, &probe, "linear", 2.0, 0, 0, 0, 1, 1, 1, 0, 1, 1, 1, ylo, yhi, 1, false, 0,
                        0);
    EXPECT_EQ(sa.dimension, 3);
    EXPECT_EQ(sa.getBestX_copy().size(), 3u);
    EXPECT_EQ(sa.xnew.size(), 3u);

    double to[3] = {7, 8, 9}, from[3] = {1, 2, 3};
    Anneal_opt::arrayCopy(to, nullptr, 3);
    Anneal_opt::arrayCopy(nullptr, from, 3);
    Anneal_opt::arrayCopy(to, from, 0);
    EXPECT_EQ(to[0], 7);
    Anneal_opt::arrayCopy(to, from, 2);
    EXPECT_EQ(to[0], 1);
    EXPECT_EQ(to[1], 2);
    EXPECT_EQ(to[2], 9);

    EXPECT_EQ(Anneal_opt::getInstance(), Anneal_opt::getInstance());
    EXPECT_NE(Anneal_opt::getInstance(), nullptr);
}

namespace {

// Sends standard output to the captured error pipe and the error stream to /dev/null, so that a
// death-test regex only sees what went to standard output.
void stdoutOnly() {
    int saved = dup(2);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    dup2(saved, 1);
}

} // namespace

TEST(AnnealOptDeathTest, RefusalsPrintOnStdoutAndExit255) {
    Probe probe;
    probe.dims = 1;
    probe.cost = bowl({0});
    double x0[1] = {0}, lo[1] = {-1}, hi[1] = {1};
    EXPECT_EXIT(
        {
            stdoutOnly();
            Anneal_opt sa;
            sa.minimize_anneal2(x0, 0, probeCost, &probe, "fast", 1, 0, 0, 0, 5, 1, 1, 0, 1, 1, 1, lo, hi, 1, false,
                                0, 0);
        },
        testing::ExitedWithCode(255), "^\\[Error\\] Anneal data size is zero \\.\\.\\. \n$");
    EXPECT_EXIT(
        {
            stdoutOnly();
            Anneal_opt sa;
            sa.minimize_anneal(x0, 1, probeCost, nullptr, "fast", 1, 0, 0, 0, 5, 1, 1, 0, 1, 1, 1, -1, 1, 1, false, 0,
                               0);
        },
        testing::ExitedWithCode(255), "^\\[Error\\] Anneal data is null\\.\\.\\. \n$");
    EXPECT_EXIT(
        {
            stdoutOnly();
            Anneal_opt sa;
            sa.minimize_anneal2(x0, 1, nullptr, &probe, "fast", 1, 0, 0, 0, 5, 1, 1, 0, 1, 1, 1, lo, hi, 1, false, 0,
                                0);
        },
        testing::ExitedWithCode(255), "^\\[Error\\] Energy function is null \\.\\.\\. \n$");
    GradientFunction g = [](double* x, void*) -> double* { return new double[1]{x[0]}; };
    EXPECT_EXIT(
        {
            stdoutOnly();
            Anneal_opt sa;
            sa.minimize_gradient_descent(x0, 1, probeCost, nullptr, &probe, 1e-6, 5, 1, false, 0, 0);
        },
        testing::ExitedWithCode(255), "^\\[Error\\] Energy function is null \\.\\.\\. \n$");
    EXPECT_EXIT(
        {
            stdoutOnly();
            Anneal_opt sa;
            sa.minimize_gradient_descent(x0, -3, nullptr, g, nullptr, 1e-6, 5, 1, false, 0, 0);
        },
        testing::ExitedWithCode(255), "^\\[Error\\] Anneal data size is zero \\.\\.\\. \n$");
}
