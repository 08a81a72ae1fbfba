// The standard run as a user runs it: known-tensor recovery on real structures, the
// bundled example against independent reference values, generated and fixed-tensor
// tables, and the bad inputs users meet.
#include <array>
#include <iterator>
#include <cmath>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "common/TestUtil.h"

using testutil::RunResult;
using testutil::runOrvex;
using testutil::TempDir;

namespace {

const std::string kExamples = std::string(ORVEX_SOURCE_DIR) + "/examples/";

// ---- a structure read independently of the program: model -> (residue, atom name) -> xyz ----
typedef std::array<double, 3> Xyz;
typedef std::map<int, std::map<std::pair<int, std::string>, Xyz>> Models;

std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

Models readModels(const std::string& path) {
    Models models;
    std::istringstream in(testutil::readFile(path));
    std::string line;
    int model = 1;
    while (std::getline(in, line)) {
        if (line.rfind("MODEL", 0) == 0) model = std::stoi(line.substr(6));
        if (line.rfind("ATOM", 0) != 0 || line.size() < 54) continue;
        std::string name = trim(line.substr(12, 4));
        int res = std::stoi(line.substr(22, 4));
        models[model][{res, name}] = {std::stod(line.substr(30, 8)), std::stod(line.substr(38, 8)),
                                      std::stod(line.substr(46, 8))};
    }
    return models;
}

// Rotation Rz(phi) Ry(theta) Rx(psi), angles in degrees, rows = principal axes.
typedef std::array<std::array<double, 3>, 3> M3;
M3 rotation(double psi, double theta, double phi) {
    const double k = M_PI / 180, a = psi * k, b = theta * k, c = phi * k;
    M3 rx = {{{1, 0, 0}, {0, cos(a), -sin(a)}, {0, sin(a), cos(a)}}};
    M3 ry = {{{cos(b), 0, sin(b)}, {0, 1, 0}, {-sin(b), 0, cos(b)}}};
    M3 rz = {{{cos(c), -sin(c), 0}, {sin(c), cos(c), 0}, {0, 0, 1}}};
    auto mul = [](const M3& x, const M3& y) {
        M3 r{};
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                for (int l = 0; l < 3; l++) r[i][j] += x[i][l] * y[l][j];
        return r;
    };
    return mul(rz, mul(ry, rx));
}

// Order matrix S = R^T diag(-Da + 1.5 Dr, -Da - 1.5 Dr, 2 Da) R of a tensor.
M3 tensorMatrix(double Da, double Dr, double psi, double theta, double phi) {
    M3 R = rotation(psi, theta, phi), S{};
    const double p[3] = {-Da + 1.5 * Dr, -Da - 1.5 * Dr, 2 * Da};
    for (int a = 0; a < 3; a++)
        for (int b = 0; b < 3; b++)
            for (int k = 0; k < 3; k++) S[a][b] += R[k][a] * p[k] * R[k][b];
    return S;
}

// u.S.u for the unit vector u along a - b.
double projection(const Xyz& a, const Xyz& b, const M3& S) {
    double u[3], len = 0, q = 0;
    for (int c = 0; c < 3; c++) len += std::pow(u[c] = a[c] - b[c], 2);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) q += u[i] * S[i][j] * u[j] / len;
    return q;
}

// A coupling to simulate: atoms, residue offsets and the dipolar constant of its class.
struct Kind {
    std::string nameI, nameJ;
    int offsetJ;    // residue of J relative to I
    double dmax;    // |DI| in Hz from gamma_I gamma_J 3.356809033771374e-12 / r^3
};

double constant(double gI, double gJ, double r) { return std::fabs(gI * gJ * 3.356809033771374e-12 / (r * r * r)); }

// Writes a table of couplings D = |DI| <u.S.u> over the models for the tensor (Da, Dr, angles).
int writeSimulated(const std::string& path, const Models& models, const std::vector<Kind>& kinds, double Da,
                   double Dr, double psi, double theta, double phi, const std::map<int, std::string>& resNames) {
    const M3 S = tensorMatrix(Da, Dr, psi, theta, phi);
    std::string text = "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n"
                       "FORMAT %5d %6s %6s %5d %6s %6s %12.6f\n";
    int count = 0;
    for (const Kind& kind : kinds) {
        for (const auto& rn : resNames) {
            int resI = rn.first, resJ = rn.first + kind.offsetJ;
            if (!resNames.count(resJ)) continue;
            double sum = 0;
            int found = 0;
            for (const auto& m : models) {
                auto i = m.second.find({resI, kind.nameI}), j = m.second.find({resJ, kind.nameJ});
                if (i == m.second.end() || j == m.second.end()) continue;
                sum += projection(i->second, j->second, S);
                found++;
            }
            if (found != static_cast<int>(models.size())) continue;
            char row[200];
            std::snprintf(row, sizeof row, "%5d %6s %6s %5d %6s %6s %12.6f\n", resI, resNames.at(resI).c_str(),
                          kind.nameI.c_str(), resJ, resNames.at(resJ).c_str(), kind.nameJ.c_str(),
                          kind.dmax * sum / models.size());
            text += row;
            count++;
        }
    }
    testutil::writeFile(path, text);
    return count;
}

