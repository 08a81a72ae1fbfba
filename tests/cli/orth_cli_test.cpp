// Tensor orthogonalization (-orth) as a user runs it: media simulated here from known order
// matrices on the 2MJB model, with the printed tensor set, scalar products, decomposition and
// orthogonal tensors checked against those matrices, and every orthogonalized table fitted back by
// the standard run; the four ubiquitin media; the usage text and the bad inputs users meet.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/ResultTable.h"
#include "common/TestUtil.h"

using testutil::RunResult;
using testutil::runOrvex;
using testutil::TempDir;

namespace {

const std::string kExamples = std::string(ORVEX_SOURCE_DIR) + "/examples/";
const std::string kModel1 = kExamples + "2MJB_model1.pdb";
const double kNH = 21585.2;

typedef std::array<double, 3> Vec;
typedef std::array<Vec, 3> Mat;
typedef std::array<double, 5> Five;

// ---- order matrices, computed here without the program's conventions of storage ----

// The traceless symmetric order matrix of (Szz, Sxx - Syy, Sxy, Sxz, Syz).
Mat orderMatrix(const Five& s) {
    return {{{-(s[0] - s[1]) / 2, s[2], s[3]}, {s[2], -(s[0] + s[1]) / 2, s[4]}, {s[3], s[4], s[0]}}};
}

double frobenius(const Mat& a, const Mat& b) {
    double sum = 0;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) sum += a[i][j] * b[i][j];
    return sum;
}

