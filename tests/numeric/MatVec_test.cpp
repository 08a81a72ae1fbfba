// Tests of the vector/matrix library: homogeneous vectors, product order, rotation
// builders and their inverse, dihedral transforms, superposition and random numbers.
#include "numeric/MatVec.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <random>

#include <gtest/gtest.h>

namespace {

const double kPi = 3.14159265358979323846;

// Rotation matrices written out from their definition (entries [row][column]).
void rx(Mat3 R, double deg) {
    const double c = std::cos(deg * kPi / 180), s = std::sin(deg * kPi / 180);
    Mat3 T = {{1, 0, 0}, {0, c, -s}, {0, s, c}};
    Mat3Copy(R, T);
}
void ry(Mat3 R, double deg) {
    const double c = std::cos(deg * kPi / 180), s = std::sin(deg * kPi / 180);
    Mat3 T = {{c, 0, s}, {0, 1, 0}, {-s, 0, c}};
    Mat3Copy(R, T);
}
void rz(Mat3 R, double deg) {
    const double c = std::cos(deg * kPi / 180), s = std::sin(deg * kPi / 180);
    Mat3 T = {{c, -s, 0}, {s, c, 0}, {0, 0, 1}};
    Mat3Copy(R, T);
}

// P = X * Y, the ordinary product.
void product(Mat3 P, const Mat3 X, const Mat3 Y) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            P[i][j] = 0;
            for (int k = 0; k < 3; ++k) P[i][j] += X[i][k] * Y[k][j];
        }
}

void expectMatNear(const Mat3 A, const Mat3 B, double tol) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(A[i][j], B[i][j], tol) << "entry " << i << "," << j;
}

double det(const Mat3 M) {
    return M[0][0] * (M[1][1] * M[2][2] - M[1][2] * M[2][1]) -
           M[0][1] * (M[1][0] * M[2][2] - M[1][2] * M[2][0]) +
           M[0][2] * (M[1][0] * M[2][1] - M[1][1] * M[2][0]);
}

// Applies a Mat4 to a point under the row-vector convention, dehomogenised.
void applyPoint(Vec3 out, const Vec3 p, const Mat4 M) {
    Vec4 h;
    Vec3To4(h, p);
    Mat4VecMult(h, M);
    Vec4To3(out, h);
}

// Dihedral a-b-c-d by the usual IUPAC formula (radians), written independently.
double iupacDihedral(const Vec3 a, const Vec3 b, const Vec3 c, const Vec3 d) {
    double b1[3], b2[3], b3[3], n1[3], n2[3], m1[3];
    for (int i = 0; i < 3; ++i) {
        b1[i] = b[i] - a[i];
        b2[i] = c[i] - b[i];
        b3[i] = d[i] - c[i];
    }
    auto cross = [](double* r, const double* u, const double* v) {
        r[0] = u[1] * v[2] - u[2] * v[1];
        r[1] = u[2] * v[0] - u[0] * v[2];
        r[2] = u[0] * v[1] - u[1] * v[0];
    };
    cross(n1, b1, b2);
    cross(n2, b2, b3);
    const double len = std::sqrt(b2[0] * b2[0] + b2[1] * b2[1] + b2[2] * b2[2]);
    double u[3] = {b2[0] / len, b2[1] / len, b2[2] / len};
    cross(m1, n1, u);
    const double x = n1[0] * n2[0] + n1[1] * n2[1] + n1[2] * n2[2];
    const double y = m1[0] * n2[0] + m1[1] * n2[1] + m1[2] * n2[2];
    return std::atan2(y, x);
}

double angleDiff(double a, double b) { return std::remainder(a - b, 2 * kPi); }

}  // namespace

