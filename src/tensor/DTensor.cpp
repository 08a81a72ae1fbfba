// The alignment tensor record: defaults, conversions between the Saupe vector and the principal
// frame (Da, Dr, Euler angles), and the tensor text block of the result headers.
#include "tensor/DTensor.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <utility>
#include <vector>

#include "common/Constants.h"

DTensor::DTensor() {
    isRCSA = false;
    initTensor(1);
}

void DTensor::initTensor(int full) {
    if (full == 1) {
        daRef = drRef = rhRef = 0;
        psiRef = thetaRef = phiRef = 0;
        psiRel = thetaRel = phiRel = 0;
        psiOff = thetaOff = phiOff = 0;
        psiAdd = thetaAdd = phiAdd = 0;
        rotRefFlag = 0;
        daScaleFlag = 1;
        dcRMS = 0;
        fc = 1.0;
    }
    da = -0.00070097;
    daMin = -0.01;
    daMax = 0.01;
    dr = -0.000327;
    drMin = -0.01;
    drMax = 0.01;
    rh = 0.466;
    rhMin = 0.0;
    rhMax = 2.0 / 3.0;
    gridStep = 5.0;
    psi = 0;
    psiMin = -180;
    psiMax = 180;
    theta = 0;
    thetaMin = -180;
    thetaMax = 180;
    phi = 0;
    phiMin = -180;
    phiMax = 180;
    saupe.fill(0);
    dSaupe.fill(0);
    Saupe_jk.fill(0);
    dSaupe_jk.fill(0);
    Tensor10_jk.fill(0);
    dTensor10_jk.fill(0);
    eulerFlag = 1;
    eulerCount = 0;
    tensorMode = 1;
    autoFlag = autoSignFlag = rhFlag = 0;
    bestIter = 0;
    fitFlag_JK = 1;
    saItStep1 = 100;
    saItStep2 = 1000;
    saItStep3 = 1000;
    saFitFlag = 0;
    saTryCount = 10;
    saPowellFlag = 1;
    Mat4Ident(m);
    byRes = true;
    beta_H = 8.0;
    beta_N = 16.0;
    beta_C = 38.0;
    const double h[3] = {-5.8, 0.0, 5.8}, n[3] = {-108.5, 45.7, 62.8}, c[3] = {-75.0, -12.0, 87.0};
    for (int i = 0; i < 3; i++) {
        H_dii[i] = h[i];
        N_dii[i] = n[i];
        C_dii[i] = c[i];
    }
    first_time = false;
    allowTinyDD = false;
}

bool DTensor::eulerNEQ(double a, double b) const { return std::fabs(a - b) > 0.0005; }

double DTensor::adj180(double a) {
    while (a > 180.0) a -= 360.0;
    while (a < -180.0) a += 360.0;
    return a;
}

// ---------------------------------------------------------------------------------------------
// Conversions between the Saupe vector and the principal frame, and the tensor text block.
// Euler convention: R = Rz(phi)*Ry(theta)*Rx(psi) (standard right-handed matrices), the tensor
// being S = R^T * diag(S_X, S_Y, S_Z) * R, so row k of R is the principal axis of element k.
// ---------------------------------------------------------------------------------------------

namespace {

using orvex::kPi;
using orvex::kRadToDeg;

constexpr double kEulerTol = 0.0005;   // per-element tolerance of eulerTest
constexpr double kGimbalCos = 0.005;   // |cos(theta)| at or below this: gimbal branch, phi := 0

// asin/acos arguments computed as ratios can leave [-1, 1] by a rounding step.
double clampUnit(double x) {
    if (x > 1.0) return 1.0;
    if (x < -1.0) return -1.0;
    return x;
}

// printf-style append used by the report; every format string is a literal at the call site.
__attribute__((format(printf, 2, 3))) void appendf(std::string& out, const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n >= 0 && static_cast<size_t>(n) < sizeof buf) {
        out.append(buf, static_cast<size_t>(n));
    } else if (n >= 0) {
        std::vector<char> big(static_cast<size_t>(n) + 1);
        vsnprintf(big.data(), big.size(), fmt, ap2);
        out.append(big.data(), static_cast<size_t>(n));
    }
    va_end(ap2);
}

