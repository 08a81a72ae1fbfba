// The ensemble fit in-process: the mixture of three conformers recovered from couplings simulated
// here (one medium through fit modes 7 and 8, which only code reaches), a single
// conformer, the equal-weight result that seeds the best record, the fixed first weight, many
// couplings, the conformer limit, and the real ubiquitin ensemble ending no worse than equal
// weights.
#include "fit/FitWorkData.h"

#include <cmath>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/RunSeed.h"
#include "common/VWFitMedia.h"
#include "fit/FitCostFunctions.h"
#include "fit/VWFitEnsemble.h"

using namespace vwfitmedia;

namespace {

// The trial settings of a short seeded run.
void shortRun(std::vector<DTensor>& tensors, int trials, int step1, int step2, int step3) {
    for (DTensor& t : tensors) {
        t.tensorMode = 3;
        t.fitMode = 7;
        t.saTryCount = trials;
        t.saItStep1 = step1;
        t.saItStep2 = step2;
        t.saItStep3 = step3;
    }
}

double chosenShare(const double* w) { return w[1] + w[4] + w[8]; }

// Runs f with standard output captured; returns the text.
template <class F>
std::string captured(F f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

// The score of the weights w over the work object's media, as the fit's annealer sees it.
double scoreOf(FitWorkData& fit, const double* w) {
    return *vwfitFuncSA_CV_multi_2(const_cast<double*>(w), fit.dArgs.get());
}

}  // namespace

// Fit mode 7 (no option reaches it) and mode 8 on the first medium. (Two media through the
// standard entry are checked through the executable.)
TEST(FitWorkDataVwfit, RecoversTheMixtureOfThreeConformers) {
    TwoMedia mx;
    shortRun(mx.media.tensors, 2, 20, 100, 100);
    for (bool validation : {false, true}) {
        RunSeed::set(5);
        FitWorkData fit(mx.media.couplings[0], mx.media.tensors[0], 10);
        fit.conformerNumbers = mx.media.numbers;
        std::string out = captured([&] {
            EXPECT_EQ(validation ? fit.vwfit_SA_LM_CV(10) : fit.vwfit_SA_LM(10), 0);
        });
        const double* w = fit.dTensors[0].VWfit_w;
        EXPECT_GE(chosenShare(w), 0.9) << out;
        EXPECT_LT(fit.dArgs->ensemble->stats(0).q, 0.02);
        // the couplings of the final fit are in dcList, which the standard run reports
        for (size_t j = 0; j < mx.tables[0].size(); j++) EXPECT_NEAR(fit.dcList[j].dCalc, mx.tables[0][j].d, 2.0);
        EXPECT_NE(out.find("\n SVD Fit with equal weights\n\t N:\t 89\n\t RMS:\t"), std::string::npos);
        EXPECT_NE(out.find("\nStart anealing ... Trial # 2\n w0: \n\t"), std::string::npos);
        EXPECT_NE(out.find("\n SA #2 ( 100 steps) of Trial #   1 \tRMS: "), std::string::npos);
        EXPECT_NE(out.find(" w*100 Powell: \n\t"), std::string::npos);
        EXPECT_NE(out.find("\n Powell Trial #  2\n\t RMS:\t"), std::string::npos);
        EXPECT_NE(out.find("\n VWFit SA Final\n\t RMS:\t"), std::string::npos);
    }
    RunSeed::clear();
}

// One conformer: its weight is 1 whatever is drawn, so every trial ends at the equal-weight
// result; with C = 0 every printed score equals its <Q>.
TEST(FitWorkDataVwfit, OneConformerGivesTheEqualWeightResultInEveryTrial) {
    testutil::TempDir dir;
    const std::string pdb = peptide::pdbText({peptide::patterns()[8]});
    testutil::writeFile(dir.file("one.pdb"), pdb);
    const peptide::Models models = knowntensor::readModels(dir.file("one.pdb"));
    std::vector<std::vector<Coupling>> tables = {peptide::simulate(models, {1.0}, kS1)};
    for (Coupling& c : tables[0]) c.d += (c.resI % 3 - 1) * 0.4;   // noise: Q is not 0
    Media m = load(dir, pdb, tables);
    shortRun(m.tensors, 3, 5, 10, 10);
    RunSeed::set(2);
    FitWorkData fit(m.couplings, m.tensors, 1);
    fit.conformerNumbers = m.numbers;
    const std::string out = captured([&] { EXPECT_EQ(fit.vwfit_SA_LM_CV_multi_topN_2(1), 0); });
    RunSeed::clear();
    EXPECT_EQ(fit.dTensors[0].VWfit_w[0], 1.0);

    std::smatch hit;
    ASSERT_TRUE(std::regex_search(out, hit, std::regex("score \\(<Q>\\): \t *([0-9.]+)")));
    const std::string equal = hit[1];
    EXPECT_GT(std::stod(equal), 0.001);
    int scores = 0;
    const std::regex line("score: +([0-9.]+) \\[<Q>: *([0-9.]+) ");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator(); ++it) {
        EXPECT_NEAR(std::stod((*it)[1]), std::stod(equal), 5e-4);   // %8.4f against %6.3f
        EXPECT_NEAR(std::stod((*it)[1]), std::stod((*it)[2]), 5e-4);
        scores++;
    }
    EXPECT_EQ(scores, 3 * 4);   // per trial: the start and three phases
    const std::regex stats("\t Q:\t *([0-9.]+) \\[");
    int blocks = 0;
    for (auto it = std::sregex_iterator(out.begin(), out.end(), stats); it != std::sregex_iterator(); ++it, blocks++)
        EXPECT_EQ((*it)[1].str(), equal);
    EXPECT_GT(blocks, 3 * 4);
}