TEST(MatVecVectors, PlainAndHomogeneousArithmetic) {
    Vec3 a = {1, 2, 3}, b = {4, -5, 6};
    EXPECT_DOUBLE_EQ(Vec3Scalar(a, b), 4 - 10 + 18);
    EXPECT_DOUBLE_EQ(Vec3Abs(b), std::sqrt(16.0 + 25 + 36));
    EXPECT_DOUBLE_EQ(Vec3DiffAbs(a, b), std::sqrt(9.0 + 49 + 9));
    Vec3 c;
    Vec3Copy(c, a);
    Vec3Cross(c, b);  // (2*6 - 3*(-5), 3*4 - 1*6, 1*(-5) - 2*4)
    EXPECT_DOUBLE_EQ(c[0], 27);
    EXPECT_DOUBLE_EQ(c[1], 6);
    EXPECT_DOUBLE_EQ(c[2], -13);
    Vec3Copy(c, a);
    Vec3ScaleAdd(c, 2, b);
    EXPECT_DOUBLE_EQ(c[1], -8);
    Vec3ScaleSub(c, 2, b);
    Vec3Sub(c, a);
    EXPECT_EQ(IsVec3Zero(c), 1);
    Vec3Add(c, b);
    Vec3Scale(c, 0.5);
    EXPECT_DOUBLE_EQ(c[2], 3);
    Vec3 n = {3, 0, 4};
    Vec3Norm(n);
    EXPECT_DOUBLE_EQ(n[0], 0.6);
    EXPECT_DOUBLE_EQ(n[2], 0.8);

    Vec3 negZero = {-0.0, 0.0, 0.0}, withNan = {0.0, NAN, 0.0};
    EXPECT_EQ(IsVec3Zero(negZero), 1);
    EXPECT_EQ(IsVec3Zero(withNan), 0);

    // The map overload inserts the missing keys as 0.
    std::map<int, double> m = {{1, 7.5}};
    Vec3Copy(c, m);
    EXPECT_EQ(c[0], 0.0);
    EXPECT_EQ(c[1], 7.5);
    EXPECT_EQ(c[2], 0.0);
    EXPECT_EQ(m.size(), 3u);

    // Homogeneous points: (2, 4, 6, 2) represents (1, 2, 3).
    Vec4 p = {2, 4, 6, 2}, q = {3, 0, 0, 3};
    Vec3 r;
    Vec4To3(r, p);
    EXPECT_DOUBLE_EQ(r[2], 3);
    EXPECT_DOUBLE_EQ(Vec4Abs(p), std::sqrt(14.0));
    EXPECT_DOUBLE_EQ(Vec4DiffAbs(p, q), std::sqrt(0.0 + 4 + 9));  // (1,2,3) - (1,0,0)
    EXPECT_DOUBLE_EQ(Vec4Scalar(p, q), 1.0);
    Vec4Add(p, q);  // point (1,2,3) + (1,0,0), w kept
    EXPECT_DOUBLE_EQ(p[3], 2);
    Vec4To3(r, p);
    EXPECT_DOUBLE_EQ(r[0], 2);
    EXPECT_DOUBLE_EQ(r[1], 2);
    Vec4ScaleSub(p, 2, q);  // minus 2*(1,0,0)
    Vec4To3(r, p);
    EXPECT_DOUBLE_EQ(r[0], 0);
    Vec4ScaleAdd(p, 3, q);
    Vec4Sub(p, q);
    Vec4To3(r, p);
    EXPECT_DOUBLE_EQ(r[0], 2);
    Vec4Scale(p, 2);  // scales the represented point
    Vec4To3(r, p);
    EXPECT_DOUBLE_EQ(r[0], 4);
    EXPECT_DOUBLE_EQ(r[2], 6);
    Vec4 u = {3, 0, 4, 1};
    Vec4Norm(u);
    EXPECT_DOUBLE_EQ(Vec4Abs(u), 1.0);
    EXPECT_DOUBLE_EQ(u[0], 3);
    Vec4 x4 = {2, 0, 0, 2}, y4 = {0, 3, 0, 3};
    Vec4Cross(x4, y4);
    Vec4To3(r, x4);  // (1,0,0) x (0,1,0)
    EXPECT_DOUBLE_EQ(r[2], 1);
    EXPECT_DOUBLE_EQ(x4[3], 6);
    Vec4Zero(u);
    EXPECT_EQ(u[3], 1.0);
    EXPECT_EQ(u[0], 0.0);
}

