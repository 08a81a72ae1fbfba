// Tensor conversions: Jacobi diagonalisation, magnitude sort, Euler-angle enumeration,
// (Da, Dr, angles) <-> Saupe vector round trips, shape tensor, CSA axes.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>

#include <gtest/gtest.h>

#include "tensor/DTensor.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;
using M3 = std::array<std::array<double, 3>, 3>;

// R = Rz(phi)*Ry(theta)*Rx(psi) written out element by element (degrees).
M3 rotZYX(double psiD, double thetaD, double phiD) {
    const double cps = std::cos(psiD * kDeg), sps = std::sin(psiD * kDeg);
    const double cth = std::cos(thetaD * kDeg), sth = std::sin(thetaD * kDeg);
    const double cph = std::cos(phiD * kDeg), sph = std::sin(phiD * kDeg);
    return {{{cph * cth, cph * sth * sps - sph * cps, cph * sth * cps + sph * sps},
             {sph * cth, sph * sth * sps + cph * cps, sph * sth * cps - cph * sps},
             {-sth, cth * sps, cth * cps}}};
}

// Saupe vector (coupling order) of the sum of l_k R_k R_k^T over the rows R_k of R, that is
// of R^T * diag(l) * R.
std::array<double, 5> saupeOf(const double l[3], const M3& R) {
    double T[3][3] = {};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            for (int k = 0; k < 3; k++) T[i][j] += R[k][i] * l[k] * R[k][j];
    return {T[2][2], T[0][0] - T[1][1], T[0][1], T[0][2], T[1][2]};
}

// Smallest max-element difference between R and P*R0 over the 180-degree turns P about the
// principal axes (they leave a diagonal tensor unchanged).
double diffUpToAxisFlips(const M3& R, const M3& R0) {
    static const double flips[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    double best = 1e9;
    for (const auto& f : flips) {
        double d = 0;
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) d = std::max(d, std::fabs(R[i][j] - f[i] * R0[i][j]));
        best = std::min(best, d);
    }
    return best;
}

void toMat3(const M3& a, Mat3 out) {
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) out[i][j] = a[i][j];
}

DTensor make(double Da, double Dr, double ps, double th, double ph, bool rcsa = false) {
    DTensor t;
    t.isRCSA = rcsa;
    std::tie(t.da, t.dr, t.psi, t.theta, t.phi) = std::make_tuple(Da, Dr, ps, th, ph);
    t.euler2saupe2();
    return t;
}

// The Saupe vector regenerated from solution i of t; the rotation of that solution.
std::array<double, 5> backSaupe(const DTensor& t, int i) {
    return make(t.da, t.dr, t.psiList[i], t.thetaList[i], t.phiList[i], t.isRCSA).saupe;
}
M3 solRot(const DTensor& t, int i) { return rotZYX(t.psiList[i], t.thetaList[i], t.phiList[i]); }

}  // namespace

TEST(DTensorEuler2Saupe, UnrotatedGeneralAndRcsaOrder) {
    for (double Dr : {0.0, 3.0e-4}) {   // unrotated: (2Da, 3Dr, 0, 0, 0)
        const double expect[5] = {2.4e-3, Dr == 0 ? 0.0 : 9.0e-4, 0, 0, 0};
        const DTensor t = make(1.2e-3, Dr, 0, 0, 0);
        for (int k = 0; k < 5; k++) EXPECT_NEAR(expect[k], t.saupe[k], 1e-18) << k;
    }
    const double angles[3][3] = {{10, 20, 30}, {-135, 72, 17}, {95, -40, -160}};
    const double l[3] = {-1.2e-3 + 4.5e-4, -1.2e-3 - 4.5e-4, 2.4e-3};   // Da 1.2e-3, Dr 3e-4
    for (const auto& a : angles) {
        const auto s = saupeOf(l, rotZYX(a[0], a[1], a[2]));
        const DTensor t = make(1.2e-3, 3.0e-4, a[0], a[1], a[2]);
        for (int k = 0; k < 5; k++) EXPECT_NEAR(s[k], t.saupe[k], 1e-15) << a[0] << " " << k;
        // RCSA order (Syy, Szz, Sxy, Sxz, Syz) of the same matrix
        const DTensor r = make(1.2e-3, 3.0e-4, a[0], a[1], a[2], true);
        const double rs[5] = {-(s[0] + s[1]) / 2.0, s[0], s[2], s[3], s[4]};
        for (int k = 0; k < 5; k++) EXPECT_NEAR(rs[k], r.saupe[k], 1e-15) << k;
    }
}

