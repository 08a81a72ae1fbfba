// One coupling: class and DI rules, orientation coefficients from structures, back-calculation.
#include <cmath>
#include <sstream>

#include <gtest/gtest.h>

#include "common/TestPdb.h"
#include "common/TestUtil.h"
#include "couplings/DCListData.h"
#include "fit/SVDWorkData.h"
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

// Pairs over models and alternate locations: CouplingBackCalculation below. A partner with a
// blank location only makes no pair: the coupling is invalid, with its warning block.
TEST(CouplingBuild, NoPairWarning) {
    testutil::TempDir dir;
    PDB pdb = loadText(dir, atom(1, "N", "ALA", 2, 0, 0, 0, 0.6, 'A') + atom(2, "H", "ALA", 2, 0, 0, 1, 0.6, 'A') +
                                atom(3, "CA", "ALA", 2, 0, 1.5, 0));
    DipolarCouplingData none = coupling(2, "HN", 2, "CA");
    none.segNameJ = "S2";
    none.chainNameJ = "B";
    testing::internal::CaptureStderr();
    none.buildDC(pdb);
    EXPECT_EQ(none.valid, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "DC Warning: No Atom Map for DC 0 (PDB ResID 2 2)\n"
                                                      "   ResIDI: 2 ResNameI: ALA AtomNameI: HN SegI:  ChainI: \n"
                                                      "   ResIDJ: 2 ResNameJ: ALA AtomNameJ: CA SegJ: S2 ChainJ: B\n");
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

namespace {

// An ensemble of three models with alternate locations and occupancies below 1:
// residue 2: N and H in locations A and B, the protons with other occupancies than the
//   nitrogens; model 3 has the proton in location A only;
// residue 3: no locations, occupancies 0.80 (N) and 0.70 (H); no proton in model 3.
std::string alternateLocationEnsemble() {
    std::string t;
    const double shift[3][3] = {{0, 0, 0}, {0.31, -0.22, 0.15}, {-0.4, 0.12, 0.33}};
    for (int m = 0; m < 3; m++) {
        const double* s = shift[m];
        t += testpdb::model(m + 1);
        t += atom(1, "N", "ALA", 2, 1.0, 2.0, 3.0, 0.60, 'A');
        t += atom(2, "N", "ALA", 2, 1.1, 2.05, 2.9, 0.40, 'B');
        t += atom(3, "H", "ALA", 2, 1.3 + s[0], 2.5 + s[1], 3.8 + s[2], 0.55, 'A');
        if (m != 2) t += atom(4, "H", "ALA", 2, 0.2 - s[2], 2.6 + s[0], 3.5 + s[1], 0.45, 'B');
        t += atom(5, "N", "GLY", 3, 4.0, 1.0, 0.0, 0.80);
        if (m != 2) t += atom(6, "H", "GLY", 3, 4.2 + s[1], 1.9 + s[2], -0.4 + s[0], 0.70);
        t += testpdb::endModel();
    }
    return t;
}

// One atom as this test reads it from the file text (fixed columns of the ATOM record).
struct FileAtom {
    int model;
    std::string name;
    char alt;
    int res;
    double xyz[3];
    double occupancy;
};

std::vector<FileAtom> readAtoms(const std::string& text) {
    std::vector<FileAtom> atoms;
    std::istringstream in(text);
    std::string line;
    int model = 1;
    while (std::getline(in, line)) {
        if (line.compare(0, 5, "MODEL") == 0) model = std::stoi(line.substr(10));
        if (line.compare(0, 4, "ATOM") != 0) continue;
        FileAtom a;
        a.model = model;
        std::istringstream(line.substr(12, 4)) >> a.name;
        if (a.name == "H") a.name = "HN";
        a.alt = line[16];
        a.res = std::stoi(line.substr(22, 4));
        for (int c = 0; c < 3; c++) a.xyz[c] = std::stof(line.substr(30 + 8 * c, 8));   // single precision
        a.occupancy = std::stof(line.substr(54, 6));
        atoms.push_back(a);
    }
    return atoms;
}

// The pairs of a coupling as the test expects them: model by model, each location of atom I
// with the same location of atom J; weight = occupancy of I when it has a location, else of
// J, divided by the number of models; unit vector I - J.
struct ExpectedPair {
    double w;
    double u[3];
};

std::vector<ExpectedPair> expectedPairs(const std::vector<FileAtom>& atoms, int models, int resI,
                                        const std::string& nameI, int resJ, const std::string& nameJ) {
    std::vector<ExpectedPair> pairs;
    for (int m = 1; m <= models; m++)
        for (const FileAtom& i : atoms) {
            if (i.model != m || i.res != resI || i.name != nameI) continue;
            for (const FileAtom& j : atoms) {
                if (j.model != m || j.res != resJ || j.name != nameJ || j.alt != i.alt) continue;
                ExpectedPair p;
                p.w = (i.alt != ' ' ? i.occupancy : j.occupancy) / models;
                double d[3], r = 0;
                for (int c = 0; c < 3; c++) {
                    d[c] = i.xyz[c] - j.xyz[c];
                    r += d[c] * d[c];
                }
                for (int c = 0; c < 3; c++) p.u[c] = d[c] / std::sqrt(r);
                pairs.push_back(p);
            }
        }
    return pairs;
}

// A tensor given by Da, Dr and the rotation R = Rz(110) Ry(-50) Rx(30), whose rows are the
// principal axes: its Saupe matrix and Saupe vector, and the rotation calcDC takes (R^T:
// row vector u times R^T gives u in the principal frame).
struct KnownTensor {
    double Da = 7.5e-4, Dr = 2.1e-4;
    Mat4 R, frame;
    double S[3][3];
    double saupe[5];
    KnownTensor() {
        Mat4Ident(R);
        m4AppendRotation(R, 30, -50, 110);
        const double sp[3] = {-Da + 1.5 * Dr, -Da - 1.5 * Dr, 2 * Da};
        for (int a = 0; a < 3; a++)
            for (int b = 0; b < 3; b++) {
                S[a][b] = 0;
                for (int k = 0; k < 3; k++) S[a][b] += R[k][a] * sp[k] * R[k][b];
            }
        const double s[5] = {S[2][2], S[0][0] - S[1][1], S[0][1], S[0][2], S[1][2]};
        std::copy(s, s + 5, saupe);
        Mat4Copy(frame, R);
        Mat4Transp(frame);
    }
    double quadratic(const double u[3]) const {   // u.S.u
        double q = 0;
        for (int a = 0; a < 3; a++)
            for (int b = 0; b < 3; b++) q += u[a] * S[a][b] * u[b];
        return q;
    }
    // The coupling of a unit vector at polar angles (theta, phi) of the principal frame.
    double atAngles(double th, double ph) const {
        double c = std::cos(th), s = std::sin(th);
        return Da * (3 * c * c - 1) + 1.5 * Dr * s * s * std::cos(2 * ph);
    }
};

const double kAbsDI = 21585.2;

}  // namespace

TEST(CouplingBackCalculation, CompactPairsOfAnAlternateLocationEnsemble) {
    testutil::TempDir dir;
    const std::string text = alternateLocationEnsemble();
    PDB pdb = loadText(dir, text);
    ASSERT_EQ(pdb.conformer_count, 3);
    const std::vector<FileAtom> atoms = readAtoms(text);
    const KnownTensor t;
    const double degree = M_PI / 180;

    // I with a location weighs by I's occupancy, I without one by J's: both orders of both residues
    struct Case {
        int res;
        const char *nameI, *nameJ;
        size_t pairs;
    };
    for (const Case& c : {Case{2, "HN", "N", 5}, Case{2, "N", "HN", 5}, Case{3, "HN", "N", 2}, Case{3, "N", "HN", 2}}) {
        SCOPED_TRACE(std::to_string(c.res) + c.nameI + "-" + c.nameJ);
        DipolarCouplingData dc = coupling(c.res, c.nameI, c.res, c.nameJ);
        dc.diCalc = -kAbsDI;
        dc.buildDC(pdb);
        const std::vector<ExpectedPair> pairs = expectedPairs(atoms, 3, c.res, c.nameI, c.res, c.nameJ);
        ASSERT_EQ(pairs.size(), c.pairs);
        ASSERT_EQ(dc.atomICount, static_cast<int>(c.pairs));
        EXPECT_EQ(dc.atomJCount, dc.atomICount);
        ASSERT_EQ(dc.wi.size(), c.pairs);
        ASSERT_EQ(dc.vi.size(), c.pairs);
        ASSERT_EQ(dc.Ai.size(), c.pairs);

        // per pair: weight, unit vector, and coefficients that give u.S.u for the tensor
        double expected = 0, thetaSum = 0, phiSum = 0, dThetaSum = 0, dPhiSum = 0, errSum = 0;
        std::vector<double> perPair(5 * pairs.size()), otherWeights(pairs.size());
        double otherExpected = 0;
        for (size_t k = 0; k < pairs.size(); k++) {
            const ExpectedPair& p = pairs[k];
            EXPECT_DOUBLE_EQ(dc.wi[k], p.w) << k;
            for (int a = 0; a < 3; a++) EXPECT_NEAR(dc.vi[k][a], p.u[a], 1e-12) << k;
            double ai = 0;
            for (int i = 0; i < 5; i++) ai += dc.Ai[k][i] * t.saupe[i];
            EXPECT_NEAR(ai, t.quadratic(p.u), 1e-15) << k;

            expected += kAbsDI * p.w * t.quadratic(p.u);
            otherWeights[k] = 0.1 + 0.2 * k;
            otherExpected += kAbsDI * otherWeights[k] * t.quadratic(p.u);
            for (int i = 0; i < 5; i++) perPair[5 * k + i] = p.w * t.saupe[i];

            // polar angles in the principal frame, and the gradient by central differences
            double f[3] = {0, 0, 0};
            for (int a = 0; a < 3; a++)
                for (int j = 0; j < 3; j++) f[a] += t.R[a][j] * p.u[j];
            const double th = std::acos(f[2]), ph = std::atan2(f[1], f[0]), h = 1e-6;
            thetaSum += p.w * 57.29577951 * std::acos(f[2]);   // the program's degree factor
            phiSum += p.w * 57.29577951 * std::acos(f[0] / std::hypot(f[0], f[1]));
            dThetaSum += kAbsDI * p.w * (t.atAngles(th + h, ph) - t.atAngles(th - h, ph)) / (2 * h) * degree;
            dPhiSum += kAbsDI * p.w * (t.atAngles(th, ph + h) - t.atAngles(th, ph - h)) / (2 * h) / std::sin(th) * degree;
            errSum += p.w * std::sqrt(0.5 * dThetaSum * dThetaSum + 0.5 * dPhiSum * dPhiSum);
        }

        // the averaged row, the per-pair Saupe sets and the weighted form with the pair weights
        dc.calcDC(t.saupe, 5);
        const double fromRow = dc.dCalc;
        EXPECT_TRUE(testutil::near(fromRow, expected, 1e-12)) << fromRow << " " << expected;
        dc.calcDC(perPair.data(), static_cast<int>(perPair.size()));
        EXPECT_TRUE(testutil::near(dc.dCalc, fromRow, 1e-12));
        dc.calcDC(t.saupe, dc.wi);
        EXPECT_TRUE(testutil::near(dc.dCalc, fromRow, 1e-12));
        dc.calcDC(t.saupe, otherWeights);
        EXPECT_TRUE(testutil::near(dc.dCalc, otherExpected, 1e-12));

        // the principal-frame forms, with the angle and gradient accumulators
        dc.calcDC(t.frame, t.Da, t.Dr);
        EXPECT_TRUE(testutil::near(dc.dCalc, fromRow, 1e-12)) << dc.dCalc << " " << fromRow;
        EXPECT_NEAR(dc.theta, thetaSum, 1e-9);
        EXPECT_NEAR(dc.phi, phiSum, 1e-9);
        EXPECT_TRUE(testutil::near(dc.dtheta, dThetaSum, 1e-7)) << dc.dtheta << " " << dThetaSum;
        EXPECT_TRUE(testutil::near(dc.dphi, dPhiSum, 1e-7)) << dc.dphi << " " << dPhiSum;
        EXPECT_TRUE(testutil::near(dc.derivativeErr, errSum, 1e-7));
        const double rotation[4] = {dc.dCalc, dc.dtheta, dc.dphi, dc.theta};
        dc.calcDC(t.frame, t.Da, t.Dr, dc.wi);   // the pair weights given explicitly: the same sums
        EXPECT_EQ(dc.dCalc, rotation[0]);
        EXPECT_EQ(dc.dtheta, rotation[1]);
        EXPECT_EQ(dc.dphi, rotation[2]);
        EXPECT_EQ(dc.theta, rotation[3]);
        dc.calcDC(t.frame, t.Da, t.Dr, otherWeights);
        EXPECT_TRUE(testutil::near(dc.dCalc, otherExpected, 1e-12));

        // one tensor per pair, all the same tensor
        DTensor one;
        one.da = t.Da;
        one.dr = t.Dr;
        Mat4Copy(one.vv, t.R);   // rows of vv are the principal axes
        dc.calcDC(std::vector<DTensor>(pairs.size(), one));
        EXPECT_TRUE(testutil::near(dc.dCalc, fromRow, 1e-12));
    }
}

TEST(CouplingBackCalculation, RebuiltCouplingKeepsOnlyItsNewPairs) {
    testutil::TempDir dir;
    const KnownTensor t;
    PDB ensemble = loadText(dir, alternateLocationEnsemble());
    DipolarCouplingData dc = coupling(2, "HN", 2, "N");
    dc.diCalc = -kAbsDI;
    dc.buildDC(ensemble);
    ASSERT_EQ(dc.atomICount, 5);

    // rebuilt against a single structure: one pair of weight 1
    const double u[3] = {0.6, 0.0, 0.8};
    PDB single = loadText(dir, atom(1, "N", "ALA", 2, 1, 1, 1) + atom(2, "H", "ALA", 2, 1.6, 1, 1.8));
    dc.buildDC(single);
    ASSERT_EQ(dc.atomICount, 1);
    ASSERT_EQ(dc.wi.size(), 1u);
    EXPECT_EQ(dc.wi[0], 1.0);
    dc.calcDC(t.frame, t.Da, t.Dr);
    EXPECT_TRUE(testutil::near(dc.dCalc, kAbsDI * t.quadratic(u), 1e-6));   // single-precision coordinates
    dc.calcDC(t.saupe, 5);
    const double fromRow = dc.dCalc;
    dc.calcDC(t.frame, t.Da, t.Dr);
    EXPECT_TRUE(testutil::near(dc.dCalc, fromRow, 1e-12));

    // too few tensors: reported, and only the pairs that have one count
    DTensor one;
    one.da = t.Da;
    one.dr = t.Dr;
    Mat4Copy(one.vv, t.R);
    dc.buildDC(ensemble);
    dc.calcDC(std::vector<DTensor>(5, one));
    const double all = dc.dCalc;
    testing::internal::CaptureStderr();
    dc.calcDC(std::vector<DTensor>(2, one));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "calcDC() Error: inconsistent number of conformers and tensors.\n");
    double firstTwo = 0;
    for (int k = 0; k < 2; k++) firstTwo += kAbsDI * dc.wi[k] * t.quadratic(dc.vi[k].data());
    EXPECT_TRUE(testutil::near(dc.dCalc, firstTwo, 1e-12));
    EXPECT_NE(dc.dCalc, all);

    // rebuilt where no pair exists: every form gives 0
    testing::internal::CaptureStderr();
    DipolarCouplingData gone = dc;
    gone.resIDI = gone.resIDJ = 7;
    gone.buildDC(ensemble);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(gone.valid, 0);
    EXPECT_TRUE(gone.wi.empty() && gone.vi.empty() && gone.Ai.empty());
    gone.calcDC(t.frame, t.Da, t.Dr);
    EXPECT_EQ(gone.dCalc, 0);
    gone.calcDC(t.saupe, 5);
    EXPECT_EQ(gone.dCalc, 0);
}

