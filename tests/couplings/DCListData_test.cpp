// Coupling lists: reading tables, defaults of weights and uncertainties, generating and
// building couplings, working and validation selections.
#include <cmath>

#include <gtest/gtest.h>

#include "common/TestPdb.h"
#include "common/TestUtil.h"
#include "couplings/DCListData.h"

using testpdb::atom;
using testutil::TempDir;

namespace {

// A three-residue fragment with backbone atoms; residue 2 is a proline (no amide proton).
std::string fragment() {
    std::string t;
    int s = 1;
    const char* names[3] = {"ALA", "PRO", "GLY"};
    for (int r = 1; r <= 3; r++) {
        double x = 3.8 * r;
        t += atom(s++, "N", names[r - 1], r, x, 0, 0);
        if (r != 2) t += atom(s++, "H", names[r - 1], r, x - 0.3, 0.95, 0.1);
        t += atom(s++, "CA", names[r - 1], r, x + 1.2, 0.6, 0.4);
        t += atom(s++, "HA", names[r - 1], r, x + 1.3, 0.9, 1.4);
        t += atom(s++, "C", names[r - 1], r, x + 2.5, -0.1, 0.1);
    }
    return t;
}

std::vector<PDB> loadFragment(const TempDir& dir) {
    testutil::writeFile(dir.file("f.pdb"), fragment());
    return {PDB(dir.file("f.pdb"))};
}

}  // namespace

TEST(DCListRead, DefaultsWithoutOptionalColumns) {
    TempDir dir;
    testutil::writeFile(dir.file("t.tab"),
                        "REMARK test\nDATA DA_REF 12.7\nDATA PHI_REF -3.9\nDATA SEQUENCE APG\n"
                        "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n"
                        "FORMAT %5d %6s %6s %5d %6s %6s %9.3f\n"
                        "  3 GLY N 3 GLY H -8.17\r\n"
                        "  1 ALA C 1 ALA CA 5.0\n"
                        "  3 GLY N 2 PRO C 9999\n");
    DCListData list;
    DTensor t;
    testing::internal::CaptureStderr();
    list.readDC(dir.file("t.tab"), t);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Loading DC file " + dir.file("t.tab") + ", 2 couplings found\n");
    ASSERT_EQ(list.dcList.size(), 3u);
    EXPECT_EQ(list.maxCount, 48);
    EXPECT_EQ(list.segFIRST * 10 + list.segLAST, 13);
    EXPECT_EQ(list.seqStr, " APG");
    EXPECT_EQ(t.daRef, 12);
    EXPECT_EQ(t.phiRef, -3);
    EXPECT_FALSE(list.keepDIFlag);
    EXPECT_DOUBLE_EQ(t.dcRMS, std::sqrt((8.17 * 8.17 + 25.0) / 2));

    const DipolarCouplingData& nh = list.dcList[0];
    EXPECT_EQ(nh.atomNameJ, "HN");   // H is read as HN
    EXPECT_EQ(nh.CLASS, 1);
    EXPECT_NEAR(nh.di, -21585.2, 0.05);
    EXPECT_NEAR(nh.w, 1.0, 1e-6);
    EXPECT_NEAR(nh.sigma, 1.0, 1e-6);

    const DipolarCouplingData& cca = list.dcList[1];
    EXPECT_EQ(cca.CLASS, 10);
    EXPECT_NEAR(cca.w, 21585.2 / 4284.77, 1e-4);   // about 5.04
    EXPECT_EQ(cca.sigma, static_cast<double>(static_cast<float>(std::fabs(cca.di / -21585.2))));

    EXPECT_EQ(list.dcList[2].d, 9999);
    EXPECT_EQ(list.DCTypeListInt, (std::vector<int>{1, 10, 6}));
}

