// Fit statistics and the result table: hand-computed statistics, blocks and column layouts.
#include <cmath>

#include <gtest/gtest.h>

#include "common/TestUtil.h"
#include "couplings/DCListData.h"

namespace {

DipolarCouplingData measured(int res, double d, double dCalc, int selected = 1, int selectedV = 1) {
    DipolarCouplingData dc;
    dc.id = res;
    dc.resIDI = dc.resIDJ = res;
    dc.resNameI = dc.resNameJ = "ALA";
    dc.atomNameI = "N";
    dc.atomNameJ = "HN";
    dc.d = d;
    dc.dCalc = dCalc;
    dc.dCalc_jk = dCalc;
    dc.w = dc.wCalc = 1;
    dc.sigma = 1;
    dc.diCalc = -21585.2;
    dc.selected = selected;
    dc.selected_v = selectedV;
    dc.da_jk = 5e-4;
    dc.dr_jk = 1e-4;
    return dc;
}

DCListData fourCouplings() {
    DCListData list;
    list.dcList = {measured(1, 10, 9), measured(2, -5, -4), measured(3, 3, 3.5), measured(4, 8, 8.5)};
    list.validCount = 4;
    list.pdbCount = 1;
    list.resSelectionVec_Working = {1, 4};
    list.resSelectionVec_Validation = {1, 4};
    return list;
}

DTensor tensor() {
    DTensor t;
    t.da = 5e-4;
    t.dr = 1e-4;
    t.N_JK = 4;
    return t;
}

std::vector<std::string> lines(const std::string& file) { return testutil::splitLines(testutil::readFile(file)); }

bool hasLine(const std::vector<std::string>& all, const std::string& line) {
    return std::find(all.begin(), all.end(), line) != all.end();
}

}  // namespace

TEST(DCListStatistics, HandComputedSmallCase) {
    DCListData list = fourCouplings();
    ASSERT_EQ(list.getStatAll(tensor()), 4);
    // residuals 1, -1, -0.5, -0.5; observed mean 4, calculated mean 4.25
    EXPECT_NEAR(list.chi2, 2.5, 1e-12);
    EXPECT_NEAR(list.rms, std::sqrt(2.5 / 4), 1e-12);
    EXPECT_NEAR(list.slope, 120.5 / 134, 1e-12);
    EXPECT_NEAR(list.corr_r, 120.5 / std::sqrt(134 * 109.25), 1e-12);
    EXPECT_NEAR(list.qfactor, std::sqrt(2.5 / 134), 1e-12);
    // Da 5e-4 is 10.7926 Hz for N-H; Rh 0.2: norm = 10.7926^2 (4 + 3 * 0.04) / 5
    EXPECT_NEAR(list.qfactor_norm, std::sqrt(2.5 / 4) / std::sqrt(10.7926 * 10.7926 * 4.12 / 5), 1e-9);
    // jackknife values equal the full fit here; Q_JK uses the couplings' own trial tensors
    EXPECT_NEAR(list.qfactor_jk, std::sqrt(2.5 / 4 / ((4 * 25e-8 + 3 * 1e-8) / 5)) / 21585.2, 1e-12);
    EXPECT_NEAR(list.rms_v, list.rms, 1e-12);

    // perfect agreement; an ABS coupling with opposite signs; unmeasured and unweighted ones ignored
    DCListData perfect;
    perfect.dcList = {measured(1, 10, 10), measured(2, -5, -5), measured(3, 3, 3), measured(4, -10, 10),
                      measured(5, 9999, 3), measured(6, 4, 9999)};
    perfect.dcList[3].absFlag = 1;
    perfect.dcList[3].selected = 0;   // in the validation set only
    DipolarCouplingData zeroW = measured(7, 50, 0);
    zeroW.w = 0;
    perfect.dcList.push_back(zeroW);
    ASSERT_EQ(perfect.getStatAll(tensor()), 3);
    EXPECT_EQ(perfect.rms + perfect.qfactor + perfect.qfactor_norm, 0);
    EXPECT_NEAR(perfect.corr_r + perfect.slope, 2, 1e-12);
    EXPECT_EQ(perfect.nD_v, 4);
    EXPECT_EQ(perfect.rms_v, 0);   // the ABS coupling contributes a zero residual

    // a zero tensor gives Q_FACTOR 0 instead of a division by zero; nothing selected returns 0
    DTensor zero;
    zero.da = zero.dr = 0;
    DCListData z = fourCouplings();
    z.getStatAll(zero);
    EXPECT_EQ(z.qfactor_norm, 0);
    for (auto& dc : z.dcList) dc.selected = 0;
    EXPECT_EQ(z.getStatAll(tensor()), 0);
}

