// Tests of the tensor conversions: Jacobi diagonalisation, magnitude sort, Euler-angle
// enumeration, (Da, Dr, angles) <-> Saupe vector round trips, shape tensor, CSA axes.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "tensor/DTensor.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

// R = Rz(phi)*Ry(theta)*Rx(psi) written out element by element (angles in degrees).
std::array<std::array<double, 3>, 3> rotZYX(double psiD, double thetaD, double phiD) {
    const double cps = std::cos(psiD * kDeg), sps = std::sin(psiD * kDeg);
    const double cth = std::cos(thetaD * kDeg), sth = std::sin(thetaD * kDeg);
    const double cph = std::cos(phiD * kDeg), sph = std::sin(phiD * kDeg);
    return {{{cph * cth, cph * sth * sps - sph * cps, cph * sth * cps + sph * sps},
             {sph * cth, sph * sth * sps + cph * cps, sph * sth * cps - cph * sps},
             {-sth, cth * sps, cth * cps}}};
}

using M3 = std::array<std::array<double, 3>, 3>;

// Saupe vector (coupling order) of R^T * diag(-Da + 1.5Dr, -Da - 1.5Dr, 2Da) * R.
std::array<double, 5> saupeOf(double Da, double Dr, const M3& R) {
    const double l[3] = {-Da + 1.5 * Dr, -Da - 1.5 * Dr, 2.0 * Da};
    double T[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            T[i][j] = 0;
            for (int k = 0; k < 3; k++) T[i][j] += R[k][i] * l[k] * R[k][j];
        }
    return {T[2][2], T[0][0] - T[1][1], T[0][1], T[0][2], T[1][2]};
}

M3 vvRot(const DTensor& t) {
    M3 R;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) R[i][j] = t.vv[i][j];
    return R;
}

double maxDiff(const M3& a, const M3& b) {
    double d = 0;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) d = std::max(d, std::fabs(a[i][j] - b[i][j]));
    return d;
}

// Smallest element difference between R and P*R0 over the four sign matrices P (det +1) that
// leave a diagonal tensor unchanged: the rotation is fixed only up to these.
double diffUpToAxisFlips(const M3& R, const M3& R0) {
    static const double flips[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    double best = 1e9;
    for (const auto& f : flips) {
        M3 P;
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) P[i][j] = f[i] * R0[i][j];
        best = std::min(best, maxDiff(R, P));
    }
    return best;
}

void toMat3(const M3& a, Mat3 out) {
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) out[i][j] = a[i][j];
}

}  // namespace

TEST(DTensorEuler2Saupe, UnrotatedTensorAndHandProducts) {
    DTensor t;
    t.da = 1.2e-3;
    t.dr = 0;
    t.psi = t.theta = t.phi = 0;
    EXPECT_EQ(0, t.euler2saupe2());
    EXPECT_NEAR(2.4e-3, t.saupe[0], 1e-18);
    for (int k = 1; k < 5; k++) EXPECT_NEAR(0.0, t.saupe[k], 1e-18) << k;

    t.dr = 3.0e-4;
    t.euler2saupe2();
    const double expect[5] = {2.4e-3, 9.0e-4, 0, 0, 0};
    for (int k = 0; k < 5; k++) EXPECT_NEAR(expect[k], t.saupe[k], 1e-18) << k;
    EXPECT_NEAR(-1.2e-3 + 4.5e-4, t.sXYZ[0], 1e-18);
    EXPECT_NEAR(-1.2e-3 - 4.5e-4, t.sXYZ[1], 1e-18);
    EXPECT_NEAR(2.4e-3, t.sXYZ[2], 1e-18);

    // general angles against the product written out in the test
    const double angles[3][3] = {{10, 20, 30}, {-135, 72, 17}, {95, -40, -160}};
    for (const auto& a : angles) {
        t.psi = a[0];
        t.theta = a[1];
        t.phi = a[2];
        t.euler2saupe2();
        auto s = saupeOf(t.da, t.dr, rotZYX(a[0], a[1], a[2]));
        for (int k = 0; k < 5; k++) EXPECT_NEAR(s[k], t.saupe[k], 1e-15) << a[0] << " " << k;

        // RCSA order: (Syy, Szz, Sxy, Sxz, Syz) of the same matrix
        DTensor r = t;
        r.isRCSA = true;
        r.euler2saupe2();
        EXPECT_NEAR(-(s[0] + s[1]) / 2.0, r.saupe[0], 1e-15);
        EXPECT_NEAR(s[0], r.saupe[1], 1e-15);
        for (int k = 2; k < 5; k++) EXPECT_NEAR(s[k], r.saupe[k], 1e-15);
    }
}

