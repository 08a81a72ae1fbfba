// The tensor fit's evaluation: parameters into the tensor, the tensor's rotation, and every
// coupling back-calculated from its stored unit vectors in the principal frame.
#include "fit/FitArgs.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "common/Fail.h"

namespace {

// Couplings to three equivalent atoms (a methyl carbon and its three protons) are scaled so.
constexpr double kThreeAtomEndScale = 0.927321;

// The scale of a coupling: 0.927321 when its ends hold one and three atoms, whose counts multiply
// to 3. Reading adopted: a coupling keeps one count per atom pair on both ends (the two counts are
// equal), so a methyl built on its idealised protons (one carbon and three protons per conformer)
// is recognised by its pairs instead; the literal product of the two counts is kept as well.
double couplingScale(const DipolarCouplingData& dc) {
    const bool threeProtons = dc.isMethyl && !dc.isMethylCC && dc.atomICount % 3 == 0;
    return dc.atomICount * dc.atomJCount == 3 || threeProtons ? kThreeAtomEndScale : 1.0;
}

// Wraps an angle once: above 180 by -360, below -180 by +360.
double wrapOnce(double a) {
    if (a > 180) return a - 360;
    if (a < -180) return a + 360;
    return a;
}

bool allZero(double a, double b, double c) { return a == 0 && b == 0 && c == 0; }

}  // namespace

FitArgs::FitArgs(int cCnt_, int xcCnt_) : xcCnt(xcCnt_), cCnt(cCnt_), dResidual(kMaxResiduals, 0.0) {
    if (cCnt < 1 || xcCnt < 1) fail(-1, "Error: number of param or data can't be zero!\n");
}

void FitArgs::bind(std::vector<DTensor>& tensors, std::vector<DipolarCouplingData>& couplings,
                   std::vector<std::vector<DipolarCouplingData>>& lists) {
    dTensors = &tensors;
    dcList = &couplings;
    dcLists = &lists;
    readCouplings();
}

void FitArgs::readCouplings() {
    waveRead_ = false;
    used_.clear();
    ux_.clear();
    uy_.clear();
    uz_.clear();
    absDI_.clear();
    scaled_.clear();
    atomless_.clear();
    if (dcList == nullptr) return;
    for (size_t i = 0; i < dcList->size(); i++) {
        const DipolarCouplingData& dc = (*dcList)[i];
        if (!dc.valid || !dc.selected) continue;
        if (dc.atomICount * dc.atomJCount == 0) {
            atomless_.push_back(static_cast<int>(i));
            continue;
        }
        // One unit vector per pair (a coupling built from a structure holds atomICount of them).
        // The DI is the one in use (diCalc): the table's DI is 0 when it comes from the structure.
        const int pairs = std::min(dc.atomICount, static_cast<int>(dc.vi.size()));
        const double scale = couplingScale(dc);
        used_.push_back({static_cast<int>(i), static_cast<int>(ux_.size()), pairs, dc.d, dc.wCalc});
        for (int j = 0; j < pairs; j++) {
            // a term times 1 and divided by 1 is the term itself: only other pairs are scaled
            if (scale != 1.0 || dc.atomICount != 1)
                scaled_.push_back({static_cast<int>(ux_.size()), scale, static_cast<double>(dc.atomICount)});
            ux_.push_back(dc.vi[j][0]);
            uy_.push_back(dc.vi[j][1]);
            uz_.push_back(dc.vi[j][2]);
            absDI_.push_back(std::fabs(dc.diCalc));
        }
    }
    if (static_cast<int>(used_.size()) > kMaxResiduals)
        fail(-1, "Error: " + std::to_string(used_.size()) + " couplings enter the nonlinear fit, more than its " +
                     std::to_string(kMaxResiduals) + "; select fewer (-select)\n");
    term_.assign(ux_.size(), 0.0);
    calc_.assign(used_.size(), 0.0);
}

int FitArgs::extractTensor(double* param, int n) {
    DTensor& t = dTensors->front();
    auto angle = [&](double& field, double lo, double hi) {
        if (lo == hi) return;
        param[n] = field = wrapOnce(param[n]);
        n++;
    };
    angle(t.psi, t.psiMin, t.psiMax);
    angle(t.theta, t.thetaMin, t.thetaMax);
    angle(t.phi, t.phiMin, t.phiMax);

    int daAt = -1, rAt = -1;
    if (t.daMin != t.daMax) {
        double v = param[n];
        if (v > t.daMax) v = t.daMax;
        if (v < t.daMin) v = t.daMin;
        param[n] = t.da = v;
        daAt = n++;
    }
    if (t.rhFlag == 1) {
        if (t.rhMin != t.rhMax) {
            t.rh = param[n];
            rAt = n++;
        }
        // Dr follows Rh*Da also when only Da moves, so that a pinned Rh stays pinned
        t.dr = t.rh * t.da;
    } else if (t.drMin != t.drMax) {
        t.dr = param[n];
        rAt = n++;
    }

    // the sign of Dr follows Da
    if (t.da >= 0) {
        if (t.dr < 0) t.dr = -t.dr;
    } else if (t.dr >= 0) {
        t.dr = -t.dr;
    }
    if (t.da == 0) return n;

    if (std::fabs(t.dr) > std::fabs(2 * t.da / 3)) {
        // |Dr| beyond 2|Da|/3: the principal values are relabelled
        relabelPrincipalValues(t.da, t.dr);
        t.rh = t.dr / t.da;
        if (daAt >= 0) param[daAt] = t.da;
        if (rAt >= 0) param[rAt] = t.rhFlag == 1 ? t.rh : t.dr;
    }
    return n;
}