// No trial: the equal-weight result that seeds the best record is the result. A fixed first
// weight keeps its share through the trials.
TEST(FitWorkDataVwfit, EqualWeightsSeedTheBestRecordAndTheFirstWeightCanBeFixed) {
    TwoMedia mx;
    shortRun(mx.media.tensors, 0, 10, 10, 10);
    {
        FitWorkData fit(mx.media.couplings, mx.media.tensors, 10);
        fit.conformerNumbers = mx.media.numbers;
        const std::string out = captured([&] { fit.vwfit_SA_LM_CV_multi_topN_2(10); });
        for (int c = 0; c < 10; c++) EXPECT_DOUBLE_EQ(fit.dTensors[1].VWfit_w[c], 0.1);
        EXPECT_EQ(out.find("Trial #"), std::string::npos);
    }
    shortRun(mx.media.tensors, 1, 10, 20, 20);
    mx.media.tensors[0].first_W_nonzero = 1;
    RunSeed::set(4);
    FitWorkData fit(mx.media.couplings, mx.media.tensors, 10);
    fit.conformerNumbers = mx.media.numbers;
    captured([&] { fit.vwfit_SA_LM_CV_multi_topN_2(10); });
    RunSeed::clear();
    EXPECT_EQ(fit.dArgs->firstWFixed, 1);
    EXPECT_DOUBLE_EQ(fit.dTensors[0].VWfit_w[0], 0.025);
}

// Four media of 356 couplings: 1 424 residuals, beyond the tensor fit's 1 000.
TEST(FitWorkDataVwfit, MoreCouplingsThanTheTensorFitTakes) {
    TwoMedia mx;
    std::vector<std::vector<Coupling>> tables;
    for (int k = 0; k < 4; k++) {
        tables.emplace_back();
        for (int copy = 0; copy < 4; copy++)
            tables.back().insert(tables.back().end(), mx.tables[k % 2].begin(), mx.tables[k % 2].end());
    }
    testutil::TempDir dir;
    Media m = load(dir, peptide::pdbText(), tables);
    shortRun(m.tensors, 1, 5, 10, 10);
    m.tensors[0].saPowellFlag = 0;
    RunSeed::set(8);
    FitWorkData fit(m.couplings, m.tensors, 10);
    fit.conformerNumbers = m.numbers;
    const std::string out = captured([&] { EXPECT_EQ(fit.vwfit_SA_LM_CV_multi_topN_2(10), 0); });
    RunSeed::clear();
    EXPECT_EQ(fit.dArgs->xcCnt, 4 * 356);
    EXPECT_EQ(fit.dArgs->cCnt, 10);
    EXPECT_EQ(out.find("Powell"), std::string::npos);   // -nosaPowell
    EXPECT_NE(out.find("\n VWFit Final\t Medium #4\n\t N:\t356\n"), std::string::npos);
}

