// One coupling: class and DI rules, orientation coefficients from structures, back-calculation.
#include <cmath>

#include <gtest/gtest.h>

#include "common/TestPdb.h"
#include "common/TestUtil.h"
#include "couplings/DCListData.h"
#include "numeric/MatVec.h"

using testpdb::atom;

namespace {

PDB loadText(const testutil::TempDir& dir, const std::string& text) {
    testutil::writeFile(dir.file("s.pdb"), text);
    return PDB(dir.file("s.pdb"));
}

DipolarCouplingData coupling(int resI, const std::string& nameI, int resJ, const std::string& nameJ,
                             const std::string& resName = "ALA") {
    DipolarCouplingData dc;
    dc.resIDI = resI;
    dc.resIDJ = resJ;
    dc.atomNameI = nameI;
    dc.atomNameJ = nameJ;
    dc.resNameI = dc.resNameJ = resName;
    dc.isMethylCC = 1;
    return dc;
}

// Dipolar constant in Hz of two nuclei at r A: gamma_I gamma_J K / r^3.
double dipolar(double gammaI, double gammaJ, double r) { return gammaI * gammaJ * 3.356809033771374e-12 / (r * r * r); }

}  // namespace

TEST(CouplingClasses, ClassesAndStandardConstants) {
    DCListData list;
    struct Case {
        int resI;
        const char* nameI;
        int resJ;
        const char* nameJ;
        const char* resName;
        int cls;
        double di;   // the constants users know, to the digits they are quoted with
        double tol;
    };
    const Case cases[] = {
        {5, "HN", 5, "N", "ALA", 1, -21585.2, 0.05},  {5, "N", 5, "H", "ALA", 1, -21585.2, 0.05},
        {6, "HN", 5, "C", "ALA", 3, 6666.07, 0.005},  {5, "C", 6, "H", "ALA", 3, 6666.07, 0.005},
        {5, "N", 5, "CA", "ALA", 5, -1975.99, 0.005}, {6, "N", 5, "C", "ALA", 6, -2609.05, 0.005},
        {5, "HA", 5, "CA", "GLY", 7, 44539.5, 0.05},  {5, "CA", 5, "HA#", "GLY", 7, 44539.5, 0.05},
        {5, "CA", 5, "C", "ALA", 10, 4284.77, 0.005}, {5, "CB", 5, "HB#", "ALA", 11, 43353.9, 0.05},
        {7, "HD1#", 7, "CD1", "LEU", 11, 43353.9, 0.05}, {7, "CG2", 7, "HG2#", "T", 11, 43353.9, 0.05},
    };
    for (const Case& c : cases) {
        int cls = -1;
        double di = list.findVariableDI(0, c.resI, c.resName, c.nameI, c.resJ, c.resName, c.nameJ, true, cls);
        EXPECT_EQ(cls, c.cls) << c.nameI << "-" << c.nameJ;
        EXPECT_NEAR(di, c.di, c.tol) << c.nameI << "-" << c.nameJ;
        EXPECT_EQ(list.diFixedFlag, 1);
    }
    EXPECT_STREQ(DCTypeList[11], "CH3");
    EXPECT_FALSE(list.isDCMethyl("ALA", "CB", "HB"));   // proton name of two characters
    EXPECT_FALSE(list.isDCMethyl("LEU", "CD1", "HD2#"));
    EXPECT_EQ(list.getMethylNames("VAL", "CG2", "HG2#"), (StringList{"HG21", "HG22", "HG23"}));

    // rule order: C of i with N of i+1 is no class; distance-based classes take the distance
    const double gH = 267.5198e6, gN = -27.116e6, gC = 67.283e6;
    int cls = -1;
    double di = list.findVariableDI(1.33, 5, "ALA", "C", 6, "ALA", "N", true, cls);
    EXPECT_EQ(cls, 0);
    EXPECT_EQ(list.diFixedFlag, 0);
    EXPECT_DOUBLE_EQ(di, dipolar(gC, gN, 1.33));
    di = list.findVariableDI(2.5, 5, "ALA", "HA", 5, "ALA", "HB", true, cls);
    EXPECT_EQ(cls, 8);
    EXPECT_DOUBLE_EQ(di, dipolar(gH, gH, 2.5));
    // standard distances switched off: a standard class follows the given distance
    di = list.findVariableDI(1.02, 5, "ALA", "HN", 5, "ALA", "N", false, cls);
    EXPECT_EQ(cls, 1);
    EXPECT_EQ(list.diFixedFlag, 0);
    EXPECT_DOUBLE_EQ(di, dipolar(gH, gN, 1.02));
    // below 0.01 A the distance is not usable
    di = list.findVariableDI(0, 5, "ALA", "HN", 5, "ALA", "N", false, cls);
    EXPECT_DOUBLE_EQ(di, gH * gN * 3.356809033771374e-12 * 999999.9999999999);
    // an unknown nucleus letter counts 1.0 and is reported
    testing::internal::CaptureStderr();
    di = list.findVariableDI(2.0, 5, "ALA", "XX", 5, "ALA", "N", true, cls);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Dipolar Interaction - Unknown atom XX.\n");
    EXPECT_DOUBLE_EQ(di, gN * 3.356809033771374e-12 / 8.0);
}