void FitArgs::relabelPrincipalValues(double& da, double& dr) {
    const double p[3] = {2 * da, 1.5 * dr - da, -1.5 * dr - da};
    int zz = 0;
    for (int i = 1; i < 3; i++)
        if (std::fabs(p[i]) > std::fabs(p[zz])) zz = i;
    const int a = zz == 0 ? 1 : 0, b = zz == 2 ? 1 : 2;
    const int xx = std::fabs(p[b]) < std::fabs(p[a]) ? b : a, yy = xx == a ? b : a;
    da = p[zz] / 2;
    dr = (p[xx] - p[yy]) / 3;
}

int FitArgs::applyDCRot(int k) {
    DTensor& t = (*dTensors)[k];
    Mat4 M;
    Mat4Ident(M);
    if (!allZero(t.psiOff, t.thetaOff, t.phiOff)) m4AppendRotation(M, t.psiOff, t.thetaOff, t.phiOff);
    if (k > 0) {
        // a further tensor: its orientation taken back through the reference frame
        m4AppendRotation(M, t.psi, t.theta, t.phi);
        m4AppendRotation(M, 0, 0, -t.phiRef);
        m4AppendRotation(M, 0, -t.thetaRef, 0);
        m4AppendRotation(M, -t.psiRef, 0, 0);
        m4AppendRotation(M, t.psiRef, t.thetaRef, t.phiRef);
    }
    if (!allZero(t.psi, t.theta, t.phi)) m4AppendRotation(M, t.psi, t.theta, t.phi);
    if (!allZero(t.psiAdd, t.thetaAdd, t.phiAdd)) m4AppendRotation(M, t.psiAdd, t.thetaAdd, t.phiAdd);
    Mat4Copy(t.m, M);
    return pdb3dCoordTransformNcalcDC(M);
}

// dCalc of every used coupling under mapM into calc_: each unit vector v is taken into the
// principal frame as the row vector v * mapM^T, normalised to (x, y, z), and contributes
// [1.5 Dr (x^2 - y^2) + Da (3 z^2 - 1)] |DI| scale / atomICount, in this order of operations.
// The pairs are evaluated in one pass over contiguous arrays (the hot loop of the grid search),
// then summed per coupling in pair order from 0.
void FitArgs::calculate(const Mat4 mapM) {
    const DTensor& t = dTensors->front();
    const double Da = t.da, Dr = t.dr;
    const double r00 = mapM[0][0], r01 = mapM[0][1], r02 = mapM[0][2];
    const double r10 = mapM[1][0], r11 = mapM[1][1], r12 = mapM[1][2];
    const double r20 = mapM[2][0], r21 = mapM[2][1], r22 = mapM[2][2];
    const double* __restrict ux = ux_.data();
    const double* __restrict uy = uy_.data();
    const double* __restrict uz = uz_.data();
    const double* __restrict di = absDI_.data();
    double* __restrict term = term_.data();
    const int pairs = static_cast<int>(term_.size());
    for (int j = 0; j < pairs; j++) {
        const double v0 = ux[j], v1 = uy[j], v2 = uz[j];
        double x = v0 * r00 + v1 * r01 + v2 * r02;
        double y = v0 * r10 + v1 * r11 + v2 * r12;
        double z = v0 * r20 + v1 * r21 + v2 * r22;
        const double len = std::sqrt(x * x + y * y + z * z);
        x /= len;
        y /= len;
        z /= len;
        term[j] = (1.5 * Dr * (x * x - y * y) + Da * (3 * z * z - 1)) * di[j];
    }
    for (const ScaledPair& p : scaled_) term[p.pair] = term[p.pair] * p.scale / p.atomICount;
    for (size_t c = 0; c < used_.size(); c++) {
        double sum = 0;
        for (int j = used_[c].firstPair; j < used_[c].firstPair + used_[c].pairCount; j++) sum += term[j];
        calc_[c] = sum;
    }
}

int FitArgs::pdb3dCoordTransformNcalcDC(const Mat4 mapM) {
    dRMS = 0;
    dCHI2 = 0;
    std::vector<DipolarCouplingData>& list = *dcList;
    for (int i : atomless_) list[i].dCalc = 0;
    calculate(mapM);
    for (size_t c = 0; c < used_.size(); c++) {
        const UsedCoupling& u = used_[c];
        list[u.index].dCalc = calc_[c];
        const double r = (u.d - calc_[c]) * u.wCalc;
        dRMS += r * r;
        dResidual[c] = r;
    }
    return static_cast<int>(used_.size());
}

double FitArgs::sumOfSquaresUnder(const Mat4 mapM) {
    calculate(mapM);
    double sum = 0;
    for (size_t c = 0; c < used_.size(); c++) {
        const double r = (used_[c].d - calc_[c]) * used_[c].wCalc;
        sum += r * r;
    }
    return sum;
}
