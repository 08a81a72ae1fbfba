// The run's seeding: -seed N seeds the k-th time with N + k, the clock otherwise; the annealer
// seeds through it.
#include "common/RunSeed.h"

#include <cstdlib>
#include <ctime>
#include <vector>

#include <gtest/gtest.h>

#include "numeric/Anneal_opt.h"

namespace {

std::vector<int> draws(int n) {
    std::vector<int> v;
    for (int i = 0; i < n; i++) v.push_back(std::rand());
    return v;
}

std::vector<int> drawsAfterSeed(unsigned seed, int n) {
    std::srand(seed);
    return draws(n);
}

// A cost with its minimum at (1, -2); the argument block holds the cost.
double* bowl(double* x, void* args) {
    double* c = static_cast<double*>(args);
    *c = (x[0] - 1) * (x[0] - 1) + (x[1] + 2) * (x[1] + 2);
    return c;
}

std::vector<double> anneal() {
    double cost = 0;
    const double x0[2] = {0, 0}, lo[2] = {-5, -5}, hi[2] = {5, 5};
    Anneal_opt a;
    a.minimize_anneal2(x0, 2, bowl, &cost, "fast", 1e-6, 1e-12, 0, 0, 30, 1, 1.0, 1e-7, 1, 1, 1, lo, hi, 20, false,
                       0, 0);
    return a.getBestX_copy();
}

}  // namespace

TEST(RunSeed, SeedNPlusK) {
    RunSeed::set(41);
    EXPECT_TRUE(RunSeed::isSet());
    EXPECT_EQ(RunSeed::reseed(), 41u);
    const std::vector<int> first = draws(5);
    EXPECT_EQ(RunSeed::reseed(), 42u);
    const std::vector<int> second = draws(5);
    EXPECT_EQ(RunSeed::count(), 2);
    EXPECT_EQ(first, drawsAfterSeed(41, 5));
    EXPECT_EQ(second, drawsAfterSeed(42, 5));
    EXPECT_NE(first, second);
    // a negative N wraps like the unsigned seed it becomes
    RunSeed::set(-1);
    EXPECT_EQ(RunSeed::reseed(), 4294967295u);
    EXPECT_EQ(RunSeed::reseed(), 0u);

    // without -seed: the clock in whole seconds
    RunSeed::clear();
    EXPECT_FALSE(RunSeed::isSet());
    const unsigned before = static_cast<unsigned>(std::time(nullptr));
    const unsigned seed = RunSeed::reseed();
    EXPECT_GE(seed, before);
    EXPECT_LE(seed, before + 1);
    EXPECT_EQ(RunSeed::count(), 1);
}

// The annealer's runs seed through the run's seeding: with -seed two runs in sequence differ
// (N, then N + 1), and the whole sequence repeats from the same N.
TEST(RunSeed, AnnealerSeedsThroughIt) {
    ASSERT_LT(Anneal_opt::fixedSeed, 0);
    RunSeed::set(7);
    const std::vector<double> a1 = anneal(), a2 = anneal();
    EXPECT_EQ(RunSeed::count(), 2);
    RunSeed::set(7);
    EXPECT_EQ(anneal(), a1);
    EXPECT_EQ(anneal(), a2);
    EXPECT_NE(a1, a2);
    RunSeed::set(8);
    EXPECT_EQ(anneal(), a2);   // seeded with 8 first: the second run above
    RunSeed::clear();
}