TEST(DTensorDiag, JacobiEigenpairsOfRandomSymmetricMatrices) {
    std::mt19937 gen(12345);
    std::uniform_real_distribution<double> U(-1.0, 1.0);
    DTensor t;
    for (int trial = 0; trial < 500; trial++) {
        Mat3 A;
        const double scale = std::pow(10.0, -6 + trial % 8);
        for (int i = 0; i < 3; i++)
            for (int j = i; j < 3; j++) A[i][j] = A[j][i] = scale * U(gen);
        if (trial % 50 == 7) A[0][1] = A[1][0] = 0;   // some partly diagonal ones
        // the lower triangle is never read
        Mat3 B;
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) B[i][j] = (j >= i) ? A[i][j] : 1e30;

        ASSERT_EQ(0, t.diag3By3(B)) << trial;
        for (int k = 0; k < 3; k++) {
            for (int i = 0; i < 3; i++) {
                double Av = 0;
                for (int j = 0; j < 3; j++) Av += A[i][j] * t.vv[j][k];
                EXPECT_NEAR(t.dd[k] * t.vv[i][k], Av, 1e-13 * scale) << trial;
            }
        }
        // orthonormal columns, a proper rotation
        for (int a = 0; a < 3; a++)
            for (int b = 0; b < 3; b++) {
                double dot = 0;
                for (int i = 0; i < 3; i++) dot += t.vv[i][a] * t.vv[i][b];
                EXPECT_NEAR(a == b ? 1.0 : 0.0, dot, 1e-13);
            }
        const auto& v = t.vv;
        double det = v[0][0] * (v[1][1] * v[2][2] - v[1][2] * v[2][1]) -
                     v[0][1] * (v[1][0] * v[2][2] - v[1][2] * v[2][0]) +
                     v[0][2] * (v[1][0] * v[2][1] - v[1][1] * v[2][0]);
        EXPECT_NEAR(1.0, det, 1e-13);
        // invariants: trace and determinant
        EXPECT_NEAR(A[0][0] + A[1][1] + A[2][2], t.dd[0] + t.dd[1] + t.dd[2], 1e-14 * scale);
        double detA = A[0][0] * (A[1][1] * A[2][2] - A[1][2] * A[2][1]) -
                      A[0][1] * (A[1][0] * A[2][2] - A[1][2] * A[2][0]) +
                      A[0][2] * (A[1][0] * A[2][1] - A[1][1] * A[2][0]);
        EXPECT_NEAR(detA, t.dd[0] * t.dd[1] * t.dd[2], 1e-13 * scale * scale * scale);
    }
}

TEST(DTensorDiag, DiagonalRepeatedAndNonNumberInput) {
    DTensor t;
    Mat3 D = {{3, 0, 0}, {0, -1, 0}, {0, 0, 2}};
    ASSERT_EQ(0, t.diag3By3(D));
    EXPECT_EQ(3, t.dd[0]);
    EXPECT_EQ(-1, t.dd[1]);
    EXPECT_EQ(2, t.dd[2]);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_EQ(i == j ? 1.0 : 0.0, t.vv[i][j]);

    // ones(3) + 2I: eigenvalue 5 once, 2 twice
    Mat3 J = {{3, 1, 1}, {1, 3, 1}, {1, 1, 3}};
    ASSERT_EQ(0, t.diag3By3(J));
    double e[3] = {t.dd[0], t.dd[1], t.dd[2]};
    std::sort(e, e + 3);
    EXPECT_NEAR(2.0, e[0], 1e-14);
    EXPECT_NEAR(2.0, e[1], 1e-14);
    EXPECT_NEAR(5.0, e[2], 1e-14);

    // not a number: no convergence, no hang
    Mat3 N = {{1, std::numeric_limits<double>::quiet_NaN(), 0}, {0, 1, 0}, {0, 0, 1}};
    EXPECT_EQ(1, t.diag3By3(N));
    DTensor s;
    s.saupe = {1e-3, 0, std::numeric_limits<double>::quiet_NaN(), 0, 0};
    EXPECT_EQ(0, s.saupe2euler());
    EXPECT_EQ(0.0, s.da);
    EXPECT_EQ(0.0, s.dr);
}