TEST(CouplingBuild, OrientationCoefficients) {
    testutil::TempDir dir;
    // N at the origin; HN along z, CA along x, C at 45 degrees in the xz plane
    const double h = std::sqrt(0.5);
    PDB pdb = loadText(dir, atom(1, "N", "ALA", 2, 0, 0, 0) + atom(2, "H", "ALA", 2, 0, 0, 1.02) +
                                atom(3, "CA", "ALA", 2, 1.46, 0, 0) + atom(4, "C", "ALA", 2, 1.5 * h, 0, 1.5 * h) +
                                atom(5, "HA", "ALA", 2, 0, 1.1, 0));
    auto expectA = [](const DipolarCouplingData& dc, std::array<double, 5> a) {
        for (int i = 0; i < 5; i++) EXPECT_NEAR(dc.A[i], a[i], 1e-6) << i;
    };
    DipolarCouplingData nh = coupling(2, "HN", 2, "N");
    nh.buildDC(pdb);
    EXPECT_EQ(nh.valid + nh.atomICount + nh.m, 3);
    EXPECT_NEAR(nh.rIJ, 1.02, 1e-6);
    expectA(nh, {1, 0, 0, 0, 0});

    DipolarCouplingData nca = coupling(2, "N", 2, "CA");
    nca.buildDC(pdb);
    expectA(nca, {-0.5, 0.5, 0, 0, 0});   // N - CA points along -x

    DipolarCouplingData cn = coupling(2, "C", 2, "N");
    cn.buildDC(pdb);
    expectA(cn, {0.25, 0.25, 0, 1, 0});

}

TEST(CouplingBuild, EnsembleAverageAndAlternateLocations) {
    testutil::TempDir dir;
    // two models: the pair exists in both for residue 2, only in model 1 for residue 3
    std::string text = testpdb::model(1) + atom(1, "N", "ALA", 2, 0, 0, 0) + atom(2, "H", "ALA", 2, 0, 0, 1) +
                       atom(3, "N", "GLY", 3, 5, 0, 0) + atom(4, "H", "GLY", 3, 6, 0, 0) + testpdb::endModel() +
                       testpdb::model(2) + atom(1, "N", "ALA", 2, 0, 0, 0) + atom(2, "H", "ALA", 2, 1, 0, 0) +
                       atom(3, "N", "GLY", 3, 5, 0, 0) + testpdb::endModel();
    PDB pdb = loadText(dir, text);
    ASSERT_EQ(pdb.conformer_count, 2);
    DipolarCouplingData two = coupling(2, "HN", 2, "N");
    two.buildDC(pdb);
    EXPECT_EQ(two.atomICount, 2);
    const double expected2[5] = {(1.0 - 0.5) / 2, (0.0 + 0.5) / 2, 0, 0, 0};
    for (int i = 0; i < 5; i++) EXPECT_NEAR(two.A[i], expected2[i], 1e-12);
    DipolarCouplingData three = coupling(3, "HN", 3, "N", "GLY");
    three.buildDC(pdb);
    EXPECT_EQ(three.atomICount, 1);
    EXPECT_NEAR(three.A[0], -0.5 / 2, 1e-12);   // divided by both conformers
    EXPECT_NEAR(three.A[1], 0.5 / 2, 1e-12);
    EXPECT_NEAR(three.rIJ, 1.0, 1e-6);

    // alternate locations A (0.6, along z) and B (0.4, along x), each paired with its own N
    text = atom(1, "N", "ALA", 2, 0, 0, 0, 0.6, 'A') + atom(2, "N", "ALA", 2, 0, 0, 0, 0.4, 'B') +
           atom(3, "H", "ALA", 2, 0, 0, 1, 0.6, 'A') + atom(4, "H", "ALA", 2, 1, 0, 0, 0.4, 'B') +
           atom(5, "CA", "ALA", 2, 0, 1.5, 0);
    pdb = loadText(dir, text);
    DipolarCouplingData alt = coupling(2, "HN", 2, "N");
    alt.buildDC(pdb);
    EXPECT_EQ(alt.atomICount, 2);
    EXPECT_NEAR(alt.A[0], 0.6 * 1 + 0.4 * -0.5, 1e-6);
    EXPECT_NEAR(alt.A[1], 0.4 * 0.5, 1e-6);
    // a partner with a blank location only: no pair
    DipolarCouplingData none = coupling(2, "HN", 2, "CA");
    testing::internal::CaptureStderr();
    none.buildDC(pdb);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(none.valid, 0);
    EXPECT_EQ(err, "DC Warning: No Atom Map for DC 0 (PDB ResID 2 2)\n"
                   "   ResIDI: 2 ResNameI: ALA AtomNameI: HN SegI:  ChainI: \n"
                   "   ResIDJ: 2 ResNameJ: ALA AtomNameJ: CA SegJ:  ChainJ: \n");
}

