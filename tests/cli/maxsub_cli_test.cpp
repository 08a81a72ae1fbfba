// -maxSub and -culling as a user runs them: five corrupted residues in a table simulated on the
// ubiquitin model, the result table's runs and marks,
// every option reaching the search, too few residues or couplings, and output that cannot be
// written.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/MaxSubScenario.h"
#include "common/TestUtil.h"

using testutil::RunResult;
using testutil::runOrvex;
using testutil::TempDir;

namespace {

const std::string kModel = maxsubscenario::examples() + "2MJB_model1.pdb";

std::string lineWith(const std::string& text, const std::string& start) {
    const size_t at = text.find(start);
    return at == std::string::npos ? "" : text.substr(at, text.find('\n', at) - at);
}

// The expected MAXSUB_DC line of the scenario: residues 1-70 have couplings, 71-76 none; the
// five corrupted residues are left out, every other one scores below 1.
std::string expectedMarks() {
    std::string marks;
    for (int r = 1; r <= 76; r++) marks += r > 70 ? '-' : maxsubscenario::isOutlier(r) ? 'x' : '0';
    return "DATA MAXSUB_DC  " + marks;
}

// The table of a run that found the five: the runs of selected residues and the marks.
void expectFiveLeftOut(const std::string& path, const std::string& what) {
    const std::string table = testutil::readFile(path);
    EXPECT_EQ(lineWith(table, "DATA RES_MAXSUB "), "DATA RES_MAXSUB    1-4, 6-17, 19-32, 34-47, 49-62, 64-70\t") << what;
    EXPECT_EQ(lineWith(table, "DATA N_RES_MAXSUB"), "DATA N_RES_MAXSUB   65\t# Number of MaxSub selectd residues") << what;
    EXPECT_EQ(lineWith(table, "DATA MAXSUB_DC"), expectedMarks()) << what;
    EXPECT_EQ(lineWith(table, "DATA SEQUENCE"),
              "DATA SEQUENCE   MQIFVKTLTGKTITLEVEPSDTIENVKAKIQDKEGIPPDQQRLIFAGKQLEDGRTLSDYNIQKESTLHLVLRLRGG")
        << what;
    EXPECT_NE(table.find("DATA TENSOR_MODE MAXSUB SVD (Order Matrix Method)\n"), std::string::npos) << what;
    EXPECT_EQ(lineWith(table, "DATA RMS "), "DATA RMS        0.000") << what;
}

}  // namespace

TEST(MaxSubCli, FiveCorruptedResiduesLeftOut) {
    TempDir dir;
    testutil::writeFile(dir.file("sim.tab"), maxsubscenario::tableText(maxsubscenario::simulated()));
    const std::vector<std::string> base = {"-pdb", kModel, "-inD", "sim.tab", "-outD", "max.tab"};
    struct Run {
        std::vector<std::string> options;
        std::string err;   // a line of the error stream
        std::string out;   // a line of standard output
    };
    const Run runs[] = {
        {{"-maxSub", "+"}, "Orvex::MaxSub:: number of residues with valid RDCs: 70 ...\n", "maxSub updated w/  65 residues:  1 2 3 4 6 "},
        {{"-culling"}, "Orvex culling:: Qjk reach the specified minimum of 0.1 after 5 rounds ! \n",
         "maxSub culling:: number of selected residues 65 / 70\n"},
        {{"-culling", "-culling_Q", "0.0001"}, "Orvex culling:: Qjk reach the specified minimum of 0.0001 after 5 rounds ! \n",
         "maxSub culling:: number of selected residues 65 / 70\n"},
        {{"-maxSub", "-JK_level", "C"}, "Orvex::Culling:: number of valid RDCs: 305 ...\n",
         "maxSub culling:: number of selected residues 70 / 70\n"},
    };
    for (const Run& run : runs) {
        std::vector<std::string> args = base;
        args.insert(args.end(), run.options.begin(), run.options.end());
        const RunResult r = runOrvex(args, dir.path());
        const std::string what = run.options[0] + (run.options.size() > 1 ? " " + run.options[1] : "");
        EXPECT_EQ(r.status, 1) << what << r.err;
        EXPECT_NE(r.err.find(run.err), std::string::npos) << what << r.err;
        EXPECT_NE(r.out.find(run.out), std::string::npos) << what << r.out;
        EXPECT_NE(r.err.find("\nREMARK D_N:  305 D_RMS:  "), std::string::npos) << what;
        expectFiveLeftOut(dir.file("max.tab"), what);
    }
}