TEST(DTensorSort, MagnitudeOrderTiesAndColumnSigns) {
    // ties exchange too: (2, -2, 1) with the identity ends as (1, -2, 2); columns worked by hand:
    // (0,1): cols (-e1, e0); (0,2): cols (-e2, e0, -e1); (1,2): cols (-e2, e1, e0); then transposed.
    DTensor t;
    Mat4Ident(t.vv);
    t.sXYZ[0] = 2;
    t.sXYZ[1] = -2;
    t.sXYZ[2] = 1;
    EXPECT_EQ(0, t.eigsrt3By3NegRevTP());
    EXPECT_EQ(1, t.sXYZ[0]);
    EXPECT_EQ(-2, t.sXYZ[1]);
    EXPECT_EQ(2, t.sXYZ[2]);
    const double expect[3][3] = {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) EXPECT_EQ(expect[i][j], t.vv[i][j] + 0.0) << i << j;

    // already ordered, distinct: nothing moves except the transpose
    DTensor u;
    Mat4Ident(u.vv);
    u.vv[0][1] = 5;   // marks the transpose
    u.sXYZ[0] = 0.1;
    u.sXYZ[1] = -0.2;
    u.sXYZ[2] = 0.3;
    u.eigsrt3By3NegRevTP();
    EXPECT_EQ(0.1, u.sXYZ[0]);
    EXPECT_EQ(-0.2, u.sXYZ[1]);
    EXPECT_EQ(0.3, u.sXYZ[2]);
    EXPECT_EQ(5, u.vv[1][0]);
    EXPECT_EQ(0, u.vv[0][1]);
}

TEST(DTensorEuler, HandRotations) {
    DTensor t;
    Mat3 R;
    // a general rotation has its own angles and (psi+180, 180-theta, phi+180)
    toMat3(rotZYX(10, 20, 30), R);
    ASSERT_EQ(2, t.rot2euler(R));
    EXPECT_NEAR(10, t.psiList[0], 1e-9);
    EXPECT_NEAR(20, t.thetaList[0], 1e-9);
    EXPECT_NEAR(30, t.phiList[0], 1e-9);
    EXPECT_NEAR(-170, t.psiList[1], 1e-9);
    EXPECT_NEAR(160, t.thetaList[1], 1e-9);
    EXPECT_NEAR(-150, t.phiList[1], 1e-9);
    for (int i = 2; i < 8; i++) EXPECT_EQ(0, t.psiList[i] + t.thetaList[i] + t.phiList[i]);

    // psi = 90: psiA = psiB, two passes per theta branch, sorted by the sum of squares
    toMat3(rotZYX(90, 20, 30), R);
    ASSERT_EQ(4, t.rot2euler(R));
    const double e4[4][3] = {{90, 20, 30}, {90, 20, 30}, {-90, 160, -150}, {-90, 160, -150}};
    for (int i = 0; i < 4; i++) {
        EXPECT_NEAR(e4[i][0], t.psiList[i], 1e-6) << i;
        EXPECT_NEAR(e4[i][1], t.thetaList[i], 1e-6) << i;
        EXPECT_NEAR(e4[i][2], t.phiList[i], 1e-6) << i;
    }
    // psi = phi = 90: all eight combinations pass
    toMat3(rotZYX(90, 20, 90), R);
    EXPECT_EQ(8, t.rot2euler(R));

    // gimbal lock, theta = +90: only psi - phi is defined; phi = 0 is reported in both branches
    toMat3(rotZYX(40, 90, 25), R);
    ASSERT_EQ(2, t.rot2euler(R));
    for (int i = 0; i < 2; i++) {
        EXPECT_NEAR(15, t.psiList[i], 1e-6);
        EXPECT_NEAR(90, t.thetaList[i], 1e-6);
        EXPECT_EQ(0, t.phiList[i]);
    }
    // psi - phi negative: the sign of psi must follow (acos alone would give +50)
    toMat3(rotZYX(10, 90, 60), R);
    ASSERT_EQ(2, t.rot2euler(R));
    EXPECT_NEAR(-50, t.psiList[0], 1e-6);
    // theta = -90: only psi + phi is defined
    toMat3(rotZYX(40, -90, 25), R);
    ASSERT_EQ(2, t.rot2euler(R));
    for (int i = 0; i < 2; i++) {
        EXPECT_NEAR(65, t.psiList[i], 1e-6);
        EXPECT_NEAR(-90, t.thetaList[i], 1e-6);
        EXPECT_EQ(0, t.phiList[i]);
    }
    toMat3(rotZYX(-100, -90, -30), R);
    ASSERT_EQ(2, t.rot2euler(R));
    EXPECT_NEAR(-130, t.psiList[0], 1e-6);
}