TEST(DTensorDiag, EigenpairsOfRandomSymmetricMatrices) {
    std::mt19937 gen(12345);
    std::uniform_real_distribution<double> U(-1.0, 1.0);
    DTensor t;
    for (int trial = 0; trial < 500; trial++) {
        Mat3 A, B;
        const double scale = std::pow(10.0, -6 + trial % 8);
        for (int i = 0; i < 3; i++)
            for (int j = i; j < 3; j++) A[i][j] = A[j][i] = scale * U(gen);
        for (int i = 0; i < 3; i++)   // the lower triangle is never read
            for (int j = 0; j < 3; j++) B[i][j] = (j >= i) ? A[i][j] : 1e30;
        ASSERT_EQ(0, t.diag3By3(B)) << trial;
        for (int k = 0; k < 3; k++)
            for (int i = 0; i < 3; i++) {
                double Av = 0, dot = 0;
                for (int j = 0; j < 3; j++) Av += A[i][j] * t.vv[j][k], dot += t.vv[j][i] * t.vv[j][k];
                EXPECT_NEAR(t.dd[k] * t.vv[i][k], Av, 1e-13 * scale) << trial;
                EXPECT_NEAR(i == k ? 1.0 : 0.0, dot, 1e-13);
            }
    }
}

TEST(DTensorEuler, SolutionCountsFallbackAndTolerance) {
    // {psi, theta, phi} -> number of solutions: psi = 90 makes psiA = psiB, phi = 90 phiA = phiB
    const double counts[3][4] = {{10, 20, 30, 2}, {90, 20, 30, 4}, {90, 20, 90, 8}};
    DTensor t;
    Mat3 R, F = {{1, 0, 0}, {0, 1, 0}, {0, 0, -1}};
    for (const auto& c : counts) {
        toMat3(rotZYX(c[0], c[1], c[2]), R);
        EXPECT_EQ(c[3], t.rot2euler(R)) << c[0] << " " << c[1] << " " << c[2];
    }
    // an improper matrix: no combination passes, the direct formulas give (180, 0, 0)
    ASSERT_EQ(1, t.rot2euler(F));
    EXPECT_DOUBLE_EQ(180, t.psiList[0]);
    EXPECT_DOUBLE_EQ(0, t.thetaList[0] + t.phiList[0]);
    // eulerTest: an element off by 0.001 fails, by 0.0004 passes
    toMat3(rotZYX(25, -35, 140), R);
    R[1][2] += 0.001;
    EXPECT_FALSE(t.eulerTest(R, 25 * kDeg, -35 * kDeg, 140 * kDeg, 1));
    R[1][2] -= 0.0006;
    EXPECT_TRUE(t.eulerTest(R, 25 * kDeg, -35 * kDeg, 140 * kDeg, 1));
}

