// Option set: option rows that interact, and their effect on the working tensor.
#include <limits>
#include <tuple>

#include <gtest/gtest.h>

#include "driver/CmdArgParser.h"
#include "driver/Orvex.h"

namespace {

// Fills the process-wide parser with a fresh command line and reads it into a new Orvex.
std::unique_ptr<Orvex> withArgs(std::vector<std::string> args) {
    CmdArgParser* p = CmdArgParser::getInstance();
    p->lst.clear();
    p->origStr = " ";
    std::vector<char*> argv;
    static char prog[] = "Orvex";
    argv.push_back(prog);
    for (auto& a : args) argv.push_back(&a[0]);
    p->setArg(std::string(" -"), static_cast<int>(argv.size()), argv.data());
    auto app = std::make_unique<Orvex>();
    app->setArgs(ArgList());
    return app;
}

}  // namespace

TEST(OrvexOptions, Files) {
    auto o = withArgs({"-pdb", "x.pdb", "-inD", "a.tab"});
    EXPECT_EQ(o->inPDBFileName + o->inPDBTitle + o->inDCFileName, "x.pdbx.pdba.tab");
    EXPECT_EQ(o->outDCFileName, "outD.tab");

    o = withArgs({"-out", "a.out", "-outD", "b.out", "-in", "c.tab", "-inDTitle", "T"});
    EXPECT_EQ(o->outDCFileName, "b.out");
    EXPECT_EQ(o->inDCFileName, "c.tab");
    EXPECT_EQ(o->inDCTitle, "T");
}

TEST(OrvexOptions, MethodOrderEffects) {
    EXPECT_EQ(withArgs({"-fit", "-fit_lm"})->dTensor.fitMode, 5);
    EXPECT_EQ(withArgs({"-fit_lm"})->dTensor.fitMode, 2);
    auto o = withArgs({"-fit", "-gs_step", "7.9"});
    EXPECT_EQ(o->grid_step, 7);
    EXPECT_EQ(o->dTensor.tensorMode, 3);
    o = withArgs({"-fit_nlls", "-vwfit_cv"});
    EXPECT_EQ(o->dTensor.fitMode, 8);
    EXPECT_EQ(o->dTensor.saFitFlag, 1);
    o = withArgs({"-fit_lm", "-fit_dw", "-psi", "12", "-theta", "-30", "-phi", "44", "-expOff", "9.9", "-ru0Min", "-50"});
    EXPECT_EQ(std::make_pair(o->dTensor.tensorMode, o->dTensor.fitMode), std::make_pair(8, 6));
    EXPECT_DOUBLE_EQ(o->dTensor.expC, 15.8);
    EXPECT_EQ((std::vector<double>{o->dTensor.Ru0, o->dTensor.thetaAve, o->dTensor.phiAve}), (std::vector<double>{12, -30, 44}));
    EXPECT_EQ(o->dTensor.expResOffset, 9);
    EXPECT_EQ(o->dTensor.psiMin, -50);
    // -fit_sa keeps the fit mode of the earlier rows
    o = withArgs({"-fit_pw", "-fit_sa", "-saStep1", "7", "-vwfitCount", "3", "-saTryCount", "4", "-nosaPowell"});
    EXPECT_EQ(o->dTensor.fitMode, 4);
    EXPECT_EQ(o->dTensor.saItStep1, 7);
    EXPECT_EQ(o->dTensor.saTryCount, 4);
    EXPECT_EQ(o->dTensor.saPowellFlag, 0);
    // annealing settings are read only when annealing is switched on
    o = withArgs({"-saStep1", "7"});
    EXPECT_EQ(o->dTensor.saItStep1, 100);
    // the jackknife switches: only the single letter C means coupling level
    EXPECT_EQ(withArgs({"-svd", "-noJK"})->dTensor.fitFlag_JK, 0);
    EXPECT_TRUE(withArgs({"-JK_level", "R"})->dTensor.byRes);
    EXPECT_TRUE(withArgs({"-JK_level", "Coupling"})->dTensor.byRes);
    EXPECT_FALSE(withArgs({"-JK_level", "C"})->dTensor.byRes);
    EXPECT_FALSE(withArgs({"-jkByRes", "-jkByCoupling"})->dTensor.byRes);
}

