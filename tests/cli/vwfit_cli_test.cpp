// The variable-weight ensemble fit as a user runs it: two media simulated here as a mixture of
// three of ten peptide conformers (the weights come back in the tables, seeded runs repeat
// exactly), eleven conformers on two VWFIT_W lines, -vwfit_cv through the standard run, validation mode and the options of -vwfit_cv_multi, and the
// errors: no coupling file, no structure, an unreadable table, too many conformers.
#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/PeptideEnsemble.h"
#include "common/ResultTable.h"
#include "common/TestUtil.h"

using testutil::RunResult;
using testutil::runOrvex;
using testutil::TempDir;

namespace {

const std::string kExamples = std::string(ORVEX_SOURCE_DIR) + "/examples/";
const std::vector<double> kMixture = {0, 0.5, 0, 0, 0.3, 0, 0, 0, 0.2, 0};

// ens.pdb (the given patterns) and m1.tab, m2.tab simulated from weights w in dir.
void writeInputs(const TempDir& dir, const std::vector<std::string>& patterns, std::vector<double> w) {
    testutil::writeFile(dir.file("ens.pdb"), peptide::pdbText(patterns));
    const peptide::Models models = knowntensor::readModels(dir.file("ens.pdb"));
    w.resize(models.size(), 0.0);
    testutil::writeFile(dir.file("m1.tab"), peptide::tableText(peptide::simulate(
                                                models, w, knowntensor::tensorMatrix(5e-4, 2e-4, 30, 50, 70))));
    testutil::writeFile(dir.file("m2.tab"), peptide::tableText(peptide::simulate(
                                                models, w, knowntensor::tensorMatrix(-3e-4, -0.6e-4, -40, 110, 15))));
}

std::vector<std::string> args(std::vector<std::string> a, const std::vector<std::string>& more) {
    a.insert(a.end(), more.begin(), more.end());
    return a;
}

const std::vector<std::string> kShort = {"-seed", "11", "-saStep1", "20", "-saStep2", "100", "-saStep3", "100",
                                         "-vwfitCount", "2"};

std::string masked(const std::string& out) {
    return std::regex_replace(out, std::regex("main\\): .* seconds"), "main): _ seconds");
}

// The weights of a table's VWFIT_W lines, checking the layout of every line: "DATA VWFIT_W "
// and up to ten " %6.3f " values.
std::vector<double> weightLines(const std::string& table, std::vector<int>* perLine = nullptr) {
    std::vector<double> w;
    const std::regex layout("DATA VWFIT_W ( [ 0-9.]{5}[0-9] )+");
    for (const std::string& line : testutil::splitLines(table)) {
        if (line.rfind("DATA VWFIT_W", 0) != 0) continue;
        EXPECT_TRUE(std::regex_match(line, layout)) << "[" << line << "]";
        const auto values = resulttable::allDataValues(line, "VWFIT_W").at(0);
        if (perLine) perLine->push_back(static_cast<int>(values.size()));
        w.insert(w.end(), values.begin(), values.end());
    }
    return w;
}

}  // namespace

TEST(VwfitCli, TwoMediaGiveBackTheMixtureAndSeededRunsRepeat) {
    TempDir dir;
    writeInputs(dir, peptide::patterns(), kMixture);
    const auto a = args({"-vwfit", "-pdb", "ens.pdb", "-inDs", "m1.tab", "m2.tab", "-outTitle", "mix"}, kShort);
    const RunResult r = runOrvex(a, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.rfind("Loading PDB file ens.pdb, residues 1 to 30 conformer #10, atom #149\n"
                          "Loading DC file m1.tab, 89 couplings found\n"
                          "Building couplings ... 89 couplings validated\n"
                          "Loading DC file m2.tab, 89 couplings found\n"
                          "Building couplings ... 89 couplings validated\n",
                          0),
              0u)
        << r.err;
    EXPECT_EQ(r.out.rfind("\nRDC set # 1\n89 couplings selected for fitting tensor and validation ... \n"
                          "\nRDC set # 2\n89 couplings selected for fitting tensor and validation ... \n"
                          "\nStarting VWFit (standard mode) ... \n\n"
                          " SVD Fit with an equal weight for all conformers ...\n ###### VWFit Statistics ###### \n"
                          " SVD Fit with equal weights\t\t Medium #1\n\t N:\t 89\n",
                          0),
              0u)
        << r.out.substr(0, 600);
    EXPECT_NE(r.out.find("\n ###### End of VWFit Statistics ###### \n"
                         "\nWriting output to outD_1_mix.tab\t for set # 1\n"
                         "\nWriting output to outD_2_mix.tab\t for set # 2\n\tRunning time (main): "),
              std::string::npos);

    for (const char* name : {"outD_1_mix.tab", "outD_2_mix.tab"}) {
        const std::string table = testutil::readFile(dir.file(name));
        ASSERT_FALSE(table.empty()) << name;
        EXPECT_NE(table.find("\nDATA TENSOR_MODE VWFIT (Variable weights ensemble fit)\n\nDATA VWFIT_W "),
                  std::string::npos);
        EXPECT_EQ(resulttable::dataValues(table, "N_PDB"), std::vector<double>{10});
        const std::vector<double> w = weightLines(table);
        ASSERT_EQ(w.size(), 10u);
        for (int c = 0; c < 10; c++) EXPECT_NEAR(w[c], kMixture[c], 0.002) << name << " conformer " << c + 1;
        EXPECT_LT(resulttable::dataValues(table, "RMS")[0], 0.01);
        EXPECT_LT(resulttable::dataValues(table, "Q_FACTOR")[0], 0.002);
    }

    const RunResult again = runOrvex(a, dir.path());
    EXPECT_EQ(masked(again.out), masked(r.out));
    EXPECT_EQ(again.err, r.err);
}

