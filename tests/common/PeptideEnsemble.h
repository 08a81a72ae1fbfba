// A test ensemble whose conformers differ in their internal geometry: ideal backbones (N, H, CA,
// HA, C) of one 30-residue peptide built from standard bond lengths and angles with the phi/psi
// of ten secondary-structure patterns, all starting from the same first residue. Couplings are
// simulated for a mixture of chosen conformers, and the ensemble fit's score is recomputed here
// from the coordinates as an independent reference.
#pragma once

#include <array>
#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/KnownTensor.h"
#include "common/TestPdb.h"
#include "common/TestUtil.h"

namespace peptide {

using knowntensor::M3;
using knowntensor::Models;
using knowntensor::Xyz;

constexpr int kResidues = 30;

inline Xyz sub(const Xyz& a, const Xyz& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline Xyz add(const Xyz& a, const Xyz& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
inline Xyz scale(const Xyz& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
inline double dot(const Xyz& a, const Xyz& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline Xyz cross(const Xyz& a, const Xyz& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline Xyz unit(const Xyz& a) { return scale(a, 1 / std::sqrt(dot(a, a))); }

// The atom d bonded to c with |cd| = bond, angle b-c-d and torsion a-b-c-d in degrees.
inline Xyz place(const Xyz& a, const Xyz& b, const Xyz& c, double bond, double angle, double torsion) {
    const double k = M_PI / 180;
    const Xyz bc = unit(sub(c, b));
    const Xyz n = unit(cross(sub(b, a), bc));
    const Xyz m = cross(n, bc);
    const double t = angle * k, p = torsion * k;
    const Xyz local = {-bond * std::cos(t), bond * std::sin(t) * std::cos(p), bond * std::sin(t) * std::sin(p)};
    return add(c, add(scale(bc, local[0]), add(scale(m, local[1]), scale(n, local[2]))));
}

// phi/psi of a pattern letter: H alpha helix, E strand, P polyproline II, L left-handed helix.
inline std::pair<double, double> torsions(char c) {
    switch (c) {
    case 'H': return {-57, -47};
    case 'E': return {-120, 130};
    case 'P': return {-75, 145};
    default: return {57, 47};
    }
}

// Ten patterns of 30 residues.
inline const std::vector<std::string>& patterns() {
    static const std::vector<std::string> p = {
        "HHHHHHHHHHHHHHHHHHHHHHHHHHHHHH", "EEEEEEEEEEEEEEEEEEEEEEEEEEEEEE", "PPPPPPPPPPPPPPPPPPPPPPPPPPPPPP",
        "HHHHHHHHHHHHHHHEEEEEEEEEEEEEEE", "EEEEEEEEEEEEEEEHHHHHHHHHHHHHHH", "HHHHHHHHHHPPPPPPPPPPHHHHHHHHHH",
        "EEEEEEEELLEEEEEEEELLEEEEEEEEEE", "PPPPPPPPPPHHHHHHHHHHEEEEEEEEEE", "HHHHHEEEEEHHHHHEEEEEHHHHHEEEEE",
        "EEEEEPPPPPHHHHHLLEEEEEPPPPPHHH"};
    return p;
}

// The atoms of one backbone: (residue, name) -> xyz. Bond lengths N-CA 1.458, CA-C 1.525,
// C-N 1.329, N-H 1.01, CA-HA 1.09 A; angles N-CA-C 111.2, CA-C-N 116.2, C-N-CA 121.7 degrees;
// omega 180. H lies in the peptide plane opposite the C-N-CA bisector (none on residue 1), HA
// tetrahedral at CA.
inline std::map<std::pair<int, std::string>, Xyz> backbone(const std::string& pattern) {
    std::map<std::pair<int, std::string>, Xyz> atoms;
    Xyz n = {0, 0, 0}, ca = {1.458, 0, 0};
    const double t = 111.2 * M_PI / 180;
    Xyz c = add(ca, {-1.525 * std::cos(t), 1.525 * std::sin(t), 0});
    for (int i = 1; i <= static_cast<int>(pattern.size()); i++) {
        atoms[{i, "N"}] = n;
        atoms[{i, "CA"}] = ca;
        atoms[{i, "C"}] = c;
        const Xyz toN = unit(sub(n, ca)), toC = unit(sub(c, ca));
        const Xyz bis = scale(unit(add(toN, toC)), -1), perp = unit(cross(toN, toC));
        const double half = 54.75 * M_PI / 180;
        atoms[{i, "HA"}] = add(ca, scale(add(scale(bis, std::cos(half)), scale(perp, std::sin(half))), 1.09));
        if (i == static_cast<int>(pattern.size())) break;
        const auto phiPsi = torsions(pattern[i - 1]), next = torsions(pattern[i]);
        const Xyz n2 = place(n, ca, c, 1.329, 116.2, phiPsi.second);
        const Xyz ca2 = place(ca, c, n2, 1.458, 121.7, 180);
        const Xyz c2 = place(c, n2, ca2, 1.525, 111.2, next.first);
        const Xyz h2 = add(n2, scale(unit(add(unit(sub(n2, c)), unit(sub(n2, ca2)))), 1.01));
        atoms[{i + 1, "H"}] = h2;
        n = n2;
        ca = ca2;
        c = c2;
    }
    return atoms;
}

// A structure file with one MODEL per pattern (the given patterns, or the ten above), residues
// ALA, and the atoms in the order N, H, CA, HA, C.
inline std::string pdbText(const std::vector<std::string>& chosen = patterns()) {
    std::string text;
    for (size_t m = 0; m < chosen.size(); m++) {
        text += testpdb::model(static_cast<int>(m + 1));
        const auto atoms = backbone(chosen[m]);
        int serial = 1;
        for (int res = 1; res <= static_cast<int>(chosen[m].size()); res++)
            for (const char* name : {"N", "H", "CA", "HA", "C"}) {
                auto it = atoms.find({res, name});
                if (it == atoms.end()) continue;
                text += testpdb::atom(serial++, name, "ALA", res, it->second[0], it->second[1], it->second[2]);
            }
        text += testpdb::endModel();
    }
    return text + "END\n";
}

// A coupling class simulated here: atoms (J in residue I + offsetJ) and |DI| at the standard
// distance of its class.
struct Kind {
    std::string nameI, nameJ;
    int offsetJ;
    int classCode;
    double absDI;
};
inline std::vector<Kind> kinds() {
    using knowntensor::constant;
    using knowntensor::gC;
    using knowntensor::gH;
    using knowntensor::gN;
    return {{"N", "H", 0, 1, constant(gH, gN, 1.041)},
            {"HA", "CA", 0, 7, constant(gH, gC, 1.107)},
            {"C", "CA", 0, 10, constant(gC, gC, 1.525)}};
}

// One coupling of a simulated table.
struct Coupling {
    int resI, resJ;
    Kind kind;
    double d;
};

// u.S.u of the unit vector along I - J of one model (0 when an atom is missing) and whether both
// atoms are there.
inline bool projection(const Models& models, int model, const Coupling& c, const M3& S, double& value) {
    const auto& atoms = models.at(model);
    auto i = atoms.find({c.resI, c.kind.nameI}), j = atoms.find({c.resJ, c.kind.nameJ});
    if (i == atoms.end() || j == atoms.end()) return false;
    value = knowntensor::projection(i->second, j->second, S);
    return true;
}

// Couplings D = |DI| sum_m w_m u_m.S.u_m over the models m with weight w_m (models numbered from
// 1, in file order), for every kind and residue where model 1 has both atoms.
inline std::vector<Coupling> simulate(const Models& models, const std::vector<double>& weights, const M3& S) {
    std::vector<Coupling> out;
    for (const Kind& k : kinds())
        for (int res = 1; res <= kResidues; res++) {
            Coupling c{res, res + k.offsetJ, k, 0};
            double sum = 0, p = 0;
            if (!projection(models, models.begin()->first, c, S, p)) continue;
            int m = 0;
            for (const auto& model : models) {
                if (projection(models, model.first, c, S, p)) sum += weights[m] * p;
                m++;
            }
            c.d = k.absDI * sum;
            out.push_back(c);
        }
    return out;
}

// The coupling table of a simulated medium (no W, DD or DI columns: the defaults apply).
inline std::string tableText(const std::vector<Coupling>& couplings) {
    std::string text = "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n"
                       "FORMAT %5d %6s %6s %5d %6s %6s %20.14f\n";
    for (const Coupling& c : couplings) {
        char row[160];
        std::snprintf(row, sizeof row, "%5d %6s %6s %5d %6s %6s %20.14f\n", c.resI, "ALA", c.kind.nameI.c_str(),
                      c.resJ, "ALA", c.kind.nameJ.c_str(), c.d);
        text += row;
    }
    return text;
}

}  // namespace peptide
