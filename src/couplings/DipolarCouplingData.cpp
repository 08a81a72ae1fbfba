// One coupling: atom pairs from a structure, design-matrix row, back-calculation.
#include "couplings/DipolarCouplingData.h"

#include <cmath>
#include <cstdio>

#include "common/Constants.h"
#include "tensor/DTensor.h"

namespace {

// Occupancy that weighs a pair: atom I's when I has an alternate-location indicator, else J's.
double pairOccupancy(const CORdata& i, const CORdata& j) {
    bool iHasAltLoc = !i.altLoc.empty() && i.altLoc != " ";
    return iHasAltLoc ? i.Occupancy : j.Occupancy;
}

}  // namespace

void DipolarCouplingData::buildDC(const PDB& pdb) {
    m = pdb.conformer_count;
    atomI.clear();
    atomJ.clear();
    int n;
    if (isMethyl) {
        if (isMethylCC) {
            n = pdb.getVectorEntries_Methyl_CC(atomI, atomJ, resIDI, atomNameI, resIDJ, atomNameJ);
            std::printf(" Use C-C for methyl %s-%s of #%d\n", atomNameI.c_str(), atomNameJ.c_str(), resIDI);
        } else {
            n = pdb.getVectorEntries_Methyl_CH3(atomI, atomJ, resIDI, atomNameI, resIDJ, atomNameJ);
            std::printf(" Use C-H3 for methyl %s-%s of #%d\n", atomNameI.c_str(), atomNameJ.c_str(), resIDI);
        }
    } else {
        n = pdb.getVectorEntries(atomI, atomJ, resIDI, atomNameI, resIDJ, atomNameJ, chainNameI);
    }
    atomICount = atomJCount = n;
    A.fill(0);
    rIJ = 0;
    Ai.clear();
    vi.clear();

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
    double weightSum = 0;
    for (int k = 0; k < n; k++) {
        const CORdata& I = atomI[k];
        const CORdata& J = atomJ[k];
        double wk = pairOccupancy(I, J) / m;
        double dx = static_cast<double>(I.X) - J.X;
        double dy = static_cast<double>(I.Y) - J.Y;
        double dz = static_cast<double>(I.Z) - J.Z;
        double r = std::sqrt(dx * dx + dy * dy + dz * dz);
        double cx = dx / r, cy = dy / r, cz = dz / r;
        Ai[k] = {(3 * cz * cz - 1) / 2, (cx * cx - cy * cy) / 2, 2 * cx * cy, 2 * cz * cx, 2 * cz * cy};
        for (int i = 0; i < 5; i++) A[i] += wk * Ai[k][i];
        rIJ += wk * r;
        weightSum += wk;
        vi[k] = {cx, cy, cz};
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

void DipolarCouplingData::calcDCRotation(const Mat4 R, double Da, double Dr, const std::vector<double>* weights) {
    dCalc = 0;
    dtheta = dphi = derivativeErr = 0;
    theta = phi = 0;
    const double absDI = std::fabs(diCalc);
    const double degree = orvex::kPi / 180.0;
    for (size_t k = 0; k < vi.size(); k++) {
        double pw;
        if (weights)
            pw = k < weights->size() ? (*weights)[k] : 0.0;
        else
            pw = pairOccupancy(atomI[k], atomJ[k]) / m;
        const auto& u = vi[k];
        double x = R[0][0] * u[0] + R[1][0] * u[1] + R[2][0] * u[2];
        double y = R[0][1] * u[0] + R[1][1] * u[1] + R[2][1] * u[2];
        double z = R[0][2] * u[0] + R[1][2] * u[1] + R[2][2] * u[2];
        double rho = std::sqrt(x * x + y * y);
        dCalc += absDI * pw * (Da * (3 * z * z - 1) + 1.5 * Dr * (x * x - y * y));
        double dT = absDI * pw * (3 * Dr * z * (x * x - y * y) / rho - 6 * Da * z * rho);
        double dP = -6 * Dr * x * y * absDI * pw / rho;
        dtheta += dT * degree;
        dphi += dP * degree;
        derivativeErr += pw * std::sqrt(0.5 * dtheta * dtheta + 0.5 * dphi * dphi);
        theta += pw * orvex::kRadToDegShort * std::acos(z);
        phi += pw * orvex::kRadToDegShort * std::acos(x / rho);
    }
}

void DipolarCouplingData::calcDC(const std::vector<DTensor>& tensors) {
    dCalc = 0;
    if (tensors.size() != vi.size())
        std::fputs("calcDC() Error: inconsistent number of conformers and tensors.\n", stderr);
    const double absDI = std::fabs(diCalc);
    for (size_t k = 0; k < vi.size(); k++) {
        if (k >= tensors.size()) break;
        const DTensor& t = tensors[k];
        const double pw = pairOccupancy(atomI[k], atomJ[k]) / m;
        const auto& u = vi[k];
        // rotation = transpose of the eigenvector matrix: column c of R is row c of vv
        double x = t.vv[0][0] * u[0] + t.vv[0][1] * u[1] + t.vv[0][2] * u[2];
        double y = t.vv[1][0] * u[0] + t.vv[1][1] * u[1] + t.vv[1][2] * u[2];
        double z = t.vv[2][0] * u[0] + t.vv[2][1] * u[1] + t.vv[2][2] * u[2];
        dCalc += absDI * pw * (t.da * (3 * z * z - 1) + 1.5 * t.dr * (x * x - y * y));
    }
}