// -w12, -culling_percent, -level and -maxSubDCut change what the searches do.
TEST(MaxSubCli, OptionsReachTheSearch) {
    TempDir dir;
    testutil::writeFile(dir.file("sim.tab"), maxsubscenario::tableText(maxsubscenario::simulated()));
    auto run = [&](const std::vector<std::string>& options) {
        std::vector<std::string> args = {"-pdb", kModel, "-inD", "sim.tab", "-outD", "max.tab"};
        args.insert(args.end(), options.begin(), options.end());
        const RunResult r = runOrvex(args, dir.path());
        EXPECT_EQ(r.status, 1) << r.err;
        return r;
    };
    // e(S) = (1 - w12) e1(S) + w12 e2(S)
    RunResult r = run({"-culling", "-w12", "0.5"});
    std::istringstream first(lineWith(r.err, "Orvex culling:: round# 1 "));
    std::string word;
    double e1 = 0, e2 = 0, e = 0;
    while (first >> word) {
        if (word == "e1(S)=") first >> e1;
        if (word == "e2(S)=") first >> e2;
        if (word == "e(S)=") first >> e;
    }
    EXPECT_GT(e1, 0);
    EXPECT_NEAR(e, 0.5 * e1 + 0.5 * e2, 1e-5 * e);
    // 4 of 70 residues culled are 5 %
    r = run({"-culling", "-culling_Q", "0", "-culling_percent", "0.05"});
    EXPECT_NE(r.err.find("Orvex culling:: reach the specified 5% of culling after 4 rounds ! \n"), std::string::npos) << r.err;
    // no candidate may be tried at coupling level: nothing removed
    r = run({"-culling", "-JK_level", "C", "-level", "0"});
    EXPECT_NE(r.err.find("Orvex culling:: e(S) score reach the minimum after 1 rounds ! \n"), std::string::npos) << r.err;
    // with a cut-off of 40 Hz the corrupted residues are consistent enough
    r = run({"-maxSub", "+", "-maxSubDCut", "40"});
    EXPECT_EQ(lineWith(testutil::readFile(dir.file("max.tab")), "DATA RES_MAXSUB "), "DATA RES_MAXSUB    1-70\t");
}

TEST(MaxSubCli, TooFewResiduesOrCouplings) {
    TempDir dir;
    // residues 2-7: six residues, 30 couplings; residue 3 alone: 5 couplings
    testutil::writeFile(dir.file("six.tab"), maxsubscenario::tableText(maxsubscenario::simulated(false, 2, 7)));
    RunResult r = runOrvex({"-pdb", kModel, "-inD", "six.tab", "-select", "2", "7", "-maxSub", "+"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.substr(r.err.find("Orvex::")), "Orvex::MaxSub:: number of residues with valid RDCs: 6 ...\n"
                                                   "Orvex::MaxSub:: number of residues with valid RDCs must be more than 6!\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(testutil::fileExists(dir.file("outD.tab")));
    r = runOrvex({"-pdb", kModel, "-inD", "six.tab", "-select", "3", "3", "-culling"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.substr(r.err.find("Orvex::")), "Orvex::Culling:: number of valid RDCs: 5 ...\n"
                                                   "Orvex::Culling:: number of residues with valid RDCs: 1 ...\n"
                                                   "Orvex::MaxSub:: number of valid RDCs must be more than 6!\n");
    EXPECT_FALSE(testutil::fileExists(dir.file("outD.tab")));
}

// An output file that cannot be opened: the message, the table on standard output, status 1.
// An empty output name: no table at all.
TEST(MaxSubCli, OutputThatCannotBeWritten) {
    TempDir dir;
    testutil::writeFile(dir.file("sim.tab"), maxsubscenario::tableText(maxsubscenario::simulated()));
    RunResult r = runOrvex({"-pdb", kModel, "-inD", "sim.tab", "-culling", "-outD", "no/such/dir/max.tab"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("DC Error opening output file no/such/dir/max.tab\n"), std::string::npos);
    EXPECT_NE(r.out.find("# MaxSub/Culling mode to generate a max subset of the fitted RDCs.\n"), std::string::npos);
    EXPECT_NE(r.out.find(expectedMarks() + "\n"), std::string::npos);
    EXPECT_NE(r.out.find("\tRunning time (main): "), std::string::npos);

    r = runOrvex({"-pdb", kModel, "-inD", "sim.tab", "-culling", "-outD", ""}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("MaxSub/Culling"), std::string::npos);
    EXPECT_EQ(r.err.find("REMARK D_N"), std::string::npos);
}
