// One RCSA record: its chemical-shift tensor in every conformer, design-matrix row and
// back-calculation. With the order matrix S and the chemical-shift tensor
// delta = sum_k dii[k] a_k a_k^T (principal values dii, axes a_k), the shift change is
// RCSA = (2/3) sum_ij S_ij delta_ij; in RCSA order (Syy, Szz, Sxy, Sxz, Syz), using
// Sxx = -Syy - Szz, that is the row A below times the Saupe vector.
#include "couplings/RCSA_Data.h"

#include <cstdio>
#include <type_traits>

#include "common/ResidueNumber.h"
#include "couplings/DipolarCouplingData.h"
#include "io/PDB.h"
#include "tensor/DTensor.h"

static_assert(std::is_nothrow_move_constructible<RCSA_Data>::value, "an RCSA record must move without copying");

int RCSA_Data::classOf(const std::string& name) {
    if (name == "HN" || name == "H") return kClassHN;
    if (name == "N") return kClassN;
    if (name == "C") return kClassC;
    return kClassNone;
}

namespace {

void warnNoAtoms(const RCSA_Data& r) {
    std::fprintf(stderr, "RCSA Warning: No Atom Map for RCSA %d (PDB ResID %d)\n", r.id, r.resID);
    std::fprintf(stderr, "   ResID: %d ResName: %s AtomName: %s Seg: %s Chain: %s\n", r.resID, r.resName.c_str(),
                 r.atomName.c_str(), r.segName.c_str(), r.chainName.c_str());
}

}  // namespace

void RCSA_Data::buildRCSA(const PDB& pdb, DTensor& tensor) {
    m = pdb.conformer_count;
    valid = 1;
    const double* principal = nullptr;
    switch (CLASS) {
    case kClassHN: principal = tensor.H_dii; break;
    case kClassN: principal = tensor.N_dii; break;
    case kClassC: principal = tensor.C_dii; break;
    default: break;
    }
    if (principal)
        for (int k = 0; k < 3; k++) dii[k] = principal[k] * 1000.0;   // ppm to ppb

    A.fill(0);
    Ai.clear();
    wi.clear();
    csa_tensor_v_maps.clear();
    atomCount = 0;
    for (const auto& conformer : pdb.Conformers) {
        const int conf = conformer.first;
        // the peptide plane that holds the nucleus: C of the preceding residue, N and HN
        const CORdata c = pdb.getEntry(conf, orvex::residueOffset(resID, -1), "C");
        const CORdata n = pdb.getEntry(conf, resID, "N");
        const CORdata h = pdb.getEntry(conf, resID, "HN");
        if (c.atomIndex == 0 || n.atomIndex == 0 || h.atomIndex == 0) {
            // every conformer that lacks an atom is reported
            valid = 0;
            warnNoAtoms(*this);
            continue;
        }
        Vec3Copy(vc, c.Coord);
        Vec3Copy(vn, n.Coord);
        Vec3Copy(vh, h.Coord);
        tensor.calc_RCSA_Tensor_axis(vc, vn, vh, s11, s22, s33, CLASS);

        // The weight of a conformer is the occupancy of its HN record.
        const double weight = static_cast<double>(h.Occupancy) / m;
        std::array<double, 5> coef{};
        const Vec3* axes[3] = {&s11, &s22, &s33};
        for (int k = 0; k < 3; k++) {
            const double x = (*axes[k])[0], y = (*axes[k])[1], z = (*axes[k])[2];
            coef[0] += 2.0 / 3.0 * dii[k] * (y * y - x * x);
            coef[1] += 2.0 / 3.0 * dii[k] * (z * z - x * x);
            coef[2] += 4.0 / 3.0 * dii[k] * x * y;
            coef[3] += 4.0 / 3.0 * dii[k] * x * z;
            coef[4] += 4.0 / 3.0 * dii[k] * y * z;
        }
        for (int i = 0; i < 5; i++) A[i] += weight * coef[i];
        Ai.push_back(coef);
        wi.push_back(weight);
        csa_tensor_v_maps.push_back({{{s11[0], s11[1], s11[2]}, {s22[0], s22[1], s22[2]}, {s33[0], s33[1], s33[2]}}});
        atomCount++;
    }
    if (pdb.Conformers.empty()) {   // a structure without atoms holds no plane either
        valid = 0;
        warnNoAtoms(*this);
    }
}

void RCSA_Data::calcRCSA(const double* saupe) {
    double sum = 0;
    for (int i = 0; i < 5; i++) sum += A[i] * saupe[i];
    dCalc = sum;
}

void RCSA_Data::calcRCSA(const double* saupe, const std::vector<double>& weights) {
    double sum = 0;
    for (size_t k = 0; k < Ai.size() && k < weights.size(); k++) {
        double conf = 0;
        for (int i = 0; i < 5; i++) conf += Ai[k][i] * saupe[i];
        sum += weights[k] * conf;
    }
    dCalc = sum;
}

void RCSA_Data::calcRCSA(const Mat4 rotation, double Da, double Dr) { calcRCSARotation(rotation, Da, Dr, nullptr); }

void RCSA_Data::calcRCSA(const Mat4 rotation, double Da, double Dr, const std::vector<double>& weights) {
    calcRCSARotation(rotation, Da, Dr, &weights);
}

// In the principal frame an axis a with components (x, y, z) gives a^T S a =
// Da (3 z^2 - 1) + 1.5 Dr (x^2 - y^2), the coupling formula; each axis enters with the factor
// (2/3) dii[k] in place of a coupling's |DI|.
void RCSA_Data::calcRCSARotation(const Mat4 R, double Da, double Dr, const std::vector<double>* weights) {
    double sum = 0;
    for (size_t c = 0; c < csa_tensor_v_maps.size(); c++) {
        double weight;
        if (weights)
            weight = c < weights->size() ? (*weights)[c] : 0.0;
        else
            weight = wi[c];
        for (int k = 0; k < 3; k++)
            sum += DipolarCouplingData::principalFrameTerm(R, csa_tensor_v_maps[c][k].data(), Da, Dr,
                                                           2.0 / 3.0 * dii[k], weight)
                       .d;
    }
    dCalc = sum;
}