TEST(MatVecMatrices, ProductOrderAndRowVectors) {
    // Mat3Mult(A, B) sets A := B * A: with A = Rx(90), B = Rz(90) the result is Rz*Rx.
    Mat3 A, B, RzRx, RxRz;
    rx(A, 90);
    rz(B, 90);
    product(RzRx, B, A);
    product(RxRz, A, B);
    Mat3Mult(A, B);
    expectMatNear(A, RzRx, 1e-15);
    double diff = 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) diff += std::fabs(A[i][j] - RxRz[i][j]);
    EXPECT_GT(diff, 1.0);

    // Row vector: (1,0,0) * Rz(90) = (0,-1,0).
    Vec3 v = {1, 0, 0};
    rz(B, 90);
    Mat3VecMult(v, B);
    EXPECT_NEAR(v[0], 0, 1e-15);
    EXPECT_NEAR(v[1], -1, 1e-15);
    EXPECT_NEAR(v[2], 0, 1e-15);

    // The same for Mat4: v*(B*A) = (v*B)*A, translation in row 3.
    Mat4 M4, T4;
    Mat4Ident(M4);
    Mat3 R;
    ry(R, 30);
    Mat3To4(M4, R);
    Mat4Ident(T4);
    T4[3][0] = 1;
    T4[3][1] = 2;
    T4[3][2] = 3;
    Mat4 MT;
    Mat4Copy(MT, M4);
    Mat4Mult(MT, T4);  // translate first, then rotate
    Vec3 p = {0.5, -1, 2}, viaProduct, step;
    applyPoint(viaProduct, p, MT);
    applyPoint(step, p, T4);
    applyPoint(step, step, M4);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(viaProduct[i], step[i], 1e-14);
    EXPECT_NEAR(step[1], 1.0, 1e-14);  // Ry leaves y alone: -1 + 2

    // Transposes, embeddings, inverse.
    Mat3 G = {{2, -1, 0.5}, {0.3, 4, -2}, {1, 1, 3}}, Gi, I3, Id;
    Mat3Copy(Gi, G);
    Mat3Inv(Gi);
    product(I3, G, Gi);
    Mat3Ident(Id);
    expectMatNear(I3, Id, 1e-14);
    Mat3 Gt;
    Mat3Copy(Gt, G);
    Mat3Transp(Gt);
    EXPECT_EQ(Gt[0][2], G[2][0]);
    EXPECT_EQ(Gt[1][0], G[0][1]);
    Mat4 G4;
    Mat3To4(G4, G);
    G4[3][1] = 9;
    Mat4Transp(G4);
    EXPECT_EQ(G4[1][3], 9.0);
    EXPECT_EQ(G4[2][0], G[0][2]);
    Mat3To4(G4, G);
    EXPECT_EQ(G4[3][3], 1.0);
    EXPECT_EQ(G4[0][3], 0.0);
    EXPECT_EQ(G4[3][0], 0.0);
    Mat3 back;
    Mat4To3(back, G4);
    expectMatNear(back, G, 0);
    Mat3 D = {{2, 0, 0}, {0, -4, 0}, {0, 0, 0.5}};
    Mat3Inv(D);
    EXPECT_DOUBLE_EQ(D[1][1], -0.25);
    EXPECT_DOUBLE_EQ(D[2][2], 2.0);
}

TEST(MatVecMatrices, GramSchmidtOnRows) {
    Mat3 M = {{2, 0, 0}, {1, 1, 0}, {5, 3, 7}}, Id;
    Mat3Ortho(M);
    Mat3Ident(Id);
    expectMatNear(M, Id, 1e-15);

    // A general matrix: rows orthonormal, row 0 keeps its direction, row 1 stays in the
    // plane of the first two rows, and the handedness is kept.
    Mat3 G = {{1, 2, 2}, {0.3, -1, 0.7}, {-2, 0.4, 1.1}}, O;
    const double d0 = det(G);
    Mat3Copy(O, G);
    Mat3Ortho(O);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(O[i][0] * O[j][0] + O[i][1] * O[j][1] + O[i][2] * O[j][2], i == j ? 1 : 0,
                        1e-14);
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(O[0][j], G[0][j] / 3.0, 1e-15);
    Vec3 normal = {G[0][0], G[0][1], G[0][2]};
    Vec3Cross(normal, G[1]);
    EXPECT_NEAR(Vec3Scalar(normal, O[1]), 0, 1e-14);
    EXPECT_GT(det(O) * d0, 0);

    // Mat4Ortho: translation kept, column 3 reset.
    Mat4 M4 = {{2, 0, 0, 5}, {1, 1, 0, 6}, {5, 3, 7, 7}, {8, 9, 10, 11}};
    Mat4Ortho(M4);
    EXPECT_NEAR(M4[1][1], 1, 1e-15);
    EXPECT_NEAR(M4[1][0], 0, 1e-15);
    EXPECT_EQ(M4[0][3], 0.0);
    EXPECT_EQ(M4[2][3], 0.0);
    EXPECT_EQ(M4[3][3], 1.0);
    EXPECT_EQ(M4[3][0], 8.0);
    EXPECT_EQ(M4[3][2], 10.0);
}

