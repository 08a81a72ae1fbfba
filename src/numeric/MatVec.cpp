// Small fixed-size vectors and matrices: arithmetic, rotations (row-vector convention,
// A := B*A products, degrees in the builders), superposition and random numbers.
#include "numeric/MatVec.h"

#include <cmath>
#include <cstdlib>

#include "common/Constants.h"
#include "numeric/SVD.h"

namespace {

constexpr double kDegToRad = orvex::kPi / 180.0;
// Largest value rand() returns on this platform's C library, as the generators use it.
constexpr double kRandMax = 2147483647.0;

// A uniform deviate in [-1, 1] from the C generator.
double uniformPlusMinusOne() { return 2.0 * static_cast<double>(rand()) / RAND_MAX - 1.0; }

void setRx(Mat4 R, double deg) {
    Mat4Ident(R);
    const double c = cos(deg * kDegToRad), s = sin(deg * kDegToRad);
    R[1][1] = c;
    R[1][2] = -s;
    R[2][1] = s;
    R[2][2] = c;
}

void setRy(Mat4 R, double deg) {
    Mat4Ident(R);
    const double c = cos(deg * kDegToRad), s = sin(deg * kDegToRad);
    R[0][0] = c;
    R[0][2] = s;
    R[2][0] = -s;
    R[2][2] = c;
}

void setRz(Mat4 R, double deg) {
    Mat4Ident(R);
    const double c = cos(deg * kDegToRad), s = sin(deg * kDegToRad);
    R[0][0] = c;
    R[0][1] = -s;
    R[1][0] = s;
    R[1][1] = c;
}

// Identity with the translation t in row 3.
void setTranslation(Mat4 T, const Vec3 t) {
    Mat4Ident(T);
    T[3][0] = t[0];
    T[3][1] = t[1];
    T[3][2] = t[2];
}

double det3(const Mat3 M) {
    return M[0][0] * (M[1][1] * M[2][2] - M[1][2] * M[2][1]) -
           M[0][1] * (M[1][0] * M[2][2] - M[1][2] * M[2][0]) +
           M[0][2] * (M[1][0] * M[2][1] - M[1][1] * M[2][0]);
}

// Gram-Schmidt on the first three entries of rows 0..2 (classical: every projection of a
// row is taken from the row as it stood before any subtraction).
template <typename Row>
void orthonormaliseRows(Row* M) {
    for (int i = 0; i < 3; ++i) {
        double proj[3] = {0.0, 0.0, 0.0};
        for (int k = 0; k < i; ++k) {
            const double d = M[i][0] * M[k][0] + M[i][1] * M[k][1] + M[i][2] * M[k][2];
            for (int j = 0; j < 3; ++j) proj[j] += d * M[k][j];
        }
        for (int j = 0; j < 3; ++j) M[i][j] -= proj[j];
        const double len = sqrt(M[i][0] * M[i][0] + M[i][1] * M[i][1] + M[i][2] * M[i][2]);
        for (int j = 0; j < 3; ++j) M[i][j] /= len;
    }
}

}  // namespace

// ---------------------------------------------------------------- vectors

void Vec3Zero(Vec3 v) { v[0] = v[1] = v[2] = 0.0; }

void Vec4Zero(Vec4 v) {
    v[0] = v[1] = v[2] = 0.0;
    v[3] = 1.0;
}

int IsVec3Zero(const Vec3 v) { return (v[0] == 0.0 && v[1] == 0.0 && v[2] == 0.0) ? 1 : 0; }

void Vec3Copy(Vec3 dst, const Vec3 src) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
}

void Vec3Copy(Vec3 dst, std::map<int, double>& m) {
    for (int i = 0; i < 3; ++i) dst[i] = m[i];
}

void Vec4Copy(Vec4 dst, const Vec4 src) {
    for (int i = 0; i < 4; ++i) dst[i] = src[i];
}

void Vec3To4(Vec4 dst, const Vec3 src) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
    dst[3] = 1.0;
}

void Vec4To3(Vec3 dst, const Vec4 src) {
    dst[0] = src[0] / src[3];
    dst[1] = src[1] / src[3];
    dst[2] = src[2] / src[3];
}

double Vec3Abs(const Vec3 v) { return sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

double Vec3DiffAbs(const Vec3 a, const Vec3 b) {
    const double d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
    return sqrt(d0 * d0 + d1 * d1 + d2 * d2);
}

double Vec4Abs(const Vec4 v) { return sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) / v[3]; }

