// Couplings simulated from a known tensor on a structure read independently of the program, and
// the values read back from its result tables: the references of the fit tests.
#pragma once

#include <array>
#include <cmath>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/TestUtil.h"

namespace testsim {

// ---- a structure read independently of the program: model -> (residue, atom name) -> xyz ----
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
        models[model][{res, name}] = {std::stod(line.substr(30, 8)), std::stod(line.substr(38, 8)),
                                      std::stod(line.substr(46, 8))};
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

// A coupling to simulate: atoms, residue offsets and the dipolar constant of its class.
struct Kind {
    std::string nameI, nameJ;
    int offsetJ;    // residue of J relative to I
    double dmax;    // |DI| in Hz from gamma_I gamma_J 3.356809033771374e-12 / r^3
};

inline double constant(double gI, double gJ, double r) { return std::fabs(gI * gJ * 3.356809033771374e-12 / (r * r * r)); }

// Writes a table of couplings D = |DI| <u.S.u> over the models for the tensor (Da, Dr, angles).
inline int writeSimulated(const std::string& path, const Models& models, const std::vector<Kind>& kinds, double Da,
                   double Dr, double psi, double theta, double phi, const std::map<int, std::string>& resNames) {
    const M3 S = tensorMatrix(Da, Dr, psi, theta, phi);
    std::string text = "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n"
                       "FORMAT %5d %6s %6s %5d %6s %6s %12.6f\n";
    int count = 0;
    for (const Kind& kind : kinds) {
        for (const auto& rn : resNames) {
            int resI = rn.first, resJ = rn.first + kind.offsetJ;
            if (!resNames.count(resJ)) continue;
            double sum = 0;
            int found = 0;
            for (const auto& m : models) {
                auto i = m.second.find({resI, kind.nameI}), j = m.second.find({resJ, kind.nameJ});
                if (i == m.second.end() || j == m.second.end()) continue;
                sum += projection(i->second, j->second, S);
                found++;
            }
            if (found != static_cast<int>(models.size())) continue;
            char row[200];
            std::snprintf(row, sizeof row, "%5d %6s %6s %5d %6s %6s %12.6f\n", resI, resNames.at(resI).c_str(),
                          kind.nameI.c_str(), resJ, resNames.at(resJ).c_str(), kind.nameJ.c_str(),
                          kind.dmax * sum / models.size());
            text += row;
            count++;
        }
    }
    testutil::writeFile(path, text);
    return count;
}

inline std::map<int, std::string> residueNames(const std::string& pdbPath) {
    std::map<int, std::string> names;
    std::istringstream in(testutil::readFile(pdbPath));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("ATOM", 0) == 0 && line.size() >= 54) names[std::stoi(line.substr(22, 4))] = trim(line.substr(17, 3));
    return names;
}

// ---- reading the result table ----
// The numbers of every "DATA KEY ..." line, one list per line.
inline std::vector<std::vector<double>> allDataValues(const std::string& table, const std::string& key) {
    std::vector<std::vector<double>> all;
    for (const std::string& line : testutil::splitLines(table)) {
        std::istringstream words(line);
        std::string data, k, w;
        if (!(words >> data >> k) || data != "DATA" || k != key) continue;
        std::vector<double> values;
        while (words >> w) {
            char* end = nullptr;
            double v = std::strtod(w.c_str(), &end);
            if (end != w.c_str()) values.push_back(v);
        }
        all.push_back(values);
    }
    return all;
}

inline std::vector<double> dataValues(const std::string& table, const std::string& key) {
    auto all = allDataValues(table, key);
    return all.empty() ? std::vector<double>() : all[0];
}

// Data rows of a result table: the words of every line after FORMAT.
inline std::vector<std::vector<std::string>> rows(const std::string& table) {
    std::vector<std::vector<std::string>> out;
    bool after = false;
    for (const std::string& line : testutil::splitLines(table)) {
        if (after && !line.empty()) {
            std::istringstream words(line);
            out.emplace_back(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
        }
        after = after || line.rfind("FORMAT", 0) == 0;
    }
    return out;
}

// True when one of the reported Euler solutions describes the tensor axes of (psi, theta, phi):
// the same rotation, or one turned by 180 degrees about a principal axis.
inline bool hasSolution(const std::string& table, double psi, double theta, double phi) {
    M3 in = rotation(psi, theta, phi);
    const int signs[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    for (const auto& sol : allDataValues(table, "EULER_ANGLES")) {
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

const double gH = 267.5198e6, gN = -27.116e6, gC = 67.283e6;

}  // namespace testsim