TEST(MatVecRotations, BuildersAndTheirInverse) {
    // m4AppendRotation(M, ax, ay, az): M := Rz(az) Ry(ay) Rx(ax) M;
    // m4AppendRotationZYX:              M := Rx(ax) Ry(ay) Rz(az) M.
    const double ax = 23, ay = -41, az = 117;
    Mat3 X, Y, Z, YX, ZYX, YZ, XYZ;
    rx(X, ax);
    ry(Y, ay);
    rz(Z, az);
    product(YX, Y, X);
    product(ZYX, Z, YX);
    product(YZ, Y, Z);
    product(XYZ, X, YZ);

    Mat3 S = {{1, 0.2, 0}, {0, 2, 0.5}, {0.3, 0, 1}};  // a start matrix that is not I
    Mat4 M;
    Mat3To4(M, S);
    M[3][0] = 4;  // a translation row, carried along by the product
    m4AppendRotation(M, ax, ay, az);
    Mat3 got, expect;
    Mat4To3(got, M);
    product(expect, ZYX, S);
    expectMatNear(got, expect, 1e-14);
    EXPECT_NEAR(M[3][0], 4, 1e-14);
    EXPECT_NEAR(M[3][3], 1, 1e-14);

    Mat4Ident(M);
    m4AppendRotationZYX(M, ax, ay, az);
    Mat4To3(got, M);
    expectMatNear(got, XYZ, 1e-14);

    // Mat3GetAng inverts (Rz(c) Ry(b) Rx(a))^T over the whole range of the angles.
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> full(-179.0, 179.0), half(-89.0, 89.0);
    for (int t = 0; t < 200; ++t) {
        const double a = full(gen), b = half(gen), c = full(gen);
        Mat4 R;
        Mat4Ident(R);
        m4AppendRotation(R, a, b, c);
        Mat4Transp(R);
        double ga, gb, gc;
        Mat4GetAng(R, ga, gb, gc);
        EXPECT_NEAR(ga, a * kPi / 180, 1e-12);
        EXPECT_NEAR(gb, b * kPi / 180, 1e-12);
        EXPECT_NEAR(gc, c * kPi / 180, 1e-12);
    }

    Mat3 Id;
    Mat3Ident(Id);
    double a, b, c;
    Mat3GetAng(Id, a, b, c);
    EXPECT_EQ(a, 0.0);
    EXPECT_EQ(b, 0.0);
    EXPECT_EQ(c, 0.0);

    // Gimbal case: M[0][0] = M[0][1] = 0 gives b = pi/2 and c = 0 whatever M[0][2] is.
    for (double sign : {1.0, -1.0}) {
        Mat3 G = {{0, 0, -sign}, {0.6, 0.8, 0}, {0.8, -0.6, 0}};
        Mat3GetAng(G, a, b, c);
        EXPECT_DOUBLE_EQ(b, kPi / 2);
        EXPECT_EQ(c, 0.0);
        EXPECT_DOUBLE_EQ(a, std::atan2(0.6, 0.8));
    }
    // A real rotation with b = +90 degrees and c = 0 comes back.
    Mat4 R;
    Mat4Ident(R);
    m4AppendRotation(R, 35, 90, 0);
    Mat4Transp(R);
    R[0][0] = R[0][1] = 0.0;  // exact zeros (cos 90 is 6e-17 in floating point)
    Mat4GetAng(R, a, b, c);
    EXPECT_NEAR(a, 35 * kPi / 180, 1e-12);
}

