// Tests of the leave-group-out least-squares solver: every trial against the whole trial system
// decomposed the straightforward way (U formed), known solutions recovered, trials with fewer
// rows than columns, rank-deficient systems, the row list and mask, refusals, no allocation
// when a run is repeated.
#include "numeric/LeaveGroupOutLS.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "common/CountAllocations.h"
#include "common/LeastSquaresReference.h"

namespace {

using Vec = std::vector<double>;

struct System {
    Vec a, b;
    std::vector<int> group;
    int n = 0, k = 0, trials = 0;
};

// n random rows of k columns in [-1, 1], scaled per row by 10^[-1, 3] (weights of very
// different size), right-hand sides = rows . x0 + noise; groups drawn at random.
System randomSystem(int n, int k, int trials, double noise, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    System s{Vec(static_cast<size_t>(n) * k), Vec(n), std::vector<int>(n), n, k, trials};
    Vec x0(k);
    for (double& x : x0) x = u(gen);
    for (int r = 0; r < n; r++) {
        const double scale = std::pow(10.0, 2 * u(gen) + 1);
        double dot = 0;
        for (int j = 0; j < k; j++) dot += x0[j] * (s.a[r * k + j] = scale * u(gen));
        s.b[r] = dot + noise * scale * u(gen);
        s.group[r] = static_cast<int>(gen() % trials);
    }
    return s;
}

double maxAbs(const Vec& v) {
    double m = 0;
    for (double x : v) m = std::max(m, std::fabs(x));
    return m;
}

// Every trial of `solver` (after a run on s) against the reference solve of its system.
// Returns the largest difference of a solution relative to the solution's largest element.
double expectTrialsMatch(const LeaveGroupOutLS& solver, const System& s, double rel) {
    double worst = 0;
    for (int g = 0; g < s.trials; g++) {
        SCOPED_TRACE("trial " + std::to_string(g));
        const lsref::Solve ref = lsref::solveRows(s.a, s.b, s.k, [&](int r) { return s.group[r] >= 0 && s.group[r] != g; });
        EXPECT_EQ(solver.rank(g), ref.rank);
        const double xs = maxAbs(ref.x), cs = maxAbs(ref.cov);
        for (int j = 0; j < s.k; j++) {
            EXPECT_NEAR(solver.solution(g)[j], ref.x[j], rel * xs) << "x " << j;
            EXPECT_NEAR(solver.variance(g)[j], ref.cov[j * s.k + j], rel * cs) << "variance " << j;
            if (xs > 0) worst = std::max(worst, std::fabs(solver.solution(g)[j] - ref.x[j]) / xs);
        }
        if (solver.covariance(g)) {
            for (int j = 0; j < s.k * s.k; j++) EXPECT_NEAR(solver.covariance(g)[j], ref.cov[j], rel * cs) << j;
        }
    }
    return worst;
}

// The two ways of solving: from the triangular factors, or each trial from its own rows.
constexpr int kFactors = 0, kOwnRows = 1000;

}  // namespace

// Well-conditioned systems of several shapes: two trials, fewer trials than rows, one trial per
// row, several blocks of trials with a short last one, masked rows, an empty trial.
TEST(LeaveGroupOutLS, TrialsMatchTheWholeTrialSystemSolved) {
    struct Shape {
        int n, k, trials;
    };
    for (int way : {kFactors, kOwnRows})
    for (Shape sh : {Shape{40, 5, 2}, Shape{60, 5, 13}, Shape{30, 5, 30}, Shape{200, 15, 37}, Shape{50, 2, 6}}) {
        SCOPED_TRACE(std::to_string(sh.n) + " rows, " + std::to_string(sh.k) + " columns, " +
                     std::to_string(sh.trials) + " trials" + (way == kFactors ? ", factors" : ", own rows"));
        System s = randomSystem(sh.n, sh.k, sh.trials, 0.1, sh.n * 31 + sh.k);
        s.group[3] = -1;   // masked: in no system
        if (sh.trials > 2)
            for (int& g : s.group) g = g == 1 ? 2 : g;   // trial 1 leaves nothing out
        LeaveGroupOutLS solver;
        solver.directFactor = way;
        solver.fullCovariance = true;
        ASSERT_EQ(solver.run(s.a.data(), s.b.data(), s.n, s.k, s.group.data(), s.trials), 0);
        ASSERT_EQ(solver.trials(), sh.trials);
        EXPECT_EQ(solver.columns(), sh.k);
        const double worst = expectTrialsMatch(solver, s, 1e-10);
        EXPECT_LT(worst, 1e-12);   // about 4e-15 seen

        // the rows each trial leaves out, ascending
        int listed = 0;
        for (int g = 0; g < s.trials; g++)
            for (int i = 0; i < solver.leftOutCount(g); i++) {
                const int r = solver.leftOut(g)[i];
                EXPECT_EQ(s.group[r], g);
                if (i > 0) {
                    EXPECT_LT(solver.leftOut(g)[i - 1], r);
                }
                listed++;
            }
        EXPECT_EQ(listed, sh.n - 1);
    }
}