TEST(OrvexOptions, DaLimitsAndAutoSign) {
    auto o = withArgs({"-daMin", "Auto"});
    EXPECT_EQ(o->dTensor.autoSignFlag, 1);
    EXPECT_DOUBLE_EQ(o->dTensor.daMin, -0.01);
    o = withArgs({"-daMin", "Auto", "-daMax", "0.02"});
    EXPECT_EQ(o->dTensor.autoSignFlag, 0);
    EXPECT_EQ(o->dTensor.daMax, static_cast<double>(0.02f));
    o = withArgs({"-da", "1.0e-4", "-daMin", "-1e-3"});
    EXPECT_EQ(o->dTensor.da, static_cast<double>(1.0e-4f));   // through single precision
    EXPECT_EQ(o->dTensor.daMin, static_cast<double>(-1e-3f));
    o = withArgs({"-da", "2e-4", "-daFixed"});
    EXPECT_EQ(o->dTensor.daMin, o->dTensor.da);
    EXPECT_EQ(o->dTensor.daMax, o->dTensor.da);
    EXPECT_EQ(o->dTensor.tensorMode, 3);
    o = withArgs({"-da", "2e-4", "-rh", "0.25", "-rhFixed"});
    EXPECT_DOUBLE_EQ(o->dTensor.dr, static_cast<double>(0.25f) * static_cast<double>(2e-4f));
    EXPECT_EQ(o->dTensor.rhFlag, 1);
    EXPECT_EQ(o->dTensor.rhMin, o->dTensor.rhMax);
    o = withArgs({"-da", "2e-4", "-dr", "5e-5", "-drFixed"});
    EXPECT_DOUBLE_EQ(o->dTensor.rh, static_cast<double>(5e-5f) / static_cast<double>(2e-4f));
    EXPECT_EQ(o->dTensor.drMin, o->dTensor.drMax);
}

TEST(OrvexOptions, FixedTensor) {
    auto o = withArgs({"-fixed", "-da", "1e-4", "-rh", "0.3", "-rx", "10", "-ry", "20", "-rz", "30", "-classHN,N",
                       "-pdb", "x.pdb"});
    const DTensor& t = o->dTensor;
    EXPECT_EQ(std::make_pair(t.tensorMode, t.fitMode), std::make_pair(5, 1));
    EXPECT_EQ((std::vector<double>{t.psi, t.theta, t.phi}), (std::vector<double>{10, 20, 30}));
    EXPECT_DOUBLE_EQ(t.dr, static_cast<double>(1e-4f) * static_cast<double>(0.3f));
    EXPECT_EQ(o->DCTypeListInt, std::vector<int>{1});

    // -rxFixed switches to the nonlinear fit with psi pinned
    o = withArgs({"-fixed", "-da", "1e-4", "-rh", "0.3", "-rx", "10", "-ry", "20", "-rz", "30", "-classHN,N",
                  "-rxFixed"});
    EXPECT_EQ(o->dTensor.tensorMode, 3);
    EXPECT_EQ(std::make_pair(o->dTensor.psiMin, o->dTensor.psiMax), std::make_pair(10.0, 10.0));
    EXPECT_EQ(o->dTensor.thetaMin, -180);

    // -dr given with -fixed wins over -rh
    o = withArgs({"-fixed", "-da", "2e-4", "-rh", "0.3", "-dr", "1e-5", "-rx", "0", "-ry", "0", "-rz", "0",
                  "-classCA,C", "-classHN,N", "-classN,C-1", "-classHN,C-1", "-classHB,CB", "-classHA,CA"});
    EXPECT_EQ(o->dTensor.dr, static_cast<double>(1e-5f));
    EXPECT_DOUBLE_EQ(o->dTensor.rh, static_cast<double>(1e-5f) / static_cast<double>(2e-4f));
    EXPECT_EQ(o->DCTypeListInt, (std::vector<int>{1, 7, 12, 3, 6, 10}));

    o = withArgs({"-saupe", "-1e-4", "2e-4", "-3e-4", "1e-5", "-2e-5", "-classHN,N"});
    EXPECT_EQ(o->dTensor.tensorMode, 2);
    const float expected[5] = {-1e-4f, 2e-4f, -3e-4f, 1e-5f, -2e-5f};
    for (int i = 0; i < 5; i++) EXPECT_EQ(o->dTensor.saupe[i], static_cast<double>(expected[i]));
}

