// Tests of the simulated-annealing minimiser: minima of bowls, stop reasons with their lines and
// report text, angle wrap and clamping, cooling laws, acceptance, starting temperature, refusals.
#include "numeric/Anneal_opt.h"

#include <algorithm>
#include <functional>
#include <numeric>
#include <utility>

#include "common/TestUtil.h"

namespace {

typedef std::function<double(const double* x, size_t earlierCalls)> Cost;

// Argument block of the test costs: records every point and cost evaluated.
struct Probe {
    Cost cost;
    int dims = 0;
    double value = 0; // the callback returns the address of this field
    std::vector<std::vector<double>> points;
    std::vector<double> costs;
    explicit Probe(Cost c) : cost(std::move(c)) {}
};

double* probeCost(double* x, void* args) {
    Probe* p = static_cast<Probe*>(args);
    p->value = p->cost(x, p->costs.size());
    p->points.emplace_back(x, x + p->dims);
    p->costs.push_back(p->value);
    return &p->value;
}

Cost bowl(std::vector<double> c) { // sum of (x_i - c_i)^2
    auto sq = [](double a, double b) { return (a - b) * (a - b); };
    return [c, sq](const double* x, size_t) {
        return std::inner_product(c.begin(), c.end(), x, 0.0, std::plus<>(), sq);
    };
}

struct Opts {
    const char* schedule = "linear";
    double T0 = 1, Tf = 0;
    int maxfev = 0, maxaccept = 0, maxiter = 100;
    double boltz = 1, rate = 1, feps = 0;
    int dwell = 5;
    bool disp = false;
};

// Bounded run (quench, m, n 1), or unbounded over the range lo[0]..hi[0]; returns what it printed.
std::string anneal(Anneal_opt& sa, Probe& p, std::vector<double> x, std::vector<double> lo,
                   std::vector<double> hi, const Opts& o, bool isBounded = true) {
    p.dims = static_cast<int>(x.size());
    testing::internal::CaptureStdout();
    if (isBounded)
        sa.minimize_anneal2(x.data(), p.dims, probeCost, &p, o.schedule, o.T0, o.Tf, o.maxfev, o.maxaccept,
                            o.maxiter, o.boltz, o.rate, o.feps, 1, 1, 1, lo.data(), hi.data(), o.dwell,
                            o.disp, 0, 0);
    else
        sa.minimize_anneal(x.data(), p.dims, probeCost, &p, o.schedule, o.T0, o.Tf, o.maxfev, o.maxaccept,
                           o.maxiter, o.boltz, o.rate, o.feps, 1, 1, 1, lo[0], hi[0], o.dwell, o.disp, 0, 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(o.disp || out.empty()) << out; // without disp nothing is printed
    return out;
}

} // namespace

TEST(AnnealOpt, BoundedAndUnboundedRunsReachTheBowlMinimum) {
    Anneal_opt::fixedSeed = 20240611;
    // the fits' three phases: "fast" T0 1e-6, "cauchy" T0 0.5 and 0.1, each from the last best point
    const Opts phases[3] = {{"fast", 1e-6, 1e-12, 0, 0, 100, 1, 1.0, 1e-7, 20},
                            {"cauchy", 0.5, 1e-12, 0, 0, 1000, 1, 0.5, 1e-7, 20},
                            {"cauchy", 0.1, 1e-12, 0, 0, 1000, 1, 0.2, 1e-7, 20}};
    struct Bowl {
        std::vector<double> centre, start, lo, hi, minimum;
        int firstPhase; // the others skip "fast", so that "cauchy" has to find the minimum
        bool isBounded; // else the unbounded run over the range lo[0]..hi[0]
    } bowls[] = {{{1.5, -2, 30}, {8, 7, -150}, {-10, -10, -180}, {10, 10, 180}, {1.5, -2, 30}, 0, true},
                 {{5, -3}, {1, 1}, {0, 0}, {2, 2}, {2, 0}, 1, true}, // centre outside the box: on a corner
                 {{0.3, -0.4}, {2, 2}, {-5}, {5}, {0.3, -0.4}, 1, false}};
    for (const Bowl& b : bowls) {
        Probe probe(bowl(b.centre));
        std::vector<double> x = b.start;
        for (int k = b.firstPhase; k < 3; k++) {
            Anneal_opt sa;
            anneal(sa, probe, x, b.lo, b.hi, phases[k], b.isBounded);
            x = sa.getBestX_copy();
            for (size_t i = 0; i < x.size(); i++) EXPECT_NEAR(x[i], b.minimum[i], 5e-3) << "phase " << k;
        }
        // the best point has the lowest cost ever evaluated
        EXPECT_EQ(bowl(b.centre)(x.data(), 0), *std::min_element(probe.costs.begin(), probe.costs.end()));
    }
}

TEST(AnnealOpt, StopReasonsTheirLinesAndReport) {
    Anneal_opt::fixedSeed = 11;
    const char* reasons[6] = {"Points no longer changing", "Cooled to final temperature",
                              "Maximum function evaluations", "Maximum cooling iterations reached",
                              "Maximum accepted query locations reached",
                              "Final point not the minimum amongst encountered points"};
    auto flat = [](double v) { return [v](const double*, size_t) { return v; }; };
    auto creep = [](const double*, size_t n) { return 1.0 - 1e-4 * static_cast<double>(n); };
    auto startBest = [](const double*, size_t n) { return n == 0 ? 0.5 : 1.0; };
    struct Case {
        int retval, iters; // iters: cooling steps made
        Opts o;
        Cost cost;
        const char* line;
    };
    std::vector<Case> cases = {
        {3, 3, {"linear", 1, 0, 0, 0, 2}, bowl({0}), "z4 iters: 3\tmaxiter: 2\n"},
        {3, 0, {"fast", 1, 0, 0, 0, 0}, bowl({0}), "z4 iters: 0\tmaxiter: 0\n"},
        {1, 5, {"cauchy", 1, 0.25, 0, 0, 100, 1, 0.01}, bowl({0}), "z2 Tf: 0.25 T0.2iters: 5\n"},
        {2, 3, {"linear", 1, 0, 11}, bowl({0}), "z3 iters: 3\n"},
        {4, 3, {"linear", 1, 0, 0, 10}, flat(1.25), "z5 iters: 3\n"}, // dE = 0 always accepted
        // the start stays best but only 0.5 below the last cost, within 10 feps: no warning
        {0, 10, {"linear", 1, 0, 0, 0, 100, 1e12, 1, 0.1}, startBest, "z1 feps: 0.1 iters: 10\n"},
        // costs falling by a relative 1e-4 per step never come within feps 1e-5 of each other
        {3, 41, {"linear", 1, 0, 0, 0, 40, 1, 1, 1e-5, 1}, creep, "z4 iters: 41\tmaxiter: 40\n"},
        {5, 10, {"linear", 1, 0, 0, 0, 9, 1e12, 1, 0.01, 3}, startBest, // 0.5 above the start: beyond 10 feps
         "z1 feps: 0.01 iters: 10\nWarning: Cooled to 1.000000 but this is not the smallest point found.\n"},
    };
    for (Case& c : cases) {
        Probe probe(c.cost);
        Anneal_opt sa;
        c.o.disp = true;
        EXPECT_EQ(anneal(sa, probe, {1}, {-100}, {100}, c.o), c.line);
        EXPECT_EQ(sa.retval, c.retval) << c.line;
        EXPECT_EQ(sa.finalIter, c.iters - 1) << c.line;
        EXPECT_EQ(sa.feval, 1 + c.iters * c.o.dwell) << c.line;
        std::string head = std::string("  SA schedule: ") + c.o.schedule + "\n  > " + reasons[c.retval] + "\n";
        EXPECT_EQ(sa.print_SA_report().substr(0, head.size()), head);
        if (c.retval == 4) { // the whole report: final T = exp(-3/2.71) = 0.331
            EXPECT_EQ(sa.print_SA_report().substr(head.size()),
                      "  Simulated annealing final parameters:\n     Energy function: 1.250\n"
                      "     Starting T: 1.000\n     Final T: 0.331\n     Final iteration: 002\n");
        }
    }
}

TEST(AnnealOpt, AngleBoundsWrapOtherBoundsClamp) {
    Anneal_opt sa;
    double lo[4] = {-180, 0, -180, -180}, hi[4] = {180, 10, 179, 180};
    sa.init2(4, probeCost, nullptr, 1, 1, 0.0, lo, hi, 1, 1, 1, 1);
    sa.schedule = "linear"; // learn_rate 0: the step leaves the point as it is
    double a[4] = {190, 12, 190, 400}, b[4] = {-185, -3, -185, -600}, c[4] = {180, 10, -180, -180};
    sa.update_guess2(a);
    EXPECT_EQ(sa.xnew, (std::vector<double>{-170, 10, 179, 40}));
    sa.update_guess2(b);
    EXPECT_EQ(sa.xnew, (std::vector<double>{175, 0, -180, -240})); // the wrap is made once only
    sa.update_guess2(c);
    EXPECT_EQ(sa.xnew, (std::vector<double>{180, 10, -180, -180}));
    sa.update_guess(a); // the unbounded run's step clamps even an angle
    EXPECT_EQ(sa.xnew, (std::vector<double>{180, 10, 179, 180}));
}

TEST(AnnealOpt, TemperaturesAndAcceptance) {
    // T0 = 2, maxiter 4; the temperatures after three cooling steps, computed by hand
    const double e2 = std::exp(-2.0), e5 = 3 * std::exp(-0.5);
    struct Case {
        const char* schedule;
        double quench, m, n, t1, t2, t3;
    } cases[] = {
        {"fast", 2, 0, 0, 2.0, 2 * std::exp(-e2), 2 * std::exp(-4 * e2)}, // zero m, n become 1
        {"fast", 1, 3, 0.5, 2.0, 2 * std::exp(-e5), 2 * std::exp(-2 * e5)},
        {"cauchy", 1, 1, 1, 2.0, 1.0, 2.0 / 3},
        {"cauchynorm", 1, 1, 1, 2.0, 1.0, 2.0 / 3},
        {"boltzmann", 1, 1, 1, 2 / std::log(2.0), 2 / std::log(3.0), 2 / std::log(4.0)},
        {"linear", 1, 1, 1, 2 * std::exp(-1 / 2.71), 2 * std::exp(-2 / 2.71), 2 * std::exp(-3 / 2.71)},
        {"cauchynorm2", 1, 1, 1, 1.5, 1.0, 0.5},
        {"none", 1, 1, 1, 2.0, 2.0, 2.0},
    };
    for (const Case& c : cases) {
        Anneal_opt sa;
        sa.schedule = c.schedule;
        sa.maxiter = 4;
        sa.init(1, probeCost, nullptr, 1, 2.0, 1, 0, 1, c.m, c.n, c.quench, 1);
        sa.T = 2.0;
        for (double t : {c.t1, c.t2, c.t3}) {
            sa.update_temp();
            EXPECT_NEAR(sa.T, t, 1e-14) << c.schedule;
        }
    }

    Anneal_opt sa; // Metropolis test
    sa.boltzmann = 2.0;
    sa.T = 0.5;
    EXPECT_FALSE(sa.accept_test(1e6));
    EXPECT_TRUE(sa.accept_test(0.0)); // p = 1 beats every draw below 1
    int hits = 0;                     // p = exp(-dE/boltzmann/T) = 0.25
    for (int i = 0; i < 40000; i++) hits += sa.accept_test(std::log(4.0)) ? 1 : 0;
    EXPECT_NEAR(hits / 40000.0, 0.25, 0.01);
    EXPECT_EQ(sa.tests - sa.accepted, 40001 - hits);

    // T0 = 0: the starting temperature from 50 samples; unbounded run: samples in [1, 3], scaled to add
    // up to 1; the best sample becomes the start point
    Anneal_opt::fixedSeed = 42;
    Probe probe(bowl({0.2, 0.3, 0.5}));
    anneal(sa, probe, {5, 5, 5}, {1}, {3}, {"linear", 0.0, 0, 0, 0, 0}, false);
    ASSERT_EQ(probe.costs.size(), 51u); // 50 samples and the start point
    for (const auto& p : probe.points) EXPECT_NEAR(p[0] + p[1] + p[2], 1.0, 1e-12);
    auto range = std::minmax_element(probe.costs.begin(), probe.costs.begin() + 50);
    EXPECT_DOUBLE_EQ(sa.T0, 1.5 * (*range.second - *range.first));
    EXPECT_EQ(probe.points[50], probe.points[range.first - probe.costs.begin()]);

    Probe box(bowl({0, 0})); // bounded: samples inside each parameter's bounds
    anneal(sa, box, {0, 0}, {-180, 2}, {180, 3}, {"fast", 0.0, 0, 0, 0, 0});
    for (const auto& p : box.points) EXPECT_TRUE(p[0] >= -180 && p[0] <= 180 && p[1] >= 2 && p[1] <= 3);
}

TEST(AnnealOptDeathTest, RefusalsPrintOnStdoutAndExit255) {
    Probe probe(bowl({0}));
    double x0[1] = {0}, lo[1] = {-1}, hi[1] = {1};
    const char* messages[3] = {"^\\[Error\\] Anneal data size is zero \\.\\.\\. \n$",
                               "^\\[Error\\] Anneal data is null\\.\\.\\. \n$",
                               "^\\[Error\\] Energy function is null \\.\\.\\. \n$"};
    for (int i = 0; i < 3; i++)
        EXPECT_EXIT(
            {
                dup2(2, 1); // standard output to the captured pipe, the error stream away
                if (!std::freopen("/dev/null", "w", stderr)) return;
                Anneal_opt().minimize_anneal2(x0, i == 0 ? 0 : 1, i == 2 ? nullptr : probeCost,
                                              i == 1 ? nullptr : &probe, "fast", 1, 0, 0, 0, 5, 1, 1, 0, 1, 1,
                                              1, lo, hi, 1, false, 0, 0);
            },
            testing::ExitedWithCode(255), messages[i]);
}