TEST(DCListTable, HeaderStatisticsAndLevelOneRows) {
    testutil::TempDir dir;
    DCListData list = fourCouplings();
    // above 900: in the statistics (hand-computed for these four couplings), D_DIFF printed as 9999
    list.dcList[1].d = 950;
    list.dcList[1].dCalc = list.dcList[1].dCalc_jk = 949;
    std::vector<DTensor> tensors = {tensor()};
    tensors[0].eulerCount = 0;
    list.writeDC(dir.file("out.tab"), "DC: a.tab PDB: b.pdb Residues 1 to 4, 4 total.", 1, 1, tensors, 4);
    auto all = lines(dir.file("out.tab"));
    ASSERT_GT(all.size(), 20u);
    EXPECT_EQ(all[0].rfind("# Orvex Dipolar Coupling Calculation. ", 0), 0u);
    EXPECT_EQ(all[1], "# DC: a.tab PDB: b.pdb Residues 1 to 4, 4 total.");
    const std::string expected =
        "\nDATA N_PDB     1\t# Number of conformers\nDATA N         4\t# Number of Valid Couplings\n\n"
        "# Statistics of Fit Working and Validation Datasets\n"
        "DATA SELECTION  1 to 4  \t # Residues Selection for Fit\n"
        "DATA N_SVD      4\t# Number of Couplings for SVD Fit\n"
        "DATA RMS        0.791\nDATA Chi2       2.500\nDATA Q_FACTOR   0.0807\nDATA Q_X_FACTOR 0.00194\n"
        "DATA CORR_R     1.000\nDATA CORR_SLOPE 0.999\n\n"
        "# Statistics of 'JackKnifed' Validation \n"
        "DATA SELECTION  1 to 4  \t # Residues Selection for Fit\n"
        "DATA JK_MODE       RESIDUE\nDATA N_JK          4\n";
    EXPECT_NE(testutil::readFile(dir.file("out.tab")).find(expected), std::string::npos);
    EXPECT_TRUE(hasLine(all, "DATA TENSOR_MODE SVD (Order Matrix Method)"));
    EXPECT_FALSE(hasLine(all, "# Statistics of Fit Validation Dataset"));
    EXPECT_TRUE(hasLine(all, "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J     DI    D_OBS        D  "
                             " D_DIFF     D_JK    Da_JK Rh_JK    DD   DDS     W"));
    EXPECT_TRUE(hasLine(all, "FORMAT   %7d       %9s       %10s     %7d       %9s       %10s    %6d    %8.3f    %8.3f "
                             "   %8.3f    %8.3f    %8.3f %5.2f %5.2f %5.2f %5.2f"));
    // the rows, formatted by hand: -21585.2 * 5e-4 = -10.793, Rh_JK 0.2
    EXPECT_EQ(all[all.size() - 4],
              "           1       ALA          N       1       ALA         HN -21585   10.000    9.000    1.000    "
              "9.000  -10.793  0.20  1.00  0.00  1.00");
    EXPECT_EQ(all[all.size() - 3],
              "           2       ALA          N       2       ALA         HN -21585  950.000  949.000 9999.000  "
              "949.000  -10.793  0.20  1.00  0.00  1.00");
}