TEST(DCListRead, GivenColumnsAndUncertaintyRules) {
    TempDir dir;
    testutil::writeFile(dir.file("t.tab"),
                        "VARS INDEX RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D DI DD W ABS "
                        "CHAINNAME_I\n"
                        "FORMAT %d %d %s %s %d %s %s %f %f %f %f %d %s\n"
                        "11 5 ALA N 5 ALA HN 3.0 -20000 0.01 2.0 1 B\n"
                        "12 5 ALA CA 5 ALA C 1.0 0 0.5 0.5 0 B\n"
                        "13 5 ALA CA 5 ALA CB 1.0 0 0.5 0.5 0 B\n");
    DCListData list;
    list.keepDIFlag = true;
    DTensor t;
    testing::internal::CaptureStderr();
    list.readDC(dir.file("t.tab"), t);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(list.dcList.size(), 3u);
    const DipolarCouplingData& a = list.dcList[0];
    EXPECT_EQ(a.id + a.absFlag, 12);
    EXPECT_EQ(a.chainNameI, "B");
    EXPECT_EQ(a.di, -20000);   // kept: -keepDI and a non-zero DI
    // the uncertainty is at least |DI| / 21585.2
    EXPECT_NEAR(a.sigma, 20000 / 21585.2, 1e-6);
    EXPECT_DOUBLE_EQ(a.sigmaCalc, 0.01);
    const DipolarCouplingData& b = list.dcList[1];
    EXPECT_NEAR(b.di, 4284.77, 0.005);   // a zero DI takes the class constant
    EXPECT_DOUBLE_EQ(b.sigma, 0.5);
    const DipolarCouplingData& c = list.dcList[2];
    EXPECT_EQ(c.CLASS, 9);
    EXPECT_EQ(c.di, 0);                   // distance-based: stays as read until built
    EXPECT_EQ(c.diFixedFlag, 0);
    EXPECT_DOUBLE_EQ(c.sigma, 0.5);

    // tiny uncertainties are kept on request
    t.allowTinyDD = true;
    testing::internal::CaptureStderr();
    list.readDC(dir.file("t.tab"), t);
    testing::internal::GetCapturedStderr();
    EXPECT_DOUBLE_EQ(list.dcList[0].sigma, 0.01);

    // no name at all ends the run (a missing table: Orthogonalization.BadInputsUsersMeet)
    EXPECT_EXIT(DCListData().readDC("", t), ::testing::ExitedWithCode(0), "\\[Error\\] Input DC file is not specified");
}

TEST(DCListBuild, GenerateAndBuildAgainstStructure) {
    TempDir dir;
    std::vector<PDB> pdbs = loadFragment(dir);
    DCListData list;
    DTensor t;
    testing::internal::CaptureStderr();
    list.createEmptyDCList({1, 3, 6, 10, 4}, t, pdbs);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "8 couplings generated ... \n");
    // HN-N skips the proline; HN(i)-C(i-1) skips the first residue and the proline;
    // C(i-1)-N(i) skips the first residue; code 4 makes nothing
    ASSERT_EQ(list.dcList.size(), 8u);
    const int firstRes[] = {1, 3, 2, 1, 2, 1, 2, 3}, classes[] = {1, 1, 3, 0, 0, 10, 10, 10};
    for (int k = 0; k < 8; k++) {
        EXPECT_EQ(list.dcList[k].resIDI, firstRes[k]) << k;
        EXPECT_EQ(list.dcList[k].CLASS, classes[k]) << k;   // C(i-1)-N(i) in this order is no class
    }

    list.selectDC(1, 3, {}, {}, true);
    for (const auto& dc : list.dcList) EXPECT_EQ(dc.selected, 1);   // generated: kept without values
    testing::internal::CaptureStderr();
    list.buildDC(pdbs, true, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Building couplings ... 8 couplings validated\n");
    // the C(i-1)-N(i) coupling takes its DI from the structure's own distance
    const DipolarCouplingData& cn = list.dcList[3];
    const double r = std::sqrt(std::pow(3.8 * 2 - (3.8 + 2.5), 2) + 0.01 + 0.01);
    EXPECT_NEAR(cn.rIJ, r, 1e-5);
    EXPECT_TRUE(testutil::near(cn.diCalc, 67.283e6 * -27.116e6 * 3.356809033771374e-12 / (r * r * r), 1e-5));
    EXPECT_EQ(cn.diFixedFlag, 0);

    EXPECT_EXIT(DCListData().createEmptyDCList({}, t, pdbs), ::testing::ExitedWithCode(0),
                "\\[Error\\] DC type\\(s\\) must be specified");
}

TEST(DCListBuild, StructureDistanceAndDefaultFixes) {
    TempDir dir;
    std::vector<PDB> pdbs = loadFragment(dir);
    DCListData list;
    DipolarCouplingData nh;
    nh.resIDI = nh.resIDJ = 1;
    nh.resNameI = nh.resNameJ = "ALA";
    nh.atomNameI = "HN";
    nh.atomNameJ = "N";
    nh.d = 5;
    nh.di = -21585.2;
    nh.diFixedFlag = 1;
    nh.sigma = 0;
    nh.w = 0.001;
    list.dcList = {nh};
    testing::internal::CaptureStderr();
    list.buildDC(pdbs, false, 0);   // standard distances off: DI from the N-H distance
    testing::internal::GetCapturedStderr();
    const DipolarCouplingData& b = list.dcList[0];
    const double r = std::sqrt(0.09 + 0.95 * 0.95 + 0.01);
    const double di = 267.5198e6 * -27.116e6 * 3.356809033771374e-12 / (r * r * r);
    // (coordinates pass through single precision)
    EXPECT_TRUE(testutil::near(b.diCalc, di, 1e-6));
    EXPECT_TRUE(testutil::near(b.sigma, std::min(std::fabs(di / -21585.2), 1.0), 1e-6));
    EXPECT_TRUE(testutil::near(b.w, std::fabs(-21585.2 / di), 1e-6));
    EXPECT_EQ(b.w, b.wCalc);
}

