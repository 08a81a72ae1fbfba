// RCSA values simulated in the tests, independently of the program: the structure file read
// here, the chemical-shift axes of each nucleus built here from its peptide plane, and
// RCSA = (2/3) sum_k dii[k] a_k^T S a_k averaged over the models, for a tensor given by Da, Dr
// and Euler angles.
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/KnownTensor.h"

namespace rcsasim {

typedef knowntensor::Xyz V3;
typedef knowntensor::M3 M3;
typedef knowntensor::Models Models;   // model -> (residue, atom name as in the file) -> position
using knowntensor::rotation;

inline Models readModels(const std::string& path, std::map<int, std::string>* resNames = nullptr) {
    if (resNames) *resNames = knowntensor::residueNames(path);
    return knowntensor::readModels(path);
}

inline V3 sub(const V3& a, const V3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline V3 unit(const V3& a) {
    const double l = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    return {a[0] / l, a[1] / l, a[2] / l};
}
inline V3 cross(const V3& a, const V3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
// An in-plane vector v turned by deg degrees about the plane normal n, in the program's sense:
// v cos + (v x n) sin.
inline V3 turn(const V3& v, const V3& n, double deg) {
    const double c = std::cos(deg * M_PI / 180), s = std::sin(deg * M_PI / 180);
    const V3 x = cross(v, n);
    return {v[0] * c + x[0] * s, v[1] * c + x[1] * s, v[2] * c + x[2] * s};
}

// Principal axes (s11, s22, s33) of nucleus "H", "N" or "C" on the plane C(i-1) N(i) H(i):
// u = unit(N - C), w = unit(N - H), n = unit(u x w). H: n, t - 90, t = w + beta_H;
// N: t = w + beta_N, n, t + 90; C: t = -u - beta_C, t + 90, n (turns in degrees).
struct Csa {
    double betaH = 8, betaN = 16, betaC = 38;
    double H[3] = {-5.8, 0.0, 5.8}, N[3] = {-108.5, 45.7, 62.8}, C[3] = {-75.0, -12.0, 87.0};   // ppm
    const double* dii(char nucleus) const { return nucleus == 'H' ? H : nucleus == 'N' ? N : C; }
};

inline M3 axes(char nucleus, const V3& c, const V3& nAtom, const V3& h, const Csa& csa) {
    const V3 u = unit(sub(nAtom, c)), w = unit(sub(nAtom, h)), n = unit(cross(u, w));
    if (nucleus == 'H') {
        const V3 t = turn(w, n, csa.betaH);
        return {n, turn(t, n, -90), t};
    }
    if (nucleus == 'N') {
        const V3 t = turn(w, n, csa.betaN);
        return {t, n, turn(t, n, 90)};
    }
    const V3 t = turn({-u[0], -u[1], -u[2]}, n, -csa.betaC);
    return {t, turn(t, n, 90), n};
}

// Order matrix R^T diag(-Da + 1.5 Dr, -Da - 1.5 Dr, 2 Da) R.
struct Tensor {
    double Da, Dr, psi, theta, phi;
    M3 matrix() const { return knowntensor::tensorMatrix(Da, Dr, psi, theta, phi); }
    // Saupe vector in RCSA order (Syy, Szz, Sxy, Sxz, Syz)
    std::array<double, 5> rcsaOrder() const {
        const M3 S = matrix();
        return {S[1][1], S[2][2], S[0][1], S[0][2], S[1][2]};
    }
};

// True when the rotation of the Euler angles (psi, theta, phi) describes the principal axes of
// t: the same rotation, or one turned by 180 degrees about a principal axis, within tol per element.
inline bool sameAxes(double psi, double theta, double phi, const Tensor& t, double tol) {
    const M3 in = rotation(t.psi, t.theta, t.phi), r = rotation(psi, theta, phi);
    const int signs[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    for (const auto& s : signs) {
        bool same = true;
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) same = same && std::fabs(r[i][j] - s[i] * in[i][j]) < tol;
        if (same) return true;
    }
    return false;
}

// One simulated row: residue, its name, atom name as written, value in ppb.
struct Row {
    int res;
    std::string resName, atomName;
    double value;
};

// RCSA of nucleus "H", "N" or "C" of every residue whose plane C(i-1) N(i) H(i) exists in all
// models, averaged over the models.
inline std::vector<Row> simulate(const Models& models, const std::map<int, std::string>& resNames, char nucleus,
                                 const Tensor& tensor, const Csa& csa = Csa()) {
    const M3 S = tensor.matrix();
    const double* dii = csa.dii(nucleus);
    std::vector<Row> rows;
    for (const auto& rn : resNames) {
        const int i = rn.first;
        double sum = 0;
        size_t found = 0;
        for (const auto& m : models) {
            auto c = m.second.find({i - 1, "C"}), n = m.second.find({i, "N"}), h = m.second.find({i, "H"});
            if (c == m.second.end() || n == m.second.end() || h == m.second.end()) continue;
            const M3 a = axes(nucleus, c->second, n->second, h->second, csa);
            for (int k = 0; k < 3; k++)
                for (int x = 0; x < 3; x++)
                    for (int y = 0; y < 3; y++) sum += 2.0 / 3.0 * dii[k] * 1000 * S[x][y] * a[k][x] * a[k][y];
            found++;
        }
        if (found != models.size()) continue;
        rows.push_back({i, rn.second, std::string(1, nucleus), sum / models.size()});
    }
    return rows;
}

// An RCSA table of the rows (DD 1, W 1).
inline std::string table(const std::vector<Row>& rows) {
    std::string text = "VARS RESID RESNAME ATOMNAME D DD W\nFORMAT %5d %6s %6s %14.9f %6.3f %5.2f\n";
    char line[160];
    for (const Row& r : rows) {
        std::snprintf(line, sizeof line, "%5d %6s %6s %14.9f %6.3f %5.2f\n", r.res, r.resName.c_str(),
                      r.atomName.c_str(), r.value, 1.0, 1.0);
        text += line;
    }
    return text;
}

}  // namespace rcsasim
