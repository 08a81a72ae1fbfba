// The constrained nonlinear tensor fit as a user runs it: couplings simulated here from a known
// tensor on ubiquitin (model 1 of 2MJB; N-H, CA-C, HA-CA and C(i-1)-HN) fitted back by the grid
// search and by annealing, the printed trial lines, the fixing options and their printed ranges,
// -seed, the runs that compute nothing, and the errors.
#include <cmath>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/SimulatedCouplings.h"
#include "common/TestUtil.h"

using testutil::RunResult;
using testutil::runOrvex;
using testutil::TempDir;
using namespace testsim;

namespace {

const std::string kModel1 = std::string(ORVEX_SOURCE_DIR) + "/examples/2MJB_model1.pdb";

struct Truth {
    double Da, Rh, psi, theta, phi;
};

const Truth kPositive{6e-4, 0.3, 30, -40, 70};
const Truth kNegative{-8e-4, 0.2, -120, 25, -60};

const std::vector<Kind>& kinds() {
    static const std::vector<Kind> k = {{"N", "H", 0, constant(gH, gN, 1.041)},
                                        {"CA", "C", 0, constant(gC, gC, 1.525)},
                                        {"HA", "CA", 0, constant(gH, gC, 1.107)},
                                        {"C", "H", 1, constant(gC, gH, 2.085)}};
    return k;
}

// The simulated table "sim.tab" in dir; returns the number of couplings.
int simulate(const TempDir& dir, const Truth& t) {
    return writeSimulated(dir.file("sim.tab"), readModels(kModel1), kinds(), t.Da, t.Rh * t.Da, t.psi, t.theta, t.phi,
                          residueNames(kModel1));
}

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

RunResult run(const TempDir& dir, std::vector<std::string> extra) {
    std::vector<std::string> args = {"-pdb", kModel1, "-inD", "sim.tab"};
    args.insert(args.end(), extra.begin(), extra.end());
    return runOrvex(args, dir.path());
}

std::string line(const char* format, double a, double b) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

// The range lines of the nonlinear block as they must read for the given bounds.
std::string rangeLines(double daMin, double daMax, double rhMin, double rhMax, const double angles[6]) {
    return line("DATA DA_RANGE    % .4e % .4e\n", daMin, daMax) + line("DATA RH_RANGE    % .3f      % .3f\n", rhMin, rhMax) +
           "\n" + line("DATA PSI_RANGE   % 8.2f % 8.2f\n", angles[0], angles[1]) +
           line("DATA THETA_RANGE % 8.2f % 8.2f\n", angles[2], angles[3]) +
           line("DATA PHI_RANGE   % 8.2f % 8.2f\n", angles[4], angles[5]);
}

const double kFreeAngles[6] = {-180, 180, -180, 180, -180, 180};

// The fitted tensor of a table is the known one: statistics of a perfect fit, Da, Rh, and the
// reported angles describe the same axes.
void expectRecovered(const std::string& table, const Truth& t, const std::string& what) {
    EXPECT_EQ(dataValues(table, "RMS"), std::vector<double>{0.0}) << what;
    EXPECT_EQ(dataValues(table, "Q_FACTOR"), std::vector<double>{0.0}) << what;
    EXPECT_EQ(dataValues(table, "CORR_R"), std::vector<double>{1.0}) << what;
    EXPECT_NEAR(dataValues(table, "Da")[0], t.Da, 1e-9) << what;
    EXPECT_NEAR(dataValues(table, "Rhombicity")[0], t.Rh, 0.0005) << what;
    EXPECT_EQ(dataValues(table, "EULER_SOLUTIONS"), std::vector<double>{1}) << what;
    EXPECT_TRUE(hasSolution(table, t.psi, t.theta, t.phi)) << what << "\n" << table;
}

const std::regex kRunningTime("\tRunning time \\(main\\): [0-9.e+-]+ seconds\n");

}  // namespace