TEST(DTensorEuler, FallbackAndDirectFormulas) {
    DTensor t;
    // an improper matrix: no combination passes, the direct formulas give (180, 0, 0)
    Mat3 F = {{1, 0, 0}, {0, 1, 0}, {0, 0, -1}};
    ASSERT_EQ(1, t.rot2euler(F));
    EXPECT_DOUBLE_EQ(180, t.psiList[0]);
    EXPECT_DOUBLE_EQ(0, t.thetaList[0]);
    EXPECT_DOUBLE_EQ(0, t.phiList[0]);

    // rot2euler1 on a proper rotation reproduces it (radians in the lists)
    Mat3 R;
    toMat3(rotZYX(-35, 50, 120), R);
    EXPECT_EQ(1, t.rot2euler1(R, 3));
    EXPECT_NEAR(-35 * kDeg, t.psiList[3], 1e-12);
    EXPECT_NEAR(50 * kDeg, t.thetaList[3], 1e-12);
    EXPECT_NEAR(120 * kDeg, t.phiList[3], 1e-12);
    // gimbal: psi = 0 and phi from the upper-left block
    toMat3(rotZYX(0, 90, 40), R);
    t.rot2euler1(R, 0);
    EXPECT_NEAR(0, t.psiList[0], 1e-12);
    EXPECT_NEAR(90 * kDeg, t.thetaList[0], 1e-7);
    EXPECT_NEAR(40 * kDeg, t.phiList[0], 1e-12);
}

TEST(DTensorEuler, EulerTestToleranceAndNonNumbers) {
    DTensor t;
    const double ps = 25, th = -35, ph = 140;
    M3 R0 = rotZYX(ps, th, ph);
    Mat3 R;
    toMat3(R0, R);
    EXPECT_TRUE(t.eulerTest(R, ps * kDeg, th * kDeg, ph * kDeg, 1));
    // each tested element off by 0.001 fails; 0.0004 passes
    const int tested[6][2] = {{0, 0}, {0, 1}, {0, 2}, {1, 1}, {1, 2}, {2, 2}};
    for (const auto& e : tested) {
        toMat3(R0, R);
        R[e[0]][e[1]] += 0.001;
        EXPECT_FALSE(t.eulerTest(R, ps * kDeg, th * kDeg, ph * kDeg, 1)) << e[0] << e[1];
        R[e[0]][e[1]] -= 0.0006;
        EXPECT_TRUE(t.eulerTest(R, ps * kDeg, th * kDeg, ph * kDeg, 1)) << e[0] << e[1];
    }
    toMat3(R0, R);
    EXPECT_FALSE(t.eulerTest(R, std::numeric_limits<double>::quiet_NaN(), th * kDeg, ph * kDeg, 1));
}

// Da > 0, 0 < Dr < 2Da/3 over a 15-degree grid (theta = +-90 included): Da and Dr come back,
// every solution reproduces the eigenvector matrix, one of them equals the input rotation up to
// the 180-degree turns about the principal axes (the tensor cannot tell those apart), and every
// solution regenerates the Saupe vector.
TEST(DTensorRoundTrip, AngleGrid) {
    const double Da = 8.5e-4;
    const double drs[3] = {0.1 * Da, 0.35 * Da, 0.6 * Da};
    int cases = 0;
    for (double Dr : drs) {
        for (int ip = -12; ip <= 12; ip++)
            for (int it = -12; it <= 12; it++)
                for (int ih = -12; ih <= 12; ih++) {
                    const double ps = 15.0 * ip, th = 15.0 * it, ph = 15.0 * ih;
                    DTensor t;
                    t.da = Da;
                    t.dr = Dr;
                    t.psi = ps;
                    t.theta = th;
                    t.phi = ph;
                    t.euler2saupe2();
                    const auto s0 = t.saupe;
                    const int n = t.saupe2euler();
                    ASSERT_GE(n, 1);
                    ASSERT_LE(n, 8);
                    ASSERT_NEAR(Da, t.da, 1e-15) << ps << " " << th << " " << ph;
                    ASSERT_NEAR(Dr, t.dr, 1e-15) << ps << " " << th << " " << ph;
                    const M3 V = vvRot(t);
                    const M3 R0 = rotZYX(ps, th, ph);
                    double best = 1e9;
                    for (int i = 0; i < n; i++) {
                        const M3 Ri = rotZYX(t.psiList[i], t.thetaList[i], t.phiList[i]);
                        ASSERT_LE(maxDiff(Ri, V), 0.0005) << ps << " " << th << " " << ph << " sol " << i;
                        best = std::min(best, diffUpToAxisFlips(Ri, R0));
                        EXPECT_LE(t.psiList[i] * t.psiList[i] + t.thetaList[i] * t.thetaList[i] +
                                      t.phiList[i] * t.phiList[i],
                                  i + 1 < n ? t.psiList[i + 1] * t.psiList[i + 1] +
                                                  t.thetaList[i + 1] * t.thetaList[i + 1] +
                                                  t.phiList[i + 1] * t.phiList[i + 1]
                                            : 1e300);
                        DTensor back;
                        back.da = t.da;
                        back.dr = t.dr;
                        back.psi = t.psiList[i];
                        back.theta = t.thetaList[i];
                        back.phi = t.phiList[i];
                        back.euler2saupe2();
                        for (int k = 0; k < 5; k++) ASSERT_NEAR(s0[k], back.saupe[k], 1e-6 * Da);
                    }
                    ASSERT_LE(best, 0.0005) << ps << " " << th << " " << ph;
                    if (std::fabs(th) == 90.0) {
                        ASSERT_EQ(2, n) << ps << " " << ph;
                        EXPECT_EQ(0.0, t.phiList[0]);
                        EXPECT_EQ(0.0, t.phiList[1]);
                    }
                    cases++;
                }
    }
    EXPECT_EQ(3 * 25 * 25 * 25, cases);
}

