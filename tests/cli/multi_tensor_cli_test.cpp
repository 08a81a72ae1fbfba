// -multiTensor as a user runs it: one known tensor per conformer fitted back exactly through
// the executable, the real ensembles against the tensors they report, the table layout for 2
// and 12 conformers, couplings no jackknife trial leaves out, and the conformer warnings.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "common/KnownTensor.h"
#include "common/ResultTable.h"
#include "common/TestUtil.h"

using namespace knowntensor;
using namespace resulttable;
using testutil::RunResult;
using testutil::runOrvex;
using testutil::TempDir;

namespace {

const std::string kExamples = std::string(ORVEX_SOURCE_DIR) + "/examples/";

// The first n MODELs of the 20-model ubiquitin ensemble, as a file in dir.
std::string firstModels(int n, const TempDir& dir) {
    const std::string ensemble = testutil::readFile(kExamples + "2MJB.pdb");
    size_t cut = 0;
    for (int k = 0; k <= n; k++) cut = ensemble.find("\nMODEL", cut + 1);
    const std::string path = dir.file(std::to_string(n) + "models.pdb");
    testutil::writeFile(path, ensemble.substr(0, cut + 1) + "END\n");
    return path;
}

// The text of the tensor block of model m (1-based) of a multi-tensor table.
std::string tensorBlock(const std::string& table, int m) {
    const std::string head = "# Tensor for structural model #" + std::to_string(m) + "\n";
    const size_t a = table.find(head);
    if (a == std::string::npos) return "";
    size_t b = table.find("# Tensor for structural model #", a + head.size());
    if (b == std::string::npos) b = table.find("\nVARS", a);
    return table.substr(a, b - a);
}

// |<A, B>| / (|A| |B|) of two order matrices (Frobenius product).
double generalisedCosine(const M3& a, const M3& b) {
    double ab = 0, aa = 0, bb = 0;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) ab += a[i][j] * b[i][j], aa += a[i][j] * a[i][j], bb += b[i][j] * b[i][j];
    return std::fabs(ab) / std::sqrt(aa * bb);
}

const std::string kFourOrMore = " conformers found, multi-Tensor multi-Conformer mode with > 3 tensors is "
                                "generally not recommended.\n";

}  // namespace

