// One RCSA record: classes, the chemical-shift axes of the three nuclei on an ideal peptide plane
// against directions worked out by hand, the design-matrix row against (2/3) sum S_ij delta_ij,
// ensemble weights, the four back-calculations, and the record without its plane.
#include <array>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "common/TestPdb.h"
#include "common/TestUtil.h"
#include "couplings/RCSA_Data.h"
#include "io/PDB.h"
#include "tensor/DTensor.h"

using testpdb::atom;

namespace {

typedef std::array<double, 3> V3;
typedef std::array<std::array<double, 3>, 3> M3;
const double kDeg = M_PI / 180;

// The plane of residue 2 seen from its N: H(2) at 180 degrees (1.000 A), C(1) at about -61
// degrees (1.006 A), in the xy plane; the coordinates are the file's (single precision).
const float kCx = 0.485f, kCy = -0.875f, kHx = -1.0f;

// Residues 1 and 2 around N(2) at the origin; model 2, if any, turned by 90 degrees about z
// ((x, y) -> (-y, x)) with the HN at occupancy hnOccupancy2.
std::string peptidePdb(int models, double hnOccupancy2 = 1.0) {
    std::string text;
    for (int m = 1; m <= models; m++) {
        auto at = [m](double x, double y) { return m == 1 ? std::array<double, 2>{x, y} : std::array<double, 2>{-y, x}; };
        const auto c = at(kCx, kCy), h = at(kHx, 0), ca1 = at(1.2, -2.2), ca2 = at(0.6, 1.3), n1 = at(2.6, -2.4);
        text += testpdb::model(m);
        text += atom(1, "N", "ALA", 1, n1[0], n1[1], 0);
        text += atom(2, "CA", "ALA", 1, ca1[0], ca1[1], 0);
        text += atom(3, "C", "ALA", 1, c[0], c[1], 0);
        text += atom(4, "N", "GLY", 2, 0, 0, 0);
        text += atom(5, "H", "GLY", 2, h[0], h[1], 0, m == 1 ? 1.0 : hnOccupancy2);
        text += atom(6, "CA", "GLY", 2, ca2[0], ca2[1], 0);
        text += testpdb::endModel();
    }
    return text;
}

PDB loadText(const testutil::TempDir& dir, const std::string& text) {
    testutil::writeFile(dir.file("plane.pdb"), text);
    return PDB(dir.file("plane.pdb"));
}

RCSA_Data record(int resID, const std::string& atomName) {
    RCSA_Data r;
    r.id = resID * 10;
    r.resID = resID;
    r.resName = "GLY";
    r.atomName = atomName;
    r.CLASS = RCSA_Data::classOf(atomName);
    return r;
}

// In-plane unit vector at `deg` degrees from +x, counterclockwise seen from +z.
V3 inPlane(double deg) { return {std::cos(deg * kDeg), std::sin(deg * kDeg), 0}; }

// The traceless order matrix of a Saupe vector in RCSA order (Syy, Szz, Sxy, Sxz, Syz).
M3 orderMatrix(const double* s) {
    return {{{-s[0] - s[1], s[2], s[3]}, {s[2], s[0], s[4]}, {s[3], s[4], s[1]}}};
}

// (2/3) sum_ij S_ij delta_ij with delta = sum_k dii[k] a_k a_k^T.
double rcsaOf(const M3& S, const V3 axes[3], const double dii[3]) {
    double sum = 0;
    for (int k = 0; k < 3; k++)
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) sum += S[i][j] * dii[k] * axes[k][i] * axes[k][j];
    return 2.0 / 3.0 * sum;
}

void expectAxis(const V3& want, const double* got, const std::string& what) {
    for (int i = 0; i < 3; i++) EXPECT_NEAR(want[i], got[i], 1e-12) << what << " component " << i;
}

const double kSaupe[5] = {-3.1e-4, 6.4e-4, 2.2e-4, -1.5e-4, 4.0e-4};   // RCSA order

}  // namespace

