// RCSA lists: reading tables, selections, building, the statistics with their differences from
// the coupling list (computed here by hand), and the result table line by line.
#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "common/TestPdb.h"
#include "common/TestUtil.h"
#include "couplings/RCSAListData.h"
#include "couplings/ResidueSelection.h"

using testutil::sameLines;

namespace {

const char* const kTable =
    "REMARK RCSA of three residues\n"
    "DATA SEQUENCE MQI\n"
    "DATA DA_REF 12.7\n"
    "DATA PHI_REF -33.9\n"
    "VARS INDEX RESID RESNAME ATOMNAME D DD W ABS S FC\n"
    "FORMAT %3d %4d %4s %4s %8.3f %6.3f %5.2f %2d %5.2f %5.2f\n"
    "  11    2  GLN    H   -4.700  0.500  2.00  0  9.00  9.00\n"
    "  12    2  GLN    N  112.100  2.000  1.00  1  9.00  9.00\n"
    "  13    3  ILE    C   63.800  0.000  0.50  0  9.00  9.00\n"
    "  14    4  PHE   CA 9999.000  1.000  1.00  0  9.00  9.00\n";

RCSAListData readText(const testutil::TempDir& dir, const std::string& text, DTensor& t) {
    testutil::writeFile(dir.file("in.tab"), text);
    RCSAListData list;
    testing::internal::CaptureStderr();
    list.readRCSA(dir.file("in.tab"), t);
    testing::internal::GetCapturedStderr();
    return list;
}

RCSA_Data measured(int res, double d, double dCalc, double dCalcJk, double w, double sigma, int selected,
                   int selectedV) {
    RCSA_Data r;
    r.id = res;
    r.resID = res;
    r.resName = "ALA";
    r.atomName = "N";
    r.CLASS = 2;
    r.d = d;
    r.dCalc = dCalc;
    r.dCalc_jk = dCalcJk;
    r.w = r.wCalc = w;
    r.sigma = r.sigmaCalc = sigma;
    r.selected = selected;
    r.selected_v = selectedV;
    return r;
}

// Working set: records 1-3; validation set: records 2-4; record 5 is unmeasured, record 6
// invalid. Record 4 is not a working record but takes part in the jackknife statistics.
RCSAListData sixRecords() {
    RCSAListData list;
    list.rcsaList = {
        measured(1, 10, 8, 7, 1, 2, 1, 0),        measured(2, -4, -5, -6, 2, 1, 1, 1),
        measured(3, 6, 6.5, 7, 1, 0, 1, 1),       measured(4, 3, 2, 1.5, 1, 1, 0, 1),
        measured(5, 9999, 1, 1, 1, 1, 1, 1),      measured(6, 5, 1, 1, 1, 1, 1, 1),
    };
    list.rcsaList[5].valid = 0;
    list.validCount = 5;
    list.pdbCount = 1;
    list.resSelectionVec_Working = {1, 3};
    list.resSelectionVec_Validation = {2, 4};
    list.Same_Selection_Working_Validation = false;
    return list;
}

DTensor smallTensor() {
    DTensor t;
    t.da = 5e-4;   // DaScaled = 0.5
    t.dr = 1e-4;   // R = 0.2, so DaScaled^2 (4 + 3 R^2) = 0.25 * 4.12 = 1.03
    return t;
}

}  // namespace

