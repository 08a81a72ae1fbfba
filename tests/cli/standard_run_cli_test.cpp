// The standard run as a user runs it: known-tensor recovery on real structures, the
// bundled example against independent reference values, generated and fixed-tensor
// tables, and the bad inputs users meet.
#include <array>
#include <iterator>
#include <cmath>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "common/KnownTensor.h"
#include "common/ResultTable.h"
#include "common/TestUtil.h"

using testutil::RunResult;
using testutil::runOrvex;
using testutil::TempDir;

namespace {

const std::string kExamples = std::string(ORVEX_SOURCE_DIR) + "/examples/";

using namespace knowntensor;
using namespace resulttable;

}  // namespace

// Couplings simulated here from a known tensor are fitted back exactly: N-H only on one
// model, and four classes averaged over the 20-model ensemble with both jackknife levels.
TEST(StandardRun, KnownTensorRecovered) {
    TempDir dir;
    struct Case {
        std::string pdb;
        std::vector<Kind> kinds;
        double Da, Dr, psi, theta, phi;
        int residueKeys;   // trials of the residue jackknife
    };
    const std::vector<Case> cases = {
        {"2MJB_model1.pdb", {{"N", "H", 0, constant(gH, gN, 1.041)}}, 6.0e-4, 1.5e-4, 30, -40, 70, 0},
        {"2MJB.pdb",
         {{"N", "H", 0, constant(gH, gN, 1.041)},
          {"CA", "C", 0, constant(gC, gC, 1.525)},
          {"HA", "CA", 0, constant(gH, gC, 1.107)},
          {"C", "H", 1, constant(gC, gH, 2.085)}},
         -8.0e-4, -2.0e-4, -120, 25, -60, 76},
    };
    for (const Case& c : cases) {
        const std::string pdb = kExamples + c.pdb;
        Models models = readModels(pdb);
        int n = writeSimulated(dir.file("sim.tab"), models, c.kinds, {tensorMatrix(c.Da, c.Dr, c.psi, c.theta, c.phi)}, true,
                               residueNames(pdb));
        ASSERT_GT(n, 60);
        for (const char* level : {"R", "C"}) {
            RunResult r = runOrvex({"-pdb", pdb, "-inD", "sim.tab", "-JK_level", level}, dir.path());
            EXPECT_EQ(r.status, 1) << r.err;
            std::string table = testutil::readFile(dir.file("outD.tab"));
            EXPECT_EQ(dataValues(table, "N_PDB")[0], models.size());
            EXPECT_EQ(dataValues(table, "Q_FACTOR"), std::vector<double>{0.0});
            EXPECT_EQ(dataValues(table, "RMS"), std::vector<double>{0.0});
            EXPECT_NEAR(dataValues(table, "Da")[0], c.Da, 1e-9);
            EXPECT_NEAR(dataValues(table, "Dr")[0], c.Dr, 1e-9);
            EXPECT_NEAR(dataValues(table, "Da_HN")[0], 21585.2 * c.Da, 1e-3);
            EXPECT_TRUE(hasSolution(table, c.psi, c.theta, c.phi)) << table;
            // noise-free data: every jackknife trial finds the same tensor
            bool byCoupling = std::string(level) == "C";
            EXPECT_LT(dataValues(table, "TENSOR_ε")[0], 1e-10);
            EXPECT_EQ(dataValues(table, "N_JK")[0], byCoupling || !c.residueKeys ? n : c.residueKeys);
            EXPECT_NE(table.find(byCoupling ? "DATA JK_MODE       COUPLING" : "DATA JK_MODE       RESIDUE"),
                      std::string::npos);
            for (const auto& row : rows(table)) {
                ASSERT_EQ(row.size(), 16u);
                EXPECT_EQ(row[8], row[10]);                      // D and D_JK
                EXPECT_EQ(std::fabs(std::stod(row[9])), 0.0);   // D_DIFF
            }
            EXPECT_NE(r.err.find("REMARK DC: sim.tab PDB: " + pdb + " Residues 1 to 76, 76 total.\n"),
                      std::string::npos);
            EXPECT_NE(r.err.find("REMARK D_N:  " + std::to_string(n) + " D_RMS:  0.000 D_CHI2:  0.000\n"),
                      std::string::npos);
        }
    }
}

