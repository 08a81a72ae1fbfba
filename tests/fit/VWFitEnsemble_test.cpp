// The ensemble fit's score against a reference computed here from the coordinates (rows averaged
// from the models' unit vectors, normal equations, Q from the Frobenius norm): any weights, one
// or two media, per class or per medium, with the penalty, a fixed first weight, pairs missing
// from one conformer and MODEL numbers that are not 1..n. The true mixture gives Q = 0 and the
// tensor the couplings were simulated with; an evaluation does not allocate.
#include "fit/VWFitEnsemble.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/CountAllocations.h"
#include "common/VWFitMedia.h"

using namespace vwfitmedia;

namespace {

// Saupe vector (Szz, Sxx - Syy, Sxy, Sxz, Syz) of an order matrix.
std::array<double, 5> saupeOf(const M3& S) { return {S[2][2], S[0][0] - S[1][1], S[0][1], S[0][2], S[1][2]}; }

bool close(double a, double b, double rel = 1e-9) { return testutil::near(a, b, rel, 1e-12); }

std::vector<double> randomWeights(int n, unsigned seed) {
    std::srand(seed);
    std::vector<double> w(n);
    for (double& v : w) v = std::rand() / 2147483647.0;
    return w;
}

}  // namespace

TEST(VWFitEnsemble, ScoreAndTensorsMatchTheCoordinatesForAnyWeights) {
    TwoMedia t;
    Media& m = t.media;
    ASSERT_EQ(m.conformers(), 10);
    ASSERT_EQ(t.tables[0].size(), 89u);   // 29 N-H, 30 HA-CA, 30 C-CA
    const std::vector<int> classes = VWFitEnsemble::classesInUse(m.couplings);
    EXPECT_EQ(classes, (std::vector<int>{1, 7, 10}));
    VWFitEnsemble ens(m.couplings, m.tensors, 10, m.numbers, classes);
    EXPECT_EQ(ens.workingCount(0), 89);
    EXPECT_EQ(ens.validationCount(1), 89);

    const std::vector<std::vector<double>> weightSets = {
        std::vector<double>(10, 0.1), randomWeights(10, 3), {0, 0, 0.9, 0, 0, 0, 0.05, 0, 0, 0.05}, kMixture};
    for (const auto& w : weightSets)
        for (double C : {0.0, 0.3})
            for (bool byClass : {true, false}) {
                SCOPED_TRACE(testing::Message() << "C " << C << " byClass " << byClass << " w0 " << w[0]);
                const Reference ref = referenceScore(t.models, t.tables, sigmas(m), w, C, byClass);
                const double score = ens.score(w.data(), C, false, byClass);
                // the penalty's sum is formed in single precision
                EXPECT_NEAR(score, ref.score, C == 0 ? 1e-12 : 1e-7);
                EXPECT_TRUE(close(ens.meanQ(), ref.meanQ));
                EXPECT_EQ(ens.evaluateAll(w.data(), C, false, byClass), score);   // the same arithmetic
                for (int k = 0; k < 2; k++) {
                    EXPECT_TRUE(close(ens.stats(k).q, ref.mediumQ[k]));
                    for (int p = 0; p < 5; p++) EXPECT_TRUE(close(m.tensors[k].saupe[p], ref.saupe[k][p], 1e-8));
                }
            }

    // The true mixture: every coupling back-calculated, Q = 0, the simulated tensors.
    ens.evaluateAll(kMixture.data(), 0, false, true);
    EXPECT_LT(ens.meanQ(), 1e-9);
    for (int k = 0; k < 2; k++) {
        const auto truth = saupeOf(k == 0 ? kS1 : kS2);
        for (int p = 0; p < 5; p++) EXPECT_NEAR(m.tensors[k].saupe[p], truth[p], 1e-12);
        for (size_t j = 0; j < t.tables[k].size(); j++) EXPECT_NEAR(m.couplings[k][j].dCalc, t.tables[k][j].d, 1e-8);
        EXPECT_LT(ens.stats(k).rms, 1e-8);
    }
    EXPECT_NEAR(m.tensors[0].da, 5e-4, 1e-15);
    EXPECT_NEAR(m.tensors[0].dr / m.tensors[0].da, 0.4, 1e-9);
    // normalised weights and their L2 norm
    EXPECT_NEAR(ens.l2Norm(), std::sqrt(0.25 + 0.09 + 0.04), 1e-15);
    // any scale of the raw weights is the same population
    std::vector<double> scaled = kMixture;
    for (double& v : scaled) v *= -7;
    EXPECT_NEAR(ens.score(scaled.data(), 0, false, true), 0, 1e-9);
}