// Random angles and random rhombicities in the closed range, negative Da with Dr <= 0 too.
TEST(DTensorRoundTrip, RandomAnglesAndSigns) {
    std::mt19937 gen(777);
    std::uniform_real_distribution<double> ang(-180.0, 180.0), frac(0.0, 0.999);
    for (int trial = 0; trial < 3000; trial++) {
        const double Da = (trial % 2 ? 1.0 : -1.0) * 1e-3 * (0.1 + frac(gen));
        const double Dr = frac(gen) * 2.0 * Da / 3.0;
        const double ps = ang(gen), th = ang(gen) / 2.0, ph = ang(gen);
        DTensor t;
        t.da = Da;
        t.dr = Dr;
        t.psi = ps;
        t.theta = th;
        t.phi = ph;
        t.euler2saupe2();
        const int n = t.saupe2euler();
        ASSERT_GE(n, 1);
        ASSERT_NEAR(Da, t.da, 1e-14) << trial;
        ASSERT_NEAR(Dr, t.dr, 1e-14) << trial;
        // a defined x/y frame, away from the gimbal band |cos theta| <= 0.005 where phi is set to 0
        if (std::fabs(Dr) > 1e-3 * std::fabs(Da) && std::fabs(std::cos(th * kDeg)) > 0.005) {
            double best = 1e9;
            for (int i = 0; i < n; i++)
                best = std::min(best, diffUpToAxisFlips(rotZYX(t.psiList[i], t.thetaList[i], t.phiList[i]),
                                                        rotZYX(ps, th, ph)));
            ASSERT_LE(best, 0.0005) << trial;
        }
    }
}

