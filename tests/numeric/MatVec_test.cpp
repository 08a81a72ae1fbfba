// Tests of the vector/matrix library: vectors, product order, rotation builders and
// their inverse, dihedrals, superposition and random numbers.
#include "numeric/MatVec.h"

#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

const double kPi = 3.14159265358979323846;

// Rotation by deg about axis ax (0 = x, 1 = y, 2 = z), written out from its definition.
void rot(Mat3 R, int ax, double deg) {
    const double c = std::cos(deg * kPi / 180), s = std::sin(deg * kPi / 180);
    const int i = (ax + 1) % 3, j = (ax + 2) % 3;
    Mat3Ident(R);
    R[i][i] = R[j][j] = c;
    R[i][j] = -s;
    R[j][i] = s;
}

void expectNear(const double* got, const std::vector<double>& want, double tol) {
    for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], tol) << "index " << i;
}

void expectMatNear(const Mat3 A, const Mat3 B, double tol) {
    for (int i = 0; i < 3; ++i) expectNear(A[i], {B[i][0], B[i][1], B[i][2]}, tol);
}

void applyPoint(Vec3 out, const Vec3 p, const Mat4 M) {  // row vector, dehomogenised
    Vec4 h;
    Vec3To4(h, p);
    Mat4VecMult(h, M);
    Vec4To3(out, h);
}

}  // namespace

TEST(MatVec, VectorsProductOrderAndGaussians) {
    Vec3 a = {1, 2, 3}, b = {4, -5, 6}, withNan = {0, NAN, 0};
    EXPECT_DOUBLE_EQ(Vec3Scalar(a, b), 12);
    EXPECT_DOUBLE_EQ(Vec3DiffAbs(a, b), std::sqrt(67.0));
    Vec3Cross(a, b);  // (2*6 - 3*(-5), 3*4 - 1*6, 1*(-5) - 2*4)
    expectNear(a, {27, 6, -13}, 0);
    EXPECT_EQ(IsVec3Zero(withNan), 0);

    // Mat3Mult(A, B) sets A := B * A: Rx(90) then Rz(90) gives Rz * Rx (not Rx * Rz).
    Mat3 A, B, RzRx = {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}};
    rot(A, 0, 90);
    rot(B, 2, 90);
    Mat3Mult(A, B);
    expectMatNear(A, RzRx, 1e-15);
    Vec3 v = {1, 0, 0};
    Mat3VecMult(v, B);
    expectNear(v, {0, -1, 0}, 1e-15);
    // Mat4Mult(R, T), T translating by (1, 2, 3) in row 3: translate first, then rotate.
    Mat4 R4, T4;
    Mat3To4(R4, B);
    Mat4Ident(T4);
    for (int i = 0; i < 3; ++i) T4[3][i] = i + 1;
    Mat4Mult(R4, T4);
    applyPoint(v, v, R4);  // (0, -1, 0) -> (1, 1, 3) -> (1, -1, 3)
    expectNear(v, {1, -1, 3}, 1e-15);

    double sum2 = 0;  // standard normal deviates, cut off at +-10
    for (int i = 0; i < 40000; ++i) {
        const double g = getNextGaussian();
        ASSERT_TRUE(g >= -10 && g <= 10) << g;
        sum2 += g * g;
    }
    EXPECT_NEAR(sum2 / 40000, 1, 0.04);
}