// Couplings of five classes simulated here from the peptide's three conformers, each conformer
// with its own tensor, each coupling the sum of the three contributions: every tensor, every
// back-calculated value and the agreement of the tensors come back exactly, with both jackknife
// levels and with -noJK (which only leaves out the jackknife statistics).
TEST(MultiTensorRun, KnownTensorPerConformerRecovered) {
    TempDir dir;
    const std::string pdb = kExamples + "2lwa_3models.pdb";
    const Models models = readModels(pdb);
    ASSERT_EQ(models.size(), 3u);
    struct Known {
        double Da, Dr, psi, theta, phi;
    };
    const Known known[3] = {{6.0e-4, 1.5e-4, 30, -40, 70}, {-8.0e-4, -2.0e-4, -120, 25, -60},
                            {4.5e-4, 0.6e-4, 75, 60, 150}};
    std::vector<M3> S;
    for (const Known& k : known) S.push_back(tensorMatrix(k.Da, k.Dr, k.psi, k.theta, k.phi));
    const std::vector<Kind> kinds = {{"N", "H", 0, constant(gH, gN, 1.041)},
                                     {"CA", "HA", 0, constant(gC, gH, 1.107)},
                                     {"CA", "C", 0, constant(gC, gC, 1.525)},
                                     {"N", "C", -1, constant(gN, gC, 1.329)},
                                     {"C", "H", 1, constant(gC, gH, 2.085)}};
    const int n = writeSimulated(dir.file("sim.tab"), models, kinds, S, false, residueNames(pdb));
    ASSERT_GT(n, 80);
    double nsp = 0;   // mean over the pairs i <= j, each tensor with itself included
    for (int i = 0; i < 3; i++)
        for (int j = i; j < 3; j++) nsp += generalisedCosine(S[i], S[j]) / 6;
    ASSERT_LT(nsp, 0.9);

    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"-JK_level", "R"}, {"-JK_level", "C"}, {"-noJK"}}) {
        std::vector<std::string> args = {"-pdb", pdb, "-inD", "sim.tab", "-multiTensor"};
        args.insert(args.end(), options.begin(), options.end());
        SCOPED_TRACE(options.back());
        RunResult r = runOrvex(args, dir.path());
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("\nDC Multiple Tensor Multi-conformer (SVD) Fit with 3 conformers/tensors ...\n\n"),
                  std::string::npos);
        EXPECT_NE(r.err.find("REMARK D_N:  " + std::to_string(n) + " D_RMS:  0.000 D_CHI2:  0.000\n"),
                  std::string::npos);
        EXPECT_EQ(r.err.find("Warning"), std::string::npos);
        const std::string table = testutil::readFile(dir.file("outD.tab"));

        for (int m = 0; m < 3; m++) {
            SCOPED_TRACE("model " + std::to_string(m + 1));
            const std::string block = tensorBlock(table, m + 1);
            const Known& k = known[m];
            EXPECT_NEAR(dataValues(block, "Da")[0], k.Da, 1e-6 * std::fabs(k.Da));
            EXPECT_NEAR(dataValues(block, "Dr")[0], k.Dr, 1e-6 * std::fabs(k.Da));
            EXPECT_TRUE(hasSolution(block, k.psi, k.theta, k.phi)) << block;
            EXPECT_NEAR(dataValues(block, "Da_HN")[0], 21585.2 * k.Da, 0.0006);
            // noise-free data: every trial finds the same tensors, so no spread
            EXPECT_LT(dataValues(block, "TENSOR_ε")[0], 1e-12);
            for (double sigma : dataValues(block, "SAUPE_σ")) EXPECT_LT(sigma, 1e-12 * std::fabs(k.Da));
            EXPECT_EQ(dataValues(block, "Da_HN")[1], 0.0);
            EXPECT_EQ(dataValues(block, "Rhombicity")[1], 0.0);
        }
        EXPECT_EQ(dataValues(table, "RMS"), std::vector<double>{0.0});
        EXPECT_EQ(dataValues(table, "Q_X_FACTOR"), std::vector<double>{0.0});
        EXPECT_TRUE(dataValues(table, "Q_FACTOR").empty());   // no Da-normalised Q for several tensors

        std::set<int> residues;
        const auto all = rows(table);
        ASSERT_EQ(all.size(), static_cast<size_t>(n));
        for (const auto& row : all) {
            ASSERT_EQ(row.size(), 21u);
            residues.insert(std::max(std::stoi(row[0]), std::stoi(row[3])));
            EXPECT_EQ(row[8], row[7]);    // D and D_OBS
            EXPECT_EQ(row[13], row[7]);   // D_JK
            EXPECT_EQ(std::fabs(std::stod(row[9])), 0.0);
            for (int m = 0; m < 3; m++) {
                EXPECT_NEAR(std::stod(row[14 + 2 * m]), -21585.2 * known[m].Da, 0.0006) << m;
                EXPECT_NEAR(std::stod(row[15 + 2 * m]), known[m].Dr / known[m].Da, 0.0006) << m;
            }
            EXPECT_NEAR(std::stod(row[20]), nsp, 0.0006);
        }
        const bool jk = options[0] != "-noJK";
        EXPECT_EQ(table.find("# Statistics of 'JackKnifed' Validation \n") != std::string::npos, jk);
        if (jk) {
            EXPECT_EQ(dataValues(table, "N_JK")[0], options[1] == "C" ? n : static_cast<int>(residues.size()));
        }
    }
}