double Vec4DiffAbs(const Vec4 a, const Vec4 b) {
    const double d0 = a[0] / a[3] - b[0] / b[3];
    const double d1 = a[1] / a[3] - b[1] / b[3];
    const double d2 = a[2] / a[3] - b[2] / b[3];
    return sqrt(d0 * d0 + d1 * d1 + d2 * d2);
}

void Vec3Norm(Vec3 v) {
    const double len = Vec3Abs(v);
    v[0] /= len;
    v[1] /= len;
    v[2] /= len;
}

void Vec4Norm(Vec4 v) { v[3] = sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

void Vec3Scale(Vec3 v, double s) {
    v[0] *= s;
    v[1] *= s;
    v[2] *= s;
}

void Vec4Scale(Vec4 v, double s) { v[3] /= s; }

void Vec3Add(Vec3 a, const Vec3 b) {
    a[0] += b[0];
    a[1] += b[1];
    a[2] += b[2];
}

void Vec3ScaleAdd(Vec3 a, double s, const Vec3 b) {
    a[0] += s * b[0];
    a[1] += s * b[1];
    a[2] += s * b[2];
}

void Vec3Sub(Vec3 a, const Vec3 b) {
    a[0] -= b[0];
    a[1] -= b[1];
    a[2] -= b[2];
}

void Vec3ScaleSub(Vec3 a, double s, const Vec3 b) {
    a[0] -= s * b[0];
    a[1] -= s * b[1];
    a[2] -= s * b[2];
}

// The Vec4 sums act on the represented points: b is dehomogenised and brought to a's w.
void Vec4Add(Vec4 a, const Vec4 b) {
    for (int i = 0; i < 3; ++i) a[i] += (b[i] / b[3]) * a[3];
}

void Vec4ScaleAdd(Vec4 a, double s, const Vec4 b) {
    for (int i = 0; i < 3; ++i) a[i] += s * (b[i] / b[3]) * a[3];
}

void Vec4Sub(Vec4 a, const Vec4 b) {
    for (int i = 0; i < 3; ++i) a[i] -= (b[i] / b[3]) * a[3];
}

void Vec4ScaleSub(Vec4 a, double s, const Vec4 b) {
    for (int i = 0; i < 3; ++i) a[i] -= s * (b[i] / b[3]) * a[3];
}

double Vec3Scalar(const Vec3 a, const Vec3 b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

double Vec4Scalar(const Vec4 a, const Vec4 b) {
    double s = 0.0;
    for (int i = 0; i < 3; ++i) s += (a[i] / a[3]) * (b[i] / b[3]);
    return s;
}

void Vec3Cross(Vec3 a, const Vec3 b) {
    const double x = a[1] * b[2] - a[2] * b[1];
    const double y = a[2] * b[0] - a[0] * b[2];
    const double z = a[0] * b[1] - a[1] * b[0];
    a[0] = x;
    a[1] = y;
    a[2] = z;
}

void Vec4Cross(Vec4 a, const Vec4 b) {
    Vec3Cross(a, b);
    a[3] *= b[3];
}

// ---------------------------------------------------------------- matrices

void Mat3Ident(Mat3 M) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) M[i][j] = (i == j) ? 1.0 : 0.0;
}

void Mat4Ident(Mat4 M) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) M[i][j] = (i == j) ? 1.0 : 0.0;
}

void Mat3Copy(Mat3 dst, const Mat3 src) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) dst[i][j] = src[i][j];
}

void Mat4Copy(Mat4 dst, const Mat4 src) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) dst[i][j] = src[i][j];
}

void Mat3To4(Mat4 dst, const Mat3 src) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) dst[i][j] = src[i][j];
        dst[i][3] = 0.0;
    }
    dst[3][0] = dst[3][1] = dst[3][2] = 0.0;
    dst[3][3] = 1.0;
}

void Mat4To3(Mat3 dst, const Mat4 src) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) dst[i][j] = src[i][j];
}

void Mat3Mult(Mat3 A, const Mat3 B) {
    Mat3 P;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double s = 0.0;
            for (int k = 0; k < 3; ++k) s += B[i][k] * A[k][j];
            P[i][j] = s;
        }
    Mat3Copy(A, P);
}

void Mat4Mult(Mat4 A, const Mat4 B) {
    Mat4 P;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0.0;
            for (int k = 0; k < 4; ++k) s += B[i][k] * A[k][j];
            P[i][j] = s;
        }
    Mat4Copy(A, P);
}