// -fit from a Da of the right sign, 25 % off: RMS 0.000 and the known tensor; nothing printed on
// standard output but the running time; the block of the nonlinear fit with the fitted angles.
TEST(NonlinearFit, GridSearchRecoversKnownTensor) {
    TempDir dir;
    for (const Truth& t : {kPositive, kNegative}) {
        const int n = simulate(dir, t);
        ASSERT_GT(n, 250);
        for (const char* step : {"30", "10"}) {
            const std::string what = std::string("step ") + step + " Da " + num(t.Da);
            RunResult r = run(dir, {"-fit", "-gs_step", step, "-da", num(0.75 * t.Da)});
            EXPECT_EQ(r.status, 1) << what << r.err;
            EXPECT_TRUE(std::regex_match(r.out, kRunningTime)) << r.out;
            EXPECT_NE(r.err.find("REMARK D_N:  " + std::to_string(n) + " D_RMS:  0.000 D_CHI2:  0.000\n"),
                      std::string::npos);
            const std::string table = testutil::readFile(dir.file("outD.tab"));
            expectRecovered(table, t, what);
            const std::vector<double> e = dataValues(table, "EULER_ANGLES");
            ASSERT_EQ(e.size(), 3u);
            char rot[160];
            std::snprintf(rot, sizeof rot, "DATA ROT_XYZ % 8.2f % 8.2f % 8.2f\n\nDATA PSI \t% 8.2f\nDATA THETA       % 8.2f\n"
                          "DATA PHI \t% 8.2f\n\n", e[0], e[1], e[2], e[0], e[1], e[2]);
            const std::string block = "#\n# 13. Values for RX=PSI RY=THETA RZ=PHI are the actual XYZ\n"
                                      "#     rotations applied, also given in ROT_XYZ.\n\n"
                                      "DATA TENSOR_MODE FIT_NONLIN (Variation of Da, Dr or Rh, or Rotations)\n"
                                      "DATA BEST_ITER          0\n\n" +
                                      std::string(rot) + rangeLines(-0.01, 0.01, 0, 2.0 / 3, kFreeAngles) +
                                      "#                   Szz";
            EXPECT_NE(table.find(block), std::string::npos) << what << "\n" << table.substr(0, 2500);
        }
    }
}

