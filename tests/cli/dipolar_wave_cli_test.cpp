// The dipolar wave fit (-fit_dw) as a user runs it, without a structure file: couplings simulated
// here from known wave parameters of a 20-residue helix are fitted back (with -seed) for N-H,
// HA-CA and C-CA with delta free and for N-H alone with delta pinned; the printed lines, the result
// table's wave block, two seeded runs that print the same, and the runs that fit nothing.
#include <cmath>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/DipolarWaveReference.h"
#include "common/ResultTable.h"
#include "common/TestUtil.h"

using testutil::RunResult;
using testutil::runOrvex;
using testutil::TempDir;
using wavetest::Bond;
using wavetest::Wave;

namespace {

const std::regex kRunningTime("\tRunning time \\(main\\): [0-9.e+-]+ seconds\n");

struct Fitted {
    int firstResidue = 0;
    double rms0 = 0, rms = 0;
    Wave wave{};
};

struct Cross {
    int res;
    double d, dCalc, diff, w;
};

// The "DipolarWave fitting" line (first line of standard output) and the "cross" lines that follow,
// each checked to be printed in the program's format.
Fitted parseOutput(const std::string& out, std::vector<Cross>& cross) {
    const std::vector<std::string> lines = testutil::splitLines(out);
    Fitted f;
    Wave& w = f.wave;
    EXPECT_FALSE(lines.empty());
    if (lines.empty()) return f;
    EXPECT_EQ(std::sscanf(lines[0].c_str(), "DipolarWave fitting: %d rms_0: %lf rms_best: %lf %lf %lf %lf %lf %lf %lf",
                          &f.firstResidue, &f.rms0, &f.rms, &w.ru0, &w.thetaAve, &w.phiAve, &w.da, &w.rh, &w.delta),
              9)
        << lines[0];
    char again[256];
    std::snprintf(again, sizeof again,
                  "DipolarWave fitting: %3d rms_0: %8.5f  rms_best: %8.5f   %8.5f %8.5f %8.5f %8.5e %8.5f %8.5f",
                  f.firstResidue, f.rms0, f.rms, w.ru0, w.thetaAve, w.phiAve, w.da, w.rh, w.delta);
    EXPECT_EQ(lines[0], again);
    for (size_t i = 1; i < lines.size() && lines[i].rfind("cross", 0) == 0; i++) {
        Cross c{};
        EXPECT_EQ(std::sscanf(lines[i].c_str(), "cross %d %lf %lf %lf %lf", &c.res, &c.d, &c.dCalc, &c.diff, &c.w), 5);
        std::snprintf(again, sizeof again, "cross %3d %8.3f %8.3f %8.3f %7.4f ", c.res, c.d, c.dCalc, c.diff, c.w);
        EXPECT_EQ(lines[i], again);
        cross.push_back(c);
    }
    return f;
}

// The fitted wave is the known one: RMS below 0.01 Hz, Da and Rh within 1 %, and the printed
// parameters (perhaps an equivalent set) reproduce every coupling of every bond.
void expectRecovered(const Fitted& f, const Wave& truth, const std::vector<Bond>& bonds, const std::string& what) {
    EXPECT_LT(f.rms, 0.01) << what;
    EXPECT_NEAR(f.wave.da, truth.da, 0.01 * std::fabs(truth.da)) << what;
    EXPECT_NEAR(f.wave.rh, truth.rh, 0.01 * truth.rh) << what;
    EXPECT_GE(f.wave.thetaAve, 0) << what;
    EXPECT_LE(f.wave.thetaAve, 180) << what;
    EXPECT_GE(f.wave.phiAve, 0) << what;
    EXPECT_LE(f.wave.phiAve, 180) << what;
    for (const Bond& b : bonds)
        for (int n = 1; n <= 20; n++)
            EXPECT_NEAR(wavetest::coupling(f.wave, n, b), wavetest::coupling(truth, n, b), 0.01)
                << what << ": " << b.nameI << "-" << b.nameJ << " of residue " << n;
}

}  // namespace