// Right-hand sides without noise: every trial with a full-rank system returns the generating
// solution (independent of any decomposition); covariance diagonal only when asked for.
TEST(LeaveGroupOutLS, NoiseFreeSystemsGiveTheGeneratingSolution) {
    const int n = 120, k = 10;
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(-1, 1);
    Vec a(n * k), b(n), x0(k);
    std::vector<int> group(n);
    for (double& x : x0) x = u(gen);
    for (int r = 0; r < n; r++) {
        for (int j = 0; j < k; j++) a[r * k + j] = u(gen);
        b[r] = 0;
        for (int j = 0; j < k; j++) b[r] += a[r * k + j] * x0[j];
        group[r] = r % 17;
    }
    LeaveGroupOutLS solver;
    solver.directFactor = kFactors;
    ASSERT_EQ(solver.run(a.data(), b.data(), n, k, group.data(), 17), 0);
    EXPECT_EQ(solver.covariance(0), nullptr);
    for (int g = 0; g < 17; g++) {
        EXPECT_EQ(solver.rank(g), k);
        for (int j = 0; j < k; j++) EXPECT_NEAR(solver.solution(g)[j], x0[j], 1e-13) << g << " " << j;
    }
}

// Trials that keep fewer rows than columns: the kept rows are reproduced exactly and the
// solution is the minimum-norm one; one kept row a.x = b gives x = a b / |a|^2; no kept row
// gives x = 0 with zero covariance.
TEST(LeaveGroupOutLS, TrialsWithFewerRowsThanColumns) {
    const int k = 5;
    for (int way : {kFactors, kOwnRows}) {
        SCOPED_TRACE(way == kFactors ? "factors" : "own rows");
        System s = randomSystem(8, k, 4, 0.5, 99);
        LeaveGroupOutLS solver;
        solver.directFactor = way;
        // trial 0 leaves 7 rows out (one kept), trial 1 the last row (seven kept), trials 2
        // and 3 nothing
        s.group = {0, 0, 0, 0, 0, 0, 0, 1};
        ASSERT_EQ(solver.run(s.a.data(), s.b.data(), s.n, k, s.group.data(), s.trials), 0);
        expectTrialsMatch(solver, s, 1e-10);
        double aa = 0;
        for (int j = 0; j < k; j++) aa += s.a[7 * k + j] * s.a[7 * k + j];
        EXPECT_EQ(solver.rank(0), 1);
        for (int j = 0; j < k; j++) EXPECT_NEAR(solver.solution(0)[j], s.a[7 * k + j] * s.b[7] / aa, 1e-13);

        s.group = {0, 0, 0, 1, 1, 2, 2, 3};   // trials keep 5 (= k), 6, 6 and 7 rows
        ASSERT_EQ(solver.run(s.a.data(), s.b.data(), s.n, k, s.group.data(), s.trials), 0);
        expectTrialsMatch(solver, s, 1e-10);

        s.group = {0, 0, 0, 0, 0, 1, 1, 1};   // trial 0 keeps 3 rows, trial 1 keeps 5
        s.trials = 2;
        ASSERT_EQ(solver.run(s.a.data(), s.b.data(), s.n, k, s.group.data(), 2), 0);
        expectTrialsMatch(solver, s, 1e-10);
        EXPECT_EQ(solver.rank(0), 3);
        for (int r = 5; r < 8; r++) {
            double fit = 0;
            for (int j = 0; j < k; j++) fit += s.a[r * k + j] * solver.solution(0)[j];
            EXPECT_NEAR(fit, s.b[r], 1e-12 * std::fabs(s.b[r]) + 1e-12);
        }

        std::fill(s.group.begin(), s.group.end(), 0);   // every row in trial 0: none kept
        ASSERT_EQ(solver.run(s.a.data(), s.b.data(), s.n, k, s.group.data(), 1), 0);
        EXPECT_EQ(solver.rank(0), 0);
        for (int j = 0; j < k; j++) EXPECT_TRUE(solver.solution(0)[j] == 0 && solver.variance(0)[j] == 0) << j;
    }
}

// Rank-deficient systems: rows of parallel bond vectors (rank 1) and of vectors in one plane
// (rank 3); the same singular values are dropped as in the whole-system solve.
TEST(LeaveGroupOutLS, RankDeficientRowsFromCollinearAndCoplanarVectors) {
    const int k = 5, n = 30;
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int planar = 0; planar < 2; planar++) {
        System s{Vec(n * k), Vec(n), std::vector<int>(n), n, k, 10};
        for (int r = 0; r < n; r++) {
            double v[3] = {0.3, -0.5, 0.81};   // the same direction for every row
            if (planar) v[0] = u(gen), v[1] = u(gen), v[2] = 0;
            const double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
            const double x = v[0] / len, y = v[1] / len, z = v[2] / len, wgt = 1 + r % 4;
            const double row[5] = {(3 * z * z - 1) / 2, (x * x - y * y) / 2, 2 * x * y, 2 * z * x, 2 * z * y};
            for (int j = 0; j < k; j++) s.a[r * k + j] = wgt * row[j];
            s.b[r] = wgt * (1e-3 * row[0] - 4e-4 * row[2] + 2e-4 * row[1]) + 1e-5 * u(gen);
            s.group[r] = r / 3;
        }
        for (int way : {kFactors, kOwnRows}) {
            SCOPED_TRACE(std::string(planar ? "coplanar" : "collinear") + (way == kFactors ? ", factors" : ", own rows"));
            LeaveGroupOutLS solver;
            solver.directFactor = way;
            ASSERT_EQ(solver.run(s.a.data(), s.b.data(), n, k, s.group.data(), s.trials), 0);
            expectTrialsMatch(solver, s, 1e-9);
            for (int g = 0; g < s.trials; g++) EXPECT_EQ(solver.rank(g), planar ? 3 : 1);
        }
    }
}