TEST(DCListTable, LayoutsAndBlocks) {
    testutil::TempDir dir;
    // different selections: validation block; no jackknife: level 0 layout
    DCListData list = fourCouplings();
    list.Same_Selection_Working_Validation = false;
    list.resSelectionVec_Validation = {3, 4};
    std::vector<DTensor> tensors = {tensor()};
    tensors[0].fitFlag_JK = 0;
    list.writeDC(dir.file("v.tab"), "", 1, 1, tensors, 4);
    auto all = lines(dir.file("v.tab"));
    EXPECT_EQ(all[1], "DATA N_PDB     1\t# Number of conformers");   // no title line
    EXPECT_TRUE(hasLine(all, "# Statistics of Fit Working Dataset"));
    EXPECT_TRUE(hasLine(all, "# Statistics of Fit Validation Dataset"));
    EXPECT_TRUE(hasLine(all, "DATA SELECTION_V  3 to 4  \t# Residues Selection for Validation"));
    EXPECT_TRUE(hasLine(all, "DATA N_V          4\t# Number of Couplings for Validation"));
    EXPECT_FALSE(hasLine(all, "# Statistics of 'JackKnifed' Validation "));
    EXPECT_TRUE(hasLine(all, "FORMAT %7d %9s %10s %7d %9s %10s %6d %8.3f %8.3f %8.3f %5.2f %5.2f %5.2f"));
    EXPECT_EQ(all.back(), "    4  ALA    N    4  ALA   HN  -21585.20     8.000     8.500    -0.500 1.000 0.000 1.000");

    // level 2 layout
    tensors[0].fitFlag_JK = 1;
    list.writeDC(dir.file("l2.tab"), "", 2, 2, tensors, 4);
    all = lines(dir.file("l2.tab"));
    EXPECT_TRUE(hasLine(all, "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J  DI D_OBS D D_DIFF DD THETA "
                             "PHI DDTHETA DDPHI DDS W"));
    EXPECT_EQ(all.back(), "    4  ALA    N    4  ALA   HN  -21585.20     8.000     8.500    -0.500    1.000 9999.000 "
                          "9999.000    0.000    0.000    0.000 1.000");

    // couplings generated from the structure: no statistics, generated layout, fixed tensor block
    DCListData gen = fourCouplings();
    gen.GeneratedFromStructure = true;
    gen.dcList[2].valid = 0;   // invalid couplings are not written
    std::vector<DTensor> fixed = {tensor()};
    fixed[0].tensorMode = 5;
    fixed[0].psi = 10;
    fixed[0].psiAdd = 1;
    gen.writeDC(dir.file("g.tab"), "T", 0, 0, fixed, 0);
    all = lines(dir.file("g.tab"));
    EXPECT_FALSE(hasLine(all, "# Statistics of Fit Working and Validation Datasets"));
    EXPECT_TRUE(hasLine(all, "DATA TENSOR_MODE FIXED (Fixed Da and Dr, Fixed Rotations)"));
    EXPECT_TRUE(hasLine(all, "DATA ROT_XYZ    10.00     0.00     0.00"));
    EXPECT_TRUE(hasLine(all, "DATA PSI \t   10.00"));
    EXPECT_TRUE(hasLine(all, "DATA PSI_ADD         1.00"));
    EXPECT_TRUE(hasLine(all, "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J  DI D DDS"));
    EXPECT_TRUE(hasLine(all, "FORMAT %4d %4s %4s %4d %4s %4s %9.2f %9.3f %9.3f "));
    EXPECT_EQ(all.back(), "    4  ALA    N    4  ALA   HN -21585.20     8.500     0.000");
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const std::string& l) { return l.find(" ALA ") != std::string::npos; }),
              3);

    // an unwritable name: message, and the table goes to standard output
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    list.writeDC(dir.file("no/such/dir/x.tab"), "", 1, 1, tensors, 4);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "DC Error opening output file " + dir.file("no/such/dir/x.tab") + "\n");
    EXPECT_NE(out.find("DATA N_PDB     1"), std::string::npos);
}

TEST(DCListTable, ReportRemarks) {
    testutil::TempDir dir;
    DCListData list = fourCouplings();
    list.inDCFileName = "a.tab";
    list.inPDBFileName = "b.pdb";
    testing::internal::CaptureStderr();
    list.reportDC(dir.file("r.tab"), 1, {tensor()}, 4);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "REMARK DC: a.tab PDB: b.pdb Residues 0 to 0, 1 total.\nREMARK D_N:  4 D_RMS:  0.791 D_CHI2:  2.500\n");
    DCListData empty;
    testing::internal::CaptureStderr();
    empty.reportDC(dir.file("e.tab"), 1, {tensor()}, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(testutil::fileExists(dir.file("e.tab")));
}