// N-H, HA-CA and C-CA of residues 1 to 20 with delta free (and three HA-HB rows, a class the wave
// does not model: printed with D 0, left out of the fit). A structure file named with -pdb is not
// read. The result table carries the wave block with the fitted values.
TEST(DipolarWaveCli, HelixRecoveredFromThreeClassesWithDeltaFree) {
    TempDir dir;
    const Wave truth{-100, 75, 10, -8e-4, 0.2, 12};
    const std::vector<Bond> bonds = {wavetest::bondNH(), wavetest::bondHACA(), wavetest::bondCCA()};
    wavetest::writeTable(dir.file("helix.tab"), truth, bonds, 20,
                         "    1    ALA     HA     1    ALA     HB    5.0\n    2    ALA     HA     2    ALA     HB    5.0\n"
                         "    3    ALA     HA     3    ALA     HB    5.0\n");
    RunResult r = runOrvex({"-inD", "helix.tab", "-fit_dw", "-seed", "11", "-outD", "wave.tab", "-pdb", "absent.pdb"},
                           dir.path());
    ASSERT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.rfind("Loading DC file helix.tab, 63 couplings found\nREMARK Orvex: Dipolar Wave Fitting.\n"
                          "REMARK D_N:  63 D_RMS:  ",
                          0),
              0u)
        << r.err;
    EXPECT_EQ(r.err.find("Loading PDB file"), std::string::npos);
    std::vector<Cross> cross;
    const Fitted f = parseOutput(r.out, cross);
    expectRecovered(f, truth, bonds, "three classes");
    EXPECT_EQ(f.firstResidue, 1);
    EXPECT_GE(f.wave.delta, 9);
    EXPECT_LE(f.wave.delta, 18);
    EXPECT_NEAR(f.wave.delta, truth.delta, 0.05);

    ASSERT_EQ(cross.size(), 63u);
    for (size_t i = 0; i < 60; i++) {
        const Bond& b = bonds[i / 20];
        const int n = static_cast<int>(i % 20) + 1;
        EXPECT_EQ(cross[i].res, n);
        EXPECT_NEAR(cross[i].d, wavetest::coupling(truth, n, b), 5e-4);
        EXPECT_NEAR(cross[i].dCalc, cross[i].d, 0.002);
        EXPECT_NEAR(cross[i].w, 21585.2 / b.absDI, 5e-5);   // the default weight of the class
    }
    for (size_t i = 60; i < 63; i++) EXPECT_EQ(std::make_pair(cross[i].dCalc, cross[i].diff), std::make_pair(0.0, 5.0));
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\n\tRunning time \\(main\\): [0-9.e+-]+ seconds\n$")));

    const std::string table = testutil::readFile(dir.file("wave.tab"));
    const std::string block = "DATA TENSOR_MODE FIT_DIPOLAR_WAVE\n\n"
                              "# (Variation of RU0, THETA_AVE, PHI_AVE, Da, Dr or Rh)\n"
                              "#\n"
                              "# D = Da*( (3cos(theta)*cos(theta)-1 + 1.5*dr*(1-cos(theta)*cos(theta))*cos(2*phi) ) ) \n"
                              "# with\n"
                              "#     cos(theta) = cos(theta_ave)*cos(delta) -sin(theta_ave)*sin(delta)*cos(Ru-Ru0) \n"
                              "#     phi   = phi_ave + arcsin( sin(delta)*sin(Ru-Ru0)/sqrt(1-cos(theta)*cos(theta)) ) \n"
                              "#     Ru    = 2*PI*n/3.6, phase of residue n\n"
                              "#     delta : angle between N-H and helix-axis\n";
    const size_t at = table.find(block);
    ASSERT_NE(at, std::string::npos) << table;
    const std::string after = table.substr(at + block.size());
    EXPECT_TRUE(std::regex_search(after, std::regex("^# \\([^\n]*\\([0-9]{4}\\)[^\n]*\\)\n"))) << after;
    const std::string values = testutil::cFormat("DATA RU0        % 8.2f\n", f.wave.ru0) + testutil::cFormat("DATA THETA_AVE  % 8.2f\n", f.wave.thetaAve) +
                               testutil::cFormat("DATA PHI_AVE    % 8.2f\n", f.wave.phiAve) + "\n" +
                               testutil::cFormat("DATA DELTA_HN  %8.2f\n", f.wave.delta) + "\n" + testutil::cFormat("DATA Da        % e\n", f.wave.da);
    EXPECT_NE(after.find(values), std::string::npos) << after;
    EXPECT_NE(table.find("# Orvex: Dipolar Wave Fitting.\n"), std::string::npos);
    EXPECT_NE(table.find(testutil::cFormat("DATA Rhombicity   %8.3f\n", f.wave.rh)), std::string::npos);
    const auto rows = resulttable::rows(table);
    ASSERT_EQ(rows.size(), 63u);
    for (size_t i = 0; i < 60; i++) EXPECT_NEAR(std::stod(rows[i][8]), cross[i].dCalc, 1e-3) << "row " << i;
}