// The angle in [-180, 180]; a value that is not finite is returned as it is.
double wrapDeg(double a) { return std::isfinite(a) ? DTensor::adj180(a) : a; }

}  // namespace

void DTensor::principalFrame(Mat4 M) const {
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) M[i][j] = vv[j][i];
}

int DTensor::saupe2euler() {
    for (int i = 0; i < 8; i++) psiList[i] = thetaList[i] = phiList[i] = 0;
    if (!saupe2principal()) return 0;
    Mat3 R;
    Mat4To3(R, vv);
    return rot2euler(R);
}

bool DTensor::saupe2principal() {
    da = 0;
    dr = 0;

    // Full symmetric matrix from the five elements and tracelessness.
    Mat3 S;
    if (isRCSA) {   // (Syy, Szz, Sxy, Sxz, Syz)
        S[0][0] = -saupe[0] - saupe[1];
        S[1][1] = saupe[0];
        S[2][2] = saupe[1];
    } else {        // (Szz, Sxx-Syy, Sxy, Sxz, Syz)
        S[0][0] = -(saupe[0] - saupe[1]) / 2.0;
        S[1][1] = -(saupe[0] + saupe[1]) / 2.0;
        S[2][2] = saupe[0];
    }
    S[0][1] = S[1][0] = saupe[2];
    S[0][2] = S[2][0] = saupe[3];
    S[1][2] = S[2][1] = saupe[4];

    if (diag3By3(S) != 0) return false;

    for (int k = 0; k < 3; k++) {
        eigVal[k] = dd[k];
        sXYZ[k] = dd[k];
        for (int j = 0; j < 3; j++) m[k][j] = vv[k][j];
    }
    eigsrt3By3NegRevTP();
    // "+ 0.0" turns the negative zeros of a zero tensor (from -(0 - 0)/2) into plain zeros
    for (int k = 0; k < 3; k++) sXYZ[k] += 0.0;

    dr = (sXYZ[0] - sXYZ[1]) / 3.0 + 0.0;
    da = (sXYZ[2] - (sXYZ[0] + sXYZ[1]) / 2.0) / 3.0 + 0.0;
    return true;
}

// Cyclic Jacobi rotations on a symmetric 3x3 matrix. Each rotation annihilates a_pq with
// t = tan(angle) chosen as the smaller root; diagonal changes are summed separately in z and
// folded into the sweep-start diagonal at the end of each sweep to limit rounding.
int DTensor::diag3By3(const Mat3 A) {
    double a[3][3] = {};
    for (int i = 0; i < 3; i++)
        for (int j = i; j < 3; j++) a[i][j] = A[i][j];   // upper triangle only

    Mat4Ident(vv);
    double b[3], z[3];
    for (int i = 0; i < 3; i++) {
        b[i] = dd[i] = a[i][i];
        z[i] = 0.0;
    }
    dd[3] = 0.0;

    static const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
    for (int sweep = 1; sweep <= 50; sweep++) {
        double sm = std::fabs(a[0][1]) + std::fabs(a[0][2]) + std::fabs(a[1][2]);
        if (sm == 0.0) return 0;
        // rotate only elements above 0.2*sm/n^2 during the first three sweeps
        double thresh = (sweep < 4) ? 0.2 * sm / 9.0 : 0.0;

        for (const auto& pq : pairs) {
            const int p = pq[0], q = pq[1];
            const int r = 3 - p - q;   // the third index
            double g = 100.0 * std::fabs(a[p][q]);
            // after sweep 4, an element negligible beside both diagonal entries is dropped
            if (sweep > 4 && std::fabs(dd[p]) + g == std::fabs(dd[p]) &&
                std::fabs(dd[q]) + g == std::fabs(dd[q])) {
                a[p][q] = 0.0;
                continue;
            }
            if (!(std::fabs(a[p][q]) > thresh)) continue;

            double h = dd[q] - dd[p];
            double t;
            if (std::fabs(h) + g == std::fabs(h)) {
                t = a[p][q] / h;
            } else {
                double th = 0.5 * h / a[p][q];
                t = 1.0 / (std::fabs(th) + std::sqrt(1.0 + th * th));
                if (th < 0.0) t = -t;
            }
            double c = 1.0 / std::sqrt(1.0 + t * t);
            double sn = t * c;
            double tu = sn / (1.0 + c);
            h = t * a[p][q];
            z[p] -= h;
            z[q] += h;
            dd[p] -= h;
            dd[q] += h;
            a[p][q] = 0.0;

            // the two remaining off-diagonal elements that involve p or q
            double& x = (r < p) ? a[r][p] : a[p][r];
            double& y = (r < q) ? a[r][q] : a[q][r];
            double gx = x, hy = y;
            x = gx - sn * (hy + gx * tu);
            y = hy + sn * (gx - hy * tu);

            for (int j = 0; j < 3; j++) {
                double vp = vv[j][p], vq = vv[j][q];
                vv[j][p] = vp - sn * (vq + vp * tu);
                vv[j][q] = vq + sn * (vp - vq * tu);
            }
        }
        // The running diagonal already holds the changes of this sweep; recompute it from the
        // sweep-start values plus the summed changes (adding z to it again would count them twice).
        for (int i = 0; i < 3; i++) {
            b[i] += z[i];
            dd[i] = b[i];
            z[i] = 0.0;
        }
    }
    return 1;
}

