// Known tensors and structures read independently of the program: the coordinates of every
// model, rotations and order matrices written out, projections u.S.u, dipolar constants, and
// the check that a table reports the Euler solution of a known orientation.
#pragma once

#include <algorithm>
#include <array>
#include <cstdio>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/ResultTable.h"
#include "common/TestUtil.h"

namespace knowntensor {

// A structure: model -> (residue, atom name) -> xyz.
typedef std::array<double, 3> Xyz;
typedef std::map<int, std::map<std::pair<int, std::string>, Xyz>> Models;

inline std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

inline Models readModels(const std::string& path) {
    Models models;
    std::istringstream in(testutil::readFile(path));
    std::string line;
    int model = 1;
    while (std::getline(in, line)) {
        if (line.rfind("MODEL", 0) == 0) model = std::stoi(line.substr(6));
        if (line.rfind("ATOM", 0) != 0 || line.size() < 54) continue;
        std::string name = trim(line.substr(12, 4));
        int res = std::stoi(line.substr(22, 4));
        // single precision, as structure files hold them (the program's vectors are exact
        // differences of these)
        models[model][{res, name}] = {std::stof(line.substr(30, 8)), std::stof(line.substr(38, 8)),
                                      std::stof(line.substr(46, 8))};
    }
    return models;
}

// Rotation Rz(phi) Ry(theta) Rx(psi), angles in degrees, rows = principal axes.
typedef std::array<std::array<double, 3>, 3> M3;
inline M3 rotation(double psi, double theta, double phi) {
    const double k = M_PI / 180, a = psi * k, b = theta * k, c = phi * k;
    M3 rx = {{{1, 0, 0}, {0, cos(a), -sin(a)}, {0, sin(a), cos(a)}}};
    M3 ry = {{{cos(b), 0, sin(b)}, {0, 1, 0}, {-sin(b), 0, cos(b)}}};
    M3 rz = {{{cos(c), -sin(c), 0}, {sin(c), cos(c), 0}, {0, 0, 1}}};
    auto mul = [](const M3& x, const M3& y) {
        M3 r{};
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                for (int l = 0; l < 3; l++) r[i][j] += x[i][l] * y[l][j];
        return r;
    };
    return mul(rz, mul(ry, rx));
}

// Order matrix S = R^T diag(-Da + 1.5 Dr, -Da - 1.5 Dr, 2 Da) R of a tensor.
inline M3 tensorMatrix(double Da, double Dr, double psi, double theta, double phi) {
    M3 R = rotation(psi, theta, phi), S{};
    const double p[3] = {-Da + 1.5 * Dr, -Da - 1.5 * Dr, 2 * Da};
    for (int a = 0; a < 3; a++)
        for (int b = 0; b < 3; b++)
            for (int k = 0; k < 3; k++) S[a][b] += R[k][a] * p[k] * R[k][b];
    return S;
}

// u.S.u for the unit vector u along a - b.
inline double projection(const Xyz& a, const Xyz& b, const M3& S) {
    double u[3], len = 0, q = 0;
    for (int c = 0; c < 3; c++) len += std::pow(u[c] = a[c] - b[c], 2);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) q += u[i] * S[i][j] * u[j] / len;
    return q;
}

inline std::map<int, std::string> residueNames(const std::string& pdbPath) {
    std::map<int, std::string> names;
    std::istringstream in(testutil::readFile(pdbPath));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("ATOM", 0) == 0 && line.size() >= 54) names[std::stoi(line.substr(22, 4))] = trim(line.substr(17, 3));
    return names;
}

inline double constant(double gI, double gJ, double r) { return std::fabs(gI * gJ * 3.356809033771374e-12 / (r * r * r)); }


// gyromagnetic ratios, rad s^-1 T^-1
constexpr double gH = 267.5198e6, gN = -27.116e6, gC = 67.283e6;


// True when one of the reported Euler solutions describes the tensor axes of (psi, theta, phi):
// the same rotation, or one turned by 180 degrees about a principal axis.
inline bool hasSolution(const std::string& table, double psi, double theta, double phi) {
    M3 in = rotation(psi, theta, phi);
    const int signs[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    for (const auto& sol : resulttable::allDataValues(table, "EULER_ANGLES")) {
        if (sol.size() != 3) continue;
        M3 r = rotation(sol[0], sol[1], sol[2]);
        for (const auto& s : signs) {
            bool same = true;
            for (int i = 0; i < 3; i++)
                for (int j = 0; j < 3; j++) same = same && std::fabs(r[i][j] - s[i] * in[i][j]) < 2e-4;
            if (same) return true;
        }
    }
    return false;
}


// A coupling to simulate: atoms, residue offsets and the dipolar constant of its class.
struct Kind {
    std::string nameI, nameJ;
    int offsetJ;    // residue of J relative to I
    double dmax;    // |DI| in Hz from gamma_I gamma_J 3.356809033771374e-12 / r^3
};

// Writes a table of couplings D = |DI| sum over the models m of u_m.S_m.u_m, S_m the order
// matrix of model m (the last one given for the models beyond), divided by the number of models
// when `average`. A coupling whose atoms some model lacks is left out. Returns the rows written.
inline int writeSimulated(const std::string& path, const Models& models, const std::vector<Kind>& kinds,
                          const std::vector<M3>& tensors, bool average, const std::map<int, std::string>& resNames) {
    std::string text = "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n"
                       "FORMAT %5d %6s %6s %5d %6s %6s %20.14f\n";
    int count = 0;
    for (const Kind& kind : kinds) {
        for (const auto& rn : resNames) {
            int resI = rn.first, resJ = rn.first + kind.offsetJ;
            if (!resNames.count(resJ)) continue;
            double sum = 0;
            size_t found = 0;
            for (const auto& m : models) {
                auto i = m.second.find({resI, kind.nameI}), j = m.second.find({resJ, kind.nameJ});
                if (i == m.second.end() || j == m.second.end()) continue;
                sum += projection(i->second, j->second, tensors[std::min(found, tensors.size() - 1)]);
                found++;
            }
            if (found != models.size()) continue;
            char row[200];
            std::snprintf(row, sizeof row, "%5d %6s %6s %5d %6s %6s %20.14f\n", resI, resNames.at(resI).c_str(),
                          kind.nameI.c_str(), resJ, resNames.at(resJ).c_str(), kind.nameJ.c_str(),
                          kind.dmax * sum / (average ? models.size() : 1));
            text += row;
            count++;
        }
    }
    testutil::writeFile(path, text);
    return count;
}

}  // namespace knowntensor