TEST(StandardRun, BundledExampleMatchesIndependentReference) {
    TempDir dir;
    RunResult r = runOrvex({"-pdb", kExamples + "2MJB.pdb", "-inD", kExamples + "2mjb_set500_backbone.tab"},
                           dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Loading DC file " + kExamples + "2mjb_set500_backbone.tab, 305 couplings found\n"),
              std::string::npos);
    std::string table = testutil::readFile(dir.file("outD.tab"));
    // reference: independent SVD fit of the same data (examples/README.md)
    EXPECT_NEAR(dataValues(table, "Da_HN")[0], -9.48, 0.005);
    EXPECT_NEAR(dataValues(table, "Rhombicity")[0], 0.167, 0.0005);
    EXPECT_NEAR(dataValues(table, "Q_FACTOR")[0], 0.0898, 0.00005);
    EXPECT_NEAR(dataValues(table, "RMS")[0], 0.770, 0.0005);
    EXPECT_NEAR(dataValues(table, "CORR_R")[0], 0.9955, 0.0006);
    EXPECT_EQ(dataValues(table, "N_SVD")[0], 305);
    EXPECT_EQ(dataValues(table, "N")[0], 305);
    EXPECT_EQ(rows(table).size(), 305u);
    EXPECT_EQ(table.find("# Statistics of Fit Validation Dataset"), std::string::npos);
}

TEST(StandardRun, SelectionsJackknifeOffAndValidationBlock) {
    TempDir dir;
    const std::string tab = kExamples + "ubq_bicelle_cornilescu2000_nh.tab";
    RunResult r = runOrvex({"-pdb", kExamples + "2MJB_model1.pdb", "-inD", tab, "-noJK", "-select", "1", "40",
                            "-select_valid", "41", "76"},
                           dir.path());
    EXPECT_EQ(r.status, 1);
    std::string table = testutil::readFile(dir.file("outD.tab"));
    EXPECT_NE(table.find("# Statistics of Fit Working Dataset\nDATA SELECTION  1 to 40  \t # Residues Selection for Fit\n"),
              std::string::npos);
    EXPECT_NE(table.find("# Statistics of Fit Validation Dataset\nDATA SELECTION_V  41 to 76  \t# Residues Selection for "
                         "Validation\n"),
              std::string::npos);
    EXPECT_EQ(table.find("JackKnifed' Validation"), std::string::npos);
    EXPECT_NE(table.find("VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J     DI    D_OBS        D   "
                         "D_DIFF     DD   DDS     W\n"),
              std::string::npos);
    int nSvd = static_cast<int>(dataValues(table, "N_SVD")[0]);
    int nV = static_cast<int>(dataValues(table, "N_V")[0]);
    EXPECT_GT(nSvd, 20);
    EXPECT_GT(nV, 20);
    EXPECT_EQ(nSvd + nV, 63);
    // the fit of the single model agrees with the independent reference for one fixed N-H
    // constant (examples/README.md): R 0.616, RMS 0.717 Hz, |Da| 12.869 Hz as an N-H coupling
    // (Da in Hz does not depend on the value of the constant: the Saupe values scale with it)
    RunResult all = runOrvex({"-pdb", kExamples + "2MJB_model1.pdb", "-inD", tab, "-outD", "all.tab"}, dir.path());
    std::string full = testutil::readFile(dir.file("all.tab"));
    EXPECT_NEAR(dataValues(full, "Rhombicity")[0], 0.616, 0.0005);
    EXPECT_NEAR(dataValues(full, "RMS")[0], 0.717, 0.0005);
    EXPECT_NEAR(std::fabs(dataValues(full, "Da_HN")[0]), 12.869, 0.0015);
}