// Ascending |value| by three compare-exchanges; ties exchange too. The column moving into the
// lower place is negated so that the determinant of vv stays what it was.
int DTensor::eigsrt3By3NegRevTP() {
    static const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
    for (const auto& ij : pairs) {
        const int i = ij[0], j = ij[1];
        if (std::fabs(sXYZ[i]) >= std::fabs(sXYZ[j])) {
            double tmp = sXYZ[i];
            sXYZ[i] = sXYZ[j];
            sXYZ[j] = tmp;
            for (int k = 0; k < 3; k++) {
                double ci = vv[k][i];
                vv[k][i] = -vv[k][j];
                vv[k][j] = ci;
            }
        }
    }
    for (int i = 0; i < 3; i++)
        for (int j = i + 1; j < 3; j++) {
            double tmp = vv[i][j];
            vv[i][j] = vv[j][i];
            vv[j][i] = tmp;
        }
    return 0;
}

// R[2][0] = -sin(theta), R[2][1] = cos(theta)sin(psi), R[2][2] = cos(theta)cos(psi),
// R[1][0] = cos(theta)sin(phi), R[0][0] = cos(theta)cos(phi).
int DTensor::rot2euler(const Mat3 R) {
    for (int i = 0; i < 8; i++) psiList[i] = thetaList[i] = phiList[i] = 0;

    int n = 0;
    const double theta1 = -std::asin(clampUnit(R[2][0]));
    const double thetas[2] = {theta1, kPi - theta1};
    for (int branch = 0; branch < 2; branch++) {
        const double th = thetas[branch];
        const double ct = std::cos(th);
        if (std::fabs(ct) > kGimbalCos) {
            const double psiA = std::asin(clampUnit(R[2][1] / ct)), psiB = kPi - psiA;
            const double phiA = std::asin(clampUnit(R[1][0] / ct)), phiB = kPi - phiA;
            const double cand[4][2] = {{psiA, phiA}, {psiB, phiA}, {psiA, phiB}, {psiB, phiB}};
            for (int k = 0; k < 4; k++) {
                if (eulerTest(R, cand[k][0], th, cand[k][1], 4 * branch + k + 1)) {
                    psiList[n] = cand[k][0];
                    thetaList[n] = th;
                    phiList[n] = cand[k][1];
                    n++;
                }
            }
        } else {
            // Gimbal lock: with theta = +-90 only psi -/+ phi is defined; phi is set to 0 and
            // R = Ry(theta)*Rx(psi), whose row 1 is (0, cos psi, -sin psi). Taken from that row,
            // psi carries its sign for either theta (acos of R[0][2] cannot give it).
            psiList[n] = std::atan2(-R[1][2], R[1][1]);
            thetaList[n] = th;
            phiList[n] = 0.0;
            n++;
        }
    }
    if (n == 0) n = rot2euler1(R, 0);

    for (int i = 0; i < n; i++) {
        psiList[i] = wrapDeg(psiList[i] * kRadToDeg);
        thetaList[i] = wrapDeg(thetaList[i] * kRadToDeg);
        phiList[i] = wrapDeg(phiList[i] * kRadToDeg);
    }

    // stable insertion sort by psi^2 + theta^2 + phi^2; equal sums keep their order
    auto key = [this](int i) {
        return psiList[i] * psiList[i] + thetaList[i] * thetaList[i] + phiList[i] * phiList[i];
    };
    for (int i = 1; i < n; i++) {
        for (int j = i; j > 0 && key(j - 1) > key(j); j--) {
            std::swap(psiList[j - 1], psiList[j]);
            std::swap(thetaList[j - 1], thetaList[j]);
            std::swap(phiList[j - 1], phiList[j]);
        }
    }
    return n;
}