// Da = S_Z / 2 and Rh = Dr / Da, Dr = (S_X - S_Y) / 3, with |S_X| <= |S_Y| <= |S_Z|; the
// eigenvalues by the closed form for a traceless symmetric 3x3 matrix.
struct Axial {
    double da, rh;
};
Axial axial(const Mat& S) {
    const double p = std::sqrt(frobenius(S, S) / 6);
    const double det = S[0][0] * (S[1][1] * S[2][2] - S[1][2] * S[2][1]) -
                       S[0][1] * (S[1][0] * S[2][2] - S[1][2] * S[2][0]) +
                       S[0][2] * (S[1][0] * S[2][1] - S[1][1] * S[2][0]);
    const double phi = std::acos(std::max(-1.0, std::min(1.0, det / (2 * p * p * p)))) / 3;
    std::array<double, 3> e = {2 * p * std::cos(phi), 2 * p * std::cos(phi + 2 * M_PI / 3),
                               2 * p * std::cos(phi + 4 * M_PI / 3)};
    std::sort(e.begin(), e.end(), [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    const double da = e[2] / 2;
    return {da, (e[0] - e[1]) / 3 / da};
}

// A tensor given in the coordinates of the tensor set (Szz, (Sxx-Syy)/√3, 2Sxy/√3, 2Sxz/√3, 2Syz/√3).
Mat fromSetCoordinates(const std::vector<double>& c) {
    const double r = std::sqrt(3.0);
    return orderMatrix({c[0], c[1] * r, c[2] * r / 2, c[3] * r / 2, c[4] * r / 2});
}

// ---- the first model of a structure file, read here ----
struct Atoms {
    std::map<std::pair<int, std::string>, Vec> xyz;
    std::map<int, std::string> resName;
};

// The first word of columns [from, from + width) of a fixed-column line.
std::string field(const std::string& line, size_t from, size_t width) {
    std::string word;
    std::istringstream(line.substr(from, width)) >> word;
    return word;
}

Atoms readFirstModel(const std::string& path) {
    Atoms atoms;
    std::istringstream in(testutil::readFile(path));
    for (std::string line; std::getline(in, line) && line.rfind("ENDMDL", 0) != 0;) {
        if (line.rfind("ATOM", 0) != 0 || line.size() < 54) continue;
        const int res = std::stoi(line.substr(22, 4));
        atoms.resName[res] = field(line, 17, 3);
        atoms.xyz[{res, field(line, 12, 4)}] = {std::stod(line.substr(30, 8)), std::stod(line.substr(38, 8)),
                                                      std::stod(line.substr(46, 8))};
    }
    return atoms;
}

// ---- media simulated from known tensors ----

// One kind of coupling as listed in a table (atoms and residues relative to the residue i of the
// coupling) and the line the orthogonalized tables give it.
struct Kind {
    int cls;           // class code: the tables list classes in this order
    std::string group; // couplings of one group and residue are the same coupling in every medium
    std::string atomI; int offI;
    std::string atomJ; int offJ;
    double dmax;       // |DI| in Hz at the class's standard distance; 0: from the model's distance
    std::string outI; int outOffI;
    std::string outJ; int outOffJ;
    double w;
};

const double gH = 267.5198e6, gN = -27.116e6, gC = 67.283e6, kDI = 3.356809033771374e-12;
double dmax(double gI, double gJ, double r) { return std::fabs(gI * gJ * kDI / (r * r * r)); }

const Kind kNH_N = {1, "HN_N", "N", 0, "H", 0, dmax(gH, gN, 1.041), "HN", 0, "N", 0, 1.0};
const Kind kH_N = {1, "HN_N", "H", 0, "N", 0, dmax(gH, gN, 1.041), "HN", 0, "N", 0, 1.0};
const Kind kC_HN = {3, "HN_C", "C", -1, "H", 0, dmax(gH, gC, 2.085), "HN", 0, "C", -1, 3.238};
const Kind kHN_C = {3, "HN_C", "H", 0, "C", -1, dmax(gH, gC, 2.085), "HN", 0, "C", -1, 3.238};
const Kind kN_C = {6, "N_C", "N", 0, "C", -1, dmax(gN, gC, 1.329), "N", 0, "C", -1, 8.273};
const Kind kHA_CA = {7, "HA_CA", "HA", 0, "CA", 0, dmax(gH, gC, 1.107), "HA", 0, "CA", 0, 0.485};
const Kind kC_CA = {10, "C_CA", "C", 0, "CA", 0, dmax(gC, gC, 1.525), "C", 0, "CA", 0, 5.037};
// C(i-1)-N(i) listed C first is not a named class: written as listed, weight 0
const Kind kC_N = {0, "C_N", "C", -1, "N", 0, 0, "C", -1, "N", 0, 0.0};

struct Medium {
    Five saupe;
    std::vector<Kind> kinds;
    std::set<std::pair<std::string, int>> left;   // (group, residue) not listed in this medium
};

// One line expected in every orthogonalized table.
struct Expected {
    int cls, res;                   // class code and residue of the group
    int resI;                       // residue I as written
    std::string line;               // the identity and W as the tables print them
    std::string label;              // "atomI-atomJ" of the summary
    std::vector<double> observed;   // 10 d / Da_HN of each medium
};

// |DI| u.S.u for the unit vector u along a - b; DI at the pair's own distance when dm is 0.
double coupling(const Mat& S, const Vec& a, const Vec& b, double dm) {
    Vec u;
    double len = 0;
    for (int c = 0; c < 3; c++) len += (u[c] = a[c] - b[c]) * u[c];
    len = std::sqrt(len);
    double q = 0;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) q += u[i] * S[i][j] * u[j] / (len * len);
    return (dm > 0 ? dm : dmax(gC, gN, len)) * q;
}

// Writes medium k's table; adds its couplings to the groups (group, residue) -> per-medium value.
void writeMedium(const std::string& path, const Atoms& atoms, const Medium& m, size_t k, size_t nMedia,
                 std::map<std::pair<std::string, int>, std::vector<double>>& values,
                 std::map<std::pair<std::string, int>, const Kind*>& kindOf) {
    const Mat S = orderMatrix(m.saupe);
    std::string text = "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\nFORMAT %d %s %s %d %s %s %f\n";
    for (const Kind& kind : m.kinds) {
        for (const auto& rn : atoms.resName) {
            const int i = rn.first, rI = i + kind.offI, rJ = i + kind.offJ;
            auto a = atoms.xyz.find({rI, kind.atomI}), b = atoms.xyz.find({rJ, kind.atomJ});
            if (a == atoms.xyz.end() || b == atoms.xyz.end() || m.left.count({kind.group, i})) continue;
            const double d = coupling(S, a->second, b->second, kind.dmax);
            char row[160];
            std::snprintf(row, sizeof row, "%d %s %s %d %s %s %.6f\n", rI, atoms.resName.at(rI).c_str(),
                          kind.atomI.c_str(), rJ, atoms.resName.at(rJ).c_str(), kind.atomJ.c_str(), d);
            text += row;
            auto& v = values[{kind.group, i}];
            v.resize(nMedia, NAN);
            v[k] = d;
            kindOf[{kind.group, i}] = &kind;
        }
    }
    testutil::writeFile(path, text);
}

// ---- reading what the program printed ----

std::vector<double> numbers(const std::string& line) {
    std::istringstream in(line);
    std::vector<double> v;
    for (std::string w; in >> w;) {
        char* end = nullptr;
        double x = std::strtod(w.c_str(), &end);
        if (end != w.c_str() && *end == '\0') v.push_back(x);
    }
    return v;
}

// The `count` lines after the first line equal to `title` (fewer when the text ends).
std::vector<std::string> after(const std::vector<std::string>& lines, const std::string& title, size_t count) {
    auto it = std::find(lines.begin(), lines.end(), title);
    if (it == lines.end()) return {};
    ++it;
    return std::vector<std::string>(it, it + std::min<size_t>(count, lines.end() - it));
}

std::vector<std::vector<double>> matrix(const std::vector<std::string>& lines) {
    std::vector<std::vector<double>> m;
    for (const std::string& l : lines) m.push_back(numbers(l));
    return m;
}

// Words of the lines after the FORMAT line and its empty line.
std::vector<std::string> tableLines(const std::string& text) {
    auto lines = testutil::splitLines(text);
    if (lines.size() < 3) return {};
    return std::vector<std::string>(lines.begin() + 3, lines.end());
}

using resulttable::dataValues;

const std::string kTableHead = "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J  D W\n"
                               "FORMAT %4d %4s %4s %4d %4s %4s %9.3f  %.3f\n\n";

struct OrthRun {
    RunResult result;
    std::vector<Axial> axes;
    std::vector<Mat> S;
    std::vector<Expected> expected;
};

// Simulates the media, runs -orth on them in dir, and checks every printed block and table
// against the known tensors; then fits each table back with the standard run and checks that the
// fitted tensors are orthogonal and carry the media's tensors.
void runAndCheck(const TempDir& dir, const std::vector<Medium>& media, OrthRun& run) {
    const size_t n = media.size(), rows = std::max<size_t>(n, 5), nSets = std::min<size_t>(n, 5);
    const Atoms atoms = readFirstModel(kModel1);
    std::map<std::pair<std::string, int>, std::vector<double>> values;
    std::map<std::pair<std::string, int>, const Kind*> kindOf;
    std::vector<std::string> args = {"-pdb", kModel1, "-orth", "-inDs"};
    for (size_t k = 0; k < n; k++) {
        const std::string name = "m" + std::to_string(k + 1) + ".tab";
        writeMedium(dir.file(name), atoms, media[k], k, n, values, kindOf);
        args.push_back(name);
        run.S.push_back(orderMatrix(media[k].saupe));
        run.axes.push_back(axial(run.S.back()));
    }
    for (const auto& v : values) {
        if (std::any_of(v.second.begin(), v.second.end(), [](double x) { return std::isnan(x); })) continue;
        const Kind& kind = *kindOf[v.first];
        const int i = v.first.second, rI = i + kind.outOffI, rJ = i + kind.outOffJ;
        Expected e{kind.cls, i, rI, "", kind.outI + "-" + kind.outJ, {}};
        char line[120];
        std::snprintf(line, sizeof line, "%d %s %s %d %s %s %.3f", rI, atoms.resName.at(rI).c_str(),
                      kind.outI.c_str(), rJ, atoms.resName.at(rJ).c_str(), kind.outJ.c_str(), kind.w);
        e.line = line;
        for (size_t k = 0; k < n; k++) e.observed.push_back(10 * v.second[k] / (kNH * run.axes[k].da));
        run.expected.push_back(e);
    }
    std::stable_sort(run.expected.begin(), run.expected.end(),
                     [](const Expected& a, const Expected& b) { return a.cls != b.cls ? a.cls < b.cls : a.res < b.res; });

    RunResult& r = run.result;
    r = runOrvex(args, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    const auto lines = testutil::splitLines(r.out);

    // each medium: its block, the fitted Saupe values and Da_HN, Rh of the known tensor
    for (size_t k = 0; k < n; k++) {
        const std::string block = "\nRDC set # " + std::to_string(k + 1) + "\tm" + std::to_string(k + 1) +
                                  ".tab:\nPerform SVD fit to " + kModel1 + "... \nSaupe Alignment Tensor Components "
                                  "(fitted to " + kModel1 + ") : \n        Szz     Sxx-Syy         Sxy         Sxz  "
                                  "       Syz    Da_HN Rhombicity\n";
        size_t at = r.out.find(block);
        EXPECT_NE(at, std::string::npos) << k;
        if (at == std::string::npos) continue;
        std::vector<double> v = numbers(r.out.substr(at + block.size(), r.out.find('\n', at + block.size()) - at - block.size()));
        ASSERT_EQ(v.size(), 7u);
        for (int c = 0; c < 5; c++) EXPECT_NEAR(v[c], media[k].saupe[c], 5e-7 * std::fabs(v[c]) + 1e-9);
        EXPECT_NEAR(v[5], kNH * run.axes[k].da, 0.0006);
        EXPECT_NEAR(v[6], run.axes[k].rh, 0.0006);
    }

    // T: Szz scaled to Da 10; norms and scalar products from the full order matrices (the set's
    // coordinates keep 2/3 of the Frobenius product); zero rows below the media
    auto T = matrix(after(lines, "#Medium    Szz (Sxx-Syy)/√3     2*Sxy/√3     2*Sxz/√3     2*Syz/√3 ", rows));
    EXPECT_NE(r.out.find("\n\nSaupe Alignment Tensor Components Set T (normalized to 10Hz): \n#Medium"), std::string::npos);
    EXPECT_EQ(T.size(), rows);
    double energy = 0;
    for (size_t k = 0; k < T.size(); k++) {
        ASSERT_EQ(T[k].size(), 6u);
        EXPECT_EQ(T[k][0], k + 1);
        if (k >= n) {
            EXPECT_NE(std::find(lines.begin(), lines.end(),
                                std::to_string(k + 1) + "        0.000        0.000        0.000        0.000        0.000 "),
                      lines.end());
            continue;
        }
        const Mat& S = run.S[k];
        const double scale = 10 / run.axes[k].da;
        EXPECT_NEAR(T[k][1], scale * S[2][2], 0.0006);
        double norm2 = 0;
        for (int c = 1; c < 6; c++) norm2 += T[k][c] * T[k][c];
        EXPECT_NEAR(norm2, 2.0 / 3 * scale * scale * frobenius(S, S), 0.002 * norm2);
        energy += norm2;
    }
    std::string head = "  ";
    for (size_t k = 0; k < n; k++) head += "       #" + std::to_string(k + 1);
    auto P = matrix(after(lines, head, n));
    EXPECT_NE(r.out.find("\n\nNormalized Scalar Products of Above Alignment Tensors: \n" + head + "\n"), std::string::npos);
    ASSERT_EQ(P.size(), n);
    for (size_t i = 0; i < n; i++)
        for (size_t j = 0; j < n; j++) {
            const double sign = run.axes[i].da * run.axes[j].da > 0 ? 1 : -1;
            const double cosine = frobenius(run.S[i], run.S[j]) /
                                  std::sqrt(frobenius(run.S[i], run.S[i]) * frobenius(run.S[j], run.S[j]));
            EXPECT_NEAR(P[i].at(j), sign * cosine, 0.0006) << i << " " << j;
        }

    // T = left diag(w) right^T, the left factor printed as "V", the right one as "U"
    EXPECT_NE(r.out.find("\n\nApplying SVD to Tensor Components Set T = U*S*V'...\n Unitary Matrix V: \n"),
              std::string::npos);
    auto left = matrix(after(lines, " Unitary Matrix V: ", rows));
    auto right = matrix(after(lines, " Unitary Matrix U: ", 5));
    auto sv = after(lines, " Diagonal Matrix S: ", 2);
    ASSERT_EQ(left.size(), rows);
    ASSERT_EQ(right.size(), 5u);
    ASSERT_EQ(sv.size(), 2u);
    EXPECT_EQ(sv[1], "");
    const std::vector<double> w = numbers(sv[0]);
    ASSERT_EQ(w.size(), 5u);
    double w2 = 0;
    for (double x : w) w2 += x * x;
    EXPECT_NEAR(w2, energy, 0.002 * energy);
    for (size_t k = 0; k < rows; k++)
        for (int c = 0; c < 5; c++) {
            double x = 0;
            for (int j = 0; j < 5; j++) x += left[k][j] * w[j] * right[c][j];
            EXPECT_NEAR(x, T[k][c + 1], 0.06) << k << " " << c;
        }

    // orthogonal tensors: one per nonzero singular value, of that size, with their Da and Rh
    auto O = after(lines, "             Tensor1  Tensor2  Tensor3  Tensor4  Tensor5", 7);
    EXPECT_NE(r.out.find("\nSaupe Alignment Tensor Components from Orthogonalizing Above Tensors:\n             "
                         "Tensor1"),
              std::string::npos);
    ASSERT_EQ(O.size(), 7u);
    const char* labels[7] = {"         Szz", "(Sxx-Syy)/√3", "    2*Sxy/√3", "    2*Sxz/√3", "    2*Syz/√3",
                             "          Da", "          Rh"};
    std::vector<std::vector<double>> cols(nSets);
    for (int c = 0; c < 7; c++) {
        EXPECT_EQ(O[c].rfind(labels[c], 0), 0u) << O[c];
        auto v = numbers(O[c].substr(std::string(labels[c]).size()));
        ASSERT_EQ(v.size(), nSets) << O[c];
        for (size_t j = 0; j < nSets && c < 5; j++) cols[j].push_back(v[j]);
    }
    std::vector<double> nonzero;
    for (double x : w)
        if (x > 1e-3) nonzero.push_back(x);
    ASSERT_EQ(nonzero.size(), nSets);
    auto daLine = numbers(O[5].substr(12)), rhLine = numbers(O[6].substr(12));
    for (size_t j = 0; j < nSets; j++) {
        double norm2 = 0;
        for (double x : cols[j]) norm2 += x * x;
        EXPECT_NEAR(std::sqrt(norm2), nonzero[j], 0.005);
        const Axial a = axial(fromSetCoordinates(cols[j]));
        EXPECT_NEAR(daLine[j], a.da, 0.002);
        EXPECT_NEAR(rhLine[j], a.rh, 0.002);
    }

    // conversion matrix: media by sets, orthonormal columns
    EXPECT_NE(r.out.find("\n\nGenerating Orthogonalized RDC Datasets ...\n\nConversion Matrix 1/(V'): \n"),
              std::string::npos);
    auto C = matrix(after(lines, "Conversion Matrix 1/(V'): ", n));
    ASSERT_EQ(C.size(), n);
    for (size_t a = 0; a < nSets; a++)
        for (size_t b = 0; b < nSets; b++) {
            double x = 0;
            for (size_t k = 0; k < n; k++) x += C[k].at(a) * C[k].at(b);
            EXPECT_NEAR(x, a == b ? 1 : 0, 0.006);
        }

    // the tables: one line per coupling listed in every medium, in class and residue order
    std::vector<std::vector<std::string>> setValues(nSets);
    for (size_t j = 1; j <= 6; j++) {
        const std::string name = "dOrth_" + std::to_string(j) + ".tab";
        EXPECT_EQ(testutil::fileExists(dir.file(name)), j <= nSets) << name;
        if (j > nSets) continue;
        EXPECT_NE(r.out.find("generating orthogonalized RDC set " + std::to_string(j) + "... saved to file " + name + "\n"),
                  std::string::npos);
        const std::string table = testutil::readFile(dir.file(name));
        EXPECT_EQ(table.substr(0, kTableHead.size()), kTableHead);
        auto body = tableLines(table);
        ASSERT_EQ(body.size(), run.expected.size());
        for (size_t i = 0; i < body.size(); i++) {
            std::istringstream in(body[i]);
            int rI, rJ;
            std::string nI, aI, nJ, aJ;
            double d, wt;
            ASSERT_TRUE(in >> rI >> nI >> aI >> rJ >> nJ >> aJ >> d >> wt) << body[i];
            char again[160], id[120];
            std::snprintf(again, sizeof again, " %4d %4s %4s %4d %4s %4s %9.3f  %.3f", rI, nI.c_str(), aI.c_str(), rJ,
                          nJ.c_str(), aJ.c_str(), d, wt);
            std::snprintf(id, sizeof id, "%d %s %s %d %s %s %.3f", rI, nI.c_str(), aI.c_str(), rJ, nJ.c_str(),
                          aJ.c_str(), wt);
            EXPECT_EQ(body[i], again);
            EXPECT_EQ(id, run.expected[i].line);
            char dText[32];
            std::snprintf(dText, sizeof dText, "%9.3f ", d);
            setValues[j - 1].push_back(dText);
        }
    }

    // summary: the normalised observations of each medium and the tables' values
    std::string summaryHead = "D_TYPE RES";
    for (size_t k = 0; k < n; k++) summaryHead += "  obsD_#" + std::to_string(k + 1);
    summaryHead += "     ";
    for (size_t j = 0; j < nSets; j++) summaryHead += "  orthD_#" + std::to_string(j + 1);
    EXPECT_NE(r.out.find("\nSummary of orthogonalized RDC sets:\n" + summaryHead + "\n"), std::string::npos);
    auto summary = after(lines, summaryHead, run.expected.size());
    ASSERT_EQ(summary.size(), run.expected.size());
    for (size_t i = 0; i < summary.size(); i++) {
        const Expected& e = run.expected[i];
        char start[32];
        std::snprintf(start, sizeof start, "%6s %3d ", e.label.c_str(), e.resI);
        EXPECT_EQ(summary[i].rfind(start, 0), 0u) << summary[i];
        const size_t arrow = summary[i].find("  => ");
        ASSERT_NE(arrow, std::string::npos);
        auto obs = numbers(summary[i].substr(11, arrow - 11));
        ASSERT_EQ(obs.size(), n);
        for (size_t k = 0; k < n; k++) EXPECT_NEAR(obs[k], e.observed[k], 0.0006) << summary[i];
        std::string sets;
        for (size_t j = 0; j < nSets; j++) sets += setValues[j][i];
        EXPECT_EQ(summary[i].substr(arrow + 5), sets);
    }

    // each table fitted on its own: exact, and the fitted tensors are orthogonal; together they
    // carry every medium's tensor scaled to Da 10 (in Hz as an N-H coupling)
    std::vector<Mat> fitted;
    for (size_t j = 1; j <= nSets; j++) {
        const std::string name = "dOrth_" + std::to_string(j) + ".tab", out = "fit_" + std::to_string(j) + ".tab";
        RunResult f = runOrvex({"-pdb", kModel1, "-inD", name, "-outD", out}, dir.path());
        EXPECT_EQ(f.status, 1);
        const std::string table = testutil::readFile(dir.file(out));
        auto s = dataValues(table, "SAUPE");
        EXPECT_LT(dataValues(table, "Q_FACTOR").at(0), 0.002);
        ASSERT_EQ(s.size(), 5u);
        Mat S = orderMatrix({s[0], s[1], s[2], s[3], s[4]});
        for (auto& row : S)
            for (double& x : row) x *= kNH;
        fitted.push_back(S);
    }
    double fittedEnergy = 0;
    for (size_t a = 0; a < nSets; a++) {
        fittedEnergy += 2.0 / 3 * frobenius(fitted[a], fitted[a]);
        for (size_t b = 0; b < a; b++)
            EXPECT_LT(std::fabs(frobenius(fitted[a], fitted[b])) /
                          std::sqrt(frobenius(fitted[a], fitted[a]) * frobenius(fitted[b], fitted[b])),
                      0.002)
                << a << " " << b;
    }
    EXPECT_NEAR(fittedEnergy, energy, 0.003 * energy);
    for (size_t k = 0; k < n; k++) {
        Mat X = run.S[k], rest = run.S[k];
        for (auto& row : X)
            for (double& x : row) x *= 10 / run.axes[k].da;
        rest = X;
        for (const Mat& F : fitted) {
            const double c = frobenius(X, F) / frobenius(F, F);
            for (int a = 0; a < 3; a++)
                for (int b = 0; b < 3; b++) rest[a][b] -= c * F[a][b];
        }
        EXPECT_LT(std::sqrt(frobenius(rest, rest) / frobenius(X, X)), 0.003) << k;
    }
}

// HN_C is listed HN first in every medium: couplings are grouped by their class and the residue of
// the atom they list first, so a C-first listing would be keyed by the carbonyl's residue.
const std::vector<Kind> kFirstWay = {kNH_N, kHN_C, kN_C, kHA_CA, kC_CA, kC_N};
const std::vector<Kind> kOtherWay = {kH_N, kHN_C, kN_C, kHA_CA, kC_CA, kC_N};
const Five kTensors[6] = {{4.4e-4, 3.3e-4, 5.4e-4, -1.5e-4, 3.1e-4},  {-6.0e-4, 2.0e-4, -1.0e-4, 3.5e-4, 2.5e-4},
                          {2.0e-4, -5.0e-4, 3.0e-4, 4.0e-4, -2.0e-4}, {1.0e-4, 4.0e-4, -3.0e-4, 1.0e-4, 5.0e-4},
                          {-3.0e-4, -2.0e-4, 2.0e-4, -4.0e-4, 1.0e-4}, {5.0e-4, 1.0e-4, 1.0e-4, 2.0e-4, -3.0e-4}};

// Medium k: the second lists its couplings the other way round and lacks a few.
std::vector<Medium> media(size_t n) {
    std::vector<Medium> m;
    for (size_t k = 0; k < n; k++) m.push_back({kTensors[k], k == 1 ? kOtherWay : kFirstWay, {}});
    for (int i = 10; i <= 14; i++) m[1].left.insert({"HN_N", i});
    for (int i = 20; i <= 25; i++) m[1].left.insert({"C_CA", i});
    m[1].left.insert({"HN_C", 30});
    return m;
}

}  // namespace

// True when the table has a line for atoms I and J of these residues.
bool hasLine(const std::string& table, int resI, const std::string& atomI, int resJ, const std::string& atomJ) {
    for (const std::string& line : tableLines(table)) {
        std::istringstream in(line);
        int rI, rJ;
        std::string nI, aI, nJ, aJ;
        if (in >> rI >> nI >> aI >> rJ >> nJ >> aJ && rI == resI && aI == atomI && rJ == resJ && aJ == atomJ) return true;
    }
    return false;
}

// Two media: five-row T with three zero rows, two tables; couplings missing from one medium and
// couplings listed the other way round; HN_C and N_C lines with residue J one below residue I.
// Two media with orthogonal tensors: each is a set of its own. Three media; six media: six rows
// in T, none of them zero, five tables.
TEST(Orthogonalization, KnownMedia) {
    std::vector<Medium> orthogonal = media(2);
    orthogonal[0].saupe = {4.0e-4, 0, 0, 0, 0};
    orthogonal[1].saupe = {0, 2.0e-4, 3.0e-4, 0, 1.0e-4};
    for (const std::vector<Medium>& m : {media(2), orthogonal, media(3), media(6)}) {
        SCOPED_TRACE(m.size());
        TempDir dir;
        OrthRun run;
        runAndCheck(dir, m, run);
        if (m.size() != 2) continue;
        if (m[0].saupe[1] == 0) {
            EXPECT_NE(run.result.out.find("#1    1.000    0.000 \n#2    0.000    1.000 \n"), std::string::npos);
            continue;
        }
        EXPECT_GT(run.expected.size(), 300u);
        for (const char* name : {"dOrth_1.tab", "dOrth_2.tab"}) {
            const std::string table = testutil::readFile(dir.file(name));
            for (int i = 10; i <= 14; i++) EXPECT_FALSE(hasLine(table, i, "HN", i, "N")) << i;
            for (int i : {9, 15}) EXPECT_TRUE(hasLine(table, i, "HN", i, "N")) << i;
            EXPECT_FALSE(hasLine(table, 20, "C", 20, "CA"));
            EXPECT_FALSE(hasLine(table, 30, "HN", 29, "C"));
            EXPECT_TRUE(hasLine(table, 31, "HN", 30, "C"));
            EXPECT_NE(table.find("\n    3  ILE   HN    2  GLN    C "), std::string::npos);
            EXPECT_NE(table.find("\n    3  ILE    N    2  GLN    C "), std::string::npos);
            EXPECT_NE(table.find("\n    2  GLN    C    3  ILE    N "), std::string::npos);
        }
        EXPECT_NE(run.result.err.find("Loading PDB file " + kModel1 + ", residues 1 to 76 conformer #1, atom #1232\n"),
                  std::string::npos);
    }
}

// The four ubiquitin media on the 20-model ensemble: the tensors' cosines agree with an
// independent fit of the N-H couplings alone (tests/data/orth/README.md), signed by the media's
// Da; set 500 gives the independent reference Da_HN -9.48 Hz, Rh 0.167 (examples/README.md); four
// tables of the couplings common to all media.
TEST(Orthogonalization, FourUbiquitinMedia) {
    TempDir dir;
    const std::string data = std::string(ORVEX_TEST_DATA) + "/orth/";
    const double reference[4][4] = {
        {1, .904, .119, .532}, {.904, 1, .335, .820}, {.119, .335, 1, .640}, {.532, .820, .640, 1}};
    RunResult r = runOrvex({"-orth", "-pdb", kExamples + "2MJB.pdb", "-inDs", kExamples + "2mjb_set500_backbone.tab",
                            data + "2mjb_set501_backbone.tab", data + "2mjb_set502_backbone.tab",
                            data + "2mjb_set503_backbone.tab"},
                           dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    const auto lines = testutil::splitLines(r.out);
    std::vector<double> daHz;
    const std::string heading = "        Szz     Sxx-Syy         Sxy         Sxz         Syz    Da_HN Rhombicity";
    for (size_t k = 0, at = 0; k < 4; k++, at++) {
        while (at < lines.size() && lines[at] != heading) at++;
        ASSERT_LT(at + 1, lines.size());
        auto v = numbers(lines[++at]);
        ASSERT_EQ(v.size(), 7u);
        daHz.push_back(v[5]);
        if (k == 0) {
            EXPECT_NEAR(v[5], -9.48, 0.005);
            EXPECT_NEAR(v[6], 0.167, 0.0005);
        }
    }
    auto P = matrix(after(lines, "         #1       #2       #3       #4", 4));
    ASSERT_EQ(P.size(), 4u);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) {
            EXPECT_NEAR(std::fabs(P[i].at(j)), reference[i][j], 0.02) << i << " " << j;
            EXPECT_EQ(P[i].at(j) > 0, daHz[i] * daHz[j] > 0) << i << " " << j;
        }
    const size_t rows = tableLines(testutil::readFile(dir.file("dOrth_1.tab"))).size();
    EXPECT_GT(rows, 80u);
    for (int j = 2; j <= 5; j++) {
        const std::string name = dir.file("dOrth_" + std::to_string(j) + ".tab");
        ASSERT_EQ(testutil::fileExists(name), j <= 4);
        if (j <= 4) {
            EXPECT_EQ(tableLines(testutil::readFile(name)).size(), rows);
        }
    }
}

const std::string kBanner = "\n######################################\n### Orvex - Tensors Orthogonalization ###\n"
                            "######################################\n\n";
const std::string kUsage = "\nnArguments for Alignment Tensors Orthogonalization :\n"
                           " 1. perform SVD fit to input couplings from each medium \n"
                           " 2. perform SVD to orthogonalize above fitted alignment tensors \n"
                           " 3. generate up to 5 sets of orthogonalized couplings (dOrth1.tab ...) \n"
                           "Arguments:\n"
                           " -orth          Run Alignment Tensors Orthogonalization (Required).\n"
                           " -inDs  [None]  Dipolar Coupling Input Files (Minimum two required).\n"
                           " -pdb   [None]  PDB Input File (Required).\n";

// Without -inDs, or with fewer than two files: the usage text, status 0, nothing loaded.
TEST(Orthogonalization, UsageText) {
    TempDir dir;
    const std::string fewer = "## Require coupling data from at least two alignment media! \n";
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"-orth"}, kBanner + kUsage},
        {{"-pdb", kModel1, "-orth"}, kBanner + kUsage},
        {{"-orth", "-pdb", kModel1, "-inDs", "a.tab"}, kBanner + fewer + kUsage},
        {{"-orth", "-inDs", "-pdb", kModel1}, kBanner + fewer + kUsage},
    };
    for (const Case& c : cases) {
        RunResult r = runOrvex(c.args, dir.path());
        EXPECT_EQ(r.status, 0) << c.args.size();
        EXPECT_EQ(r.out, "") << c.args.size();
        EXPECT_TRUE(testutil::sameLines(c.err, r.err)) << c.args.size();
    }
}