TEST(CouplingBackCalculation, EnginePrincipalFrameMatchesRotationForm) {
    // The SVD engine's principal-frame back-calculation of single-structure couplings: the
    // rotation form's values in the tensor's own frame.
    testutil::TempDir dir;
    const KnownTensor t;
    PDB pdb = loadText(dir, atom(1, "N", "ALA", 2, 0, 0, 0) + atom(2, "H", "ALA", 2, 0.3, -0.5, 0.81) +
                                atom(3, "CA", "ALA", 2, 1.2, 0.7, -0.4) + atom(4, "HA", "ALA", 2, 1.0, 1.6, -0.9));
    std::vector<DipolarCouplingData> list = {coupling(2, "HN", 2, "N"), coupling(2, "HA", 2, "CA"),
                                             coupling(2, "CA", 2, "N")};
    for (DipolarCouplingData& dc : list) {
        dc.buildDC(pdb);
        dc.diCalc = -kAbsDI;
        dc.d = 1;
    }
    list[2].d = 9500;   // not measured: left alone
    DTensor tensor;
    std::copy(t.saupe, t.saupe + 5, tensor.saupe.begin());
    SVDWorkData svd;
    EXPECT_EQ(svd.getSaupeD_all(list, tensor, false), 2);
    EXPECT_NEAR(tensor.da, t.Da, 1e-15);
    Mat4 frame;
    Mat4Copy(frame, tensor.vv);
    Mat4Transp(frame);
    for (int k = 0; k < 2; k++) {
        DipolarCouplingData again = list[k];
        again.calcDC(frame, tensor.da, tensor.dr);
        EXPECT_EQ(list[k].dCalc, again.dCalc) << k;
        EXPECT_EQ(list[k].dtheta, again.dtheta) << k;
        EXPECT_EQ(list[k].dphi, again.dphi) << k;
        EXPECT_NEAR(list[k].theta, again.theta, 1e-9) << k;
        again.calcDC(t.saupe, 5);
        EXPECT_TRUE(testutil::near(list[k].dCalc, again.dCalc, 1e-12)) << k;
    }
    EXPECT_EQ(list[2].dCalc, 0);
}