void Mat3VecMult(Vec3 v, const Mat3 M) {
    Vec3 r;
    for (int j = 0; j < 3; ++j) r[j] = v[0] * M[0][j] + v[1] * M[1][j] + v[2] * M[2][j];
    Vec3Copy(v, r);
}

void Mat4VecMult(Vec4 v, const Mat4 M) {
    Vec4 r;
    for (int j = 0; j < 4; ++j)
        r[j] = v[0] * M[0][j] + v[1] * M[1][j] + v[2] * M[2][j] + v[3] * M[3][j];
    Vec4Copy(v, r);
}

void Mat3Transp(Mat3 M) {
    for (int i = 0; i < 3; ++i)
        for (int j = i + 1; j < 3; ++j) {
            const double t = M[i][j];
            M[i][j] = M[j][i];
            M[j][i] = t;
        }
}

void Mat4Transp(Mat4 M) {
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j) {
            const double t = M[i][j];
            M[i][j] = M[j][i];
            M[j][i] = t;
        }
}

void Mat3Ortho(Mat3 M) { orthonormaliseRows(M); }

void Mat4Ortho(Mat4 M) {
    orthonormaliseRows(M);
    M[0][3] = M[1][3] = M[2][3] = 0.0;
    M[3][3] = 1.0;
}

void Mat3Inv(Mat3 M) {
    Mat3 C;  // cofactors, transposed into the adjugate
    C[0][0] = M[1][1] * M[2][2] - M[1][2] * M[2][1];
    C[0][1] = M[0][2] * M[2][1] - M[0][1] * M[2][2];
    C[0][2] = M[0][1] * M[1][2] - M[0][2] * M[1][1];
    C[1][0] = M[1][2] * M[2][0] - M[1][0] * M[2][2];
    C[1][1] = M[0][0] * M[2][2] - M[0][2] * M[2][0];
    C[1][2] = M[0][2] * M[1][0] - M[0][0] * M[1][2];
    C[2][0] = M[1][0] * M[2][1] - M[1][1] * M[2][0];
    C[2][1] = M[0][1] * M[2][0] - M[0][0] * M[2][1];
    C[2][2] = M[0][0] * M[1][1] - M[0][1] * M[1][0];
    const double det = M[0][0] * C[0][0] + M[0][1] * C[1][0] + M[0][2] * C[2][0];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) M[i][j] = C[i][j] / det;
}

// ---------------------------------------------------------------- geometry and rotations

double calcAngle(const Vec3 o, const Vec3 a, const Vec3 b) {
    Vec3 u, v;
    Vec3Copy(u, a);
    Vec3Sub(u, o);
    Vec3Norm(u);
    Vec3Copy(v, b);
    Vec3Sub(v, o);
    Vec3Norm(v);
    const double dot = Vec3Scalar(u, v);
    Vec3Cross(u, v);
    // The angle is evaluated in single precision, as the program always has.
    const float ang = atan2f(static_cast<float>(Vec3Abs(u)), static_cast<float>(dot));
    return ang * 180.0 / orvex::kPi;
}

void Vec3Rot(Vec3 v, const Vec3 k, double thetaDeg) {
    const double c = cos(thetaDeg * kDegToRad), s = sin(thetaDeg * kDegToRad);
    Vec3 kxv;
    Vec3Copy(kxv, k);
    Vec3Cross(kxv, v);
    const double kv = Vec3Scalar(k, v);
    for (int i = 0; i < 3; ++i) v[i] = v[i] * c + kxv[i] * s + k[i] * kv * (1.0 - c);
}

// The axis-angle matrix applied as v*R, i.e. R^T v: the opposite sense to Vec3Rot.
void RotVec3Rodrigues(Vec3 v, double thetaDeg, const Vec3 k) {
    Vec3 u;
    Vec3Copy(u, k);
    Vec3Norm(u);
    const double c = cos(thetaDeg * kDegToRad), s = sin(thetaDeg * kDegToRad), t = 1.0 - c;
    const double x = u[0], y = u[1], z = u[2];
    Mat3 R;
    R[0][0] = x * x * t + c;
    R[0][1] = x * y * t - z * s;
    R[0][2] = x * z * t + y * s;
    R[1][0] = x * y * t + z * s;
    R[1][1] = y * y * t + c;
    R[1][2] = y * z * t - x * s;
    R[2][0] = x * z * t - y * s;
    R[2][1] = y * z * t + x * s;
    R[2][2] = z * z * t + c;
    Mat3VecMult(v, R);
}