TEST(OrvexOptions, Selections) {
    auto o = withArgs({"-select", "10", "20", "30", "40"});
    EXPECT_EQ(o->resSelectionVec_Working, (std::vector<int>{10, 20, 30, 40}));
    EXPECT_EQ(o->resSelectionVec_Validation, o->resSelectionVec_Working);
    EXPECT_TRUE(o->Same_Selection_Working_Validation);
    o = withArgs({"-select", "10", "20", "-select_valid", "21", "30"});
    EXPECT_EQ(o->resSelectionVec_Validation, (std::vector<int>{21, 30}));
    EXPECT_FALSE(o->Same_Selection_Working_Validation);
    o = withArgs({"-select_valid", "1", "5"});
    EXPECT_TRUE(o->resSelectionVec_Working.empty());
    EXPECT_EQ(o->resSelectionVec_Validation, (std::vector<int>{1, 5}));
    EXPECT_FALSE(o->Same_Selection_Working_Validation);
}

TEST(OrvexOptions, ListSettingsAndSwitches) {
    auto o = withArgs({"-keepDI", "-useMethylCC", "-keepDD", "-verb", "-inclMin", "-multiTensor", "-nTensors", "3"});
    EXPECT_EQ(o->keepDIFlag + o->dcDataList.keepDIFlag + o->dcDataList.diFixedFlag + o->dTensor.methylCCFlag, 4);
    EXPECT_TRUE(o->dTensor.allowTinyDD && o->verbose == 1 && o->excludeMode == 3);
    EXPECT_TRUE(o->multiTensorMode);
    EXPECT_EQ(o->nTensors, 3);
    o = withArgs({"-keepDI", "-nokeepDI", "-nofixedDI", "-excl"});
    EXPECT_EQ(o->keepDIFlag + o->dcDataList.keepDIFlag + o->dcDataList.diFixedFlag + o->allowFixedDI, 0);
    EXPECT_EQ(o->excludeMode, 1);
    o = withArgs({"-psi", "10", "-theta", "20", "-phi", "30", "-rot", "-da", "1e-3", "-dr", "2e-4", "-dadr"});
    EXPECT_EQ(o->dTensor.thetaMin, 20);
    EXPECT_EQ(o->dTensor.thetaMax, 20);
    EXPECT_EQ(o->dTensor.drMin, o->dTensor.dr);   // -dadr pins the start dr (not the -dr value)
    EXPECT_DOUBLE_EQ(o->dTensor.dr, -0.000327);
}

// Options the standard run reads beyond the tables: couplings may be generated only with
// -fixed or -saupe; the maximal-subset settings with their defaults (reals in single precision).
TEST(OrvexOptions, StandardRunOptions) {
    auto o = withArgs({"-pdb", "x.pdb"});
    EXPECT_FALSE(o->runOptions.generateCouplings);
    const MaxSubsetOptions& d = o->runOptions.maxSubset;
    EXPECT_FALSE(d.requested());
    EXPECT_EQ(std::make_tuple(d.dCut, d.searchLevel, d.tau, d.culling_Q, d.culling_percent),
              std::make_tuple(3.0, 9999, 0.1, 0.1, 0.0));

    o = withArgs({"-maxSub", "+", "-maxSubDCut", "2.5", "-level", "2.9", "-w12", "0.3", "-culling_Q", "0.2",
                  "-culling_percent", "10", "-saupe", "1", "2", "3", "4", "5", "-inD", "a.tab"});
    const MaxSubsetOptions& m = o->runOptions.maxSubset;
    EXPECT_TRUE(o->runOptions.generateCouplings);
    EXPECT_TRUE(m.requested() && m.soloSet && !m.culling);
    EXPECT_EQ(std::make_tuple(m.dCut, m.searchLevel, m.tau, m.culling_Q, m.culling_percent),
              std::make_tuple(2.5, 2, static_cast<double>(0.3f), static_cast<double>(0.2f), 10.0));
    // any other -maxSub value, or -culling alone, is the culling search
    EXPECT_FALSE(withArgs({"-maxSub", "++"})->runOptions.maxSubset.soloSet);
    o = withArgs({"-culling", "-fixed", "-da", "1e-4", "-rh", "0.3", "-rx", "1", "-ry", "2", "-rz", "3", "-inD", "a.tab"});
    EXPECT_TRUE(o->runOptions.maxSubset.requested() && !o->runOptions.maxSubset.soloSet);
    EXPECT_TRUE(o->runOptions.generateCouplings);
}