// With C = 0 the score is the mean Q (the penalty is checked against the reference above).
TEST(VWFitEnsemble, PenaltyAndFixedFirstWeight) {
    TwoMedia t;
    Media& m = t.media;
    VWFitEnsemble ens(m.couplings, m.tensors, 10, m.numbers, VWFitEnsemble::classesInUse(m.couplings));
    const std::vector<double> w = randomWeights(10, 5);
    const double q = ens.score(w.data(), 0, false, true);
    EXPECT_EQ(q, ens.meanQ());
    // The fixed first weight keeps min(0.9, 0.05 n / 20) of the population; the rest share the rest.
    EXPECT_DOUBLE_EQ(VWFitEnsemble::firstWeightShare(10), 0.025);
    EXPECT_DOUBLE_EQ(VWFitEnsemble::firstWeightShare(20), 0.05);
    EXPECT_DOUBLE_EQ(VWFitEnsemble::firstWeightShare(500), 0.9);
    const double fixedScore = ens.score(w.data(), 0, true, true);
    double rest = 0;
    for (int c = 1; c < 10; c++) rest += w[c];
    std::vector<double> expected = {0.025};
    for (int c = 1; c < 10; c++) expected.push_back(0.975 * w[c] / rest);
    for (int c = 0; c < 10; c++) EXPECT_NEAR(ens.weights()[c], expected[c], 1e-15);
    EXPECT_TRUE(close(fixedScore, referenceScore(t.models, t.tables, sigmas(m), expected, 0, true).score));
    // the first raw weight has no say
    std::vector<double> other = w;
    other[0] = 0.77;
    EXPECT_EQ(ens.score(other.data(), 0, true, true), fixedScore);
    // all weights 0 read as equal weights
    const std::vector<double> zeros(10, 0.0), equal(10, 0.1);
    EXPECT_NEAR(ens.score(zeros.data(), 0, false, true), ens.score(equal.data(), 0, false, true), 1e-12);
}

// MODEL numbers 3, 7, 9 and a pair missing from the second model: each pair counts for its own
// conformer, and the missing one adds nothing to that conformer's share.
TEST(VWFitEnsemble, PairsCountForTheirOwnConformer) {
    std::string pdb = peptide::pdbText({peptide::patterns()[0], peptide::patterns()[3], peptide::patterns()[8]});
    auto replace = [&pdb](const std::string& from, const std::string& to) {
        const size_t at = pdb.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        pdb.replace(at, from.size(), to);
    };
    replace("MODEL        3", "MODEL        9");
    replace("MODEL        2", "MODEL        7");
    replace("MODEL        1", "MODEL        3");
    // drop the H of residue 5 from the second model
    const size_t second = pdb.find("MODEL        7");
    const size_t h5 = pdb.find(" H    ALA A   5", second);
    ASSERT_NE(h5, std::string::npos);
    const size_t lineStart = pdb.rfind('\n', h5) + 1;
    pdb.erase(lineStart, pdb.find('\n', h5) + 1 - lineStart);

    testutil::TempDir dir;
    testutil::writeFile(dir.file("models.pdb"), pdb);
    const peptide::Models models = knowntensor::readModels(dir.file("models.pdb"));
    ASSERT_EQ(models.size(), 3u);
    const std::vector<std::vector<Coupling>> tables = {peptide::simulate(models, {0.2, 0.3, 0.5}, kS1)};
    Media m = load(dir, pdb, tables);
    EXPECT_EQ(m.numbers, (std::vector<int>{3, 7, 9}));
    VWFitEnsemble ens(m.couplings, m.tensors, 3, m.numbers, VWFitEnsemble::classesInUse(m.couplings));
    for (const std::vector<double>& w : {std::vector<double>{1, 1, 1}, {0.2, 0.3, 0.5}, {0.7, 0.05, 0.25}}) {
        const Reference ref = referenceScore(models, tables, sigmas(m), w, 0, true);
        EXPECT_TRUE(close(ens.score(w.data(), 0, false, true), ref.score)) << w[0];
    }
    EXPECT_LT(ens.score(std::vector<double>{0.2, 0.3, 0.5}.data(), 0, false, true), 1e-9);
}

