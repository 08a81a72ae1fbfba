// The shape-predicted alignment tensor computed for the tests without the program's code: every
// atom of every model read from the file, the gyration tensor of the selected residues, its
// eigen-decomposition by the closed-form roots of the characteristic cubic (eigenvectors from
// cross products), and the order matrix of the ranked principal axes
//   r = (sqrt(l_b) - sqrt(l_c)) / (sqrt(l_a) - sqrt(l_c)),  l_a >= l_b >= l_c,
//   S = (1 - r/2) e_a e_a' + (r - 1/2) e_b e_b' + (-1/2 - r/2) e_c e_c'.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/KnownTensor.h"
#include "common/TestUtil.h"

namespace shapetest {

using knowntensor::M3;
using knowntensor::Xyz;

struct Atom {
    int res;
    Xyz xyz;
};
// model number -> its atoms (ATOM and HETATM lines) in file order
typedef std::map<int, std::vector<Atom>> AtomModels;

inline AtomModels readAtoms(const std::string& path) {
    AtomModels models;
    std::istringstream in(testutil::readFile(path));
    std::string line;
    int model = 1;
    while (std::getline(in, line)) {
        if (line.rfind("MODEL", 0) == 0) model = std::stoi(line.substr(6));
        if ((line.rfind("ATOM", 0) != 0 && line.rfind("HETATM", 0) != 0) || line.size() < 54) continue;
        models[model].push_back({std::stoi(line.substr(22, 4)),
                                 {std::stof(line.substr(30, 8)), std::stof(line.substr(38, 8)),
                                  std::stof(line.substr(46, 8))}});
    }
    return models;
}

// Gyration tensor (not divided by the count) of the atoms with first <= residue <= last.
inline M3 gyration(const std::vector<Atom>& atoms, int first, int last) {
    Xyz c{0, 0, 0};
    int n = 0;
    for (const Atom& a : atoms)
        if (a.res >= first && a.res <= last) {
            for (int i = 0; i < 3; i++) c[i] += a.xyz[i];
            n++;
        }
    for (int i = 0; i < 3; i++) c[i] /= n;
    M3 G{};
    for (const Atom& a : atoms)
        if (a.res >= first && a.res <= last)
            for (int i = 0; i < 3; i++)
                for (int j = 0; j < 3; j++) G[i][j] += (a.xyz[i] - c[i]) * (a.xyz[j] - c[j]);
    return G;
}

// Eigenvalues of a symmetric matrix, largest first, from the trigonometric solution of its cubic.
inline std::array<double, 3> eigenvalues(const M3& A) {
    const double p1 = A[0][1] * A[0][1] + A[0][2] * A[0][2] + A[1][2] * A[1][2];
    const double q = (A[0][0] + A[1][1] + A[2][2]) / 3;
    const double p2 = std::pow(A[0][0] - q, 2) + std::pow(A[1][1] - q, 2) + std::pow(A[2][2] - q, 2) + 2 * p1;
    const double p = std::sqrt(p2 / 6);
    if (p == 0) return {q, q, q};
    M3 B;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) B[i][j] = (A[i][j] - (i == j ? q : 0)) / p;
    const double detB = B[0][0] * (B[1][1] * B[2][2] - B[1][2] * B[2][1]) -
                        B[0][1] * (B[1][0] * B[2][2] - B[1][2] * B[2][0]) +
                        B[0][2] * (B[1][0] * B[2][1] - B[1][1] * B[2][0]);
    const double phi = std::acos(std::max(-1.0, std::min(1.0, detB / 2))) / 3;
    const double l1 = q + 2 * p * std::cos(phi), l3 = q + 2 * p * std::cos(phi + 2 * M_PI / 3);
    return {l1, 3 * q - l1 - l3, l3};
}

// Unit eigenvector of eigenvalue l: the longest cross product of two rows of A - l I.
inline Xyz eigenvector(const M3& A, double l) {
    M3 B = A;
    for (int i = 0; i < 3; i++) B[i][i] -= l;
    Xyz best{0, 0, 0};
    double bestLen = -1;
    for (int a = 0; a < 3; a++)
        for (int b = a + 1; b < 3; b++) {
            Xyz v{B[a][1] * B[b][2] - B[a][2] * B[b][1], B[a][2] * B[b][0] - B[a][0] * B[b][2],
                  B[a][0] * B[b][1] - B[a][1] * B[b][0]};
            const double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
            if (len > bestLen) {
                bestLen = len;
                best = {v[0] / len, v[1] / len, v[2] / len};
            }
        }
    return best;
}

