// Fit statistics and the result table: working, validation and jackknife statistics computed by
// hand, the statistics block line by line, blocks, column layouts and the level-2 angles.
#include <cmath>
#include <cstdio>

#include <gtest/gtest.h>

#include "common/TestCouplings.h"
#include "common/TestPdb.h"
#include "common/TestUtil.h"
#include "couplings/DCListData.h"
#include "io/RunFiles.h"

namespace {

using testcouplings::measured;

// Working set: couplings 1-4; validation set: couplings 3-6. Every working coupling carries its
// own jackknife prediction and the Da, Dr of the trial tensor fitted without it.
DCListData sixCouplings() {
    struct Row {
        int res;
        double d, dCalc, dCalcJk, daJk, drJk;
        int selected, selectedV;
    };
    const Row rows[] = {
        {1, 10, 9, 8, 5e-4, 1e-4, 1, 0},    {2, -5, -4, -3, 4e-4, 2e-4, 1, 0},
        {3, 3, 3.5, 4, 5e-4, 0, 1, 1},      {4, 8, 8.5, 9.5, 6e-4, -1e-4, 1, 1},
        {5, 2, 1, 1, 5e-4, 1e-4, 0, 1},     {6, -6, -4, -4, 5e-4, 1e-4, 0, 1},
    };
    DCListData list;
    for (const Row& r : rows) {
        DipolarCouplingData dc = measured(r.res, r.d, r.dCalc, r.selected, r.selectedV);
        dc.dCalc_jk = r.dCalcJk;
        dc.da_jk = r.daJk;
        dc.dr_jk = r.drJk;
        list.dcList.push_back(dc);
    }
    list.validCount = 6;
    list.pdbCount = 1;
    list.resSelectionVec_Working = {1, 4};
    list.resSelectionVec_Validation = {3, 6};
    list.Same_Selection_Working_Validation = false;
    return list;
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

using testcouplings::tensor;

// The statistics of sixCouplings() and tensor(), worked out by hand.
struct HandStatistics {
    // working set: residuals d - D = 1, -1, -0.5, -0.5; observed (10, -5, 3, 8) centred on 4,
    // calculated (9, -4, 3.5, 8.5) centred on 4.25
    double e2 = 1 + 1 + 0.25 + 0.25;
    double Sxx = 6 * 6 + 9 * 9 + 1 * 1 + 4 * 4;
    double Syy = 4.75 * 4.75 + 8.25 * 8.25 + 0.75 * 0.75 + 4.25 * 4.25;
    double Sxy = 6 * 4.75 + 9 * 8.25 + 1 * 0.75 + 4 * 4.25;
    double rms = std::sqrt(e2 / 4);
    // Da 5e-4 is 10.7926 Hz as an N-H coupling, Rh 0.2: N = DaHz^2 (4 + 3 Rh^2)
    double normDa = 10.7926 * 10.7926 * (4 + 3 * 0.2 * 0.2);
    // validation set (couplings 3-6): residuals -0.5, -0.5, 1, -2; observed (3, 8, 2, -6) centred
    // on 1.75, calculated (3.5, 8.5, 1, -4) centred on 2.25
    double e2v = 0.25 + 0.25 + 1 + 4;
    double SxxV = 1.25 * 1.25 + 6.25 * 6.25 + 0.25 * 0.25 + 7.75 * 7.75;
    double SyyV = 1.25 * 1.25 + 6.25 * 6.25 + 1.25 * 1.25 + 6.25 * 6.25;
    double SxyV = 1.25 * 1.25 + 6.25 * 6.25 - 0.25 * 1.25 + 7.75 * 6.25;
    double rmsV = std::sqrt(e2v / 4);
    // jackknife (working set): residuals d - D_JK = 2, -2, -1, -1.5; predictions (8, -3, 4, 9.5)
    // centred on 4.625
    double e2jk = 4 + 4 + 1 + 2.25;
    double SyyJk = 3.375 * 3.375 + 7.625 * 7.625 + 0.625 * 0.625 + 4.875 * 4.875;
    double SxyJk = 6 * 3.375 + 9 * 7.625 + 1 * 0.625 + 4 * 4.875;
    double rmsJk = std::sqrt(e2jk / 4);
    // each squared residual over (4 Da_jk^2 + 3 Dr_jk^2) / 5 of its own trial tensor
    double q2 = 4 / ((4 * 25e-8 + 3 * 1e-8) / 5) + 4 / ((4 * 16e-8 + 3 * 4e-8) / 5) + 1 / ((4 * 25e-8) / 5) +
                2.25 / ((4 * 36e-8 + 3 * 1e-8) / 5);
    double qJk = std::sqrt(q2 / 4) / 21585.2;

    // the statistics from these sums: Q normalised by Da (sqrt(5 e2 / (n N))) and by the spread of
    // the observed values (sqrt(e2 / Sxx)), correlation Sxy / sqrt(Sxx Syy), slope Sxy / Sxx
    double qNorm = std::sqrt(5 * e2 / (4 * normDa)), qX = std::sqrt(e2 / Sxx);
    double corr = Sxy / std::sqrt(Sxx * Syy), slope = Sxy / Sxx;
    double qNormV = std::sqrt(5 * e2v / (4 * normDa)), qXV = std::sqrt(e2v / SxxV);
    double corrV = SxyV / std::sqrt(SxxV * SyyV), slopeV = SxyV / SxxV;
    double corrJk = SxyJk / std::sqrt(Sxx * SyyJk), slopeJk = SxyJk / Sxx;
    double qXJk = qJk * rms / rmsJk;   // the jackknife Q rescaled by RMS / RMS_JK
};

std::vector<std::string> lines(const std::string& file) { return testutil::splitLines(testutil::readFile(file)); }

bool hasLine(const std::vector<std::string>& all, const std::string& line) {
    return std::find(all.begin(), all.end(), line) != all.end();
}

}  // namespace

// The hand-computed statistics of sixCouplings() are compared as printed, to the digit, by
// DCListTable.StatisticsBlockAndJackknifeColumns; here the cases that print nothing special.
TEST(DCListStatistics, PerfectAgreementZeroTensorAndNothingSelected) {
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

// Every line of the statistics block, the jackknife uncertainties of the tensor block and the
// jackknife columns of the rows, from the hand-computed values.
TEST(DCListTable, StatisticsBlockAndJackknifeColumns) {
    const HandStatistics h;
    testutil::TempDir dir;
    DCListData list = sixCouplings();
    std::vector<DTensor> tensors = {tensor()};
    tensors[0].da_jk_stdev = 2e-5;
    tensors[0].rh_jk_stdev = 0.0412;
    list.writeDC(dir.file("out.tab"), "DC: a.tab PDB: b.pdb Residues 1 to 6, 6 total.", 1, 1, tensors, 4);
    const std::string table = testutil::readFile(dir.file("out.tab"));
    auto all = testutil::splitLines(table);
    ASSERT_GT(all.size(), 40u);
    EXPECT_EQ(all[0].rfind("# Orvex Dipolar Coupling Calculation. ", 0), 0u);
    const std::string expected =
        "# DC: a.tab PDB: b.pdb Residues 1 to 6, 6 total.\n\n"
        "DATA N_PDB     1\t# Number of conformers\nDATA N         6\t# Number of Valid Couplings\n\n"
        "# Statistics of Fit Working Dataset\n"
        "DATA SELECTION  1 to 4  \t # Residues Selection for Fit\n"
        "DATA N_SVD      4\t# Number of Couplings for SVD Fit\n" +
        testutil::cFormat("DATA RMS        %.3f\n", h.rms) + testutil::cFormat("DATA Chi2       %.3f\n", h.e2) +
        testutil::cFormat("DATA Q_FACTOR   %.4f\n", h.qNorm) +
        testutil::cFormat("DATA Q_X_FACTOR %.5f\n", h.qX) +
        testutil::cFormat("DATA CORR_R     %.3f\n", h.corr) +
        testutil::cFormat("DATA CORR_SLOPE %.3f\n\n", h.slope) +
        "# Statistics of Fit Validation Dataset\n"
        "DATA SELECTION_V  3 to 6  \t# Residues Selection for Validation\n"
        "DATA N_V          4\t# Number of Couplings for Validation\n" +
        testutil::cFormat("DATA RMS_V        %.3f\n", h.rmsV) + testutil::cFormat("DATA Chi2_V       %.3f\n", h.e2v) +
        testutil::cFormat("DATA Q_FACTOR_V   %.4f\n", h.qNormV) +
        testutil::cFormat("DATA Q_X_FACTOR_V %.5f\n", h.qXV) +
        testutil::cFormat("DATA CORR_R_V     %.3f\n", h.corrV) +
        testutil::cFormat("DATA CORR_SLOPE_V %.3f\n\n", h.slopeV) +
        "# Statistics of 'JackKnifed' Validation \n"
        "DATA SELECTION  1 to 4  \t # Residues Selection for Fit\n"
        "DATA JK_MODE       RESIDUE\nDATA N_JK          4\n" +
        testutil::cFormat("DATA RMS_JK        %.3f\n", h.rmsJk) + testutil::cFormat("DATA Chi2_JK       %.3f\n", h.e2jk) +
        testutil::cFormat("DATA Q_FACTOR_JK   %.4f\n", h.qJk) +
        testutil::cFormat("DATA Q_X_FACTOR_JK %.4f\n", h.qXJk) +
        testutil::cFormat("DATA CORR_R_JK     %.3f\n", h.corrJk) +
        testutil::cFormat("DATA CORR_SLOPE_JK %.3f\n\n", h.slopeJk) + "\nDATA TENSOR_MODE SVD (Order Matrix Method)\n";
    const size_t at = table.find('\n') + 1;
    EXPECT_TRUE(testutil::sameLines(expected, table.substr(at, expected.size())));

    // the jackknife spreads of the tensor: Da_HN 21585.2 * 5e-4 +/- 21585.2 * 2e-5, Rh 0.2 +/- 0.0412
    EXPECT_TRUE(hasLine(all, "DATA Da_HN\t    10.793  +/-     0.432"));
    EXPECT_TRUE(hasLine(all, "DATA Rhombicity      0.200  +/-     0.041"));

    EXPECT_TRUE(hasLine(all, "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J     DI    D_OBS        D  "
                             " D_DIFF     D_JK    Da_JK Rh_JK    DD   DDS     W"));
    EXPECT_TRUE(hasLine(all, "FORMAT   %7d       %9s       %10s     %7d       %9s       %10s    %6d    %8.3f    %8.3f "
                             "   %8.3f    %8.3f    %8.3f %5.2f %5.2f %5.2f %5.2f"));
    // the rows, formatted by hand: D_JK of each coupling, Da_JK = -21585.2 Da_jk, Rh_JK = Dr_jk / Da_jk
    const std::vector<std::string> rows(all.end() - 6, all.end());
    EXPECT_EQ(rows[0], "           1       ALA          N       1       ALA         HN -21585   10.000    9.000    "
                       "1.000    8.000  -10.793  0.20  1.00  0.00  1.00");
    EXPECT_EQ(rows[1], "           2       ALA          N       2       ALA         HN -21585   -5.000   -4.000   "
                       "-1.000   -3.000   -8.634  0.50  1.00  0.00  1.00");
    EXPECT_EQ(rows[3], "           4       ALA          N       4       ALA         HN -21585    8.000    8.500   "
                       "-0.500    9.500  -12.951 -0.17  1.00  0.00  1.00");
}

TEST(DCListTable, UnmeasuredAbove900) {
    testutil::TempDir dir;
    DCListData list = fourCouplings();
    // above 900: in the statistics, D_DIFF printed as 9999
    list.dcList[1].d = 950;
    list.dcList[1].dCalc = list.dcList[1].dCalc_jk = 949;
    list.writeDC(dir.file("out.tab"), "", 1, 1, {tensor()}, 4);
    auto all = lines(dir.file("out.tab"));
    EXPECT_TRUE(hasLine(all, "DATA N_SVD      4\t# Number of Couplings for SVD Fit"));
    // residuals 1, 1, -0.5, -0.5
    EXPECT_TRUE(hasLine(all, "DATA Chi2       2.500"));
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
}

// The level-2 layout: polar angles and angular derivatives of one N-H vector, worked out here
// from D(theta, phi) = |DI| (Da (3 cos^2 theta - 1) + 1.5 Dr sin^2 theta cos 2 phi).
TEST(DCListTable, LevelTwoAnglesAndDerivatives) {
    testutil::TempDir dir;
    // I - J = N - H = (0.6, -0.8, 0.5), in the tensor frame (identity rotation)
    testutil::writeFile(dir.file("nh.pdb"),
                        testpdb::atom(1, "N", "ALA", 2, 1.0, 2.0, 3.0) + testpdb::atom(2, "H", "ALA", 2, 0.4, 2.8, 2.5));
    testutil::writeFile(dir.file("nh.tab"), "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n"
                                            "FORMAT %d %s %s %d %s %s %f\n2 ALA N 2 ALA H 3.0\n");
    DCListData list;
    DTensor t = tensor();
    testing::internal::CaptureStderr();
    list.readDC(dir.file("nh.tab"), t);
    list.buildDC({PDB(dir.file("nh.pdb"))}, true, 0);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(list.dcList.size(), 1u);
    ASSERT_EQ(list.dcList[0].valid, 1);
    ASSERT_NEAR(list.dcList[0].diCalc, -21585.2, 0.005);
    const double Da = 5e-4, Dr = 2e-4, DI = 21585.2, degree = M_PI / 180;
    Mat4 identity;
    Mat4Ident(identity);
    list.dcList[0].calcDC(identity, Da, Dr);

    const double len = std::sqrt(0.6 * 0.6 + 0.8 * 0.8 + 0.5 * 0.5);
    const double theta = std::acos(0.5 / len), phi = std::atan2(-0.8, 0.6);   // phi = -53.13 degrees
    const double D = DI * (Da * (3 * std::pow(std::cos(theta), 2) - 1) +
                           1.5 * Dr * std::pow(std::sin(theta), 2) * std::cos(2 * phi));
    // dD/dtheta, and dD/dphi over sin(theta), per degree
    const double dTheta = DI * std::sin(theta) * std::cos(theta) * (3 * Dr * std::cos(2 * phi) - 6 * Da) * degree;
    const double dPhi = -3 * DI * Dr * std::sin(theta) * std::sin(2 * phi) * degree;
    EXPECT_GT(dPhi, 0.19);   // sin 2 phi < 0 for this vector
    char row[256];
    std::snprintf(row, sizeof row, " %4d %4s %4s %4d %4s %4s  %9.2f %9.3f %9.3f %9.3f %8.3f %8.3f %8.3f %8.3f %8.3f "
                  "%8.3f %.3f", 2, "ALA", "N", 2, "ALA", "HN", -DI, 3.0, D, 3.0 - D, 1.0, theta / degree,
                  std::fabs(phi) / degree, dTheta, dPhi, std::sqrt((dTheta * dTheta + dPhi * dPhi) / 2), 1.0);
    list.writeDC(dir.file("l2.tab"), "", 2, 2, {t}, 1);
    auto all = lines(dir.file("l2.tab"));
    EXPECT_TRUE(hasLine(all, "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J  DI D_OBS D D_DIFF DD THETA "
                             "PHI DDTHETA DDPHI DDS W"));
    EXPECT_EQ(all.back(), row);
    run_files::clear();   // the files read here are gone: a later table may take their place on disk
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

// The tensor-mode blocks of the nonlinear fit (3), the grid search (4) and the fixed tensor (5),
// written out here line by line from their formats: angles, the optional additions, the Da and
// Rh or Dr ranges and, for the nonlinear fit, the angle ranges. (The nonlinear block with Rh
// ranges and no additions: NonlinearFit's grid-search run.)
TEST(DCListTable, NonlinearGridAndFixedTensorBlocks) {
    testutil::TempDir dir;
    DTensor t = tensor();
    t.psi = 10.5, t.theta = -20.25, t.phi = 30;
    t.daMin = -0.01, t.daMax = 0.01;
    t.drMin = -2e-3, t.drMax = 3e-3;
    t.rhMin = 0, t.rhMax = 2.0 / 3;
    t.psiMin = -180, t.psiMax = 180, t.thetaMin = -20.25, t.thetaMax = -20.25, t.phiMin = -90, t.phiMax = 90;
    t.gridStep = 5;
    const std::string angles = "DATA ROT_XYZ    10.50   -20.25    30.00\n\nDATA PSI \t   10.50\n"
                               "DATA THETA         -20.25\nDATA PHI \t   30.00\n";
    const std::string additions = "\nDATA PSI_ADD         0.00\nDATA THETA_ADD       0.00\nDATA PHI_ADD       -12.50\n";
    struct Case {
        int tensorMode, fitMode, rhFlag;
        double phiAdd;
        std::string block;
    };
    const Case cases[] = {
        {3, 3, 0, -12.5,
         "#\n# 13. Values for RX=PSI RY=THETA RZ=PHI are the actual XYZ\n#     rotations applied, also given in ROT_XYZ.\n\n"
         "DATA TENSOR_MODE FIT_NONLIN (Variation of Da, Dr or Rh, or Rotations)\nDATA BEST_ITER          0\n\n" +
             angles + additions +
             "\nDATA DA_RANGE    -1.0000e-02  1.0000e-02\nDATA DR_RANGE    -2.0000e-03  3.0000e-03\n\n"
             "DATA PSI_RANGE    -180.00   180.00\nDATA THETA_RANGE   -20.25   -20.25\nDATA PHI_RANGE     -90.00    90.00\n"},
        {4, 5, 0, 0,
         "#\n# 13. Values for RX=PSI RY=THETA RZ=PHI are extracted from the\n"
         "#     grid search rotation matrix, also given in ROT_XYZ.\nDATA TENSOR_MODE GRIDSEARCH (Grid Search Over Rotations)\n" +
             angles + "DATA GRID_STEP 5.0 DEGREES\n\nDATA DA_RANGE    -1.0000e-02  1.0000e-02\n"
                      "DATA DR_RANGE    -2.0000e-03  3.0000e-03\n"},
        {5, 1, 1, -12.5,
         "#\n# 13. Values for RX=PSI RY=THETA RZ=PHI are the actual\n#     XYZ rotations applied, also given in ROT_XYZ.\n"
         "DATA TENSOR_MODE FIXED (Fixed Da and Rhombicity, Fixed Rotations)\n" +
             angles + additions},
        {5, 1, 0, 0,
         "#\n# 13. Values for RX=PSI RY=THETA RZ=PHI are the actual\n#     XYZ rotations applied, also given in ROT_XYZ.\n"
         "DATA TENSOR_MODE FIXED (Fixed Da and Dr, Fixed Rotations)\n" +
             angles},
    };
    for (const Case& c : cases) {
        DCListData list = fourCouplings();
        std::vector<DTensor> tensors = {t};
        tensors[0].tensorMode = c.tensorMode;
        tensors[0].fitMode = c.fitMode;
        tensors[0].rhFlag = c.rhFlag;
        tensors[0].phiAdd = c.phiAdd;
        list.writeDC(dir.file("t.tab"), "", 0, 0, tensors, 4);
        const std::string all = testutil::readFile(dir.file("t.tab"));
        // between the statistics block and the tensor text block
        const size_t from = all.find("\n\n", all.find("DATA CORR_SLOPE ")), to = all.find("#                   Szz");
        ASSERT_NE(from, std::string::npos);
        ASSERT_NE(to, std::string::npos);
        const size_t start = from + 2;
        EXPECT_TRUE(testutil::sameLines(c.block, all.substr(start, to - start))) << c.tensorMode << " " << c.fitMode;
    }
}
