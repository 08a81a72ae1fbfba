// One coupling: atom pairs from a structure, design-matrix row, back-calculation.
#include "couplings/DipolarCouplingData.h"

#include <cmath>
#include <cstdio>
#include <type_traits>

#include "common/Constants.h"
#include "io/PDB.h"
#include "tensor/DTensor.h"

// Coupling lists grow and are copied per fit: growing must move the records, not copy them.
static_assert(std::is_nothrow_move_constructible<DipolarCouplingData>::value,
              "a coupling record must move without copying");

namespace {

// Occupancy that weighs a pair: atom I's when I has an alternate-location indicator, else J's.
double pairOccupancy(const AtomPair& p) { return p.i.altLoc != ' ' ? p.i.occupancy : p.j.occupancy; }

}  // namespace

void DipolarCouplingData::buildDC(const PDB& pdb) {
    std::vector<AtomPair> pairs;
    buildDC(pdb, pairs);
}

void DipolarCouplingData::buildDC(const PDB& pdb, std::vector<AtomPair>& pairs) {
    m = pdb.conformer_count;
    // The matched atoms are needed only here: what the fits read of each pair is kept below
    // in Ai, vi and wi.
    pairs.clear();
    int n;
    if (isMethyl) {
        if (isMethylCC) {
            n = pdb.getVectorPairs_Methyl_CC(pairs, resIDI, atomNameI, resIDJ, atomNameJ);
            std::printf(" Use C-C for methyl %s-%s of #%d\n", atomNameI.c_str(), atomNameJ.c_str(), resIDI);
        } else {
            n = pdb.getVectorPairs_Methyl_CH3(pairs, resIDI, atomNameI, resIDJ, atomNameJ);
            std::printf(" Use C-H3 for methyl %s-%s of #%d\n", atomNameI.c_str(), atomNameJ.c_str(), resIDI);
        }
    } else {
        n = pdb.getVectorPairs(pairs, resIDI, atomNameI, resIDJ, atomNameJ, chainNameI);
    }
    atomICount = atomJCount = n;
    A.fill(0);
    rIJ = 0;
    Ai.clear();
    vi.clear();
    wi.clear();
    pairConformer.clear();

    if (n == 0) {
        valid = 0;
        std::fprintf(stderr, "DC Warning: No Atom Map for DC %d (PDB ResID %d %d)\n", id, resIDI, resIDJ);
        std::fprintf(stderr, "   ResIDI: %d ResNameI: %s AtomNameI: %s SegI: %s ChainI: %s\n", resIDI,
                     resNameI.c_str(), atomNameI.c_str(), segNameI.c_str(), chainNameI.c_str());
        std::fprintf(stderr, "   ResIDJ: %d ResNameJ: %s AtomNameJ: %s SegJ: %s ChainJ: %s\n", resIDJ,
                     resNameJ.c_str(), atomNameJ.c_str(), segNameJ.c_str(), chainNameJ.c_str());
        return;
    }

    valid = 1;
    Ai.resize(n);
    vi.resize(n);
    wi.resize(n);
    pairConformer.resize(n);
    double weightSum = 0;
    for (int k = 0; k < n; k++) {
        const AtomPair& p = pairs[k];
        double wk = pairOccupancy(p) / m;
        double dx = static_cast<double>(p.i.x) - p.j.x;
        double dy = static_cast<double>(p.i.y) - p.j.y;
        double dz = static_cast<double>(p.i.z) - p.j.z;
        double r = std::sqrt(dx * dx + dy * dy + dz * dz);
        double cx = dx / r, cy = dy / r, cz = dz / r;
        Ai[k] = {(3 * cz * cz - 1) / 2, (cx * cx - cy * cy) / 2, 2 * cx * cy, 2 * cz * cx, 2 * cz * cy};
        for (int i = 0; i < 5; i++) A[i] += wk * Ai[k][i];
        rIJ += wk * r;
        weightSum += wk;
        vi[k] = {cx, cy, cz};
        wi[k] = wk;
        pairConformer[k] = p.conformer;
    }
    // The mean distance is weighted by occupancy over the pairs found (the weights sum to 1 for
    // a complete ensemble), so that a distance-based DI follows the structure's own bond length
    // also for ensembles and alternate locations.
    rIJ = weightSum > 0 ? rIJ / weightSum : 0;
}