TEST(RcsaList, ReadsTheTableWithItsDefaults) {
    testutil::TempDir dir;
    testutil::writeFile(dir.file("in.tab"), kTable);
    DTensor t;
    RCSAListData list;
    testing::internal::CaptureStderr();
    list.readRCSA(dir.file("in.tab"), t);
    EXPECT_EQ("Loading RCSA file " + dir.file("in.tab") + ", 3 coouplings found\n",
              testing::internal::GetCapturedStderr());
    ASSERT_EQ(list.rcsaList.size(), 4u);
    const RCSA_Data& h = list.rcsaList[0];
    EXPECT_EQ(h.atomName, "HN");
    EXPECT_EQ(h.CLASS, 1);
    EXPECT_EQ(h.id, 11);
    EXPECT_EQ((std::vector<double>{h.d, h.sigma, h.sigmaCalc, h.w, h.wCalc}),
              (std::vector<double>{-4.7, 0.5, 0.5, 2.0, 2.0}));
    EXPECT_EQ((std::vector<int>{h.count, h.valid, h.selected, h.selected_v, h.absFlag}),
              (std::vector<int>{1, 1, 1, 1, 0}));
    EXPECT_EQ(list.rcsaList[1].CLASS, 2);
    EXPECT_EQ(list.rcsaList[1].absFlag, 1);
    EXPECT_EQ(list.rcsaList[2].CLASS, 3);
    EXPECT_EQ(list.rcsaList[2].sigma, 0.0);   // no minimum uncertainty
    EXPECT_EQ(list.rcsaList[3].CLASS, -1);
    EXPECT_EQ(list.rcsaList[2].diCalc, 0.0);  // no dipolar constant
    EXPECT_EQ((std::vector<int>{list.dMinRes, list.dMaxRes, list.segFIRST, list.segLAST}),
              (std::vector<int>{2, 4, 2, 4}));
    EXPECT_EQ(list.validCount, 4);
    EXPECT_EQ(list.dcCount, 4);
    EXPECT_EQ(list.pdbCount, 1);
    EXPECT_EQ(list.seqStr, " MQI");   // as the table reader gives DATA values
    EXPECT_EQ(t.daRef, 12);
    EXPECT_EQ(t.phiRef, -33);
    // RMS of the measured d * w: (-9.4, 112.1, 31.9)
    EXPECT_NEAR(std::sqrt((9.4 * 9.4 + 112.1 * 112.1 + 31.9 * 31.9) / 3), t.dcRMS, 1e-12);

    // without INDEX, D, DD and W: running ids, not measured, uncertainty and weight 1
    DTensor t2;
    const RCSAListData bare = readText(dir,
                                       "VARS RESID RESNAME ATOMNAME\nFORMAT %4d %4s %4s\n"
                                       "   7  ALA    N\n   9  ALA    C\n",
                                       t2);
    ASSERT_EQ(bare.rcsaList.size(), 2u);
    EXPECT_EQ(bare.rcsaList[1].id, 2);
    EXPECT_EQ(bare.rcsaList[1].d, 99999);
    EXPECT_EQ(bare.rcsaList[1].sigma, 1.0);
    EXPECT_EQ(bare.rcsaList[1].w, 1.0);
    EXPECT_EQ(t2.dcRMS, 0.0);

    EXPECT_EXIT(RCSAListData().readRCSA("", t), ::testing::ExitedWithCode(0),
                "^\\[Error\\] Input RCSA file is not specified\n$");
}

TEST(RcsaList, SelectionsByResidueAndUnmeasuredRecords) {
    testutil::TempDir dir;
    DTensor t;
    RCSAListData list = readText(dir, kTable, t);
    list.selectRCSA(list.segFIRST, list.segLAST, {2, 2}, {3, 4}, false);
    auto marks = [&list]() {
        std::vector<int> m;
        for (const RCSA_Data& r : list.rcsaList) m.push_back(10 * r.selected + r.selected_v);
        return m;
    };
    EXPECT_EQ(marks(), (std::vector<int>{10, 10, 1, 0}));   // the CA row of residue 4 is not measured
    EXPECT_EQ(list.resSelectionVec_Validation, (std::vector<int>{3, 4}));

    // empty lists select the whole range; an odd list loses its last value with a warning
    testing::internal::CaptureStderr();
    list.selectRCSA(list.segFIRST, list.segLAST, {3, 3, 4}, {}, true);
    EXPECT_EQ("WARNING:: residue selection syntax error ... last value will be removed ... \n",
              testing::internal::GetCapturedStderr());
    EXPECT_EQ(marks(), (std::vector<int>{1, 1, 11, 0}));
    EXPECT_EQ(list.resSelectionVec_Working, (std::vector<int>{3, 3}));
    EXPECT_EQ(list.resSelectionVec_Validation, (std::vector<int>{2, 4}));
    EXPECT_EQ(residue_selection::text(list.resSelectionVec_Working), "3 to 3  ");
}