std::map<int, std::string> residueNames(const std::string& pdbPath) {
    std::map<int, std::string> names;
    std::istringstream in(testutil::readFile(pdbPath));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("ATOM", 0) == 0 && line.size() >= 54) names[std::stoi(line.substr(22, 4))] = trim(line.substr(17, 3));
    return names;
}

// ---- reading the result table ----
// The numbers of every "DATA KEY ..." line, one list per line.
std::vector<std::vector<double>> allDataValues(const std::string& table, const std::string& key) {
    std::vector<std::vector<double>> all;
    for (const std::string& line : testutil::splitLines(table)) {
        std::istringstream words(line);
        std::string data, k, w;
        if (!(words >> data >> k) || data != "DATA" || k != key) continue;
        std::vector<double> values;
        while (words >> w) {
            char* end = nullptr;
            double v = std::strtod(w.c_str(), &end);
            if (end != w.c_str()) values.push_back(v);
        }
        all.push_back(values);
    }
    return all;
}

std::vector<double> dataValues(const std::string& table, const std::string& key) {
    auto all = allDataValues(table, key);
    return all.empty() ? std::vector<double>() : all[0];
}

// Data rows of a result table: the words of every line after FORMAT.
std::vector<std::vector<std::string>> rows(const std::string& table) {
    std::vector<std::vector<std::string>> out;
    bool after = false;
    for (const std::string& line : testutil::splitLines(table)) {
        if (after && !line.empty()) {
            std::istringstream words(line);
            out.emplace_back(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
        }
        after = after || line.rfind("FORMAT", 0) == 0;
    }
    return out;
}

// True when one of the reported Euler solutions describes the tensor axes of (psi, theta, phi):
// the same rotation, or one turned by 180 degrees about a principal axis.
bool hasSolution(const std::string& table, double psi, double theta, double phi) {
    M3 in = rotation(psi, theta, phi);
    const int signs[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    for (const auto& sol : allDataValues(table, "EULER_ANGLES")) {
        if (sol.size() != 3) continue;
        M3 r = rotation(sol[0], sol[1], sol[2]);
        for (const auto& s : signs) {
            bool same = true;
            for (int i = 0; i < 3; i++)
                for (int j = 0; j < 3; j++) same = same && std::fabs(r[i][j] - s[i] * in[i][j]) < 2e-4;
            if (same) return true;
        }
    }
    return false;
}

const double gH = 267.5198e6, gN = -27.116e6, gC = 67.283e6;

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
        int n = writeSimulated(dir.file("sim.tab"), models, c.kinds, c.Da, c.Dr, c.psi, c.theta, c.phi,
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

// -multiTensor warns about a single conformer and about four or more, not about two or three.
TEST(StandardRun, MultiTensorConformerWarnings) {
    TempDir dir;
    const std::string ensemble = testutil::readFile(kExamples + "2MJB.pdb");
    // the first n MODELs of the 20-model ensemble
    auto firstModels = [&](int n) {
        size_t cut = 0;
        for (int k = 0; k <= n; k++) cut = ensemble.find("\nMODEL", cut + 1);
        const std::string path = dir.file(std::to_string(n) + ".pdb");
        testutil::writeFile(path, ensemble.substr(0, cut + 1) + "END\n");
        return path;
    };
    const std::string fourOrMore = " conformers found, multi-Tensor multi-Conformer mode with > 3 tensors is "
                                   "generally not recommended.\n";
    const std::string single =
        "Warning :: Only 1 conformer found, switch multi-Tensor multi-Conformer mode to normal mode\n";
    for (int n : {2, 3, 4}) {
        const std::string pdb = firstModels(n);
        RunResult r = runOrvex({"-pdb", pdb, "-multiTensor"}, dir.path());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "Loading PDB file " + pdb + ", residues 1 to 76 conformer #" + std::to_string(n) +
                             ", atom #1232\n" + (n >= 4 ? "Warning :: 4" + fourOrMore : ""));
    }
    // one conformer: the warning, then a single-tensor fit (its table keeps the multi-tensor layout,
    // as the tensor keeps the multi-tensor fit mode)
    RunResult r = runOrvex({"-pdb", kExamples + "2MJB_model1.pdb", "-inD", kExamples + "ubq_bicelle_cornilescu2000_nh.tab",
                            "-multiTensor"},
                           dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(single), std::string::npos);
    const std::string table = testutil::readFile(dir.file("outD.tab"));
    EXPECT_EQ(dataValues(table, "N_SVD"), std::vector<double>{63});
    EXPECT_NE(table.find("DATA TENSOR_MODE Multiple Tensor Multi-Conformer SVD \n"), std::string::npos);
    EXPECT_EQ(table.find("# Tensor for structural model #2"), std::string::npos);
}
