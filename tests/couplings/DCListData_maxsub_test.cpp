// The maximal-subset result table written from a list set up by hand: header, runs of the
// selected residues, MAXSUB_DC marks under the sequence in pieces of 100 residues, rows with
// every column.
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/TestUtil.h"
#include "couplings/DCListData.h"

namespace {

DipolarCouplingData coupling(int res, const char* atomI, const char* atomJ, double d, double dCalc, int selected) {
    DipolarCouplingData dc;
    dc.resIDI = dc.resIDJ = res;
    dc.resNameI = dc.resNameJ = "ALA";
    dc.atomNameI = atomI;
    dc.atomNameJ = atomJ;
    dc.diCalc = -21585.2;
    dc.d = d;
    dc.dCalc = dCalc;
    dc.dCalc_jk = dCalc - 0.25;
    dc.da_jk = 5e-4;
    dc.dr_jk = 1e-4;
    dc.sigma = 1;
    dc.dtheta = 3;
    dc.dphi = 4;
    dc.w = dc.wCalc = 1;
    dc.selected = dc.selected_v = selected;
    return dc;
}

// Residues 1-130; couplings of residues 3, 4, 5, 6, 7 (unmeasured), 8, 9 (not valid), 10, 11,
// 20, 21 and 115. Selected: 3-5, 8, 10, 11, 20, 21; residue 6 and 115 have couplings but are not.
// Every selected coupling is 0.5 Hz off its calculated value, the others 1 Hz.
struct Scene {
    DCListData list;
    std::vector<int> ids = {3, 4, 5, 8, 10, 11, 20, 21};
    std::map<int, double> scores = {{3, 0.6}, {4, 1.2},  {5, 2.99}, {6, 4.5},  {8, 0.0},
                                    {10, 0.4}, {11, 0.7}, {20, 12.4}, {21, 9.0}, {115, 3.5}};
    DTensor t;
    Scene() {
        list.inDCFileName = "in.tab";
        list.inPDBFileName = "model.pdb";
        list.pdbCount = 2;
        list.pdbR1 = 1;
        list.pdbRN = 130;
        for (int r = 1; r <= 130; r++) list.pdbSequence[r] = "MQIFVKTLTG"[(r - 1) % 10];
        list.resSelectionVec_Working = {1, 130};
        for (int r : {3, 4, 5, 8, 10, 11, 20, 21}) list.dcList.push_back(coupling(r, "N", "HN", 5.5, 5.0, 1));
        list.dcList.push_back(coupling(6, "N", "HN", 2.0, 1.0, 0));
        list.dcList.push_back(coupling(7, "N", "HN", 999, 3.0, 0));
        list.dcList.push_back(coupling(9, "N", "HN", 4.0, 3.0, 0));
        list.dcList.back().valid = 0;
        list.dcList.push_back(coupling(115, "CA", "C", -1.0, -2.0, 0));
        list.dcList.back().diCalc = -1808.12;
        list.validCount = 11;
        t.da = 5e-4;
        t.dr = 1e-4;
        t.saupe = {4.1e-4, -7.3e-4, 2.2e-4, -3.1e-4, 1.7e-4};
        t.N_JK = 8;
    }
};

std::string sequenceLines() {
    std::string seq;
    for (int k = 0; k < 13; k++) seq += "MQIFVKTLTG";
    // a digit for a selected residue (12.4 and 9.0 show 9, 0.6 shows 0), x for one with couplings
    // that is not selected, - for one without usable couplings (7 unmeasured, 9 not valid)
    std::string marks(130, '-');
    const std::map<int, char> mark = {{3, '0'}, {4, '1'}, {5, '2'}, {6, 'x'},  {8, '0'},
                                      {10, '0'}, {11, '0'}, {20, '9'}, {21, '9'}, {115, 'x'}};
    for (const auto& [res, c] : mark) marks[res - 1] = c;
    return "DATA SEQUENCE   " + seq.substr(0, 100) + "\nDATA MAXSUB_DC  " + marks.substr(0, 100) + "\n\n" +
           "DATA SEQUENCE   " + seq.substr(100) + "\nDATA MAXSUB_DC  " + marks.substr(100) + "\n\n";
}

const char* const kHeader =
    "# MaxSub/Culling mode to generate a max subset of the fitted RDCs.\n\n"
    "REMARK MaxSubDC:: inD: in.tab PDB: model.pdb Residues 1 to 130, 130 total.\n"
    "DATA N_PDB         2\t# Number of conformers\n"
    "DATA N_DC_TOTAL   12\t# Total number of RDC\n"
    "DATA SELECTION   1 to 130  \t# Residue selection \n\n"
    "DATA N_DC_MAXSUB     8\t# Number of MaxSub selected RDC\n"
    "DATA N_RES_MAXSUB    8\t# Number of MaxSub selectd residues\n"
    "DATA RES_MAXSUB    3-5, 8-8, 10-11, 20-21\t\n# MaxSub selectd residues\n\n"
    "DATA MAXSUB_SCORE   0.877\n\n"
    "#    MAXSUB_DC: Residue Specific MaxSub Set.\n"
    "#            -: residues with no input RDC data.\n"
    "#        [0-9]: residues selected in MaxSub set (rounded 'D_DIFF_RES' value).\n"
    "#            x: residues not selected in MaxSub set.\n#\n";

// DI, D_OBS, D, D_DIFF, D_JK, DA_JK (-21585.2 * 5e-4), RH_JK, DD, DDS (sqrt((9 + 16) / 2)), D_DIFF_RES, W, MAXSUB
const char* const kRows =
    "VARS    RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J  DI D_OBS D D_DIFF D_JK DA_JK RH_JK DD DDS "
    "D_DIFF_RES  W  MAXSUB\n"
    "FORMAT  %4d %4s %4s %4d %4s %4s  %9.2f %9.4f %9.4f %9.4f %9.4f %9.4f %9.4f %9.4f %9.4f %9.4f  %.3f  %1d\n\n"
    "    3  ALA    N    3  ALA   HN  -21585.20    5.5000    5.0000    0.5000    4.7500  -10.7926    0.2000    1.0000    3.5355    0.6000  1.000  1\n"
    "    4  ALA    N    4  ALA   HN  -21585.20    5.5000    5.0000    0.5000    4.7500  -10.7926    0.2000    1.0000    3.5355    1.2000  1.000  1\n"
    "    5  ALA    N    5  ALA   HN  -21585.20    5.5000    5.0000    0.5000    4.7500  -10.7926    0.2000    1.0000    3.5355    2.9900  1.000  1\n"
    "    8  ALA    N    8  ALA   HN  -21585.20    5.5000    5.0000    0.5000    4.7500  -10.7926    0.2000    1.0000    3.5355    0.0000  1.000  1\n"
    "   10  ALA    N   10  ALA   HN  -21585.20    5.5000    5.0000    0.5000    4.7500  -10.7926    0.2000    1.0000    3.5355    0.4000  1.000  1\n"
    "   11  ALA    N   11  ALA   HN  -21585.20    5.5000    5.0000    0.5000    4.7500  -10.7926    0.2000    1.0000    3.5355    0.7000  1.000  1\n"
    "   20  ALA    N   20  ALA   HN  -21585.20    5.5000    5.0000    0.5000    4.7500  -10.7926    0.2000    1.0000    3.5355   12.4000  1.000  1\n"
    "   21  ALA    N   21  ALA   HN  -21585.20    5.5000    5.0000    0.5000    4.7500  -10.7926    0.2000    1.0000    3.5355    9.0000  1.000  1\n"
    "    6  ALA    N    6  ALA   HN  -21585.20    2.0000    1.0000    1.0000    0.7500 9999.0000 9999.0000    1.0000    3.5355    4.5000  1.000  0\n"
    "    7  ALA    N    7  ALA   HN  -21585.20  999.0000    3.0000 9999.0000    2.7500 9999.0000 9999.0000    1.0000    3.5355 9999.0000  1.000  0\n"
    "  115  ALA   CA  115  ALA    C   -1808.12   -1.0000   -2.0000    1.0000   -2.2500 9999.0000 9999.0000    1.0000    3.5355    3.5000  1.000  0\n";

}  // namespace