// -fit_sa_lm with the default phase lengths and -seed: close to the known tensor, every trial
// line in its format, the start RMS as computed here, and the same output again with the same seed.
TEST(NonlinearFit, AnnealingCloseAndRepeatable) {
    TempDir dir;
    const Truth& t = kPositive;
    simulate(dir, t);
    const float daStart = 4.5e-4f;
    RunResult r = run(dir, {"-fit_sa_lm", "-seed", "11", "-da", "4.5e-4"});
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string table = testutil::readFile(dir.file("outD.tab"));
    EXPECT_NEAR(dataValues(table, "Da")[0], t.Da, 0.05 * t.Da);
    EXPECT_NEAR(dataValues(table, "Rhombicity")[0], t.Rh, 0.05 * t.Rh);
    EXPECT_LT(dataValues(table, "Q_X_FACTOR")[0], 0.1);
    EXPECT_EQ(dataValues(table, "EULER_SOLUTIONS"), std::vector<double>{1});

    // standard output: the phase lengths, the bounds, one line per phase, the closing lines
    const std::string f = "[ -]*[0-9]+\\.[0-9]{3}";          // %8.3f
    const std::string e = "-?[0-9]\\.[0-9]{3}e[-+][0-9]{2}";  // %6.3e
    const std::string r5 = " *[0-9]+\\.[0-9]{5}";             // %8.5f
    const std::string six = " " + f + " " + f + " " + f + " " + e + " " + e + " " + e;
    const std::vector<std::string> expected = {
        "100 1 1000 2 ",
        " cLo -180\\.000 -180\\.000 -180\\.000 -1\\.000e-02 0\\.000e\\+00  ",
        " cHi  180\\.000  180\\.000  180\\.000 1\\.000e-02 6\\.667e-01  ",
        " SA 1 Trial #   1" + six + "  RMS: " + r5,
        " SA 2 Trial #   1" + six + "  RMS: " + r5,
        " SA 3 Trial #   1" + six + "  RMS: " + r5,
        " LM Trial #   1" + six + "  RMS_0: " + r5,
        " LM Trial #   1" + six + "  RMS: " + r5,
        " LM Trial #   1 " + f + " " + f + " " + f + " " + e + " " + e + "   RMS: " + r5 + " \\(final lm\\) " + r5 +
            "  Saupe( -?[0-9]\\.[0-9]{4}e[-+][0-9]{2}){5}",
        " LM Trial #   1 " + f + " " + f + " " + f + " " + e + " " + e + "   RMS: " + r5 + " \\(final \\) 5",
        "Trial final  rms_0: " + r5 + "  rms_best: " + r5 + "  ( " + e + "){5}",
        "\tRunning time \\(main\\): [0-9.e+-]+ seconds",
    };
    const std::vector<std::string> lines = testutil::splitLines(r.out);
    ASSERT_EQ(lines.size(), expected.size()) << r.out;
    for (size_t i = 0; i < lines.size(); i++)
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(expected[i]))) << i << ": [" << lines[i] << "]";

    // the start RMS: Da as given, Rh 0.466, no rotation, weights 21585.2/|DI|, computed here
    const Models models = readModels(kModel1);
    const auto& model = models.at(1);
    const M3 S = tensorMatrix(daStart, 0.466 * daStart, 0, 0, 0);
    const M3 St = tensorMatrix(t.Da, t.Rh * t.Da, t.psi, t.theta, t.phi);
    double sum = 0;
    int n = 0;
    for (const Kind& k : kinds())
        for (int res = 1; res <= 76; res++) {
            auto a = model.find({res, k.nameI}), b = model.find({res + k.offsetJ, k.nameJ});
            if (a == model.end() || b == model.end()) continue;
            const double diff = k.dmax * (projection(a->second, b->second, St) - projection(a->second, b->second, S));
            sum += std::pow(diff * 21585.2 / k.dmax, 2);
            n++;
        }
    const double rms0 = std::sqrt(sum / n);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.err, m, std::regex("cCnt= 5 rms_0=([0-9.]+) RMS0\n"))) << r.err;
    EXPECT_NEAR(std::stod(m[1]), rms0, 1e-4 * rms0);
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex("Trial final  rms_0: +([0-9.]+)")));
    EXPECT_NEAR(std::stod(m[1]), rms0, 1e-5);
    EXPECT_NE(r.err.find("XXXXXXX     XXX\n"), std::string::npos);

    // the same seed: the same run
    RunResult again = run(dir, {"-fit_sa_lm", "-seed", "11", "-da", "4.5e-4", "-outD", "again.tab"});
    auto masked = [](const std::string& s) { return std::regex_replace(s, std::regex("main\\): .* seconds"), ""); };
    EXPECT_EQ(masked(again.out), masked(r.out));
    EXPECT_EQ(testutil::readFile(dir.file("again.tab")), table);

    // phase lengths from the options; a phase of no steps is not run and prints no line
    RunResult shortRun = run(dir, {"-fit_sa_lm", "-seed", "5", "-saStep1", "20", "-saStep2", "0", "-saStep3", "30"});
    EXPECT_EQ(shortRun.status, 1);
    EXPECT_EQ(shortRun.out.rfind("20 1 0 2 \n", 0), 0u) << shortRun.out;
    EXPECT_NE(shortRun.out.find(" SA 1 Trial"), std::string::npos);
    EXPECT_EQ(shortRun.out.find(" SA 2 Trial"), std::string::npos);
    EXPECT_NE(shortRun.out.find(" SA 3 Trial"), std::string::npos);
}