TEST(RcsaRecord, ClassesFromAtomNames) {
    EXPECT_EQ(RCSA_Data::classOf("H"), 1);
    EXPECT_EQ(RCSA_Data::classOf("HN"), 1);
    EXPECT_EQ(RCSA_Data::classOf("N"), 2);
    EXPECT_EQ(RCSA_Data::classOf("C"), 3);
    EXPECT_EQ(RCSA_Data::classOf("CA"), -1);
    EXPECT_EQ(RCSA_Data::classOf("c"), -1);
}

// C(1) at angle phiC seen from N(2), H at 180 degrees: u = unit(N - C) points at phiC + 180,
// w = unit(N - H) = +x, and n = unit(u x w) = -z (sin(phiC + 180) > 0). A turn by +q about -z is
// counterclockwise seen from +z. The defaults in effect: beta_H 8, beta_N 16, beta_C 38 degrees;
// principal values H (-5.8, 0, 5.8), N (-108.5, 45.7, 62.8), C (-75, -12, +87) ppm.
TEST(RcsaRecord, AxesOfTheThreeNucleiOnAnIdealPeptidePlane) {
    testutil::TempDir dir;
    const PDB pdb = loadText(dir, peptidePdb(1));
    const double phiC = std::atan2(double(kCy), double(kCx)) / kDeg;   // about -61.0
    const V3 n = {0, 0, -1};
    struct Case {
        const char* atom;
        V3 axes[3];          // s11, s22, s33
        double dii[3];       // ppb
    } cases[] = {
        {"H", {n, inPlane(8 - 90), inPlane(8)}, {-5800, 0, 5800}},
        {"N", {inPlane(16), n, inPlane(16 + 90)}, {-108500, 45700, 62800}},
        {"C", {inPlane(phiC - 38), inPlane(phiC - 38 + 90), n}, {-75000, -12000, 87000}},
    };
    const M3 S = orderMatrix(kSaupe);
    for (const Case& c : cases) {
        DTensor t;
        RCSA_Data r = record(2, c.atom);
        r.buildRCSA(pdb, t);
        ASSERT_EQ(r.valid, 1) << c.atom;
        EXPECT_EQ(r.atomCount, 1);
        EXPECT_EQ(r.m, 1);
        for (int k = 0; k < 3; k++) EXPECT_NEAR(c.dii[k], r.dii[k], 1e-9) << c.atom;
        expectAxis(c.axes[0], r.s11, std::string(c.atom) + " s11");
        expectAxis(c.axes[1], r.s22, std::string(c.atom) + " s22");
        expectAxis(c.axes[2], r.s33, std::string(c.atom) + " s33");
        ASSERT_EQ(r.csa_tensor_v_maps.size(), 1u);
        for (int k = 0; k < 3; k++) expectAxis(c.axes[k], r.csa_tensor_v_maps[0][k].data(), c.atom);
        // the plane atoms of the conformer
        EXPECT_EQ((V3{r.vc[0], r.vc[1], r.vc[2]}), (V3{kCx, kCy, 0}));
        EXPECT_EQ((V3{r.vh[0], r.vh[1], r.vh[2]}), (V3{kHx, 0, 0}));

        // the row is the chemical-shift tensor contracted with the order matrix
        const double want = rcsaOf(S, c.axes, c.dii);
        r.calcRCSA(kSaupe);
        EXPECT_NEAR(want, r.dCalc, 1e-12 * 1e5) << c.atom;
        for (int i = 0; i < 5; i++) EXPECT_DOUBLE_EQ(r.A[i], r.Ai[0][i]);   // one conformer, weight 1
    }

    // a CA row has no class: no principal values, a zero row
    DTensor t;
    RCSA_Data ca = record(2, "CA");
    ca.buildRCSA(pdb, t);
    EXPECT_EQ(ca.valid, 1);
    for (double a : ca.A) EXPECT_EQ(a, 0.0);
}