TEST(MaxSubTable, EveryPartOfTheTable) {
    testutil::TempDir dir;
    Scene s;
    testing::internal::CaptureStderr();
    EXPECT_EQ(s.list.reportDC_maxSub(dir.file("max.tab"), 3.0, s.t, 0.8766, s.ids, s.scores), 0);
    // 8 selected couplings, each 0.5 Hz off: RMS 0.5, chi2 8 * 0.25; 11 valid couplings
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "REMARK D_N:  11 D_RMS:  0.500 D_CHI2:  2.000\n");
    const std::string table = testutil::readFile(dir.file("max.tab"));

    const std::string first = "# Orvex Dipolar Coupling Calculation. ";
    ASSERT_EQ(table.compare(0, first.size(), first), 0);
    const size_t header = table.find('\n') + 1;
    EXPECT_TRUE(testutil::sameLines(kHeader + sequenceLines(), table.substr(header, table.find("# Statistics") - header)));
    const size_t stats = table.find("# Statistics of Fit Working and Validation Datasets\n"
                                    "DATA SELECTION  'Same as RES_MAXSUB'\n"
                                    "DATA N_SVD      8\t# Number of Couplings for SVD Fit\n"
                                    "DATA RMS        0.500\n");
    EXPECT_NE(stats, std::string::npos) << table;
    EXPECT_NE(table.find("DATA SELECTION     'Same as RES_MAXSUB'\nDATA JK_MODE       RESIDUE\nDATA N_JK          8\n"),
              std::string::npos);
    DTensor shown = s.t;
    const std::string tensor = "\nDATA TENSOR_MODE MAXSUB SVD (Order Matrix Method)\n\n" + shown.reportTensor(1) +
                               "\n#  DDS: expected RDC impact for 1 degree structural noise \n"
                               "#       calculated from sqrt[(DD_THETA^2+DD_PHI^2)/2], where \n"
                               "#       DD_THETA is structural noise from THETA angle  \n"
                               "#       DD_PHI is structural noise from PHI angle (normalized by sine of THETA angle)  \n"
                               "\n";
    const size_t tensorAt = table.find(tensor);
    ASSERT_NE(tensorAt, std::string::npos) << table;
    EXPECT_TRUE(testutil::sameLines(kRows, table.substr(tensorAt + tensor.size())));

}