// The unscaled shape tensor of a gyration tensor: principal values (ranked as l_a, l_b, l_c)
// and their axes.
struct ShapeTensor {
    std::array<double, 3> values;
    std::array<Xyz, 3> axes;
    M3 matrix() const {
        M3 S{};
        for (int k = 0; k < 3; k++)
            for (int i = 0; i < 3; i++)
                for (int j = 0; j < 3; j++) S[i][j] += values[k] * axes[k][i] * axes[k][j];
        return S;
    }
    // 1000 * scale * the principal values, sorted by magnitude (smallest first), as printed.
    std::array<double, 3> printed(double scale) const {
        std::array<double, 3> v;
        for (int k = 0; k < 3; k++) v[k] = 1000 * scale * values[k];
        std::sort(v.begin(), v.end(), [](double a, double b) { return std::fabs(a) < std::fabs(b); });
        return v;
    }
};

inline ShapeTensor shapeTensor(const M3& G) {
    const std::array<double, 3> l = eigenvalues(G);
    const double a = std::sqrt(l[0]), b = std::sqrt(l[1]), c = std::sqrt(l[2]);
    const double r = (b - c) / (a - c);
    return {{1 - r / 2, r - 0.5, -0.5 - r / 2}, {eigenvector(G, l[0]), eigenvector(G, l[1]), eigenvector(G, l[2])}};
}

// A prolate ellipsoid of atoms: residue k (from 1) holds an N at lattice point p_k (spacing 2.5 A
// inside x^2/20^2 + (y^2 + z^2)/8^2 <= 1, the origin left out) and an H at 1.25 p_k (the bond along
// p_k), both taken into the file's frame as centre + R p, R turning the local x axis to (3/5, 4/5, 0).
// Every coordinate is a multiple of 1/8 A, exact in the file and in single precision; the set is
// unchanged by a quarter turn about the local x axis, so its gyration tensor is axially symmetric
// about x, the long axis.
struct Ellipsoid {
    std::string pdb;                       // the file's text, closed by a padded TER record
    Xyz longAxis;                          // local x in the file's frame
    std::vector<std::pair<Xyz, Xyz>> nh;   // N and H of each residue, in single precision as read
};

inline Xyz asRead(const Xyz& v) { return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])}; }

inline Ellipsoid prolateEllipsoid() {
    const M3 R = {{{0.6, 0.8, 0}, {-0.8, 0.6, 0}, {0, 0, 1}}};   // rows: the local axes
    const Xyz centre{30, -12, 7};
    Ellipsoid e;
    e.longAxis = R[0];
    auto place = [&](const Xyz& p) {
        Xyz q;
        for (int i = 0; i < 3; i++) {
            double v = centre[i];
            for (int k = 0; k < 3; k++) v += R[k][i] * p[k];
            q[i] = std::round(v * 1000) / 1000;
        }
        return q;
    };
    int res = 0, serial = 0;
    for (int i = -8; i <= 8; i++)
        for (int j = -3; j <= 3; j++)
            for (int k = -3; k <= 3; k++) {
                const Xyz p{2.5 * i, 2.5 * j, 2.5 * k};
                if ((i == 0 && j == 0 && k == 0) || p[0] * p[0] / 400 + (p[1] * p[1] + p[2] * p[2]) / 64 > 1) continue;
                const Xyz n = place(p), h = place({1.25 * p[0], 1.25 * p[1], 1.25 * p[2]});
                e.nh.push_back({asRead(n), asRead(h)});
                res++;
                char line[120];
                for (const auto& [name, xyz] : {std::make_pair("N", n), std::make_pair("H", h)}) {
                    std::snprintf(line, sizeof line, "ATOM  %5d  %-3s GLY A%4d    %8.3f%8.3f%8.3f  1.00  0.00           %c\n",
                                  ++serial, name, res, xyz[0], xyz[1], xyz[2], name[0]);
                    e.pdb += line;
                }
            }
    char ter[120];
    std::snprintf(ter, sizeof ter, "TER   %5d      GLY A%4d%54s\n", serial + 1, res, "");
    e.pdb += ter;
    e.pdb += "END\n";
    return e;
}

}  // namespace shapetest