int DTensor::rot2euler1(const Mat3 R, int i) {
    if (i < 0 || i >= 8) return 1;
    const double th = -std::asin(clampUnit(R[2][0]));
    const double ct = std::cos(th);
    thetaList[i] = th;
    if (std::fabs(ct) > kGimbalCos) {
        psiList[i] = std::atan2(R[2][1] / ct, R[2][2] / ct);
        phiList[i] = std::atan2(R[1][0] / ct, R[0][0] / ct);
    } else {
        psiList[i] = 0.0;
        phiList[i] = -std::atan2(R[0][1], R[1][1]);
    }
    return 1;
}

// A difference that is not a number fails the test too.
bool DTensor::eulerTest(const Mat3 R, double psiR, double thetaR, double phiR, int) const {
    const double cps = std::cos(psiR), sps = std::sin(psiR);
    const double cth = std::cos(thetaR), sth = std::sin(thetaR);
    const double cph = std::cos(phiR), sph = std::sin(phiR);
    const double expect[6] = {
        cph * cth,                          // R[0][0]
        cph * sps * sth - sph * cps,        // R[0][1]
        cph * sth * cps + sph * sps,        // R[0][2]
        sps * sth * sph + cph * cps,        // R[1][1]
        sph * sth * cps - cph * sps,        // R[1][2]
        cth * cps,                          // R[2][2]
    };
    const double got[6] = {R[0][0], R[0][1], R[0][2], R[1][1], R[1][2], R[2][2]};
    for (int k = 0; k < 6; k++)
        if (!(std::fabs(got[k] - expect[k]) <= kEulerTol)) return false;
    return true;
}

int DTensor::euler2saupe2() {
    sXYZ[0] = -da + 1.5 * dr;
    sXYZ[1] = -da - 1.5 * dr;
    sXYZ[2] = 2.0 * da;

    Mat4 R;
    Mat4Ident(R);
    m4AppendRotation(R, psi, theta, phi);   // Rz(phi)*Ry(theta)*Rx(psi)
    Mat4 D;
    Mat4Ident(D);
    for (int k = 0; k < 3; k++) D[k][k] = sXYZ[k];
    Mat4 Rt;
    Mat4Copy(Rt, R);
    Mat4Transp(Rt);
    Mat4 T;
    Mat4Copy(T, R);
    Mat4Mult(T, D);    // T = D*R
    Mat4Mult(T, Rt);   // T = R^T*D*R

    // The vector is written in the order the record uses (RCSA order when isRCSA is set), so
    // that saupe2euler reads back the same tensor.
    if (isRCSA) {
        saupe[0] = T[1][1];
        saupe[1] = T[2][2];
    } else {
        saupe[0] = T[2][2];
        saupe[1] = T[0][0] - T[1][1];
    }
    saupe[2] = T[0][1];
    saupe[3] = T[0][2];
    saupe[4] = T[1][2];
    return 0;
}