TEST(DTensorRoundTrip, AxialNegativeRhombicAndTiedTensors) {
    const double Da = 1e-3;
    const double ps = 33, th = -61, ph = 118;
    const M3 R0 = rotZYX(ps, th, ph);

    // Dr = 0: Da back, x/y free, the principal axis is the input z axis (up to sign)
    {
        DTensor t;
        t.da = Da;
        t.dr = 0;
        t.psi = ps;
        t.theta = th;
        t.phi = ph;
        t.euler2saupe2();
        const auto s0 = t.saupe;
        const int n = t.saupe2euler();
        ASSERT_GE(n, 1);
        EXPECT_NEAR(Da, t.da, 1e-15);
        EXPECT_NEAR(0.0, t.dr, 1e-15);
        const M3 R = rotZYX(t.psiList[0], t.thetaList[0], t.phiList[0]);
        const double sgn = (R[2][0] * R0[2][0] + R[2][1] * R0[2][1] + R[2][2] * R0[2][2]) > 0 ? 1 : -1;
        for (int j = 0; j < 3; j++) EXPECT_NEAR(sgn * R0[2][j], R[2][j], 0.0005);
        DTensor back;
        back.da = t.da;
        back.dr = t.dr;
        back.psi = t.psiList[0];
        back.theta = t.thetaList[0];
        back.phi = t.phiList[0];
        back.euler2saupe2();
        for (int k = 0; k < 5; k++) EXPECT_NEAR(s0[k], back.saupe[k], 1e-9);
    }
    // Dr < 0: S_X and S_Y change places, Dr comes back with the opposite sign
    {
        DTensor t;
        t.da = Da;
        t.dr = -2.5e-4;
        t.psi = ps;
        t.theta = th;
        t.phi = ph;
        t.euler2saupe2();
        const auto s0 = t.saupe;
        ASSERT_GE(t.saupe2euler(), 1);
        EXPECT_NEAR(Da, t.da, 1e-15);
        EXPECT_NEAR(2.5e-4, t.dr, 1e-15);
        EXPECT_NEAR(-Da + 1.5 * 2.5e-4, t.sXYZ[0], 1e-15);
        EXPECT_NEAR(-Da - 1.5 * 2.5e-4, t.sXYZ[1], 1e-15);
        EXPECT_NEAR(2 * Da, t.sXYZ[2], 1e-15);
        // the new x axis is the old y axis
        const M3 R = rotZYX(t.psiList[0], t.thetaList[0], t.phiList[0]);
        const double d = R[0][0] * R0[1][0] + R[0][1] * R0[1][1] + R[0][2] * R0[1][2];
        EXPECT_NEAR(1.0, std::fabs(d), 1e-6);
        DTensor back;
        back.da = t.da;
        back.dr = t.dr;
        back.psi = t.psiList[0];
        back.theta = t.thetaList[0];
        back.phi = t.phiList[0];
        back.euler2saupe2();
        for (int k = 0; k < 5; k++) EXPECT_NEAR(s0[k], back.saupe[k], 1e-9);
    }
    // Dr = 2Da/3: |S_Y| = |S_Z|, the tie is decided by rounding and the >= rule; either
    // (Da, Dr) or (-Da, -Dr) describes the same tensor
    for (double tilt : {0.0, 20.0, 45.0}) {
        DTensor t;
        t.da = Da;
        t.dr = 2.0 * Da / 3.0;
        t.psi = tilt;
        t.theta = tilt / 2;
        t.phi = -tilt;
        t.euler2saupe2();
        const auto s0 = t.saupe;
        ASSERT_GE(t.saupe2euler(), 1);
        EXPECT_NEAR(Da, std::fabs(t.da), 1e-15);
        EXPECT_NEAR(2.0 * Da / 3.0, std::fabs(t.dr), 1e-15);
        EXPECT_GT(t.da * t.dr, 0.0);
        DTensor back;
        back.da = t.da;
        back.dr = t.dr;
        back.psi = t.psiList[0];
        back.theta = t.thetaList[0];
        back.phi = t.phiList[0];
        back.euler2saupe2();
        for (int k = 0; k < 5; k++) EXPECT_NEAR(s0[k], back.saupe[k], 1e-9);
    }
    // unrotated tie: the diagonal (0, -2Da, 2Da) is sorted to (0, 2Da, -2Da) by the >= rule
    {
        DTensor t;
        t.saupe = {2e-3, 2e-3, 0, 0, 0};   // Sxx = 0, Syy = -2e-3, Szz = 2e-3
        ASSERT_GE(t.saupe2euler(), 1);
        EXPECT_EQ(0.0, t.sXYZ[0]);
        EXPECT_EQ(2e-3, t.sXYZ[1]);
        EXPECT_EQ(-2e-3, t.sXYZ[2]);
        EXPECT_NEAR(-1e-3, t.da, 1e-18);
    }
}