// 15-degree grid (theta = +-90 included): Da and Dr come back (Dr < 0 with Da > 0 exchanges S_X
// and S_Y: Dr comes back positive, the new x axis is the old y axis), one solution is the input
// rotation up to the 180-degree turns about the principal axes (x/y free when Dr = 0), every
// solution regenerates the Saupe vector, solutions come sorted by psi^2 + theta^2 + phi^2.
TEST(DTensorRoundTrip, AngleGrid) {
    const double Da = 8.5e-4;   // {Da, Dr, RCSA order}
    const double cases[7][3] = {{Da, 0.1 * Da, 0}, {Da, 0.35 * Da, 0},  {Da, 0.6 * Da, 0},  {Da, 0, 0},
                                {Da, -0.3 * Da, 0}, {-Da, -0.35 * Da, 0}, {0.5 * Da, 0.2 * Da, 1}};
    auto sq = [](const DTensor& t, int i) {
        return t.psiList[i] * t.psiList[i] + t.thetaList[i] * t.thetaList[i] + t.phiList[i] * t.phiList[i];
    };
    for (const auto& p : cases)
        for (int ip = -12; ip <= 12; ip++)
            for (int it = -12; it <= 12; it++)
                for (int ih = -12; ih <= 12; ih++) {
                    const double ps = 15.0 * ip, th = 15.0 * it, ph = 15.0 * ih;
                    DTensor t = make(p[0], p[1], ps, th, ph, p[2] == 1);
                    const auto s0 = t.saupe;
                    const int n = t.saupe2euler();
                    const bool swapXY = p[0] * p[1] < 0;
                    ASSERT_NEAR(p[0], t.da, 1e-15) << ps << " " << th << " " << ph;
                    ASSERT_NEAR(swapXY ? -p[1] : p[1], t.dr, 1e-15) << ps << " " << th << " " << ph;
                    M3 R0 = rotZYX(ps, th, ph);
                    if (swapXY) R0 = {{{-R0[1][0], -R0[1][1], -R0[1][2]}, R0[0], R0[2]}};
                    double best = 1e9;
                    for (int i = 0; i < n; i++) {
                        best = std::min(best, diffUpToAxisFlips(solRot(t, i), R0));
                        const auto s = backSaupe(t, i);
                        for (int k = 0; k < 5; k++) ASSERT_NEAR(s0[k], s[k], 1e-6 * Da);
                        EXPECT_LE(sq(t, i), i + 1 < n ? sq(t, i + 1) : 1e300);
                    }
                    ASSERT_LE(p[1] == 0 ? 0.0 : best, 0.0005) << ps << " " << th << " " << ph;
                    if (std::fabs(th) == 90.0) {
                        ASSERT_EQ(2, n) << ps << " " << ph;
                        EXPECT_TRUE(t.phiList[0] == 0.0 && t.phiList[1] == 0.0);
                    }
                }
}

TEST(DTensorRoundTrip, TiedMagnitudesZeroVectorAndFailure) {
    // Dr = 2Da/3: |S_Y| = |S_Z|, either (Da, Dr) or (-Da, -Dr) describes the same tensor; unrotated,
    // the diagonal (0, -2e-3, 2e-3) is sorted to (0, 2e-3, -2e-3) by the >= rule
    const double Da = 1e-3, tx[3] = {0, 2e-3, -2e-3};
    for (double tilt : {0.0, 20.0, 45.0}) {
        DTensor e = make(Da, 2.0 * Da / 3.0, tilt, tilt / 2, -tilt);
        ASSERT_GE(e.saupe2euler(), 1);
        EXPECT_NEAR(Da, std::fabs(e.da), 1e-15);
        EXPECT_NEAR(2.0 * Da / 3.0, std::fabs(e.dr), 1e-15);
        for (int k = 0; k < 5; k++) EXPECT_NEAR(e.saupe[k], backSaupe(e, 0)[k], 1e-9);
        for (int k = 0; k < 3 && tilt == 0; k++) EXPECT_EQ(tx[k], e.sXYZ[k]);
    }

    // a zero Saupe vector: zeros, finite angles
    DTensor z;
    EXPECT_GE(z.saupe2euler(), 1);
    EXPECT_TRUE(z.da == 0.0 && z.dr == 0.0 && z.sXYZ[0] == 0.0 && std::isfinite(z.psiList[0]));
    // a diagonalisation failure (no convergence, no hang) returns 0
    z.saupe = {1e-3, 0, std::numeric_limits<double>::quiet_NaN(), 0, 0};
    EXPECT_EQ(0, z.saupe2euler());
}