// Eleven conformers: ten weights on the first VWFIT_W line, one on the second.
TEST(VwfitCli, ElevenConformersPrintTwoWeightLines) {
    TempDir dir;
    std::vector<std::string> patterns = peptide::patterns();
    patterns.push_back(std::string(30, 'L'));
    writeInputs(dir, patterns, kMixture);
    const RunResult r = runOrvex({"-vwfit", "-pdb", "ens.pdb", "-inD", "m1.tab", "-seed", "3", "-saStep1", "10",
                                  "-saStep2", "20", "-saStep3", "20", "-vwfitCount", "1"},
                                 dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string table = testutil::readFile(dir.file("outD_1_vwfit.tab"));
    EXPECT_EQ(resulttable::dataValues(table, "N_PDB"), std::vector<double>{11});
    std::vector<int> perLine;
    const std::vector<double> w = weightLines(table, &perLine);
    EXPECT_EQ(perLine, (std::vector<int>{10, 1}));
    double sum = 0;
    for (double v : w) sum += v;
    EXPECT_NEAR(sum, 1, 0.006);   // eleven values rounded to 0.001
    // the block ends with the single value and one line end
    EXPECT_TRUE(std::regex_search(table, std::regex("\nDATA VWFIT_W  [ 0-9.]{5}[0-9] \n#")));
}

// -vwfit_cv: fit mode 8 of the standard run, one medium, the validation residues predicted by the
// fitted weights and reported in the table's validation block.
TEST(VwfitCli, StandardRunFitsTheWeightsWithValidationResidues) {
    TempDir dir;
    writeInputs(dir, peptide::patterns(), kMixture);
    const RunResult r = runOrvex(
        args({"-vwfit_cv", "-pdb", "ens.pdb", "-inD", "m1.tab", "-select", "1", "20", "-select_valid", "21", "30"}, kShort),
        dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out.rfind("\n SVD Fit with equal weights\n\t N:\t 59\n\t RMS:\t", 0), 0u) << r.out.substr(0, 300);
    EXPECT_NE(r.out.find("\n VWFit SA Final\n\t RMS:\t 0.000\n\t Q:\t 0.000 \n\t Da:\t10.793 \n\t Rh:\t 0.400\n"),
              std::string::npos);
    const std::string table = testutil::readFile(dir.file("outD.tab"));
    EXPECT_NE(table.find("DATA TENSOR_MODE VWFIT (Variable weights ensemble fit)\n"), std::string::npos);
    const std::vector<double> w = weightLines(table);
    ASSERT_EQ(w.size(), 10u);
    for (int c = 0; c < 10; c++) EXPECT_NEAR(w[c], kMixture[c], 0.002);
    EXPECT_EQ(resulttable::dataValues(table, "N_V"), std::vector<double>{30});
    EXPECT_LT(resulttable::dataValues(table, "RMS_V")[0], 0.01);
}

// -vwfit_cv_multi with a validation selection: validation mode, the counts of both sets, and the
// trial options, which this entry honours without -vwfit.
TEST(VwfitCli, ValidationModeAndTheTrialOptions) {
    TempDir dir;
    writeInputs(dir, peptide::patterns(), kMixture);
    const RunResult r = runOrvex({"-vwfit_cv_multi", "-pdb", "ens.pdb", "-inDs", "m1.tab", "m2.tab", "-select", "1",
                                  "20", "-select_valid", "21", "30", "-saStep1", "3", "-saStep2", "4", "-saStep3", "5",
                                  "-vwfitCount", "1", "-nosaPowell", "-vwfit_C", "0.2", "-seed", "2"},
                                 dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out.rfind("\nRDC set # 1\n59 couplings selected for fitting tensor ... \n"
                          "30 couplings selected for validation ... \n\nRDC set # 2\n",
                          0),
              0u)
        << r.out.substr(0, 300);
    EXPECT_NE(r.out.find("\nStarting VWFit (validation mode) ... \n\n"), std::string::npos);
    EXPECT_NE(r.out.find("\n=======VWFit Trial # 1/1 (coefficient C = 0.2)=======\n"), std::string::npos);
    EXPECT_NE(r.out.find("phase #1 (   3 steps) of Trial #   1 \n"), std::string::npos);
    EXPECT_NE(r.out.find("phase #3 (   5 steps) of Trial #   1 \n"), std::string::npos);
    EXPECT_EQ(r.out.find("Powell"), std::string::npos);
    const std::string table = testutil::readFile(dir.file("outD_2_vwfit.tab"));
    EXPECT_NE(table.find("DATA TENSOR_MODE VWFIT"), std::string::npos);
    EXPECT_EQ(resulttable::dataValues(table, "N_V"), std::vector<double>{30});
}

TEST(VwfitCli, ErrorsAndLimits) {
    TempDir dir;
    writeInputs(dir, peptide::patterns(), kMixture);
    auto noTables = [&dir] {
        for (const char* name : {"outD_1_vwfit.tab", "outD_2_vwfit.tab", "outD.tab"})
            EXPECT_FALSE(testutil::fileExists(dir.file(name))) << name;
    };

    // no coupling file
    RunResult r = runOrvex({"-vwfit", "-pdb", "ens.pdb"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "No couplings file specified! Quit ..\n");
    EXPECT_TRUE(std::regex_match(r.out, std::regex("\tRunning time \\(main\\): [0-9.e+-]+ seconds\n")));
    noTables();

    // no structure: the coupling list's own message and status
    r = runOrvex({"-vwfit", "-inDs", "m1.tab"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("No PDB structure loaded ...\n"), std::string::npos) << r.err;
    noTables();

    // an unreadable table: that medium holds no coupling, contributes nothing and writes no table
    r = runOrvex({"-vwfit", "-pdb", "ens.pdb", "-inDs", "m1.tab", "missing.tab", "-vwfitCount", "1", "-saStep1",
                  "3", "-saStep2", "3", "-saStep3", "3", "-nosaPowell"},
                 dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\tCan't open file missing.tab for reading\n"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("\nRDC set # 2\n0 couplings selected for fitting tensor and validation ... \n"),
              std::string::npos);
    EXPECT_NE(r.out.find(" Medium #2\n\t N:\t  0\n\t RMS:\t 0.000 [  0.000 ]\n\t Q:\t 0.000 [  0.000 ]\n"),
              std::string::npos);
    EXPECT_TRUE(testutil::fileExists(dir.file("outD_1_vwfit.tab")));
    EXPECT_FALSE(testutil::fileExists(dir.file("outD_2_vwfit.tab")));
    std::remove(dir.file("outD_1_vwfit.tab").c_str());

    // more conformers than the fit takes: 501 models of one N-H
    std::string pdb;
    for (int m = 1; m <= 501; m++)
        pdb += testpdb::model(m) + testpdb::atom(1, "N", "ALA", 2, 0, 0, 0) +
               testpdb::atom(2, "H", "ALA", 2, 0.1 * (m % 7), 1.0, 0.1 * (m % 5)) + testpdb::endModel();
    testutil::writeFile(dir.file("big.pdb"), pdb);
    testutil::writeFile(dir.file("one.tab"), "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n"
                                             "FORMAT %5d %6s %6s %5d %6s %6s %9.3f\n"
                                             "    2    ALA      N     2    ALA      H     5.000\n");
    for (const char* mode : {"-vwfit", "-vwfit_cv"}) {
        r = runOrvex({mode, "-pdb", "big.pdb", "-inD", "one.tab"}, dir.path());
        EXPECT_EQ(r.status, 1) << mode;
        EXPECT_NE(r.err.find("Error: Number of strutures 501 exceed VWFIT limit of 500\n"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("Trial"), std::string::npos);
        noTables();
    }
}