// Principal values from the semi-axis lengths sqrt(lambda) of the gyration tensor with
// r = (b - c)/(a - c) for a >= b >= c: (1 - r/2, r - 1/2, -1/2 - r/2) * scale for the axes of
// a, b and c; a rod (r = 0) aligns along its long axis, a disc (r = 1) has its short axis unique.
int DTensor::pdbGyratioTensor2saupe(const Mat3 G, double scale) {
    if (diag3By3(G) != 0) return 0;
    for (int k = 0; k < 3; k++) eigVal[k] = dd[k];

    // The eigenvalues are ranked here (largest first) rather than taken in the order the
    // diagonalisation returns them: r only means something for ordered axes, and ranking keeps
    // the predicted tensor independent of how the molecule is oriented in its file (in return
    // order a rod along y would divide by zero).
    int ia = 0, ib = 1, ic = 2;
    if (eigVal[ia] < eigVal[ib]) std::swap(ia, ib);
    if (eigVal[ia] < eigVal[ic]) std::swap(ia, ic);
    if (eigVal[ib] < eigVal[ic]) std::swap(ib, ic);
    const double la = std::sqrt(std::max(eigVal[ia], 0.0));
    const double lb = std::sqrt(std::max(eigVal[ib], 0.0));
    const double lc = std::sqrt(std::max(eigVal[ic], 0.0));

    for (int k = 0; k < 3; k++)
        for (int j = 0; j < 3; j++) m[k][j] = vv[k][j];
    if (la - lc > 0.0) {
        const double r = (lb - lc) / (la - lc);
        sXYZ[ia] = (1.0 - r / 2.0) * scale;
        sXYZ[ib] = (r - 0.5) * scale;
        sXYZ[ic] = (-0.5 - r / 2.0) * scale;
    } else {
        // an isotropic shape predicts no alignment
        sXYZ[0] = sXYZ[1] = sXYZ[2] = 0.0;
    }

    eigsrt3By3NegRevTP();
    dr = (sXYZ[0] - sXYZ[1]) / 3.0;
    da = (sXYZ[2] - (sXYZ[0] + sXYZ[1]) / 2.0) / 3.0;

    Mat3 R;
    Mat4To3(R, vv);
    const int n = rot2euler(R);
    if (n < 1) return n;
    psi = psiList[0];
    theta = thetaList[0];
    phi = phiList[0];
    euler2saupe2();
    return n;
}

// Axes from C(i-1) = a, N(i) = b, H(i) = c: u = unit(b - a), w = unit(b - c), n = unit(u x w);
// the in-plane axes are turned about n by the tensor angle beta of the nucleus.
void DTensor::calc_RCSA_Tensor_axis(const Vec3 a, const Vec3 b, const Vec3 c, Vec3 out1, Vec3 out2,
                                    Vec3 out3, int type) {
    if (type < 1 || type > 3) return;
    Vec3 u, w, n, t;
    Vec3Copy(u, b);
    Vec3Sub(u, a);
    Vec3Norm(u);
    Vec3Copy(w, b);
    Vec3Sub(w, c);
    Vec3Norm(w);
    Vec3Copy(n, u);
    Vec3Cross(n, w);
    Vec3Norm(n);

    if (type == 1) {   // H
        Vec3Copy(t, w);
        RotVec3Rodrigues(t, beta_H, n);
        Vec3Copy(out1, n);
        Vec3Copy(out2, t);
        RotVec3Rodrigues(out2, -90.0, n);
        Vec3Copy(out3, t);
    } else if (type == 2) {   // N
        Vec3Copy(t, w);
        RotVec3Rodrigues(t, beta_N, n);
        Vec3Copy(out1, t);
        Vec3Copy(out2, n);
        Vec3Copy(out3, t);
        RotVec3Rodrigues(out3, 90.0, n);
    } else {   // C
        Vec3Copy(t, u);
        Vec3Scale(t, -1.0);
        RotVec3Rodrigues(t, -beta_C, n);
        Vec3Copy(out1, t);
        Vec3Copy(out2, t);
        RotVec3Rodrigues(out2, 90.0, n);
        Vec3Copy(out3, n);
    }
}