TEST(MatVecRotations, AxisAngleSenses) {
    // Vec3Rot turns counter-clockwise about k, RotVec3Rodrigues (a row-vector product)
    // clockwise.
    Vec3 v = {1, 0, 0}, k = {0, 0, 1};
    Vec3 a, b;
    Vec3Copy(a, v);
    Vec3Rot(a, k, 90);
    Vec3Copy(b, v);
    RotVec3Rodrigues(b, 90, k);
    EXPECT_NEAR(a[1], 1, 1e-15);
    EXPECT_NEAR(b[1], -1, 1e-15);
    EXPECT_NEAR(a[0], 0, 1e-15);
    EXPECT_NEAR(b[0], 0, 1e-15);

    // A general axis: Rodrigues(theta) equals Vec3Rot(-theta) with the unit axis, and
    // Rodrigues normalises its axis itself.
    Vec3 axis = {1, -2, 0.5}, unit;
    Vec3Copy(unit, axis);
    Vec3Norm(unit);
    Vec3 w = {0.3, 0.7, -1.2};
    Vec3Copy(a, w);
    Vec3Rot(a, unit, -63);
    Vec3Copy(b, w);
    RotVec3Rodrigues(b, 63, axis);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], 1e-14);
    EXPECT_NEAR(Vec3Abs(b), Vec3Abs(w), 1e-14);

    // Vec3Rot takes its axis as given: a length-2 axis scales the k x v term.
    Vec3 k2 = {0, 0, 2};
    Vec3Copy(a, v);
    Vec3Rot(a, k2, 90);
    EXPECT_NEAR(a[1], 2, 1e-15);
}

TEST(MatVecGeometry, AnglesFramesAndDihedrals) {
    Vec3 o = {1, 1, 1}, x = {3, 1, 1}, y = {1, 4, 1}, mx = {-2, 1, 1};
    EXPECT_NEAR(calcAngle(o, x, y), 90.0, 1e-5);
    EXPECT_NEAR(calcAngle(o, x, mx), 180.0, 1e-5);
    Vec3 e = {1 + 0.5, 1 + std::sqrt(3.0) / 2, 1};
    EXPECT_NEAR(calcAngle(o, x, e), 60.0, 1e-5);
    // Single precision: the result is a float angle converted to degrees.
    const double ang = calcAngle(o, x, e) * kPi / 180;
    EXPECT_EQ(static_cast<double>(static_cast<float>(ang)), ang) << "not from a float angle";

    // Frame: columns e2, e3, e1 with e1 along b - c.
    Vec3 a = {0.4, 1.3, -0.2}, b = {1.1, 0.2, 0.3}, c = {2.0, -0.5, 1.4};
    Mat3 F;
    calcBaseTransf(F, a, b, c);
    Vec3 bc = {b[0] - c[0], b[1] - c[1], b[2] - c[2]};
    Vec3Norm(bc);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(F[i][2], bc[i], 1e-15);
    Mat3 FtF;
    Mat3 Ft;
    Mat3Copy(Ft, F);
    Mat3Transp(Ft);
    product(FtF, Ft, F);
    Mat3 Id;
    Mat3Ident(Id);
    expectMatNear(FtF, Id, 1e-14);
    EXPECT_NEAR(det(F), 1.0, 1e-14);
    // a - b has no component along e3 (a lies in the e1-e2 plane through b).
    Vec3 ab = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    EXPECT_NEAR(ab[0] * F[0][1] + ab[1] * F[1][1] + ab[2] * F[2][1], 0, 1e-14);

    // Dihedral angles agree with the IUPAC formula.
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(-2, 2);
    for (int t = 0; t < 50; ++t) {
        Vec3 p[4];
        for (auto& q : p)
            for (double& comp : q) comp = u(gen);
        EXPECT_NEAR(angleDiff(calcDihAngle(p[0], p[1], p[2], p[3]),
                              iupacDihedral(p[0], p[1], p[2], p[3])),
                    0, 1e-12);
    }
}