TEST(StandardRun, GeneratedTable) {
    TempDir dir;
    const std::string pdb = kExamples + "2MJB_model1.pdb";
    const double s[5] = {-1e-4, 2e-4, -3e-4, 1e-5, -2e-5};
    RunResult r = runOrvex({"-pdb", pdb, "-saupe", "-1e-4", "2e-4", "-3e-4", "1e-5", "-2e-5", "-classHN,N"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("couplings generated ... \n"), std::string::npos);
    std::string table = testutil::readFile(dir.file("outD.tab"));
    EXPECT_NE(table.find("DATA TENSOR_MODE SAUPE (Fixed Saupe Values)\n"), std::string::npos);
    EXPECT_NE(table.find("VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J  DI D DDS\n"),
              std::string::npos);
    EXPECT_EQ(table.find("# Statistics of Fit"), std::string::npos);
    // each generated value from the structure, computed here: |DI| u.S.u with S from the five values
    const Models models = readModels(pdb);
    const auto& model = models.begin()->second;
    const M3 S = {{{-(s[0] - s[1]) / 2, s[2], s[3]}, {s[2], -(s[0] + s[1]) / 2, s[4]}, {s[3], s[4], s[0]}}};
    auto generated = rows(table);
    ASSERT_GT(generated.size(), 60u);
    for (const auto& row : generated) {
        int res = std::stoi(row[0]);
        EXPECT_EQ(row[2], "HN");
        double expected = constant(gH, gN, 1.041) * projection(model.at({res, "H"}), model.at({res, "N"}), S);
        EXPECT_NEAR(std::stod(row[7]), expected, 0.0006) << res;
    }
}

TEST(StandardRun, BadInputsUsersMeet) {
    TempDir dir;
    const std::string pdb = kExamples + "2MJB_model1.pdb";
    // atoms absent from the structure: warning block, the run goes on
    testutil::writeFile(dir.file("absent.tab"),
                        "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n"
                        "FORMAT %d %s %s %d %s %s %f\n"
                        "2 GLN N 2 GLN H 5.0\n3 ILE N 3 ILE H -3.0\n4 PHE N 4 PHE H 1.0\n5 VAL N 5 VAL H 2.0\n"
                        "6 LYS N 6 LYS H 4.0\n7 THR N 7 THR H 3.0\n90 XXX N 90 XXX H 1.0\n");
    RunResult r = runOrvex({"-pdb", pdb, "-inD", "absent.tab"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("DC Warning: No Atom Map for DC 7 (PDB ResID 90 90)\n"), std::string::npos);
    EXPECT_NE(r.err.find("Building couplings ... 6 couplings validated\n"), std::string::npos);
    EXPECT_EQ(dataValues(testutil::readFile(dir.file("outD.tab")), "N")[0], 6);

    // every coupling unmeasured: the fit ends the run with status 0 and writes nothing
    testutil::writeFile(dir.file("none.tab"),
                        "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n"
                        "FORMAT %d %s %s %d %s %s %f\n2 GLN N 2 GLN H 9999\n3 ILE N 3 ILE H 9999.0\n");
    r = runOrvex({"-pdb", pdb, "-inD", "none.tab", "-outD", "none_out.tab"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(testutil::fileExists(dir.file("none_out.tab")));
    EXPECT_EQ(r.out, "");

    // a missing structure file: a message, no crash
    r = runOrvex({"-pdb", "missing.pdb", "-inD", "absent.tab"}, dir.path());
    EXPECT_NE(r.err.find("\tCan't open file missing.pdb for reading\n"), std::string::npos);
    EXPECT_NE(r.err.find("No PDB structure loaded ...\n"), std::string::npos);
    EXPECT_EQ(r.status, 0);

    // an unwritable result table: a message, the table on standard output
    r = runOrvex({"-pdb", pdb, "-inD", "absent.tab", "-outD", "no/such/dir/out.tab"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("DC Error opening output file no/such/dir/out.tab\n"), std::string::npos);
    EXPECT_NE(r.out.find("DATA TENSOR_MODE SVD (Order Matrix Method)\n"), std::string::npos);
    EXPECT_NE(r.out.find("\tRunning time (main): "), std::string::npos);

    // only a structure: announced, nothing else
    r = runOrvex({"-pdb", pdb}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Loading PDB file " + pdb + ", residues 1 to 76 conformer #1, atom #1232\n"),
              std::string::npos);
}

TEST(StandardRun, DipolarConstantOptions) {
    TempDir dir;
    const std::string pdb = kExamples + "2MJB_model1.pdb";
    testutil::writeFile(dir.file("di.tab"),
                        "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D DI\n"
                        "FORMAT %d %s %s %d %s %s %f %f\n"
                        "2 GLN N 2 GLN H 5.0 -20000\n3 ILE N 3 ILE H -3.0 -20000\n4 PHE N 4 PHE H 1.0 -20000\n"
                        "5 VAL N 5 VAL H 2.0 -20000\n6 LYS N 6 LYS H 4.0 -20000\n7 THR N 7 THR H 3.0 -20000\n");
    auto firstRowDI = [&dir](const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"-pdb", kExamples + "2MJB_model1.pdb", "-inD", "di.tab", "-noJK"};
        args.insert(args.end(), extra.begin(), extra.end());
        RunResult r = runOrvex(args, dir.path());
        auto all = rows(testutil::readFile(dir.file("outD.tab")));
        return all.empty() ? 0.0 : std::stod(all[0][6]);
    };
    EXPECT_NEAR(firstRowDI({}), -21585.2, 0.005);   // the class constant
    EXPECT_EQ(firstRowDI({"-keepDI"}), -20000); // the table's DI
    // the structure's own N-H distance (X-PLOR geometry) instead of 1.041 A
    Models models = readModels(pdb);
    const auto& m = models.begin()->second;
    Xyz h = m.at({2, "H"}), n = m.at({2, "N"});
    double r = std::sqrt(std::pow(h[0] - n[0], 2) + std::pow(h[1] - n[1], 2) + std::pow(h[2] - n[2], 2));
    EXPECT_NEAR(firstRowDI({"-nofixedDI"}), gH * gN * 3.356809033771374e-12 / (r * r * r), 0.6);
}

// Tables back-calculated from given Saupe values and from a fixed Da, Rh and three rotations. Only
// the working selection is back-calculated: couplings that are only in the validation selection
// keep the placeholder 9999 and print D_DIFF 9999.
TEST(StandardRun, GivenTensorsBackCalculateOnlyTheWorkingSelection) {
    TempDir dir;
    const std::string pdb = kExamples + "2MJB_model1.pdb", tab = kExamples + "ubq_bicelle_cornilescu2000_nh.tab";
    const Models models = readModels(pdb);
    const auto& model = models.begin()->second;
    const double s[5] = {4.4e-4, 3.3e-4, 5.4e-4, -1.5e-4, 3.1e-4};
    struct Run {
        std::string name;
        std::vector<std::string> args;
        M3 S;
        std::string block;
    };
    const Run runs[] = {
        {"saupe",
         {"-saupe", "4.4e-4", "3.3e-4", "5.4e-4", "-1.5e-4", "3.1e-4"},
         {{{-(s[0] - s[1]) / 2, s[2], s[3]}, {s[2], -(s[0] + s[1]) / 2, s[4]}, {s[3], s[4], s[0]}}},
         "DATA TENSOR_MODE SAUPE (Fixed Saupe Values)\n"},
        {"fixed",
         {"-fixed", "-da", "5e-4", "-rh", "0.4", "-rx", "10", "-ry", "20", "-rz", "30"},
         tensorMatrix(5e-4f, static_cast<double>(5e-4f) * static_cast<double>(0.4f), 10, 20, 30),
         "DATA TENSOR_MODE FIXED (Fixed Da and Dr, Fixed Rotations)\nDATA ROT_XYZ    10.00    20.00    30.00\n"},
    };
    for (const Run& run : runs) {
        const std::string& name = run.name;
        std::vector<std::string> args = {"-pdb", pdb, "-inD", tab, "-select", "1", "30", "-select_valid", "31", "76"};
        args.insert(args.end(), run.args.begin(), run.args.end());
        RunResult r = runOrvex(args, dir.path());
        EXPECT_EQ(r.status, 1) << name;
        const std::string table = testutil::readFile(dir.file("outD.tab"));
        EXPECT_NE(table.find(run.block), std::string::npos) << name;
        int working = 0, validationOnly = 0;
        for (const auto& row : rows(table)) {
            ASSERT_EQ(row.size(), 13u) << name;
            const int res = std::stoi(row[0]);
            if (res <= 30) {
                working++;
                double expected = constant(gH, gN, 1.041) * projection(model.at({res, "N"}), model.at({res, "H"}), run.S);
                EXPECT_NEAR(std::stod(row[8]), expected, 0.002) << name << " " << res;
            } else {
                validationOnly++;
                EXPECT_EQ(row[8], "9999.000") << name << " " << res;
                EXPECT_EQ(row[9], "9999.000") << name << " " << res;
            }
        }
        EXPECT_GT(working, 10) << name;
        EXPECT_GT(validationOnly, 10) << name;
    }
}