TEST(MatVec, RotationBuildersAndAngles) {
    // m4AppendRotation: M := Rz Ry Rx M (the translation row carried along);
    // m4AppendRotationZYX: M := Rx Ry Rz M.
    Mat3 X, Y, Z, E = {{1, 0.2, 0}, {0, 2, 0.5}, {0.3, 0, 1}}, got;
    rot(X, 0, 23);
    rot(Y, 1, -41);
    rot(Z, 2, 117);
    Mat4 M;
    Mat3To4(M, E);
    M[3][0] = 4;
    m4AppendRotation(M, 23, -41, 117);
    for (auto* R : {X, Y, Z}) Mat3Mult(E, R);
    Mat4To3(got, M);
    expectMatNear(got, E, 1e-14);
    expectNear(M[3], {4, 0, 0, 1}, 1e-14);
    Mat4Ident(M);
    m4AppendRotationZYX(M, 23, -41, 117);
    Mat3Ident(E);
    for (auto* R : {Z, Y, X}) Mat3Mult(E, R);
    Mat4To3(got, M);
    expectMatNear(got, E, 1e-14);

    // Mat3GetAng inverts (Rz(c) Ry(b) Rx(a))^T over the whole range of the angles.
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> u(-179.0, 179.0);
    double ang[3];
    for (int t = 0; t < 200; ++t) {
        const double a = u(gen), b = u(gen) / 2, c = u(gen);
        Mat4Ident(M);
        m4AppendRotation(M, a, b, c);
        Mat4Transp(M);
        Mat4GetAng(M, ang[0], ang[1], ang[2]);
        expectNear(ang, {a * kPi / 180, b * kPi / 180, c * kPi / 180}, 1e-12);
    }
    Mat3Ident(got);
    Mat3GetAng(got, ang[0], ang[1], ang[2]);
    expectNear(ang, {0, 0, 0}, 0);
    for (double sign : {1.0, -1.0}) {  // gimbal: b = pi/2 and c = 0 whatever M[0][2] is
        Mat3 G = {{0, 0, -sign}, {0.6, 0.8, 0}, {0.8, -0.6, 0}};
        Mat3GetAng(G, ang[0], ang[1], ang[2]);
        expectNear(ang, {std::atan2(0.6, 0.8), kPi / 2, 0}, 1e-15);
    }

    // Vec3Rot turns counter-clockwise about k, RotVec3Rodrigues clockwise and normalises
    // k itself: a third of a turn about (1,1,1) takes x to y, or to z.
    Vec3 v = {1, 0, 0}, w = {1, 0, 0}, diag = {1, 1, 1}, unit = {1, 1, 1};
    Vec3Norm(unit);
    Vec3Rot(v, unit, 120);
    RotVec3Rodrigues(w, 120, diag);
    expectNear(v, {0, 1, 0}, 1e-15);
    expectNear(w, {0, 0, 1}, 1e-15);
}

TEST(MatVec, DihedralsSuperpositionAndRmsd) {
    Mat4 T, M, Minv;  // T: a rotation, then a translation
    Mat4Ident(T);
    m4AppendRotation(T, 37, -12, 148);
    for (int i = 0; i < 3; ++i) T[3][i] = 2.5 - 2 * i;
    // a-b-c-d with the axis b-c along z and d turned by t about it has dihedral -t; moving
    // all four points rigidly keeps it. a - b has a part along the axis on purpose.
    for (double t : {-2.5, -1.0, 0.7, 3.0}) {
        Vec3 p[4] = {{1, 0, -0.7}, {0, 0, 0}, {0, 0, 1.5}, {2 * std::cos(t), 2 * std::sin(t), 1.9}}, d;
        for (auto& q : p) applyPoint(q, q, T);
        EXPECT_NEAR(calcDihAngle(p[0], p[1], p[2], p[3]), -t, 1e-12);
        // DhRotMatCalc turns d about b-c to the asked dihedral; Minv turns it back.
        DhRotMatCalc(M, Minv, p[0], p[1], p[2], p[3], 0.4);
        applyPoint(d, p[3], M);
        EXPECT_NEAR(calcDihAngle(p[0], p[1], p[2], d), 0.4, 1e-12);
        applyPoint(d, d, Minv);
        expectNear(d, {p[3][0], p[3][1], p[3][2]}, 1e-12);
    }

    // Y = X * T: MapCoord(X, Y) undoes it.
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> u(-5, 5), ang(-180, 180);
    const int n = 12;
    Vec3 X[n], Y[n], mean = {0, 0, 0}, c;
    for (int i = 0; i < n; ++i) {
        for (double& x : X[i]) x = u(gen);
        Vec3ScaleAdd(mean, 1.0 / n, X[i]);
        applyPoint(Y[i], X[i], T);
    }
    MapCoord(X, n, Y, true, M);
    EXPECT_NEAR(calcRmsd(X, n, Y, M, true), 0, 1e-12);
    EXPECT_TRUE(std::isnan(calcRmsd(X, 0, Y, M, true)));
    for (int i = 0; i < 3; ++i) expectNear(M[i], {T[0][i], T[1][i], T[2][i], 0}, 1e-12);

    // Mirrored and shrunk about the common centroid: the best proper rotation.
    for (int i = 0; i < n; ++i) {
        Vec3Sub(X[i], mean);
        Vec3Copy(Y[i], X[i]);
        Y[i][2] *= -0.5;
    }
    MapCoord(X, n, Y, true, M);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(Vec3Abs(M[i]), 1, 1e-12);
    Vec3Copy(c, M[0]);
    Vec3Cross(c, M[1]);  // unit rows with row 0 x row 1 = row 2: determinant +1
    expectNear(c, {M[2][0], M[2][1], M[2][2]}, 1e-12);
    const double best = calcRmsd(X, n, Y, M, true);
    for (int t = 0; t < 3000; ++t) {  // no proper rotation does better
        Mat4Ident(T);
        m4AppendRotation(T, ang(gen), ang(gen) / 2, ang(gen));
        ASSERT_GE(calcRmsd(X, n, Y, T, true), best - 1e-12);
    }
}