// The peptide's own couplings and ubiquitin MODELs 1-3 with the Pf1 set: three tensors each and
// every coupling in the table.
TEST(MultiTensorRun, RealEnsemblesReportThreeTensors) {
    TempDir dir;
    for (const auto& [pdb, tab, couplings] : {std::make_tuple(kExamples + "2lwa_3models.pdb", kExamples + "2lwa.inp", 40u),
                                              std::make_tuple(kExamples + "2MJB_models1-3.pdb",
                                                              kExamples + "2mjb_set502_pf1.tab", 112u)}) {
        SCOPED_TRACE(pdb);
        RunResult r = runOrvex({"-pdb", pdb, "-inD", tab, "-multiTensor"}, dir.path());
        EXPECT_EQ(r.status, 1) << r.err;
        const std::string table = testutil::readFile(dir.file("outD.tab"));
        EXPECT_FALSE(tensorBlock(table, 3).empty());
        EXPECT_TRUE(tensorBlock(table, 4).empty());
        EXPECT_EQ(dataValues(table, "N_PDB"), std::vector<double>{3});
        EXPECT_EQ(rows(table).size(), couplings);
    }
}

// Two conformers: the multi-tensor header, statistics without the Da-normalised Q, one tensor
// block per model, the columns named per tensor and every row in the FORMAT given. A coupling of
// weight 0 is left out by every trial: its jackknife cells print 9999. Twelve conformers: the
// warning, twelve tensor blocks and columns, Da and Rh of tensors 11 and 12 not recorded (9999).
TEST(MultiTensorRun, TableLayoutForTwoAndTwelveConformers) {
    TempDir dir;
    // the backbone table with a weight column, coupling 3 of weight 0
    std::string weighted;
    int row = 0;
    for (const std::string& line : testutil::splitLines(testutil::readFile(kExamples + "2mjb_set500_backbone.tab"))) {
        if (line.rfind("VARS", 0) == 0 || line.rfind("FORMAT", 0) == 0)
            weighted += line + (line[0] == 'V' ? " W\n" : " %.2f\n");
        else if (line.empty() || line[0] == '#' || line.rfind("REMARK", 0) == 0 || line.rfind("DATA", 0) == 0)
            weighted += line + "\n";
        else
            weighted += line + (++row == 3 ? " 0.00\n" : " 1.00\n");
    }
    testutil::writeFile(dir.file("weighted.tab"), weighted);

    RunResult r = runOrvex({"-pdb", firstModels(2, dir), "-inD", "weighted.tab", "-multiTensor"}, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.find("Warning"), std::string::npos);
    const std::string table = testutil::readFile(dir.file("outD.tab"));
    EXPECT_NE(table.find("DATA N_SVD      304\t# Number of Couplings for SVD Fit\n"), std::string::npos);
    EXPECT_EQ(table.find("DATA Q_FACTOR"), std::string::npos);
    EXPECT_NE(table.find("DATA Q_X_FACTOR_JK "), std::string::npos);
    EXPECT_NE(table.find("\nDATA TENSOR_MODE Multiple Tensor Multi-Conformer SVD \n\n\n# Tensor for structural model #1\n"
                         "#                   Szz      Sxx-Syy         Sxy         Sxz         Syz\n"),
              std::string::npos);
    EXPECT_NE(table.find("\n\n# Tensor for structural model #2\n#                   Szz"), std::string::npos);
    const std::string vars = "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J  DI D_OBS D D_DIFF DD DDS "
                             "W D_JK Da_JK_1 Rh_JK_1 Da_JK_2 Rh_JK_2 NSP_TENSORS\n";
    const std::string format = "%4d %4s %4s %4d %4s %4s %9.2f %9.3f %9.3f %9.3f  %.3f %.3f  %.3f  %9.3f %9.3f %9.3f "
                               "%9.3f %9.3f %9.3f";
    EXPECT_NE(table.find("\n\n" + vars + "FORMAT" + format + "\n"), std::string::npos);
    // every row as the format prints its values
    const std::string rowsText = table.substr(table.find('\n', table.find("FORMAT")) + 1);
    const auto lines = testutil::splitLines(rowsText);
    const auto all = rows(table);
    ASSERT_EQ(all.size(), 305u);
    for (size_t i = 0; i < all.size(); i++) {
        const auto& w = all[i];
        std::vector<double> v;
        for (size_t k = 6; k < w.size(); k++) v.push_back(std::stod(w[k]));
        char buf[400];
        std::snprintf(buf, sizeof buf, format.c_str(), std::stoi(w[0]), w[1].c_str(), w[2].c_str(),
                      std::stoi(w[3]), w[4].c_str(), w[5].c_str(), v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7],
                      v[8], v[9], v[10], v[11], v[12]);
        EXPECT_EQ(lines[i], buf);
        const bool leftOut = i != 2;
        for (size_t k = 13; k < 19; k++) EXPECT_EQ(w[k] == "9999.000", !leftOut) << i << " " << k;
        if (leftOut) {
            EXPECT_GT(std::stod(w[18]), 0.0) << i;
        }
        EXPECT_EQ(w[12], leftOut ? "1.000" : "0.000");
    }
    EXPECT_NE(all[2][8], "0.000");   // still back-calculated from the mean tensors

    r = runOrvex({"-pdb", firstModels(12, dir), "-inD", "weighted.tab", "-multiTensor", "-outD", "twelve.tab"},
                 dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("Warning :: 12" + kFourOrMore), std::string::npos);
    const std::string twelve = testutil::readFile(dir.file("twelve.tab"));
    EXPECT_FALSE(tensorBlock(twelve, 12).empty());
    EXPECT_NE(twelve.find(" Da_JK_10 Rh_JK_10 Da_JK_11 Rh_JK_11 Da_JK_12 Rh_JK_12 NSP_TENSORS\n"), std::string::npos);
    for (const auto& w : rows(twelve)) {
        ASSERT_EQ(w.size(), 39u);
        if (w[12] == "0.000") continue;
        for (size_t k = 14; k < 34; k++) EXPECT_NE(w[k], "9999.000") << k;   // tensors 1 to 10
        for (size_t k = 34; k < 38; k++) EXPECT_EQ(w[k], "9999.000") << k;   // tensors 11 and 12
    }
}