TEST(MatVecGeometry, DihedralRotationAndTransfer) {
    Vec3 a = {0.4, 1.3, -0.2}, b = {1.1, 0.2, 0.3}, c = {2.0, -0.5, 1.4}, d = {2.9, 0.1, 2.2};
    for (double theta : {-2.5, -1.0, 0.0, 0.7, 3.0}) {
        Mat4 M, Minv;
        DhRotMatCalc(M, Minv, a, b, c, d, theta);
        Vec3 d2, b2, c2, back;
        applyPoint(d2, d, M);
        applyPoint(b2, b, M);
        applyPoint(c2, c, M);
        EXPECT_NEAR(angleDiff(calcDihAngle(a, b, c, d2), theta), 0, 1e-12);
        EXPECT_NEAR(Vec3DiffAbs(b2, b), 0, 1e-14);  // the axis stays
        EXPECT_NEAR(Vec3DiffAbs(c2, c), 0, 1e-14);
        EXPECT_NEAR(Vec3DiffAbs(d2, c), Vec3DiffAbs(d, c), 1e-14);
        applyPoint(back, d2, Minv);
        EXPECT_NEAR(Vec3DiffAbs(back, d), 0, 1e-14);
    }
    Mat4 M;
    DhRotMatCalc(M, nullptr, a, b, c, d, 1.0);  // Minv may be null

    // DhTransfVec: ((v - o, 1) * M) dehomogenised, plus t.
    Mat4 R;
    Mat4Ident(R);
    m4AppendRotation(R, 0, 0, 90);
    R[3][3] = 2;  // a homogeneous scale: the result is halved
    Vec3 v = {3, 1, 1}, o = {2, 1, 1}, t = {10, 20, 30};
    DhTransfVec(v, o, R, t);  // (1,0,0) * Rz(90) = (0,-1,0), halved
    EXPECT_NEAR(v[0], 10, 1e-15);
    EXPECT_NEAR(v[1], 19.5, 1e-15);
    EXPECT_NEAR(v[2], 30, 1e-15);
}

TEST(MatVecSuperposition, RecoversRotationAndTranslation) {
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> u(-5, 5);
    const int n = 12;
    Vec3 X[n], Y[n];
    for (auto& p : X)
        for (double& comp : p) comp = u(gen);

    // Y = X * T with T = rotation then translation; MapCoord(X, Y) must undo it.
    Mat4 T;
    Mat4Ident(T);
    m4AppendRotation(T, 37, -12, 148);
    T[3][0] = 2.5;
    T[3][1] = -1;
    T[3][2] = 4;
    for (int i = 0; i < n; ++i) applyPoint(Y[i], X[i], T);

    Mat4 M;
    MapCoord(X, n, Y, true, M);
    EXPECT_NEAR(calcRmsd(X, n, Y, M, true), 0, 1e-12);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(M[i][j], T[j][i], 1e-12);  // R^T
    EXPECT_NEAR(M[3][3], 1, 1e-15);
    EXPECT_EQ(M[0][3], 0.0);

    // Without centring and without translation the rotation alone comes back.
    Mat4 R;
    Mat4Ident(R);
    m4AppendRotation(R, -70, 33, 5);
    for (int i = 0; i < n; ++i) applyPoint(Y[i], X[i], R);
    MapCoord(X, n, Y, false, M);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(M[i][j], R[j][i], 1e-12);
        EXPECT_EQ(M[3][i], 0.0);
    }

    // A set onto itself: identity rotation, zero net translation.
    MapCoord(X, n, X, true, M);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(M[i][j], i == j ? 1 : 0, 1e-12);
}