// A missing medium, a missing structure, a medium without alignment and an unwritable table.
TEST(Orthogonalization, BadInputsUsersMeet) {
    TempDir dir;
    const Atoms atoms = readFirstModel(kModel1);
    std::map<std::pair<std::string, int>, std::vector<double>> values;
    std::map<std::pair<std::string, int>, const Kind*> kindOf;
    const std::vector<Medium> m = media(2);
    writeMedium(dir.file("m1.tab"), atoms, m[0], 0, 2, values, kindOf);
    writeMedium(dir.file("m2.tab"), atoms, m[1], 1, 2, values, kindOf);

    // the read error; the empty medium cannot be fitted and ends the run (status 0) after its
    // announcement, writing no table
    RunResult r = runOrvex({"-orth", "-pdb", kModel1, "-inDs", "m1.tab", "missing.tab"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("\tCan't open file missing.tab for reading\nLoading DC file missing.tab, 0 couplings found\n"),
              std::string::npos);
    const std::string tail = "\nRDC set # 2\tmissing.tab:\nPerform SVD fit to " + kModel1 + "... \n";
    EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), tail.size())), tail);
    EXPECT_FALSE(testutil::fileExists(dir.file("dOrth_1.tab")));

    // no structure
    r = runOrvex({"-orth", "-inDs", "m1.tab", "m2.tab"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("No PDB structure loaded ...\n"), std::string::npos);
    EXPECT_FALSE(testutil::fileExists(dir.file("dOrth_1.tab")));

    // every coupling zero: no tensor to scale to Da 10
    testutil::writeFile(dir.file("zero.tab"), "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n"
                                              "FORMAT %d %s %s %d %s %s %f\n"
                                              "2 GLN N 2 GLN H 0\n3 ILE N 3 ILE H 0\n4 PHE N 4 PHE H 0\n"
                                              "5 VAL N 5 VAL H 0\n6 LYS N 6 LYS H 0\n7 THR N 7 THR H 0\n");
    r = runOrvex({"-orth", "-pdb", kModel1, "-inDs", "m1.tab", "zero.tab"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("## RDC set # 2 gives a zero alignment tensor: it cannot be normalized! \n"), std::string::npos);
    EXPECT_EQ(r.out.find("nan"), std::string::npos);
    EXPECT_FALSE(testutil::fileExists(dir.file("dOrth_1.tab")));

    // a table that cannot be written goes to standard output after its message; the others are written
    ASSERT_EQ(mkdir(dir.file("dOrth_1.tab").c_str(), 0755), 0);
    r = runOrvex({"-orth", "-pdb", kModel1, "-inDs", "m1.tab", "m2.tab"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("DC Error opening output file dOrth_1.tab\n"), std::string::npos);
    EXPECT_NE(r.out.find("generating orthogonalized RDC set 1... saved to file dOrth_1.tab\n" + kTableHead + " "),
              std::string::npos);
    const std::string second = testutil::readFile(dir.file("dOrth_2.tab"));
    EXPECT_EQ(second.substr(0, kTableHead.size()), kTableHead);
    const size_t from = r.out.find(kTableHead), to = r.out.find("generating orthogonalized RDC set 2");
    ASSERT_LT(from, to);
    EXPECT_EQ(std::count(r.out.begin() + from, r.out.begin() + to, '\n'), 3 + tableLines(second).size());
    EXPECT_NE(r.out.find("\tRunning time (main): "), std::string::npos);
}