// One conformer: the warning, then the ordinary single-tensor fit and table, as without
// -multiTensor. Two and three conformers: no warning; four or more: the warning with the count.
TEST(MultiTensorRun, ConformerWarnings) {
    TempDir dir;
    const std::string pdb = kExamples + "2MJB_model1.pdb", tab = kExamples + "ubq_bicelle_cornilescu2000_nh.tab";
    RunResult multi = runOrvex({"-pdb", pdb, "-inD", tab, "-multiTensor", "-outD", "multi.tab"}, dir.path());
    RunResult plain = runOrvex({"-pdb", pdb, "-inD", tab, "-outD", "plain.tab"}, dir.path());
    EXPECT_EQ(multi.status, 1);
    const std::string warning =
        "Warning :: Only 1 conformer found, switch multi-Tensor multi-Conformer mode to normal mode\n";
    std::string expected = plain.err;
    expected.insert(expected.find("Building couplings"), warning);
    EXPECT_EQ(multi.err, expected);
    EXPECT_EQ(testutil::readFile(dir.file("multi.tab")), testutil::readFile(dir.file("plain.tab")));
    EXPECT_NE(testutil::readFile(dir.file("plain.tab")).find("DATA TENSOR_MODE SVD (Order Matrix Method)\n"),
              std::string::npos);

    for (int n : {2, 3, 4}) {
        const std::string models = firstModels(n, dir);
        RunResult r = runOrvex({"-pdb", models, "-multiTensor"}, dir.path());
        EXPECT_EQ(r.status, 1);
        const std::string loading = "Loading PDB file " + models + ", residues 1 to 76 conformer #" + std::to_string(n);
        EXPECT_EQ(r.err.rfind(loading, 0), 0u) << r.err;
        const size_t end = r.err.find('\n') + 1;
        EXPECT_EQ(r.err.substr(end), n >= 4 ? "Warning :: 4" + kFourOrMore : "");
    }
}