// Coupling-level jackknife: the selection line of both statistics blocks is the working
// selection; no selected residue: an empty run list.
TEST(MaxSubTable, CouplingJackknifeAndNothingSelected) {
    testutil::TempDir dir;
    Scene s;
    s.t.byRes = false;
    for (DipolarCouplingData& dc : s.list.dcList) dc.selected = 0;
    testing::internal::CaptureStderr();
    s.list.reportDC_maxSub(dir.file("max.tab"), 3.0, s.t, 0, {}, s.scores);
    testing::internal::GetCapturedStderr();
    const std::string table = testutil::readFile(dir.file("max.tab"));
    EXPECT_NE(table.find("DATA N_DC_MAXSUB     0\t# Number of MaxSub selected RDC\n"
                         "DATA N_RES_MAXSUB    0\t# Number of MaxSub selectd residues\n"
                         "DATA RES_MAXSUB    \t\n"),
              std::string::npos);
    EXPECT_NE(table.find("DATA MAXSUB_DC  --xxxx-x-xx--------xx"), std::string::npos);
    EXPECT_NE(table.find("DATA SELECTION  1 to 130  \t # Residues Selection for Fit\nDATA N_SVD      0\t"),
              std::string::npos);
    EXPECT_NE(table.find("DATA SELECTION  1 to 130  \t # Residues Selection for Fit\nDATA JK_MODE       COUPLING\n"),
              std::string::npos);
}