TEST(DTensorSaupe2Euler, ZeroVectorAndRcsaOrder) {
    DTensor z;
    const int n = z.saupe2euler();
    EXPECT_GE(n, 1);
    EXPECT_EQ(0.0, z.da);
    EXPECT_EQ(0.0, z.dr);
    for (int k = 0; k < 3; k++) EXPECT_EQ(0.0, z.sXYZ[k]);
    for (int i = 0; i < n; i++) EXPECT_FALSE(std::isnan(z.psiList[i] + z.thetaList[i] + z.phiList[i]));

    // the same matrix in both orders gives the same principal frame
    DTensor c;
    c.saupe = {6e-4, -2e-4, 1.5e-4, -3e-4, 0.7e-4};
    const double Sxx = -(c.saupe[0] - c.saupe[1]) / 2, Syy = -(c.saupe[0] + c.saupe[1]) / 2;
    DTensor r;
    r.isRCSA = true;
    r.saupe = {Syy, c.saupe[0], c.saupe[2], c.saupe[3], c.saupe[4]};
    ASSERT_GE(c.saupe2euler(), 1);
    ASSERT_GE(r.saupe2euler(), 1);
    for (int k = 0; k < 3; k++) EXPECT_NEAR(c.sXYZ[k], r.sXYZ[k], 1e-16);
    EXPECT_NEAR(c.da, r.da, 1e-16);
    EXPECT_NEAR(c.dr, r.dr, 1e-16);
    EXPECT_NEAR(Sxx + Syy + c.saupe[0], 0.0, 1e-18);
    // eigVal holds the unsorted eigenvalues, m the eigenvectors before sorting
    EXPECT_NEAR(c.sXYZ[0] + c.sXYZ[1] + c.sXYZ[2], c.eigVal[0] + c.eigVal[1] + c.eigVal[2], 1e-16);
    for (int k = 0; k < 3; k++) {
        double Sv[3];
        const double S[3][3] = {{Sxx, c.saupe[2], c.saupe[3]}, {c.saupe[2], Syy, c.saupe[4]},
                                {c.saupe[3], c.saupe[4], c.saupe[0]}};
        for (int i = 0; i < 3; i++) {
            Sv[i] = 0;
            for (int j = 0; j < 3; j++) Sv[i] += S[i][j] * c.m[j][k];
            EXPECT_NEAR(c.eigVal[k] * c.m[i][k], Sv[i], 1e-16);
        }
    }

    // the RCSA round trip
    DTensor t;
    t.isRCSA = true;
    t.da = 4e-4;
    t.dr = 1e-4;
    t.psi = 70;
    t.theta = 20;
    t.phi = -100;
    t.euler2saupe2();
    ASSERT_GE(t.saupe2euler(), 1);
    EXPECT_NEAR(4e-4, t.da, 1e-16);
    EXPECT_NEAR(1e-4, t.dr, 1e-16);
}

namespace {

// 6 points at +-a e1, +-b e2, +-c e3: gyration tensor 2a^2 e1e1 + 2b^2 e2e2 + 2c^2 e3e3.
void gyration(const M3& E, double a, double b, double c, Mat3 G) {
    const double len[3] = {a, b, c};
    double pts[6][3];
    for (int k = 0; k < 3; k++)
        for (int sgn = 0; sgn < 2; sgn++)
            for (int i = 0; i < 3; i++) pts[2 * k + sgn][i] = (sgn ? -1 : 1) * len[k] * E[k][i];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            G[i][j] = 0;
            for (const auto& p : pts) G[i][j] += p[i] * p[j];   // centre is the origin
        }
}

}  // namespace