TEST(DCListSelect, WorkingAndValidationSets) {
    DCListData list;
    auto add = [&list](int i, int j, double d) {
        DipolarCouplingData dc;
        dc.resIDI = i;
        dc.resIDJ = j;
        dc.d = d;
        list.dcList.push_back(dc);
    };
    add(2, 2, 1);
    add(3, 2, 1);    // key residue 3
    add(5, 5, 1);
    add(5, 6, 1);    // key residue 6
    add(4, 4, 9999); // not measured
    list.selectDC(1, 10, {2, 3}, {5, 6}, false);
    const int sel[] = {1, 1, 0, 0, 0}, selV[] = {0, 0, 1, 1, 0};
    for (int k = 0; k < 5; k++) {
        EXPECT_EQ(list.dcList[k].selected, sel[k]) << k;
        EXPECT_EQ(list.dcList[k].selected_v, selV[k]) << k;
    }
    EXPECT_FALSE(list.Same_Selection_Working_Validation);
    EXPECT_FALSE(residue_selection::isMarked(list.workingResSelection, 1));
    EXPECT_TRUE(residue_selection::isMarked(list.workingResSelection, 3));

    // an odd list: warning, the last value dropped; an empty list selects the whole range
    testing::internal::CaptureStderr();
    list.selectDC(1, 10, {2, 5, 8}, {}, true);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING:: residue selection syntax error ... last value will be removed ... \n");
    EXPECT_EQ(list.resSelectionVec_Working, (std::vector<int>{2, 5}));
    EXPECT_EQ(list.resSelectionVec_Validation, (std::vector<int>{1, 10}));
    EXPECT_EQ(list.dcList[3].selected, 0);
    EXPECT_EQ(list.dcList[3].selected_v, 1);

    // the range form by treatment mode
    testing::internal::CaptureStderr();
    EXPECT_EQ(list.selectDC(5, 5, 1), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Evalulating couplings ... 1 couplings validated\n");
    EXPECT_EQ(list.dcList[2].selected, 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(list.selectDC(5, 5, 3), 2);   // the smaller residue in range
    EXPECT_EQ(list.selectDC(6, 6, 4), 1);   // the larger residue in range
    EXPECT_EQ(list.selectDC(6, 6, 2), 1);
    EXPECT_EQ(list.selectDC(4, 4, 2), 0);   // not measured
    testing::internal::GetCapturedStderr();
}

TEST(DCListBuild, ReportTitleOutlivesTheStructures) {
    TempDir dir;
    DCListData list;
    DTensor t;
    {
        std::vector<PDB> pdbs = loadFragment(dir);
        testing::internal::CaptureStderr();
        list.createEmptyDCList({1}, t, pdbs);
        list.selectDC(1, 3, {}, {}, true);
        list.buildDC(pdbs, true, 0);
        testing::internal::GetCapturedStderr();
    }   // the list keeps no reference to the structures it was built against
    list.inDCFileName = "t.tab";
    testing::internal::CaptureStderr();
    list.reportDC(dir.file("r.tab"), 0, {t}, 2);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string title = "DC: t.tab PDB: " + dir.file("f.pdb") + " Residues 1 to 3, 3 total.";
    EXPECT_EQ(err.substr(0, err.find('\n')), "REMARK " + title);
    EXPECT_NE(testutil::readFile(dir.file("r.tab")).find("# " + title + "\n\n"), std::string::npos);
}

// Neighbour rules at the ends of the int range: no overflow, and no neighbour across the ends.
TEST(DCListData, NeighbourClassesAtTheEndsOfTheIntRange) {
    DCListData list;
    int cls = -1;
    const int lo = -2147483647 - 1, hi = 2147483647;
    list.findVariableDI(0, hi - 1, "ALA", "C", hi, "ALA", "HN", true, cls);
    EXPECT_EQ(cls, 3);
    list.findVariableDI(0, hi, "ALA", "C", lo, "ALA", "HN", true, cls);
    EXPECT_EQ(cls, 0);   // hi + 1 is no residue, and certainly not lo
    list.findVariableDI(0, lo, "ALA", "HN", hi, "ALA", "C", true, cls);
    EXPECT_EQ(cls, 0);
    list.findVariableDI(0, lo, "ALA", "N", lo, "ALA", "C", true, cls);
    EXPECT_EQ(cls, 0);
    list.findVariableDI(0, lo + 1, "ALA", "N", lo, "ALA", "C", true, cls);
    EXPECT_EQ(cls, 6);
}