std::string DTensor::reportTensor(int) {
    std::string out;
    appendf(out, "#                   Szz      Sxx-Syy         Sxy         Sxz         Syz\n");
    appendf(out, "DATA SAUPE   % .4e % .4e % .4e % .4e % .4e\n", saupe[0], saupe[1], saupe[2], saupe[3],
            saupe[4]);
    appendf(out, "# Uncertainty of SAUPE components from 'JackKnifed' procedure\n");
    appendf(out, "DATA SAUPE_σ % .4e % .4e % .4e % .4e % .4e\n", dSaupe_jk[0], dSaupe_jk[1], dSaupe_jk[2],
            dSaupe_jk[3], dSaupe_jk[4]);
    if (isRCSA) appendf(out, "# SAUPE TENSOR components in an order of: Syy, Szz, Sxy, Sxz, Syz\n\n");
    appendf(out, "DATA S_XYZ   % .4e % .4e % .4e\n\n", sXYZ[0], sXYZ[1], sXYZ[2]);

    if (!isRCSA && tensorMode != 10) {
        // scaled so that Da becomes 10; a zero tensor prints zeros rather than 0/0
        const double d = sXYZ[2] / 20.0;
        double t10[5] = {0, 0, 0, 0, 0};
        if (d != 0.0) {
            t10[0] = saupe[0] / d;
            t10[1] = (saupe[1] / d) / orvex::kSqrt3;
            t10[2] = 2.0 * (saupe[2] / d) / orvex::kSqrt3;
            t10[3] = 2.0 * (saupe[3] / d) / orvex::kSqrt3;
            t10[4] = 2.0 * (saupe[4] / d) / orvex::kSqrt3;
        }
        appendf(out, "# Normalized TENSOR components (to Da of 10 Hz) in an order of:\n");
        appendf(out, "#                       Szz A(Sxx-Syy)    2*A*Sxy    2*A*Sxz    2*A*Syz  where A=1/√3\n");
        appendf(out, "DATA TENSOR_10Hz %10.3f %10.3f %10.3f %10.3f %10.3f\n", t10[0], t10[1], t10[2], t10[3],
                t10[4]);
        appendf(out, "# Overall uncertainty ε(TENSOR) = √(N_JK) * RMS[{1-P(TENSOR_JK, <TENSOR>)}]\n");
        appendf(out, "DATA TENSOR_ε   %.4e [%.3f deg] \n\n", saupe_epsilon,
                180.0 * std::acos(1.0 - saupe_epsilon) / orvex::kPi);
    }

    if (rotRefFlag == 1) {
        appendf(out, "DATA EULER_REFERENCE % 7.2f % 7.2f % 7.2f\n", psiRef, thetaRef, phiRef);
        appendf(out, "DATA EULER_RELATIVE  % 7.2f % 7.2f % 7.2f\n\n", wrapDeg(psiRel), wrapDeg(thetaRel),
                wrapDeg(phiRel));
    }

    appendf(out, "# Euler angles (psi/theta/phi) for rotation about x, y, z\n");
    appendf(out, "DATA EULER_SOLUTIONS\t  %d\n", eulerCount);
    const int shown = std::min(std::max(eulerCount, 0), 8);   // the lists hold 8 entries
    for (int i = 0; i < shown; i++)
        appendf(out, "DATA EULER_ANGLES      % 7.2f % 7.2f % 7.2f\n", psiList[i], thetaList[i], phiList[i]);

    if (eulerCount > 0) {
        Mat4 M;
        Mat4Ident(M);
        m4AppendRotation(M, psiList[0], thetaList[0], phiList[0]);
        for (int r = 1; r <= 3; r++)   // no line end after these three lines
            appendf(out, "\nDATA ROTATION_MATRIX %d % 9.6f % 9.6f % 9.6f", r, M[r - 1][0], M[r - 1][1],
                    M[r - 1][2]);
        Mat4To3(mRot, M);
    }

    const double gMag = std::sqrt(8.0 * da * da + 6.0 * dr * dr);
    appendf(out, "\n\nDATA Da % e\n", da);
    appendf(out, "DATA Dr % e\n", dr);
    appendf(out, "\nDATA GMag  % e\n\n", gMag);
    if (isRCSA)
        appendf(out, "DATA Da_HN_RDC\t % 8.3f\n", orvex::kDmaxNHAbs * da);
    else
        appendf(out, "DATA Da_HN\t  % 8.3f  +/-  % 8.3f\n", orvex::kDmaxNHAbs * da,
                orvex::kDmaxNHAbs * da_jk_stdev);
    const double rhOut = (da == 0.0) ? 0.0 : dr / da;
    appendf(out, "DATA Rhombicity   % 8.3f  +/-  % 8.3f\n\n", rhOut, rh_jk_stdev);
    return out;
}