// -fit_dw: its defaults, then its own options (reals through single precision, -expOff truncated);
// -ru0, -thetaA, -phiA and their limits write the tensor's psi, theta, phi fields after -psi,
// -theta, -phi, which also gave Ru0, THETA_AVE and PHI_AVE their values.
TEST(OrvexOptions, DipolarWaveOptions) {
    auto o = withArgs({"-fit_dw"});
    const DTensor& d = o->dTensor;
    EXPECT_EQ(std::make_tuple(d.saFitFlag, d.expResOffset, d.tensorMode, d.fitMode), std::make_tuple(1, 13, 8, 6));
    EXPECT_EQ(std::make_tuple(d.expC, d.expCMin, d.expCMax), std::make_tuple(15.8, 9.0, 18.0));

    o = withArgs({"-psi", "12", "-fit_dw", "-expC", "15.8", "-expCMin", "10.5", "-expCMax", "16", "-expOff", "-2.7",
                  "-ru0", "20", "-ru0Min", "-90", "-ru0Max", "90", "-thetaA", "-30", "-thetaAMin", "-60",
                  "-thetaAMax", "60", "-phiA", "44", "-phiAMin", "0", "-phiAMax", "170"});
    const DTensor& t = o->dTensor;
    EXPECT_EQ(std::make_tuple(t.expC, t.expCMin, t.expCMax), std::make_tuple(static_cast<double>(15.8f), 10.5, 16.0));
    EXPECT_EQ(t.expResOffset, -2);
    EXPECT_EQ(std::make_tuple(t.psi, t.psiMin, t.psiMax), std::make_tuple(20.0, -90.0, 90.0));
    EXPECT_EQ(std::make_tuple(t.theta, t.thetaMin, t.thetaMax), std::make_tuple(-30.0, -60.0, 60.0));
    EXPECT_EQ(std::make_tuple(t.phi, t.phiMin, t.phiMax), std::make_tuple(44.0, 0.0, 170.0));
    EXPECT_EQ(t.Ru0, 12);
    // without -fit_dw the wave's options are not read
    o = withArgs({"-ru0", "20", "-expC", "12"});
    EXPECT_EQ(std::make_tuple(o->dTensor.psi, o->dTensor.expC, o->dTensor.tensorMode), std::make_tuple(0.0, 0.0, 1));
}

// Reals read as integers (-gs_step, -expOff, -level) are truncated toward zero; values beyond
// int's range (single precision makes 1e40 infinite) are held at its ends, no number reads as 0.
TEST(OrvexOptions, RealsTruncatedToIntegersStayInRange) {
    constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
    EXPECT_EQ(withArgs({"-fit", "-gs_step", "1e40"})->grid_step, kMax);
    EXPECT_EQ(withArgs({"-fit", "-gs_step", "-1e40"})->grid_step, kMin);
    EXPECT_EQ(withArgs({"-fit", "-gs_step", "3e9"})->grid_step, kMax);
    EXPECT_EQ(withArgs({"-fit", "-gs_step", "nan"})->grid_step, 0);
    EXPECT_EQ(withArgs({"-fit", "-gs_step", "-7.9"})->grid_step, -7);
    EXPECT_EQ(withArgs({"-fit_dw", "-expOff", "inf"})->dTensor.expResOffset, kMax);
    EXPECT_EQ(withArgs({"-fit_dw", "-expOff", "-inf"})->dTensor.expResOffset, kMin);
    EXPECT_EQ(withArgs({"-fit_dw", "-expOff", "2147483520"})->dTensor.expResOffset, 2147483520);  // a float
    EXPECT_EQ(withArgs({"-maxSub", "+", "-level", "1e40"})->runOptions.maxSubset.searchLevel, kMax);
    EXPECT_EQ(withArgs({"-maxSub", "+", "-level", "-nan"})->runOptions.maxSubset.searchLevel, 0);
}