TEST(RcsaList, BuildsOnlyTheWorkingRecords) {
    testutil::TempDir dir;
    std::string pdbText;
    int serial = 0;
    for (int m = 1; m <= 2; m++) {
        pdbText += testpdb::model(m);
        for (int res = 1; res <= 4; res++) {
            const double x = 3.8 * res;
            pdbText += testpdb::atom(++serial, "N", "ALA", res, x, 0, 0);
            pdbText += testpdb::atom(++serial, "H", "ALA", res, x - 0.3, -0.95, 0);
            pdbText += testpdb::atom(++serial, "CA", "ALA", res, x + 1.2, 0.6, 0);
            pdbText += testpdb::atom(++serial, "C", "ALA", res, x + 2.5, -0.1, 0);
        }
        pdbText += testpdb::endModel();
    }
    testutil::writeFile(dir.file("s.pdb"), pdbText);
    std::vector<PDB> pdbs(1);
    ASSERT_TRUE(pdbs[0].loadPDB(dir.file("s.pdb")));

    DTensor t;
    RCSAListData list = readText(dir, kTable, t);
    list.selectRCSA(list.segFIRST, list.segLAST, {2, 3}, {2, 4}, false);
    list.rcsaList[1].selected = 0;   // a validation record only
    testing::internal::CaptureStderr();
    list.buildRCSA(pdbs, t);
    EXPECT_EQ("Building rcsa  ... 2 rcsa data validated\n", testing::internal::GetCapturedStderr());
    EXPECT_EQ(list.validCount, 2);
    EXPECT_EQ(list.pdbCount, 2);
    EXPECT_EQ((std::vector<int>{list.pdbR1, list.pdbRN}), (std::vector<int>{1, 4}));
    EXPECT_EQ(list.inPDBFileName, dir.file("s.pdb"));
    const RCSA_Data& skipped = list.rcsaList[1];
    EXPECT_EQ(skipped.valid, 0);
    EXPECT_EQ(skipped.atomCount, 0);
    EXPECT_EQ(skipped.dCalc, 9999);
    EXPECT_EQ(list.rcsaList[0].atomCount, 2);
    EXPECT_EQ(list.rcsaList[2].atomCount, 2);
}

// Differences from the coupling statistics: rms takes e^2 wCalc^2 (e = diff wCalc), chi2
// e^2 / sigmaCalc^2 (nothing for sigmaCalc 0), the Q factor is normalised by Da * 1000, and the
// jackknife runs over every record that takes part (record 4 too). The printed values are
// worked out beside the table below; here the values the table does not print in full.
TEST(RcsaList, StatisticsDifferFromTheCouplingList) {
    RCSAListData list = sixRecords();
    EXPECT_EQ(3, list.getStatAll(smallTensor()));
    // working x = d w = 10, -8, 6 and y = dCalc w = 8, -10, 6.5: e^2 sum 8.25, Sxx = 1608/9
    EXPECT_NEAR(std::sqrt(8.25 / (1608 / 9.0)), list.qfactor, 1e-12);
    // jackknife e = 3, 4, -1, 1.5 of records 1-4
    EXPECT_NEAR(std::sqrt((9 + 16 + 1 + 2.25) / 4.0) / 21585.2, list.qfactor_jk, 1e-15);

    // no working record: 0, nothing computed
    RCSAListData none;
    none.rcsaList = {measured(1, 1, 2, 2, 1, 1, 0, 1)};
    EXPECT_EQ(0, none.getStatAll(smallTensor()));
}