void DipolarCouplingData::calcDC(const double* saupe, int n) {
    dCalc = 0;
    double sum = 0;
    if (n == 5) {
        for (int i = 0; i < 5; i++) sum += A[i] * saupe[i];
    } else {
        for (int g = 0; g < n / 5; g++)
            for (int i = 0; i < 5; i++) sum += saupe[5 * g + i] * getAi(g, i);
    }
    dCalc = std::fabs(diCalc) * sum;
}

void DipolarCouplingData::calcDC(const double* saupe, const std::vector<double>& weights) {
    dCalc = 0;
    double sum = 0;
    for (size_t k = 0; k < Ai.size() && k < weights.size(); k++) {
        double pair = 0;
        for (int i = 0; i < 5; i++) pair += Ai[k][i] * saupe[i];
        sum += weights[k] * pair;
    }
    dCalc = std::fabs(diCalc) * sum;
}

void DipolarCouplingData::calcDC(const Mat4 rotation, double Da, double Dr) {
    calcDCRotation(rotation, Da, Dr, nullptr);
}

void DipolarCouplingData::calcDC(const Mat4 rotation, double Da, double Dr, const std::vector<double>& weights) {
    calcDCRotation(rotation, Da, Dr, &weights);
}

DipolarCouplingData::FrameTerm DipolarCouplingData::principalFrameTerm(const Mat4 R, const double u[3], double Da,
                                                                     double Dr, double absDI, double w) {
    const double degree = orvex::kPi / 180.0;
    FrameTerm f;
    f.x = R[0][0] * u[0] + R[1][0] * u[1] + R[2][0] * u[2];
    f.y = R[0][1] * u[0] + R[1][1] * u[1] + R[2][1] * u[2];
    f.z = R[0][2] * u[0] + R[1][2] * u[1] + R[2][2] * u[2];
    const double x = f.x, y = f.y, z = f.z;
    f.rho = std::sqrt(x * x + y * y);
    f.d = absDI * w * (Da * (3 * z * z - 1) + 1.5 * Dr * (x * x - y * y));
    f.dTheta = absDI * w * (3 * Dr * z * (x * x - y * y) / f.rho - 6 * Da * z * f.rho) * degree;
    f.dPhi = -6 * Dr * x * y * absDI * w / f.rho * degree;
    return f;
}

void DipolarCouplingData::calcDCRotation(const Mat4 R, double Da, double Dr, const std::vector<double>* weights) {
    dCalc = 0;
    dtheta = dphi = derivativeErr = 0;
    theta = phi = 0;
    const double absDI = std::fabs(diCalc);
    for (size_t k = 0; k < vi.size(); k++) {
        double pw;
        if (weights)
            pw = k < weights->size() ? (*weights)[k] : 0.0;
        else
            pw = wi[k];
        const FrameTerm f = principalFrameTerm(R, vi[k].data(), Da, Dr, absDI, pw);
        dCalc += f.d;
        dtheta += f.dTheta;
        dphi += f.dPhi;
        derivativeErr += pw * std::sqrt(0.5 * dtheta * dtheta + 0.5 * dphi * dphi);
        theta += pw * orvex::kRadToDegShort * std::acos(f.z);
        phi += pw * orvex::kRadToDegShort * std::acos(f.x / f.rho);
    }
}

void DipolarCouplingData::calcDC(const std::vector<DTensor>& tensors) {
    dCalc = 0;
    if (tensors.size() != vi.size())
        std::fputs("calcDC() Error: inconsistent number of conformers and tensors.\n", stderr);
    const double absDI = std::fabs(diCalc);
    for (size_t k = 0; k < vi.size() && k < tensors.size(); k++) {
        const DTensor& t = tensors[k];
        Mat4 R;   // principal frame of the pair's own tensor
        t.principalFrame(R);
        dCalc += principalFrameTerm(R, vi[k].data(), t.da, t.dr, absDI, wi[k]).d;
    }
}