TEST(CouplingBuild, MethylAxisAnnouncement) {
    testutil::TempDir dir;
    PDB pdb = loadText(dir, atom(1, "CA", "ALA", 5, 0, 0, 0) + atom(2, "CB", "ALA", 5, 0, 0, 1.53) +
                                atom(3, "HB1", "ALA", 5, 1.0, 0, 1.9) + atom(4, "HB2", "ALA", 5, -0.5, 0.87, 1.9) +
                                atom(5, "HB3", "ALA", 5, -0.5, -0.87, 1.9));
    DipolarCouplingData dc = coupling(5, "CB", 5, "HB#");
    dc.isMethyl = 1;
    testing::internal::CaptureStdout();
    dc.buildDC(pdb);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " Use C-C for methyl CB-HB# of #5\n");
    ASSERT_EQ(dc.valid, 1);
    EXPECT_NEAR(dc.A[0], 1.0, 1e-6);   // the CB-CA bond lies along z
    dc.isMethylCC = 0;
    testing::internal::CaptureStdout();
    dc.buildDC(pdb);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " Use C-H3 for methyl CB-HB# of #5\n");
    EXPECT_EQ(dc.atomJCount, 3);
    // three protons at 110.9 degrees from the axis: each contributes P2(cos 110.9)
    const double c = std::cos(110.9 * M_PI / 180);
    EXPECT_NEAR(dc.A[0], 3 * (3 * c * c - 1) / 2, 1e-3);
}

TEST(CouplingBackCalculation, SaupeAndRotationFormsAgree) {
    testutil::TempDir dir;
    std::string text;
    const double dirs[4][3] = {{0.3, -0.5, 0.81}, {1, 0.2, -0.1}, {-0.2, 0.9, 0.4}, {0.6, 0.6, -0.52}};
    for (int k = 0; k < 4; k++) {
        text += testpdb::model(k + 1) + atom(1, "N", "ALA", 2, 1, 2, 3) +
                atom(2, "H", "ALA", 2, 1 + dirs[k][0], 2 + dirs[k][1], 3 + dirs[k][2]) + testpdb::endModel();
    }
    PDB pdb = loadText(dir, text);
    DipolarCouplingData dc = coupling(2, "HN", 2, "N");
    dc.diCalc = -21585.2;
    dc.buildDC(pdb);
    ASSERT_EQ(dc.atomICount, 4);

    // tensor: principal values from Da, Dr; orientation R = Rz*Ry*Rx (rows = principal axes)
    const double Da = 7.5e-4, Dr = 2.1e-4;
    const double sp[3] = {-Da + 1.5 * Dr, -Da - 1.5 * Dr, 2 * Da};
    Mat4 R4;
    Mat4Ident(R4);
    m4AppendRotation(R4, 30, -50, 110);
    double S[3][3];
    for (int a = 0; a < 3; a++)
        for (int b = 0; b < 3; b++) {
            S[a][b] = 0;
            for (int k = 0; k < 3; k++) S[a][b] += R4[k][a] * sp[k] * R4[k][b];
        }
    const double saupe[5] = {S[2][2], S[0][0] - S[1][1], S[0][1], S[0][2], S[1][2]};
    dc.calcDC(saupe, 5);
    const double fromSaupe = dc.dCalc;

    // independent value: the average over conformers of |DI| u.S.u
    double expected = 0;
    for (int k = 0; k < 4; k++) {
        double u[3] = {dirs[k][0], dirs[k][1], dirs[k][2]};
        double n = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
        double q = 0;
        for (int a = 0; a < 3; a++)
            for (int b = 0; b < 3; b++) q += u[a] / n * S[a][b] * u[b] / n;
        expected += 21585.2 * q / 4;
    }
    EXPECT_NEAR(fromSaupe, expected, 1e-3);   // coordinates pass through single precision

    Mat4 rot;
    Mat4Copy(rot, R4);
    Mat4Transp(rot);
    dc.calcDC(rot, Da, Dr);
    EXPECT_NEAR(dc.dCalc, fromSaupe, 1e-9);
    EXPECT_NE(dc.theta, 9999);

    // one Saupe set per pair, and explicit weights, reproduce the same value
    double perPair[20];
    for (int g = 0; g < 4; g++)
        for (int i = 0; i < 5; i++) perPair[5 * g + i] = saupe[i] / 4;
    dc.calcDC(perPair, 20);
    EXPECT_NEAR(dc.dCalc, fromSaupe, 1e-9);
    dc.calcDC(saupe, std::vector<double>(4, 0.25));
    EXPECT_NEAR(dc.dCalc, fromSaupe, 1e-9);
    dc.calcDC(rot, Da, Dr, std::vector<double>(4, 0.25));
    EXPECT_NEAR(dc.dCalc, fromSaupe, 1e-9);
}