// Two models, the second turned by 90 degrees about z with its HN at occupancy 0.6: each
// conformer weighs occupancy / 2, so the row is 0.5 A(model 1) + 0.3 A(model 2).
TEST(RcsaRecord, EnsembleRowAndTheFourBackCalculations) {
    testutil::TempDir dir;
    const PDB pdb = loadText(dir, peptidePdb(2, 0.6));
    const M3 S = orderMatrix(kSaupe);
    auto turned = [](const V3& a) { return V3{-a[1], a[0], a[2]}; };
    const V3 n = {0, 0, -1};
    const V3 model1[3] = {inPlane(16), n, inPlane(106)};
    const V3 model2[3] = {turned(model1[0]), n, turned(model1[2])};
    const double dii[3] = {-108500, 45700, 62800};
    const double r1 = rcsaOf(S, model1, dii), r2 = rcsaOf(S, model2, dii);

    DTensor t;
    RCSA_Data r = record(2, "N");
    r.buildRCSA(pdb, t);
    ASSERT_EQ(r.valid, 1);
    EXPECT_EQ(r.atomCount, 2);
    EXPECT_EQ(r.m, 2);
    EXPECT_EQ(r.wi, (std::vector<double>{0.5, double(0.6f) / 2}));
    expectAxis(model2[0], r.s11, "last conformer built");

    r.calcRCSA(kSaupe);
    EXPECT_NEAR(0.5 * r1 + 0.3 * r2, r.dCalc, 1e-6);
    r.calcRCSA(kSaupe, std::vector<double>{0.25, 0.75});
    EXPECT_NEAR(0.25 * r1 + 0.75 * r2, r.dCalc, 1e-9);

    // the principal frame of the same tensor gives the same values
    DTensor frame;
    frame.isRCSA = true;
    for (int i = 0; i < 5; i++) frame.saupe[i] = kSaupe[i];
    ASSERT_GT(frame.saupe2euler(), 0);
    Mat4 M;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) M[i][j] = frame.vv[j][i];
    r.calcRCSA(M, frame.da, frame.dr);
    EXPECT_NEAR(0.5 * r1 + 0.3 * r2, r.dCalc, 1e-6);
    r.calcRCSA(M, frame.da, frame.dr, std::vector<double>{0.25, 0.75});
    EXPECT_NEAR(0.25 * r1 + 0.75 * r2, r.dCalc, 1e-9);
}

// Residue 1 has no preceding carbonyl: invalid, one warning block per conformer.
TEST(RcsaRecord, RecordWithoutItsPlaneIsInvalidWithItsWarning) {
    testutil::TempDir dir;
    const PDB pdb = loadText(dir, peptidePdb(2));
    DTensor t;
    RCSA_Data r = record(1, "N");
    r.resName = "ALA";
    r.segName = "S1";
    r.chainName = "A";
    testing::internal::CaptureStderr();
    r.buildRCSA(pdb, t);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string block = "RCSA Warning: No Atom Map for RCSA 10 (PDB ResID 1)\n"
                              "   ResID: 1 ResName: ALA AtomName: N Seg: S1 Chain: A\n";
    EXPECT_EQ(block + block, err);
    EXPECT_EQ(r.valid, 0);
    EXPECT_EQ(r.atomCount, 0);
    for (double a : r.A) EXPECT_EQ(a, 0.0);

    // a structure without atoms holds no plane either
    PDB empty;
    RCSA_Data h = record(2, "HN");
    testing::internal::CaptureStderr();
    h.buildRCSA(empty, t);
    EXPECT_EQ("RCSA Warning: No Atom Map for RCSA 20 (PDB ResID 2)\n"
              "   ResID: 2 ResName: GLY AtomName: HN Seg:  Chain: \n",
              testing::internal::GetCapturedStderr());
    EXPECT_EQ(h.valid, 0);
}