// N-H alone with delta pinned at 15.8 (-expC 15.8 -expCMin 15.8 -expCMax 15.8; with delta free
// Da, Rh and delta trade off exactly). Two runs with the same -seed print the same lines and write
// the same table.
TEST(DipolarWaveCli, NhWaveRecoveredWithDeltaPinnedAndSeededRunsRepeat) {
    TempDir dir;
    const Wave truth{30, 40, 65, 6e-4, 0.35, 15.8};
    wavetest::writeTable(dir.file("nh.tab"), truth, {wavetest::bondNH()}, 20);
    const std::vector<std::string> args = {"-inD", "nh.tab", "-fit_dw", "-expC", "15.8", "-expCMin", "15.8",
                                           "-expCMax", "15.8", "-seed", "5", "-outD", "wave.tab"};
    RunResult first = runOrvex(args, dir.path());
    ASSERT_EQ(first.status, 1) << first.err;
    const std::string firstTable = testutil::readFile(dir.file("wave.tab"));
    std::vector<Cross> cross;
    const Fitted f = parseOutput(first.out, cross);
    expectRecovered(f, truth, {wavetest::bondNH()}, "N-H alone");
    EXPECT_EQ(f.wave.delta, 15.8);
    EXPECT_EQ(cross.size(), 20u);

    RunResult second = runOrvex(args, dir.path());
    ASSERT_EQ(second.status, 1);
    EXPECT_EQ(std::regex_replace(second.out, kRunningTime, ""), std::regex_replace(first.out, kRunningTime, ""));
    EXPECT_EQ(second.err, first.err);
    EXPECT_EQ(testutil::readFile(dir.file("wave.tab")), firstTable);
}

// Without a coupling table the run returns before anything is computed; a table without a
// coupling of a modelled class gives the fit nothing to fit (status 255).
TEST(DipolarWaveCli, RunsThatFitNothing) {
    TempDir dir;
    RunResult r = runOrvex({"-fit_dw", "-seed", "1"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(std::regex_match(r.out, kRunningTime)) << r.out;
    EXPECT_EQ(r.err, "");

    testutil::writeFile(dir.file("hahb.tab"), "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n"
                                              "FORMAT %5d %6s %6s %5d %6s %6s %9.3f\n"
                                              "    1    ALA     HA     1    ALA     HB    5.0\n");
    r = runOrvex({"-inD", "hahb.tab", "-fit_dw"}, dir.path());
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Loading DC file hahb.tab, 1 couplings found\nError: number of param or data can't be zero!\n");
    EXPECT_FALSE(testutil::fileExists(dir.file("outD.tab")));
}