// More conformers than the fit takes: the message, nothing fitted.
TEST(FitWorkDataVwfit, ConformerLimit) {
    std::vector<DipolarCouplingData> list(1);
    DTensor t;
    for (int n : {501, 800}) {
        FitWorkData multi(std::vector<std::vector<DipolarCouplingData>>{list}, std::vector<DTensor>{t}, n);
        FitWorkData single(list, t, n);
        testing::internal::CaptureStderr();
        EXPECT_EQ(multi.vwfit_SA_LM_CV_multi_topN_2(n), -1);
        EXPECT_EQ(single.vwfit_SA_LM(n), -1);
        EXPECT_EQ(single.vwfit_SA_LM_CV(n), -1);
        const std::string line = "Error: Number of strutures " + std::to_string(n) + " exceed VWFIT limit of 500\n";
        EXPECT_EQ(testing::internal::GetCapturedStderr(), line + line + line);
        EXPECT_EQ(multi.dArgs, nullptr);
    }
}

// The real 20-model ubiquitin ensemble in four media: alike models whose weights the couplings
// cannot tell apart. The fit ends with a score no worse than that of equal weights.
TEST(FitWorkDataVwfit, UbiquitinEndsNoWorseThanEqualWeights) {
    const std::string ex = std::string(ORVEX_SOURCE_DIR) + "/examples/";
    std::vector<PDB> pdbs(1);
    pdbs[0].isLoaded = pdbs[0].loadPDB(ex + "2MJB.pdb");
    std::vector<int> numbers;
    for (const auto& conf : pdbs[0].Conformers) numbers.push_back(conf.first);
    std::vector<std::vector<DipolarCouplingData>> media;
    std::vector<DTensor> tensors(4);
    for (int k = 0; k < 4; k++) {
        DCListData list;
        list.readDC(ex + "2mjb_set50" + std::to_string(k) + "_backbone.tab", tensors[k]);
        list.selectDC(list.segFIRST, list.segLAST, {}, {}, true);
        list.buildDC(pdbs, true, 0);
        media.push_back(list.dcList);
    }
    shortRun(tensors, 2, 5, 20, 20);
    RunSeed::set(21);
    FitWorkData fit(media, tensors, 20);
    fit.conformerNumbers = numbers;
    const std::string out = captured([&] { EXPECT_EQ(fit.vwfit_SA_LM_CV_multi_topN_2(20), 0); });
    RunSeed::clear();
    const std::vector<double> equal(20, 0.05);
    const double equalScore = scoreOf(fit, equal.data());
    const double finalScore = scoreOf(fit, fit.dTensors[0].VWfit_w);
    EXPECT_LE(finalScore, equalScore);
    char printed[64];
    std::snprintf(printed, sizeof printed, "score (<Q>): \t%6.3f\n", equalScore);
    EXPECT_NE(out.find(printed), std::string::npos);
    // the equal-weight fit of set 500 is the ensemble-averaged SVD fit: Da_HN -9.48 Hz, Rh 0.167
    EXPECT_NE(out.find("SVD Fit with equal weights\t\t Medium #1\n\t N:\t305\n\t RMS:\t 0.770 [  0.770 ]\n"),
              std::string::npos);
    EXPECT_NE(out.find("\t Da:\t-9.483 \n\t Rh:\t 0.167\n"), std::string::npos);
}