// Few rows for the columns (here 9 < 2 x 5): each trial is solved from its own rows, with
// exactly what svdLSMat gives for the trial's rows padded with zero rows up to five, the
// program's per-trial solve (extra zero rows change nothing).
TEST(LeaveGroupOutLS, FewRowsSolvedTrialByTrialExactlyAsSvdLSMat) {
    System s = randomSystem(9, 5, 4, 0.3, 23);
    s.group = {0, 1, 1, 1, 1, 2, 3, 3, 1};   // trial 1 keeps four rows
    LeaveGroupOutLS solver;
    ASSERT_EQ(solver.run(s.a.data(), s.b.data(), s.n, 5, s.group.data(), 4), 0);
    for (int g = 0; g < 4; g++) {
        Vec a, b;
        for (int r = 0; r < s.n; r++) {
            if (s.group[r] == g) continue;
            a.insert(a.end(), s.a.begin() + r * 5, s.a.begin() + (r + 1) * 5);
            b.push_back(s.b[r]);
        }
        const int rows = std::max(static_cast<int>(b.size()), 5);
        a.resize(rows * 5, 0.0);
        b.resize(rows, 0.0);
        Vec x(5), cov(25);
        SVD2().svdLSMat(a.data(), b.data(), rows, 5, x.data(), cov.data(), 1);
        for (int j = 0; j < 5; j++) {
            EXPECT_EQ(solver.solution(g)[j], x[j]) << g << " " << j;
            EXPECT_EQ(solver.variance(g)[j], cov[j * 5 + j]) << g << " " << j;
        }
    }
    expectTrialsMatch(solver, s, 1e-10);
}

// A row list gives exactly what the mask gives; bad arguments are refused; a repeated run of
// the same size allocates nothing.
TEST(LeaveGroupOutLS, RowListMaskRefusalsAndNoAllocationWhenRepeated) {
    System s = randomSystem(50, 5, 9, 0.2, 17);
    std::vector<int> rows, groups, masked = s.group;
    for (int r = 0; r < s.n; r++) {
        if (r % 5 == 2) {
            masked[r] = -1;
            continue;
        }
        rows.push_back(r);
        groups.push_back(s.group[r]);
    }
    LeaveGroupOutLS byMask, byList;
    byMask.fullCovariance = byList.fullCovariance = true;
    byMask.directFactor = byList.directFactor = kFactors;
    ASSERT_EQ(byMask.run(s.a.data(), s.b.data(), s.n, 5, masked.data(), 9), 0);
    ASSERT_EQ(byList.run(s.a.data(), s.b.data(), 5, rows.data(), groups.data(), static_cast<int>(rows.size()), 9), 0);
    for (int g = 0; g < 9; g++) {
        for (int j = 0; j < 5; j++) EXPECT_EQ(byMask.solution(g)[j], byList.solution(g)[j]);
        for (int j = 0; j < 25; j++) EXPECT_EQ(byMask.covariance(g)[j], byList.covariance(g)[j]);
        ASSERT_EQ(byMask.leftOutCount(g), byList.leftOutCount(g));
        for (int i = 0; i < byMask.leftOutCount(g); i++) EXPECT_EQ(byMask.leftOut(g)[i], byList.leftOut(g)[i]);
    }

    EXPECT_EQ(byMask.run(s.a.data(), s.b.data(), s.n, 1, s.group.data(), 9), -1);   // one column
    EXPECT_EQ(byMask.run(s.a.data(), s.b.data(), s.n, 5, s.group.data(), 8), -1);   // trial 8 exists
    EXPECT_EQ(byMask.run(s.a.data(), s.b.data(), -1, 5, s.group.data(), 9), -1);

    LeaveGroupOutLS ownRows;   // 9 rows for 5 columns: each trial from its own rows
    const std::vector<int> three = {0, 1, 2, 0, 1, 2, 0, 1, 2};
    ASSERT_EQ(ownRows.run(s.a.data(), s.b.data(), 5, rows.data(), three.data(), 9, 3), 0);
    const long before = gAllocations;
    for (int rep = 0; rep < 3; rep++) {
        s.b[rep] += 0.5;
        byList.run(s.a.data(), s.b.data(), 5, rows.data(), groups.data(), static_cast<int>(rows.size()), 9);
        ownRows.run(s.a.data(), s.b.data(), 5, rows.data(), three.data(), 9, 3);
    }
    EXPECT_EQ(gAllocations - before, 0) << "a repeated run of the same size allocates";
}
