// The RCSA mode (-rcsa) as a user runs it: RCSA simulated from a known tensor fitted back; the
// coupling tensor of mode 2 back-calculating RCSA simulated from the same tensor; the ubiquitin
// tables against a least-squares fit computed here and against the N-H coupling tensor; the
// chemical-shift options; records without their plane; bad inputs.
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/KnownTensor.h"
#include "common/RcsaSimulation.h"
#include "common/ResultTable.h"
#include "common/TestUtil.h"

using testutil::RunResult;
using testutil::runOrvex;
using testutil::TempDir;

namespace {

const std::string kExamples = std::string(ORVEX_SOURCE_DIR) + "/examples/";
const std::string kRcsaData = std::string(ORVEX_TEST_DATA) + "/rcsa/";
const rcsasim::Tensor kTensor = {-5.9e-4, -3.54e-4, 111.5, 26.5, 32.0};

// The echo of the chemical-shift tensors in effect by default (the record's values).
const std::string kDefaultCsaEcho =
    "\nLoading CSA tensors parameters: "
    " 15N CSA tensor components:   beta_N:  16.0\t d11: -108.50\t d22:  45.70\t d33:  62.80\t\n"
    " 1H CSA tensors components:   beta_H:   8.0\t d11:  -5.80\t d22:   0.00\t d33:   5.80\t\n"
    " 13C' CSA tensors components:   beta_C:  38.0\t d11: -75.00\t d22: -12.00\t d33:  87.00\t\n";

// The first number of the "DATA KEY" line, NaN when absent.
double dataValue(const std::string& table, const std::string& key) {
    const std::vector<double> v = resulttable::dataValues(table, key);
    return v.empty() ? NAN : v[0];
}

// The Euler solutions of a table.
std::vector<std::array<double, 3>> eulerSolutions(const std::string& table) {
    std::vector<std::array<double, 3>> all;
    for (const std::string& line : testutil::splitLines(table)) {
        std::istringstream words(line);
        std::string data, k;
        std::array<double, 3> a;
        if (words >> data >> k && k == "EULER_ANGLES" && words >> a[0] >> a[1] >> a[2]) all.push_back(a);
    }
    return all;
}

// One of the table's Euler solutions describes the axes of the tensor, to the printed digits.
bool hasSolution(const std::string& table, const rcsasim::Tensor& t) {
    for (const auto& a : eulerSolutions(table))
        if (rcsasim::sameAxes(a[0], a[1], a[2], t, 2e-4)) return true;
    return false;
}

using resulttable::rows;

std::vector<rcsasim::Row> simulateAll(const std::string& pdb, const std::string& nuclei,
                                      const rcsasim::Csa& csa = rcsasim::Csa()) {
    std::map<int, std::string> names;
    const rcsasim::Models models = rcsasim::readModels(pdb, &names);
    std::vector<rcsasim::Row> all;
    for (char n : nuclei) {
        const auto part = rcsasim::simulate(models, names, n, kTensor, csa);
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// An independent least-squares fit of measured RCSA (rows of a table file) on one model: rows
// from the axes built here, normal equations solved by Gauss-Jordan elimination, principal
// values of the order matrix from the closed-form roots of its characteristic polynomial.
struct Fit {
    double rms, q, daHN, rh;
};

Fit independentFit(const std::string& pdb, const std::string& tablePath) {
    std::map<int, std::string> names;
    const rcsasim::Models models = rcsasim::readModels(pdb, &names);
    const auto& model = models.begin()->second;
    const rcsasim::Csa csa;
    double M[5][6] = {};
    std::vector<std::pair<std::array<double, 5>, double>> data;
    for (const auto& w : rows(testutil::readFile(tablePath))) {
        const int res = std::stoi(w[0]);
        const char nucleus = w[2][0];
        auto c = model.find({res - 1, "C"}), n = model.find({res, "N"}), h = model.find({res, "H"});
        if (c == model.end() || n == model.end() || h == model.end()) continue;
        const rcsasim::M3 a = rcsasim::axes(nucleus, c->second, n->second, h->second, csa);
        // RCSA = sum_j s_j (2/3) sum_k dii_k a_k^T E_j a_k, E_j the basis of the RCSA order
        auto quad = [&a](int k, int j) {
            const auto& v = a[k];
            switch (j) {
            case 0: return v[1] * v[1] - v[0] * v[0];   // Syy, with Sxx = -Syy - Szz
            case 1: return v[2] * v[2] - v[0] * v[0];   // Szz
            case 2: return 2 * v[0] * v[1];
            case 3: return 2 * v[0] * v[2];
            default: return 2 * v[1] * v[2];
            }
        };
        std::array<double, 5> row{};
        for (int j = 0; j < 5; j++)
            for (int k = 0; k < 3; k++) row[j] += 2.0 / 3.0 * csa.dii(nucleus)[k] * 1000 * quad(k, j);
        const double d = std::stod(w[3]);
        data.push_back({row, d});
        for (int i = 0; i < 5; i++) {
            for (int j = 0; j < 5; j++) M[i][j] += row[i] * row[j];
            M[i][5] += row[i] * d;
        }
    }
    for (int c = 0; c < 5; c++) {
        for (int j = 5; j >= c; j--) M[c][j] /= M[c][c];
        for (int r = 0; r < 5; r++)
            for (int j = 5; j >= c && r != c; j--) M[r][j] -= M[r][c] * M[c][j];
    }
    double s[5], e2 = 0;
    for (int j = 0; j < 5; j++) s[j] = M[j][5];
    for (const auto& [row, d] : data) {
        double calc = 0;
        for (int j = 0; j < 5; j++) calc += row[j] * s[j];
        e2 += (d - calc) * (d - calc);
    }
    // eigenvalues of the traceless S: 2 p cos(phi + 2 pi k / 3), p^2 = tr(S^2)/6, cos 3phi = det(S/p)/2
    const double S[3][3] = {{-s[0] - s[1], s[2], s[3]}, {s[2], s[0], s[4]}, {s[3], s[4], s[1]}};
    double tr2 = 0;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) tr2 += S[i][j] * S[i][j];
    const double p = std::sqrt(tr2 / 6);
    const double det = S[0][0] * (S[1][1] * S[2][2] - S[1][2] * S[2][1]) -
                       S[0][1] * (S[1][0] * S[2][2] - S[1][2] * S[2][0]) +
                       S[0][2] * (S[1][0] * S[2][1] - S[1][1] * S[2][0]);
    const double phi = std::acos(std::max(-1.0, std::min(1.0, det / (p * p * p) / 2))) / 3;
    double ev[3] = {2 * p * std::cos(phi), 2 * p * std::cos(phi + 2 * M_PI / 3), 2 * p * std::cos(phi + 4 * M_PI / 3)};
    std::sort(ev, ev + 3, [](double x, double y) { return std::fabs(x) < std::fabs(y); });
    const double da = ev[2] / 2, dr = (ev[0] - ev[1]) / 3, R = dr / da;
    const double n = data.size();
    return {std::sqrt(e2 / n), std::sqrt(5 * e2 / (n * std::pow(da * 1000, 2) * (4 + 3 * R * R))), 21585.2 * da, R};
}

}  // namespace

// Mode 1: RCSA of all three nuclei simulated on the 20-model ensemble from a known tensor is
// fitted back exactly; the lines on both streams and the table with the default names.
TEST(RcsaMode, KnownTensorRecovered) {
    TempDir dir;
    const std::string pdb = kExamples + "2MJB.pdb";
    const auto sim = simulateAll(pdb, "HNC");
    const int n = static_cast<int>(sim.size());
    ASSERT_GT(n, 190);
    testutil::writeFile(dir.file("inRCSA.tab"), rcsasim::table(sim));
    RunResult r = runOrvex({"-pdb", pdb, "-rcsa"}, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(0u, r.out.find("Loading PDB file " + pdb + ", residues 1 to 76 conformer #20, atom #")) << r.out;
    EXPECT_TRUE(contains(r.out, "\n" + kDefaultCsaEcho + "\nRunning RCSA fit ... \tRunning time (main): ")) << r.out;
    const std::string count = std::to_string(n);
    EXPECT_EQ("Loading RCSA file inRCSA.tab, " + count + " coouplings found\n"
              "Building rcsa  ... " + count + " rcsa data validated\n"
              "REMARK RCSA: inRCSA.tab PDB: " + pdb + " Residues 1 to 76, 76 total.\n"
              "REMARK D_N:  " + count + " D_RMS:  0.000 D_CHI2:  0.000\n",
              r.err);

    const std::string table = testutil::readFile(dir.file("outRCSA.tab"));
    EXPECT_EQ(0u, table.find("# RCSA Calculation. "));
    EXPECT_EQ(dataValue(table, "N_PDB"), 20);
    EXPECT_EQ(dataValue(table, "N"), n);
    EXPECT_EQ(dataValue(table, "N_SVD"), n);
    for (const char* zero : {"RMS", "Chi2", "Q_FACTOR", "RMS_JK", "Chi2_JK"}) EXPECT_EQ(dataValue(table, zero), 0) << zero;
    EXPECT_NEAR(dataValue(table, "Da"), kTensor.Da, 5e-10);
    EXPECT_TRUE(contains(table, "# SAUPE TENSOR components in an order of: Syy, Szz, Sxy, Sxz, Syz\n\n"));
    EXPECT_FALSE(contains(table, "TENSOR_10Hz"));
    EXPECT_TRUE(hasSolution(table, kTensor)) << table;
    EXPECT_EQ(static_cast<int>(rows(table).size()), n);
}

// Mode 2: N-H couplings and RCSA simulated from the same tensor. The coupling tensor, turned
// into RCSA order, reproduces the RCSA values; the coupling table is written as in the standard
// run. With an RCSA table and -inD, mode 1 runs first and mode 2 writes the final RCSA table.
TEST(RcsaMode, CouplingTensorBackCalculatesTheRcsa) {
    TempDir dir;
    const std::string pdb = kExamples + "2MJB_model1.pdb";
    // N-H couplings D = |DI| u.S.u with the N-H constant at the standard distance 1.041 A
    using namespace knowntensor;
    const int nDC = writeSimulated(dir.file("nh.tab"), readModels(pdb), {{"N", "H", 0, constant(gH, gN, 1.041)}},
                                   {kTensor.matrix()}, false, residueNames(pdb));
    const auto sim = simulateAll(pdb, "NC");
    testutil::writeFile(dir.file("rcsa.tab"), rcsasim::table(sim));

    RunResult r = runOrvex({"-pdb", pdb, "-rcsa", "-inRCSA", "rcsa.tab", "-inD", "nh.tab", "-outRCSA", "r.tab",
                            "-outD", "d.tab"},
                           dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(contains(r.out, kDefaultCsaEcho + "\nRunning RCSA fit ... \nDC file found ...\n"
                                "Calculating Alignment Tensor from Fitting DC Data ...\n\nRunning DC fit ... \n"
                                "Calculating RCSA Data from Alignment Tensor ...\n\n\tRunning time (main): "))
        << r.out;
    const std::string count = std::to_string(sim.size());
    const std::string remark = "REMARK RCSA: rcsa.tab PDB: " + pdb + " Residues 1 to 76, 76 total.\n"
                               "REMARK D_N:  " + count + " D_RMS:  0.000 D_CHI2:  0.000\n";
    EXPECT_EQ("Loading RCSA file rcsa.tab, " + count + " coouplings found\n"
              "Building rcsa  ... " + count + " rcsa data validated\n" + remark +
              "Loading DC file nh.tab, " + std::to_string(nDC) + " couplings found\n"
              "Building couplings ... " + std::to_string(nDC) + " couplings validated\n"
              "REMARK DC: nh.tab PDB: " + pdb + " Residues 1 to 76, 76 total.\n"
              "REMARK D_N:  " + std::to_string(nDC) + " D_RMS:  0.000 D_CHI2:  0.000\n" + remark,
              r.err);

    const std::string d = testutil::readFile(dir.file("d.tab"));
    EXPECT_EQ(0u, d.find("# Orvex Dipolar Coupling Calculation. "));
    EXPECT_EQ(dataValue(d, "Q_FACTOR"), 0);
    EXPECT_NEAR(dataValue(d, "Da_HN"), 21585.2 * kTensor.Da, 5e-4);
    EXPECT_TRUE(contains(d, "DATA TENSOR_10Hz"));   // reported in coupling form

    const std::string t = testutil::readFile(dir.file("r.tab"));
    EXPECT_EQ(dataValue(t, "N_SVD"), nDC);   // the coupling fit's count
    EXPECT_EQ(dataValue(t, "RMS"), 0);
    EXPECT_EQ(dataValue(t, "Q_FACTOR"), 0);
    EXPECT_EQ(dataValue(t, "CORR_R"), 1);
    EXPECT_NEAR(dataValue(t, "Da_HN_RDC"), 21585.2 * kTensor.Da, 5e-4);
    EXPECT_TRUE(hasSolution(t, kTensor));
    const auto body = rows(t);
    ASSERT_EQ(body.size(), sim.size());
    for (size_t i = 0; i < body.size(); i++) {
        EXPECT_EQ(std::fabs(std::stod(body[i][5])), 0.0) << i;
        EXPECT_NEAR(sim[i].value, std::stod(body[i][4]), 5e-5) << i;
    }
}

// The ubiquitin tables (15N, 1H, 13C' listed under the residue whose plane holds them) on model 1:
// the printed RMS, Q factor, Da and rhombicity against the fit computed here; and, physically,
// each nucleus alone gives the tensor of the N-H couplings of the same sample (|Da_HN| 12.869 Hz,
// Rh 0.616; RCSA and the N-H table differ in sign through gamma_N).
TEST(RcsaMode, UbiquitinTablesAgreeWithAnIndependentFitAndTheCouplingTensor) {
    TempDir dir;
    const std::string pdb = kExamples + "2MJB_model1.pdb";
    for (const char* name : {"ubq_bicelle_rcsa_N.tab", "ubq_bicelle_rcsa_H.tab", "ubq_bicelle_rcsa_C_shifted.tab"}) {
        SCOPED_TRACE(name);
        RunResult r = runOrvex({"-pdb", pdb, "-rcsa", "-inRCSA", kRcsaData + name}, dir.path());
        EXPECT_EQ(r.status, 1) << r.err;
        const std::string table = testutil::readFile(dir.file("outRCSA.tab"));
        const Fit f = independentFit(pdb, kRcsaData + name);
        EXPECT_EQ(dataValue(table, "N_SVD"), 63);
        EXPECT_NEAR(dataValue(table, "RMS"), f.rms, 5.001e-4);
        EXPECT_NEAR(dataValue(table, "Q_FACTOR"), f.q, 5.001e-4);
        EXPECT_NEAR(dataValue(table, "Da_HN_RDC"), f.daHN, 5.001e-4);
        EXPECT_NEAR(dataValue(table, "Rhombicity"), f.rh, 5.001e-4);
        EXPECT_NEAR(std::fabs(dataValue(table, "Da_HN_RDC")), 12.869, 0.25);
        EXPECT_NEAR(dataValue(table, "Rhombicity"), 0.616, 0.05);
        EXPECT_LT(dataValue(table, "Da_HN_RDC"), 0);
    }
}

// The twelve chemical-shift options replace the record's values and are echoed; RCSA simulated
// with the same values is fitted back exactly.
TEST(RcsaMode, ChemicalShiftOptions) {
    TempDir dir;
    const std::string pdb = kExamples + "2MJB_model1.pdb";
    rcsasim::Csa csa;
    csa.betaN = 20;
    csa.N[0] = -110;
    csa.N[2] = 64.3;
    csa.betaH = 6.5;
    csa.H[0] = -6;
    csa.H[2] = 6;
    csa.betaC = 36.5;
    csa.C[1] = -10;
    csa.C[2] = 85;
    testutil::writeFile(dir.file("in.tab"), rcsasim::table(simulateAll(pdb, "HNC", csa)));
    RunResult r = runOrvex({"-pdb", pdb, "-rcsa", "-inRCSA", "in.tab", "-N_csa_d11", "-110", "-N_csa_d33", "64.3",
                            "-N_csa_beta", "20", "-H_csa_d11", "-6", "-H_csa_d33", "6", "-H_csa_beta", "6.5",
                            "-C_csa_d22", "-10", "-C_csa_d33", "85", "-C_csa_beta", "36.5"},
                           dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(contains(r.out, "\nLoading CSA tensors parameters: "
                                " 15N CSA tensor components:   beta_N:  20.0\t d11: -110.00\t d22:  45.70\t d33:  64.30\t\n"
                                " 1H CSA tensors components:   beta_H:   6.5\t d11:  -6.00\t d22:   0.00\t d33:   6.00\t\n"
                                " 13C' CSA tensors components:   beta_C:  36.5\t d11: -75.00\t d22: -10.00\t d33:  85.00\t\n"))
        << r.out;
    const std::string table = testutil::readFile(dir.file("outRCSA.tab"));
    EXPECT_EQ(dataValue(table, "RMS"), 0);
    EXPECT_NEAR(dataValue(table, "Da"), kTensor.Da, 5e-10);

    // the same data read with the default tensors no longer fit
    r = runOrvex({"-pdb", pdb, "-rcsa", "-inRCSA", "in.tab"}, dir.path());
    EXPECT_GT(dataValue(testutil::readFile(dir.file("outRCSA.tab")), "RMS"), 0.1);
}

// Residue 1 has no preceding carbonyl and residue 19 (a proline) no amide proton: both records
// are invalid with their warning blocks, and the run goes on without them.
TEST(RcsaMode, RecordsWithoutTheirPlaneAreLeftOut) {
    TempDir dir;
    const std::string pdb = kExamples + "2MJB_model1.pdb";
    auto sim = simulateAll(pdb, "N");
    sim.insert(sim.begin(), rcsasim::Row{19, "PRO", "C", 12.5});
    sim.insert(sim.begin(), rcsasim::Row{1, "MET", "N", 30.0});
    testutil::writeFile(dir.file("in.tab"), rcsasim::table(sim));
    RunResult r = runOrvex({"-pdb", pdb, "-rcsa", "-inRCSA", "in.tab", "-outRCSA", "out.tab"}, dir.path());
    EXPECT_EQ(r.status, 1);
    const std::string valid = std::to_string(sim.size() - 2);
    EXPECT_EQ(0u, r.err.find("Loading RCSA file in.tab, " + std::to_string(sim.size()) + " coouplings found\n"
                             "RCSA Warning: No Atom Map for RCSA 1 (PDB ResID 1)\n"
                             "   ResID: 1 ResName: MET AtomName: N Seg:  Chain: \n"
                             "RCSA Warning: No Atom Map for RCSA 2 (PDB ResID 19)\n"
                             "   ResID: 19 ResName: PRO AtomName: C Seg:  Chain: \n"
                             "Building rcsa  ... " + valid + " rcsa data validated\n"))
        << r.err;
    const std::string table = testutil::readFile(dir.file("out.tab"));
    EXPECT_EQ(std::to_string(static_cast<int>(dataValue(table, "N"))), valid);
    EXPECT_EQ(dataValue(table, "RMS"), 0);
}

TEST(RcsaMode, BadInputs) {
    TempDir dir;
    const std::string pdb = kExamples + "2MJB_model1.pdb";
    // no table: the default name cannot be read, nothing to fit
    RunResult r = runOrvex({"-pdb", pdb, "-rcsa"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ("\tCan't open file inRCSA.tab for reading\nLoading RCSA file inRCSA.tab, 0 coouplings found\n", r.err);
    EXPECT_FALSE(contains(r.out, "Running RCSA fit"));
    EXPECT_FALSE(testutil::fileExists(dir.file("outRCSA.tab")));

    // no structure
    testutil::writeFile(dir.file("in.tab"), rcsasim::table(simulateAll(pdb, "N")));
    r = runOrvex({"-rcsa", "-inRCSA", "in.tab"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.err, "No PDB structure loaded ...\n")) << r.err;
    EXPECT_EQ(0u, r.out.find("Loading PDB file , residues 9999 to -9999 conformer #0, atom #0\n")) << r.out;

    // nothing measured that can be fitted (values above 900): the fit ends the run quietly
    testutil::writeFile(dir.file("big.tab"), "VARS RESID RESNAME ATOMNAME D\nFORMAT %d %s %s %f\n5 VAL N 950.0\n");
    r = runOrvex({"-pdb", pdb, "-rcsa", "-inRCSA", "big.tab"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "Running RCSA fit ... ")) << r.out;
    EXPECT_FALSE(contains(r.out, "Running time"));

    // an output that cannot be written: the message, and the table on standard output
    r = runOrvex({"-pdb", pdb, "-rcsa", "-inRCSA", "in.tab", "-outRCSA", "no/such/out.tab"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "RCSA Error opening output file no/such/out.tab\n")) << r.err;
    EXPECT_TRUE(contains(r.out, "Running RCSA fit ... # RCSA Calculation. ")) << r.out;
}