void m4AppendRotation(Mat4 M, double ax, double ay, double az) {
    Mat4 R;
    setRx(R, ax);
    Mat4Mult(M, R);
    setRy(R, ay);
    Mat4Mult(M, R);
    setRz(R, az);
    Mat4Mult(M, R);
}

void m4AppendRotationZYX(Mat4 M, double ax, double ay, double az) {
    Mat4 R;
    setRz(R, az);
    Mat4Mult(M, R);
    setRy(R, ay);
    Mat4Mult(M, R);
    setRx(R, ax);
    Mat4Mult(M, R);
}

// For M = (Rz(c) Ry(b) Rx(a))^T. When cos b = 0 (M[0][0] = M[0][1] = 0) only a - c is
// defined: c is set to 0 and b to +pi/2 whatever the sign of M[0][2].
void Mat3GetAng(const Mat3 M, double& a, double& b, double& c) {
    if (M[0][0] == 0.0 && M[0][1] == 0.0) {
        a = atan2(M[1][0], M[2][0]);
        b = orvex::kPi / 2.0;
        c = 0.0;
        return;
    }
    a = atan2(M[1][2], M[2][2]);
    b = asin(-M[0][2]);
    c = atan2(M[0][1], M[0][0]);
}

void Mat4GetAng(const Mat4 M, double& a, double& b, double& c) {
    Mat3 R;
    Mat4To3(R, M);
    Mat3GetAng(R, a, b, c);
}

void calcBaseTransf(Mat3 M, const Vec3 a, const Vec3 b, const Vec3 c) {
    Vec3 e1, e2, e3, d;
    Vec3Copy(e1, b);
    Vec3Sub(e1, c);
    Vec3Norm(e1);
    Vec3Copy(d, a);
    Vec3Sub(d, b);
    Vec3Copy(e2, d);
    Vec3ScaleSub(e2, Vec3Scalar(e1, d), e1);
    Vec3Norm(e2);
    Vec3Copy(e3, e1);
    Vec3Cross(e3, e2);
    for (int i = 0; i < 3; ++i) {
        M[i][0] = e2[i];
        M[i][1] = e3[i];
        M[i][2] = e1[i];
    }
}

double calcDihAngle(const Vec3 a, const Vec3 b, const Vec3 c, const Vec3 d) {
    Mat3 M;
    calcBaseTransf(M, a, b, c);
    Vec3 w;
    Vec3Copy(w, d);
    Vec3Sub(w, c);
    Mat3VecMult(w, M);
    const double r = sqrt(w[0] * w[0] + w[1] * w[1]);
    return atan2(w[1] / r, w[0] / r);
}

namespace {

// T(-b) * B * Z(delta) * B^T * T(b) into M.
void dihedralTransform(Mat4 M, const Mat3 B, const Vec3 b, double delta) {
    Mat3 Bt;
    Mat3Copy(Bt, B);
    Mat3Transp(Bt);
    Mat4 B4, Bt4, Z, T;
    Mat3To4(B4, B);
    Mat3To4(Bt4, Bt);
    Mat4Ident(Z);
    Z[0][0] = cos(delta);
    Z[0][1] = sin(delta);
    Z[1][0] = -sin(delta);
    Z[1][1] = cos(delta);
    // Built right to left with the pre-multiplying product.
    setTranslation(M, b);
    Mat4Mult(M, Bt4);
    Mat4Mult(M, Z);
    Mat4Mult(M, B4);
    Vec3 minusB = {-b[0], -b[1], -b[2]};
    setTranslation(T, minusB);
    Mat4Mult(M, T);
}

}  // namespace

void DhRotMatCalc(Mat4 M, Mat4 Minv, const Vec3 a, const Vec3 b, const Vec3 c, const Vec3 d,
                  double theta) {
    Mat3 B;
    calcBaseTransf(B, a, b, c);
    Vec3 w;
    Vec3Copy(w, d);
    Vec3Sub(w, c);
    Mat3VecMult(w, B);
    const double phi = atan2(w[1], w[0]);
    const double delta = theta - phi;
    dihedralTransform(M, B, b, delta);
    if (Minv != nullptr) dihedralTransform(Minv, B, b, -delta);
}

void DhTransfVec(Vec3 v, const Vec3 o, const Mat4 M, const Vec3 t) {
    Vec4 h = {v[0] - o[0], v[1] - o[1], v[2] - o[2], 1.0};
    Mat4VecMult(h, M);
    Vec4To3(v, h);
    Vec3Add(v, t);
}