// The result table with every block, hand-computed values in the quoted formats.
TEST(RcsaList, ResultTableLineByLine) {
    testutil::TempDir dir;
    RCSAListData list = sixRecords();
    list.inRCSAFileName = "in.tab";
    list.inPDBFileName = "s.pdb";
    list.pdbR1 = 1;
    list.pdbRN = 76;
    DTensor t = smallTensor();
    t.isRCSA = true;
    testing::internal::CaptureStderr();
    list.reportRCSA(dir.file("out.tab"), 1, t, 42);
    const std::string title = "RCSA: in.tab PDB: s.pdb Residues 1 to 76, 76 total.";
    EXPECT_EQ("REMARK " + title + "\nREMARK D_N:  5 D_RMS:  2.598 D_CHI2:  5.000\n",
              testing::internal::GetCapturedStderr());

    const std::string head = "# RCSA Calculation. https://github.com/orvex-nmr/orvex\n"
                             "# " + title + "\n\n"
                             "DATA N_PDB     1\t# Number of conformers\n"
                             "DATA N         5\t# Number of Valid RCSA Data\n\n";
    const std::string working = "# Statistics of Fit Working Dataset\n"
                                "DATA SELECTION  1 to 3  \t# Residues Selection for Fit\n"
                                "DATA N_SVD      42\t# Number of Couplings for SVD Fit\n"
                                "DATA RMS        2.598\n"   // e = 2, 2, -0.5, w = 1, 2, 1: sqrt((4 + 16 + 0.25) / 3)
                                "DATA Chi2       5.000\n"   // sigma 2, 1, 0: 4 / 4 + 4 / 1
                                "DATA Q_FACTOR   3.654\n"   // sqrt(5 * 8.25 / (3 * 1.03))
                                "DATA CORR_R     0.990\n"   // Sxx 1608/9, Syy 199.5, Sxy 187
                                "DATA CORR_SLOPE 1.047\n\n";
    const std::string validation = "# Statistics of Fit Validation Dataset\n"
                                   "DATA SELECTION_V  2 to 4  \t# Residues Selection for Validation\n"
                                   "DATA N_V          3\t# Number of Couplings for Validation\n"
                                   "DATA RMS_V        2.398\n"   // e = 2, -0.5, 1 of records 2-4
                                   "DATA Chi2_V       5.000\n"
                                   "DATA Q_FACTOR_V   2.915\n"   // sqrt(5 * 5.25 / (3 * 1.03))
                                   "DATA CORR_R_V     0.998\n"    // Sxx 978/9, Syy 145.5, Sxy 125.5
                                   "DATA CORR_SLOPE_V 1.155\n\n";
    const std::string jk = "# Statistics of 'JackKnifed' Validation \n"
                           "DATA SELECTION_JK FIRST TO LAST\t# Residues Selection for JackKnifed Fit\n"
                           "DATA RMS_JK        4.366\n"   // e = 3, 4, -1, 1.5, w = 1, 2, 1, 1
                           "DATA Chi2_JK       20.500\n"   // 9 / 4 + 16 + 2.25
                           "DATA Q_FACTOR_JK   0.000\n"
                           "DATA CORR_R_JK     0.977\n"   // Sxx 178.75, Syy 241.1875, Sxy 202.875
                           "DATA CORR_SLOPE_JK 1.135\n\n";
    const std::string mode = "\nDATA TENSOR_MODE SVD (Order Matrix Method)\n\n";
    DTensor shown = t;
    const std::string tensor = shown.reportTensor(1);
    const std::string columns = "VARS    RESID RESNAME ATOMNAME  D_OBS D D_DIFF D_JK  DD W\n"
                                "FORMAT  %4d %4s %4s  %9.3f %9.3f %9.3f %9.3f %.3f  %.3f\n\n";
    // rows of the working records that are valid
    const std::string rows = "    1  ALA    N    10.0000    8.0000    2.0000    7.0000 2.000 1.000\n"
                             "    2  ALA    N    -4.0000   -5.0000    1.0000   -6.0000 1.000 2.000\n"
                             "    3  ALA    N     6.0000    6.5000   -0.5000    7.0000 0.000 1.000\n"
                             "    5  ALA    N  9999.0000    1.0000 9999.0000    1.0000 1.000 1.000\n";
    EXPECT_TRUE(sameLines(head + working + validation + jk + mode + tensor + columns + rows,
                          testutil::readFile(dir.file("out.tab"))));

    // without the jackknife: level 0 columns and no jackknife block; the same selections print
    // no validation block; a nonlinear fit always prints its FIT_NONLIN block
    t.fitFlag_JK = 0;
    t.tensorMode = 3;
    t.fitMode = 7;
    list.Same_Selection_Working_Validation = true;
    list.writeRCSA(dir.file("out0.tab"), "", 1, 1, t, 42);
    const std::string out0 = testutil::readFile(dir.file("out0.tab"));
    EXPECT_EQ(std::string::npos, out0.find("# RCSA: ")) << "no title line";
    EXPECT_EQ(std::string::npos, out0.find("Validation Dataset\n"));
    EXPECT_EQ(std::string::npos, out0.find("# Statistics of 'JackKnifed' Validation"));
    EXPECT_NE(std::string::npos, out0.find("# Statistics of Fit Working and Validation Datasets\n"));
    EXPECT_NE(std::string::npos, out0.find("DATA TENSOR_MODE FIT_NONLIN (Variation of Da, Dr or Rh, or Rotations)\n"));
    EXPECT_NE(std::string::npos, out0.find("VARS    RESID RESNAME ATOMNAME  D_OBS D D_DIFF DD W\n"
                                           "FORMAT  %4d %4s %4s  %9.3f %9.3f %9.3f %.3f  %.3f\n\n"
                                           "    1  ALA    N    10.0000    8.0000    2.0000 2.000 1.000\n"));
    t.tensorMode = 10;
    list.writeRCSA(dir.file("out10.tab"), "", 1, 1, t, 42);
    EXPECT_NE(std::string::npos,
              testutil::readFile(dir.file("out10.tab")).find("DATA TENSOR_MODE WTLS (Order Matrix Method)\n\n"));

    // an empty list writes nothing
    RCSAListData empty;
    testing::internal::CaptureStderr();
    empty.reportRCSA(dir.file("empty.tab"), 1, t, 0);
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_FALSE(testutil::fileExists(dir.file("empty.tab")));
}