// Media that hold more couplings together than the tensor fit's residual vector (1 000), and a
// medium without working couplings, which contributes no Q.
TEST(VWFitEnsemble, MediaBeyondTheTensorFitCapacityAndAnEmptyMedium) {
    TwoMedia t;
    std::vector<std::vector<Coupling>> tables;
    for (int k = 0; k < 4; k++) {
        tables.emplace_back();
        for (int copy = 0; copy < 4; copy++) tables.back().insert(tables.back().end(), t.tables[k % 2].begin(), t.tables[k % 2].end());
    }
    Media m = load(t.dir, peptide::pdbText(), tables);
    VWFitEnsemble ens(m.couplings, m.tensors, 10, m.numbers, VWFitEnsemble::classesInUse(m.couplings));
    int total = 0;
    for (int k = 0; k < 4; k++) total += ens.workingCount(k);
    EXPECT_EQ(total, 4 * 356);
    const std::vector<double> w = randomWeights(10, 9);
    EXPECT_NEAR(ens.score(w.data(), 0.2, false, true), referenceScore(t.models, tables, sigmas(m), w, 0.2, true).score,
                1e-7);

    // medium 2 without working couplings: the mean Q is that of medium 1 alone
    for (DipolarCouplingData& dc : m.couplings[1]) dc.selected = 0;
    VWFitEnsemble partial(m.couplings, m.tensors, 10, m.numbers, VWFitEnsemble::classesInUse(m.couplings));
    EXPECT_EQ(partial.workingCount(1), 0);
    partial.evaluateAll(w.data(), 0, false, true);
    const Reference one = referenceScore(t.models, {tables[0]}, {sigmas(m)[0]}, w, 0, true);
    const Reference rest = referenceScore(t.models, {tables[2], tables[3]}, {sigmas(m)[2], sigmas(m)[3]}, w, 0, true);
    EXPECT_TRUE(close(partial.meanQ(), (3 * one.meanQ + 6 * rest.meanQ) / 9));
    EXPECT_EQ(partial.stats(1).n, 0);
    EXPECT_EQ(partial.stats(1).q, 0);
}

// Every evaluation changes every weight; still, once the first has sized nothing new, none
// allocates.
TEST(VWFitEnsemble, AnEvaluationDoesNotAllocate) {
    TwoMedia t;
    Media& m = t.media;
    VWFitEnsemble ens(m.couplings, m.tensors, 10, m.numbers, VWFitEnsemble::classesInUse(m.couplings));
    std::vector<double> w = randomWeights(10, 1);
    ens.score(w.data(), 0.1, false, true);
    ens.evaluateAll(w.data(), 0.1, false, true);
    const long before = gAllocations;
    for (int i = 0; i < 20; i++) {
        w[i % 10] += 0.01;
        ens.score(w.data(), 0.1, i % 2 == 0, i % 3 == 0);
    }
    ens.evaluateAll(w.data(), 0.1, false, true);
    EXPECT_EQ(gAllocations - before, 0);
}