// Pinned parameters keep their values and show in the printed ranges; the others are fitted.
TEST(NonlinearFit, FixingOptions) {
    TempDir dir;
    const Truth& t = kNegative;
    simulate(dir, t);
    const float da = static_cast<float>(t.Da), rh = static_cast<float>(t.Rh);
    const float psi = static_cast<float>(t.psi), theta = static_cast<float>(t.theta), phi = static_cast<float>(t.phi);

    // Da and Rh pinned at their true values, grid search: only the angles move
    RunResult r = run(dir, {"-fit", "-gs_step", "30", "-da", num(t.Da), "-daFixed", "-rh", num(t.Rh), "-rhFixed"});
    EXPECT_EQ(r.status, 1) << r.err;
    std::string table = testutil::readFile(dir.file("outD.tab"));
    expectRecovered(table, t, "Da and Rh pinned");
    EXPECT_NE(table.find(rangeLines(da, da, rh, rh, kFreeAngles)), std::string::npos) << table.substr(0, 2500);

    // the rotations pinned at their true values (as start angles, then -rotFixed, or each by
    // -rx/-ry/-rz and its own option), annealing: only Da and Rh move
    const double pinned[6] = {psi, psi, theta, theta, phi, phi};
    const std::vector<std::vector<std::string>> rotationPins = {
        {"-psi", num(t.psi), "-theta", num(t.theta), "-phi", num(t.phi), "-rotFixed"},
        {"-rx", num(t.psi), "-rxFixed", "-ry", num(t.theta), "-ryFixed", "-rz", num(t.phi), "-rzFixed"},
        {"-psi", num(t.psi), "-theta", num(t.theta), "-phi", num(t.phi), "-rot"},
    };
    for (const auto& pins : rotationPins) {
        std::vector<std::string> args = {"-fit_sa_lm", "-seed", "3", "-da", num(0.75 * t.Da)};
        args.insert(args.end(), pins.begin(), pins.end());
        r = run(dir, args);
        EXPECT_EQ(r.status, 1) << pins[1];
        table = testutil::readFile(dir.file("outD.tab"));
        EXPECT_NE(table.find(rangeLines(-0.01, 0.01, 0, 2.0 / 3, pinned)), std::string::npos) << pins[1];
        EXPECT_EQ(dataValues(table, "ROT_XYZ"), (std::vector<double>{psi, theta, phi})) << pins[1];
        EXPECT_NEAR(dataValues(table, "Da")[0], t.Da, 0.02 * std::fabs(t.Da)) << pins[1];
        EXPECT_NEAR(dataValues(table, "Rhombicity")[0], t.Rh, 0.02 * t.Rh) << pins[1];
        EXPECT_NE(r.err.find("cCnt= 2 rms_0="), std::string::npos) << pins[1];
    }

    // rotations and Rh pinned (-rotrh): Da alone
    r = run(dir, {"-fit_sa_lm", "-seed", "3", "-rh", num(t.Rh), "-psi", num(t.psi), "-theta", num(t.theta), "-phi",
                  num(t.phi), "-rotrh"});
    table = testutil::readFile(dir.file("outD.tab"));
    EXPECT_NE(r.err.find("cCnt= 1 rms_0="), std::string::npos);
    EXPECT_NE(table.find(rangeLines(-0.01, 0.01, rh, rh, pinned)), std::string::npos);
    EXPECT_NEAR(dataValues(table, "Da")[0], t.Da, 0.02 * std::fabs(t.Da));

    // -dadr pins Da (and Dr's own range, which these fits do not vary: they fit Rh)
    r = run(dir, {"-fit", "-gs_step", "30", "-da", num(t.Da), "-dadr"});
    table = testutil::readFile(dir.file("outD.tab"));
    EXPECT_NE(table.find(rangeLines(da, da, 0, 2.0 / 3, kFreeAngles)), std::string::npos);
    expectRecovered(table, t, "-dadr");

    // an angle pinned under the grid search: no grid, the refinement alone
    r = run(dir, {"-fit", "-gs_step", "30", "-rx", num(t.psi), "-rxFixed"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Warning :: grid search skipped: it needs psi, theta and phi free\n"), std::string::npos);
    EXPECT_TRUE(testutil::fileExists(dir.file("outD.tab")));

    // everything pinned: the count check, status 255, no table
    for (const char* fit : {"-fit", "-fit_sa_lm"}) {
        std::remove(dir.file("outD.tab").c_str());
        r = run(dir, {fit, "-da", "1e-4", "-daFixed", "-rh", "0.3", "-rhFixed", "-rotFixed"});
        EXPECT_EQ(r.status, 255) << fit;
        const std::string message = "Error: number of param or data can't be zero!\n";
        ASSERT_GE(r.err.size(), message.size()) << fit;
        EXPECT_EQ(r.err.substr(r.err.size() - message.size()), message) << fit;
        EXPECT_FALSE(testutil::fileExists(dir.file("outD.tab"))) << fit;
    }
}

// Fit modes that run no minimiser report the start tensor; -fixed with a value missing becomes one.
TEST(NonlinearFit, RunsWithoutMinimiserReportTheStartTensor) {
    TempDir dir;
    simulate(dir, kPositive);
    for (const char* mode : {"-fit_lm", "-fit_nlls", "-fit_pw"}) {
        RunResult r = run(dir, {mode, "-da", "5e-4", "-psi", "10"});
        EXPECT_EQ(r.status, 1) << mode;
        EXPECT_TRUE(std::regex_match(r.out, kRunningTime)) << mode;
        const std::string table = testutil::readFile(dir.file("outD.tab"));
        EXPECT_NE(table.find("DATA TENSOR_MODE FIT_NONLIN"), std::string::npos) << mode;
        EXPECT_EQ(dataValues(table, "Da"), std::vector<double>{5e-4}) << mode;
        EXPECT_EQ(dataValues(table, "ROT_XYZ"), (std::vector<double>{10, 0, 0})) << mode;
        // Rh not switched on: the range of Dr is shown
        EXPECT_NE(table.find("DATA DR_RANGE    -1.0000e-02  1.0000e-02\n"), std::string::npos) << mode;
        for (const auto& row : rows(table)) EXPECT_EQ(row[8], "9999.000") << mode;   // nothing calculated
    }
    RunResult r = runOrvex({"-pdb", kModel1, "-fixed", "-da", "1e-4", "-rh", "0.3", "-classHN,N"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("[Error]:: Fixed Mode (-fixed) Must Have All Five Tensors (-da -rh -rx -ry -rz) Specified! \n"
                         "[Error]:: Switched To A Nonlinear Fit Mode (-fit)! \n"),
              std::string::npos);
    const std::string table = testutil::readFile(dir.file("outD.tab"));
    EXPECT_NE(table.find("DATA TENSOR_MODE FIT_NONLIN"), std::string::npos);
    EXPECT_EQ(dataValues(table, "ROT_XYZ"), (std::vector<double>{-9999, -9999, -9999}));
    EXPECT_NE(table.find("DATA Dr  3.000000e-05\n"), std::string::npos);
}

TEST(NonlinearFit, BadInputs) {
    TempDir dir;
    // -seed needs a number
    for (const std::vector<std::string>& args : {std::vector<std::string>{"-seed"}, {"-seed", "x", "-fit"}}) {
        RunResult r = runOrvex(args, dir.path());
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.err, "Error:: '-seed' needs a whole number, e.g. -seed 7 \n");
        EXPECT_EQ(r.out, "");
    }
    // more than 1000 couplings in the fit: an error, no table
    const Models models = readModels(kModel1);
    const auto& model = models.at(1);
    std::string text = "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\nFORMAT %d %s %s %d %s %s %f\n";
    int rowsWritten = 0;
    for (int copy = 0; rowsWritten < 1001; copy++)
        for (int res = 2; res <= 76 && rowsWritten < 1001; res++)
            if (model.count({res, "H"})) {
                text += std::to_string(res) + " X N " + std::to_string(res) + " X H 1.0\n";
                rowsWritten++;
            }
    testutil::writeFile(dir.file("big.tab"), text);
    for (const char* fit : {"-fit", "-fit_sa_lm"}) {
        RunResult r = runOrvex({"-pdb", kModel1, "-inD", "big.tab", fit}, dir.path());
        EXPECT_EQ(r.status, 255) << fit;
        EXPECT_NE(r.err.find("Error: 1001 couplings enter the nonlinear fit, more than its 1000; select fewer "
                             "(-select)\n"),
                  std::string::npos)
            << fit;
        EXPECT_FALSE(testutil::fileExists(dir.file("outD.tab"))) << fit;
    }
    // the same table within the capacity by a selection
    RunResult r = runOrvex({"-pdb", kModel1, "-inD", "big.tab", "-fit", "-gs_step", "60", "-select", "1", "40"},
                           dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(testutil::fileExists(dir.file("outD.tab")));
}