// 6 points at +-a e1, +-b e2, +-c e3 (rows of a frame) about the origin, a >= b >= c: gyration
// tensor sum 2 len_k^2 e_k e_k^T; with r = (b - c)/(a - c) the axes get (1 - r/2, r - 1/2,
// -1/2 - r/2)*scale whatever the orientation and whichever order the diagonalisation finds them in.
TEST(DTensorShape, ProlateOblateAndSphericalClouds) {
    const double scale = 2.0, prolate[3] = {10, 2, 1}, oblate[3] = {10, 9, 1};
    const int perms[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (const auto& base : {rotZYX(0, 0, 0), rotZYX(30, -50, 110), rotZYX(-90, 15, 45)})
        for (const auto& pm : perms)
            for (const double* len : {prolate, oblate}) {
                const M3 e = {base[pm[0]], base[pm[1]], base[pm[2]]};   // long, middle, short axis
                const double r = (len[1] - len[2]) / (len[0] - len[2]);
                const double l[3] = {(1 - r / 2) * scale, (r - 0.5) * scale, (-0.5 - r / 2) * scale};
                Mat3 G = {};
                double dot = 0;
                for (int k = 0; k < 3; k++)
                    for (int i = 0; i < 3; i++)
                        for (int j = 0; j < 3; j++) G[i][j] += 2 * len[k] * len[k] * e[k][i] * e[k][j];
                DTensor t;
                ASSERT_GE(t.pdbGyratioTensor2saupe(G, scale), 1);
                // prolate: the long axis is the principal axis (+); oblate: the short axis is (-)
                const int uniq = len == prolate ? 0 : 2;
                EXPECT_NEAR(l[uniq], t.sXYZ[2], 1e-12);
                for (int i = 0; i < 3; i++) dot += t.vv[2][i] * e[uniq][i];
                EXPECT_NEAR(1.0, std::fabs(dot), 1e-9);
                const auto s = saupeOf(l, e);
                for (int k = 0; k < 5; k++) EXPECT_NEAR(s[k], t.saupe[k], 1e-9) << k;
            }
    // a sphere predicts nothing, without dividing by zero
    const Mat3 G = {{18, 0, 0}, {0, 18, 0}, {0, 0, 18}};
    DTensor t;
    ASSERT_GE(t.pdbGyratioTensor2saupe(G, scale), 1);
    EXPECT_TRUE(t.da == 0.0 && t.dr == 0.0 && t.saupe[0] == 0.0);
}

TEST(DTensorCsaAxes, FramesOfTheThreeNuclei) {
    // C(i-1) = a, N = b, H = c: u = unit(b - a) = x, w = unit(b - c) = y, n = z. A turn by q about
    // z in this program's sense takes y to (sin q, cos q, 0); -x is y turned by 270.
    const Vec3 a = {-1.3, 0, 0}, b = {0, 0, 0}, c = {0, -1.02, 0};
    DTensor t;   // beta H 8, N 16, C 38; 999 stands for n = z
    const double turn[3][3] = {{999, 8 - 90, 8}, {16, 999, 16 + 90}, {270 - 38, 270 - 38 + 90, 999}};
    for (int type = 1; type <= 3; type++) {
        Vec3 o[3];
        t.calc_RCSA_Tensor_axis(a, b, c, o[0], o[1], o[2], type);
        for (int k = 0; k < 3; k++) {
            const double q = turn[type - 1][k] * kDeg, z = turn[type - 1][k] == 999;
            const double want[3] = {std::sin(q) * (1 - z), std::cos(q) * (1 - z), z};
            for (int i = 0; i < 3; i++) EXPECT_NEAR(want[i], o[k][i], 1e-12) << type << k << i;
        }
    }
}