TEST(MatVecSuperposition, MirroredSetGivesBestProperRotation) {
    std::mt19937 gen(8);
    std::uniform_real_distribution<double> u(-3, 3);
    const int n = 10;
    Vec3 X[n], Y[n];
    for (int i = 0; i < n; ++i) {
        for (double& comp : X[i]) comp = u(gen);
        Y[i][0] = X[i][0] + 1;
        Y[i][1] = X[i][1];
        Y[i][2] = -X[i][2] * 1.5;  // mirrored and stretched
    }
    Mat4 M;
    MapCoord(X, n, Y, true, M);
    Mat3 R;
    Mat4To3(R, M);
    EXPECT_NEAR(det(R), 1.0, 1e-12);
    Mat3 Rt, RtR, Id;
    Mat3Copy(Rt, R);
    Mat3Transp(Rt);
    product(RtR, R, Rt);
    Mat3Ident(Id);
    expectMatNear(RtR, Id, 1e-12);

    // No random proper rotation (about the centroids) does better.
    const double best = calcRmsd(X, n, Y, M, true);
    Vec3 cX = {0, 0, 0}, cY = {0, 0, 0};
    for (int i = 0; i < n; ++i) {
        Vec3ScaleAdd(cX, 1.0 / n, X[i]);
        Vec3ScaleAdd(cY, 1.0 / n, Y[i]);
    }
    std::uniform_real_distribution<double> ang(-180, 180);
    for (int t = 0; t < 3000; ++t) {
        Mat4 Q, Tm;
        Mat4Ident(Q);
        Q[3][0] = cX[0];
        Q[3][1] = cX[1];
        Q[3][2] = cX[2];
        Mat4 Rq;
        Mat4Ident(Rq);
        m4AppendRotation(Rq, ang(gen), ang(gen) / 2, ang(gen));
        Mat4Mult(Q, Rq);
        Mat4Ident(Tm);
        Tm[3][0] = -cY[0];
        Tm[3][1] = -cY[1];
        Tm[3][2] = -cY[2];
        Mat4Mult(Q, Tm);
        ASSERT_GE(calcRmsd(X, n, Y, Q, true), best - 1e-12);
    }
}

TEST(MatVecDistances, SquaredDistanceAndRmsd) {
    Vec3 x = {1, 2, 3}, y = {1, 2, 5};
    Mat4 M;
    Mat4Ident(M);
    M[3][2] = -2;  // moves y onto x
    EXPECT_DOUBLE_EQ(calcSqrDist(x, y, M, false), 4.0);
    EXPECT_DOUBLE_EQ(calcSqrDist(x, y, M, true), 0.0);
    EXPECT_EQ(y[2], 5.0);  // y itself untouched

    Vec3 X[2] = {{0, 0, 0}, {1, 1, 1}}, Y[2] = {{0, 0, 3}, {1, 1, 2}};
    EXPECT_DOUBLE_EQ(calcRmsd(X, 2, Y, M, false), std::sqrt((9.0 + 1.0) / 2));
    EXPECT_TRUE(std::isnan(calcRmsd(X, 0, Y, M, false)));
}

TEST(MatVecRandom, OrthogonalVectorsAndGaussians) {
    srand(12345);
    const Vec3 cases[] = {{0.5, -2, 3}, {0, 2, -1}, {0, 0, -4}, {-1e-3, 0, 0}};
    for (const auto& v : cases) {
        for (int t = 0; t < 100; ++t) {
            Vec3 out;
            randomOrtho(v, out);
            EXPECT_NEAR(Vec3Scalar(v, out), 0, 1e-12);
            // The drawn components lie in [-1, 1]; the solved one is the first non-zero
            // component of v.
            const int solved = v[0] != 0 ? 0 : (v[1] != 0 ? 1 : 2);
            for (int i = 0; i < 3; ++i)
                if (i != solved) {
                    EXPECT_GE(out[i], -1.0);
                    EXPECT_LE(out[i], 1.0);
                }
        }
    }
    Vec3 v = {0, 3, 0}, out;
    randomOrtho(v, out);
    EXPECT_EQ(out[1], 0.0);
    Vec3 zero = {0, 0, 0};
    randomOrtho(zero, out);
    EXPECT_TRUE(std::isfinite(out[0]) && std::isfinite(out[1]) && std::isfinite(out[2]));

    const int n = 40000;
    double sum = 0, sum2 = 0, sum4 = 0;
    for (int i = 0; i < n; ++i) {
        const double g = getNextGaussian();
        ASSERT_GE(g, -10.0);
        ASSERT_LE(g, 10.0);
        sum += g;
        sum2 += g * g;
        sum4 += g * g * g * g;
    }
    // Standard normal: mean 0, variance 1, fourth moment 3 (loose statistical bounds).
    EXPECT_NEAR(sum / n, 0, 0.03);
    EXPECT_NEAR(sum2 / n, 1, 0.04);
    EXPECT_NEAR(sum4 / n, 3, 0.25);
}
