// Small fixed-size vectors and matrices of doubles, rotations and superposition.
// Conventions: row vectors (v := v*M); Mat3Mult/Mat4Mult(A, B) set A := B*A;
// rotation builders take degrees; Vec4 is homogeneous (x, y, z, w) -> (x/w, y/w, z/w);
// in a Mat4 the translation sits in row 3.
#pragma once

#include <map>

typedef double Vec3[3];
typedef double Vec4[4];
typedef double Mat3[3][3];
typedef double Mat4[4][4];

// ---- vectors (in place on the first argument unless a result is returned) ----
void Vec3Zero(Vec3 v);
void Vec4Zero(Vec4 v);                       // (0, 0, 0, 1)
int IsVec3Zero(const Vec3 v);
void Vec3Copy(Vec3 dst, const Vec3 src);
void Vec3Copy(Vec3 dst, std::map<int, double>& m);  // missing keys are inserted as 0
void Vec4Copy(Vec4 dst, const Vec4 src);
void Vec3To4(Vec4 dst, const Vec3 src);
void Vec4To3(Vec3 dst, const Vec4 src);
double Vec3Abs(const Vec3 v);
double Vec3DiffAbs(const Vec3 a, const Vec3 b);
double Vec4Abs(const Vec4 v);
double Vec4DiffAbs(const Vec4 a, const Vec4 b);
void Vec3Norm(Vec3 v);
void Vec4Norm(Vec4 v);
void Vec3Scale(Vec3 v, double s);
void Vec4Scale(Vec4 v, double s);
void Vec3Add(Vec3 a, const Vec3 b);
void Vec3ScaleAdd(Vec3 a, double s, const Vec3 b);
void Vec3Sub(Vec3 a, const Vec3 b);
void Vec3ScaleSub(Vec3 a, double s, const Vec3 b);
void Vec4Add(Vec4 a, const Vec4 b);
void Vec4ScaleAdd(Vec4 a, double s, const Vec4 b);
void Vec4Sub(Vec4 a, const Vec4 b);
void Vec4ScaleSub(Vec4 a, double s, const Vec4 b);
double Vec3Scalar(const Vec3 a, const Vec3 b);
double Vec4Scalar(const Vec4 a, const Vec4 b);
void Vec3Cross(Vec3 a, const Vec3 b);
void Vec4Cross(Vec4 a, const Vec4 b);

// ---- matrices ----
void Mat3Ident(Mat3 M);
void Mat4Ident(Mat4 M);
void Mat3Copy(Mat3 dst, const Mat3 src);
void Mat4Copy(Mat4 dst, const Mat4 src);
void Mat3To4(Mat4 dst, const Mat3 src);
void Mat4To3(Mat3 dst, const Mat4 src);
void Mat3Mult(Mat3 A, const Mat3 B);         // A := B*A
void Mat4Mult(Mat4 A, const Mat4 B);         // A := B*A
void Mat3VecMult(Vec3 v, const Mat3 M);      // v := v*M
void Mat4VecMult(Vec4 v, const Mat4 M);      // v := v*M
void Mat3Transp(Mat3 M);
void Mat4Transp(Mat4 M);
void Mat3Ortho(Mat3 M);
void Mat4Ortho(Mat4 M);
void Mat3Inv(Mat3 M);

// ---- geometry and rotations ----
double calcAngle(const Vec3 o, const Vec3 a, const Vec3 b);             // degrees
void Vec3Rot(Vec3 v, const Vec3 k, double thetaDeg);
void RotVec3Rodrigues(Vec3 v, double thetaDeg, const Vec3 k);
void m4AppendRotation(Mat4 M, double ax, double ay, double az);         // M := Rz*Ry*Rx*M
void m4AppendRotationZYX(Mat4 M, double ax, double ay, double az);      // M := Rx*Ry*Rz*M
void Mat3GetAng(const Mat3 M, double& a, double& b, double& c);          // radians
void Mat4GetAng(const Mat4 M, double& a, double& b, double& c);          // radians
void calcBaseTransf(Mat3 M, const Vec3 a, const Vec3 b, const Vec3 c);
double calcDihAngle(const Vec3 a, const Vec3 b, const Vec3 c, const Vec3 d);  // radians
void DhRotMatCalc(Mat4 M, Mat4 Minv, const Vec3 a, const Vec3 b, const Vec3 c, const Vec3 d,
                  double theta);                                         // Minv may be null
void DhTransfVec(Vec3 v, const Vec3 o, const Mat4 M, const Vec3 t);
void MapCoord(const Vec3* X, int n, const Vec3* Y, bool center, Mat4 M);
double calcSqrDist(const Vec3 x, const Vec3 y, const Mat4 M, bool apply);
double calcRmsd(const Vec3* X, int n, const Vec3* Y, const Mat4 M, bool apply);
void randomOrtho(const Vec3 v, Vec3 out);
double getNextGaussian();