// Semi-axes a >= b >= c, r = (b - c)/(a - c): the axes get (1 - r/2, r - 1/2, -1/2 - r/2)*scale,
// whatever the orientation of the cloud and whichever order the diagonalisation finds them in.
TEST(DTensorShape, ProlateAndOblateClouds) {
    const double scale = 2.0;
    const int perms[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (const auto& base : {rotZYX(0, 0, 0), rotZYX(30, -50, 110), rotZYX(-90, 15, 45)}) {
        for (const auto& pm : perms) {
            // rows of `frame`: the long, middle and short axis, taken from the rows of `base`
            M3 frame;
            for (int k = 0; k < 3; k++) frame[k] = base[pm[k]];
            // prolate: the long axis is the principal axis with +(1 - r/2)*scale
            {
                Mat3 G;
                gyration(frame, 10, 2, 1, G);
                DTensor t;
                ASSERT_GE(t.pdbGyratioTensor2saupe(G, scale), 1);
                const double r = (2.0 - 1.0) / (10.0 - 1.0);
                EXPECT_NEAR((r - 0.5) * scale, t.sXYZ[0], 1e-12);
                EXPECT_NEAR((-0.5 - r / 2) * scale, t.sXYZ[1], 1e-12);
                EXPECT_NEAR((1 - r / 2) * scale, t.sXYZ[2], 1e-12);
                EXPECT_NEAR(t.sXYZ[2] / 2, t.da, 1e-12);
                double dot = 0;
                for (int i = 0; i < 3; i++) dot += t.vv[2][i] * frame[0][i];
                EXPECT_NEAR(1.0, std::fabs(dot), 1e-9);
                // the Saupe vector is the sum of l_k e_k e_k^T written out here
                const double l[3] = {(1 - r / 2) * scale, (r - 0.5) * scale, (-0.5 - r / 2) * scale};
                double S[3][3] = {};
                for (int k = 0; k < 3; k++)
                    for (int i = 0; i < 3; i++)
                        for (int j = 0; j < 3; j++) S[i][j] += l[k] * frame[k][i] * frame[k][j];
                const double s[5] = {S[2][2], S[0][0] - S[1][1], S[0][1], S[0][2], S[1][2]};
                for (int k = 0; k < 5; k++) EXPECT_NEAR(s[k], t.saupe[k], 1e-9) << k;
                EXPECT_EQ(t.psiList[0], t.psi);
            }
            // oblate: the short axis is unique, with -(1/2 + r/2)*scale
            {
                Mat3 G;
                gyration(frame, 10, 9, 1, G);
                DTensor t;
                ASSERT_GE(t.pdbGyratioTensor2saupe(G, scale), 1);
                const double r = (9.0 - 1.0) / (10.0 - 1.0);
                EXPECT_NEAR((r - 0.5) * scale, t.sXYZ[0], 1e-12);
                EXPECT_NEAR((1 - r / 2) * scale, t.sXYZ[1], 1e-12);
                EXPECT_NEAR((-0.5 - r / 2) * scale, t.sXYZ[2], 1e-12);
                EXPECT_LT(t.da, 0.0);
                double dot = 0;
                for (int i = 0; i < 3; i++) dot += t.vv[2][i] * frame[2][i];
                EXPECT_NEAR(1.0, std::fabs(dot), 1e-9);
            }
        }
    }
    // a sphere predicts nothing, without dividing by zero
    Mat3 G;
    gyration(rotZYX(0, 0, 0), 3, 3, 3, G);
    DTensor t;
    ASSERT_GE(t.pdbGyratioTensor2saupe(G, scale), 1);
    EXPECT_EQ(0.0, t.da);
    EXPECT_EQ(0.0, t.dr);
    for (int k = 0; k < 5; k++) EXPECT_FALSE(std::isnan(t.saupe[k]));
}

TEST(DTensorCsaAxes, FramesOfTheThreeNuclei) {
    // C(i-1) = a, N = b, H = c: u = unit(b - a) = x, w = unit(b - c) = y, n = z.
    const Vec3 a = {-1.3, 0, 0}, b = {0, 0, 0}, c = {0, -1.02, 0};
    DTensor t;
    t.beta_H = 8;
    t.beta_N = 16;
    t.beta_C = 38;
    // a turn by q about z in this program's sense takes y to (sin q, cos q, 0) and x to
    // (cos q, -sin q, 0)
    auto yTurned = [](double q) { return std::array<double, 3>{std::sin(q * kDeg), std::cos(q * kDeg), 0}; };
    auto xTurned = [](double q) { return std::array<double, 3>{std::cos(q * kDeg), -std::sin(q * kDeg), 0}; };
    Vec3 o1, o2, o3;

    t.calc_RCSA_Tensor_axis(a, b, c, o1, o2, o3, 1);
    auto h3 = yTurned(8), h2 = yTurned(8 - 90);
    for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(i == 2 ? 1 : 0, o1[i], 1e-12);
        EXPECT_NEAR(h2[i], o2[i], 1e-12);
        EXPECT_NEAR(h3[i], o3[i], 1e-12);
    }
    t.calc_RCSA_Tensor_axis(a, b, c, o1, o2, o3, 2);
    auto n1 = yTurned(16), n3 = yTurned(16 + 90);
    for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(n1[i], o1[i], 1e-12);
        EXPECT_NEAR(i == 2 ? 1 : 0, o2[i], 1e-12);
        EXPECT_NEAR(n3[i], o3[i], 1e-12);
    }
    t.calc_RCSA_Tensor_axis(a, b, c, o1, o2, o3, 3);
    // t = -x turned by -38
    auto c1 = xTurned(-38), c2 = xTurned(-38 + 90);
    for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(-c1[i], o1[i], 1e-12);
        EXPECT_NEAR(-c2[i], o2[i], 1e-12);
        EXPECT_NEAR(i == 2 ? 1 : 0, o3[i], 1e-12);
    }
    // unknown type: outputs untouched
    Vec3 k1 = {7, 7, 7}, k2 = {8, 8, 8}, k3 = {9, 9, 9};
    t.calc_RCSA_Tensor_axis(a, b, c, k1, k2, k3, 4);
    EXPECT_EQ(7, k1[0]);
    EXPECT_EQ(8, k2[1]);
    EXPECT_EQ(9, k3[2]);
}