// Least-squares superposition (Kabsch): the rotation R maximising sum (y R) . x is
// V U^T from the SVD of the correlation matrix H = X^T Y; a reflection is turned into
// the nearest proper rotation by flipping the term of the smallest singular value.
void MapCoord(const Vec3* X, int n, const Vec3* Y, bool center, Mat4 M) {
    Vec3 cX = {0.0, 0.0, 0.0}, cY = {0.0, 0.0, 0.0};
    if (center) {
        for (int i = 0; i < n; ++i) {
            Vec3Add(cX, X[i]);
            Vec3Add(cY, Y[i]);
        }
        Vec3Scale(cX, 1.0 / n);
        Vec3Scale(cY, 1.0 / n);
    }
    double H[3][3] = {{0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}};
    for (int p = 0; p < n; ++p) {
        Vec3 x, y;
        Vec3Copy(x, X[p]);
        Vec3Sub(x, cX);
        Vec3Copy(y, Y[p]);
        Vec3Sub(y, cY);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) H[i][j] += x[i] * y[j];
    }

    double V[3][3], w[3];
    double* hRows[3] = {H[0], H[1], H[2]};
    double* vRows[3] = {V[0], V[1], V[2]};
    SVD::getInstance()->SingValDecomp(hRows, 3, 3, w, vRows);  // H now holds U

    double sign[3] = {1.0, 1.0, 1.0};
    Mat3 R;
    for (int pass = 0; pass < 2; ++pass) {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                double s = 0.0;
                for (int k = 0; k < 3; ++k) s += sign[k] * V[r][k] * H[c][k];
                R[r][c] = s;
            }
        if (pass == 1 || det3(R) >= 0.0) break;
        // Reflection: reverse the term of the smallest singular value (ties go to the
        // later index).
        int k = 2;
        if (w[1] > w[0] && w[2] > w[0])
            k = 0;
        else if (w[2] > w[1])
            k = 1;
        sign[k] = -1.0;
    }
    Mat3Ortho(R);

    Mat4Ident(M);
    Mat4 R4;
    Mat3To4(R4, R);
    if (!center) {
        Mat4Copy(M, R4);
        return;
    }
    // y -> (y - cY) R + cX
    M[3][0] = cX[0];
    M[3][1] = cX[1];
    M[3][2] = cX[2];
    Mat4Mult(M, R4);
    Vec3 minusCY = {-cY[0], -cY[1], -cY[2]};
    Mat4 T;
    setTranslation(T, minusCY);
    Mat4Mult(M, T);
}

double calcSqrDist(const Vec3 x, const Vec3 y, const Mat4 M, bool apply) {
    Vec3 yy;
    Vec3Copy(yy, y);
    if (apply) {
        Vec4 h;
        Vec3To4(h, y);
        Mat4VecMult(h, M);
        Vec4To3(yy, h);
    }
    const double d0 = yy[0] - x[0], d1 = yy[1] - x[1], d2 = yy[2] - x[2];
    return d0 * d0 + d1 * d1 + d2 * d2;
}

double calcRmsd(const Vec3* X, int n, const Vec3* Y, const Mat4 M, bool apply) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += calcSqrDist(X[i], Y[i], M, apply);
    return sqrt(sum / n);  // n = 0 gives 0/0: not a number
}

void randomOrtho(const Vec3 v, Vec3 out) {
    // The first non-zero component of v (x, then y, then z) is solved for; the other two
    // are drawn. For the zero vector every vector is orthogonal: x and y are drawn and
    // z is 0.
    int k = 2;
    if (v[0] != 0.0)
        k = 0;
    else if (v[1] != 0.0)
        k = 1;
    double sum = 0.0;
    for (int i = 0; i < 3; ++i) {
        if (i == k) continue;
        out[i] = uniformPlusMinusOne();
        sum += out[i] * v[i];
    }
    out[k] = (v[k] != 0.0) ? -sum / v[k] : 0.0;
}

// Polar method; only the first deviate of each accepted pair is used, and values
// outside [-10, 10] are drawn again.
double getNextGaussian() {
    double g = 9999.0;
    while (g < -10.0 || g > 10.0) {
        double u1, u2, s;
        do {
            u1 = 2.0 * rand() / kRandMax - 1.0;
            u2 = 2.0 * rand() / kRandMax - 1.0;
            s = u1 * u1 + u2 * u2;
        } while (s >= 1.0 || s == 0.0);
        g = u1 * sqrt(-2.0 * log(s) / s);
    }
    return g;
}
