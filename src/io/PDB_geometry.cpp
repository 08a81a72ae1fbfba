// Geometry utilities of the structure class: distances, angles and dihedrals of atoms and
// residues, disulfide detection, least-squares superposition, and the class's vector helpers.
#include "io/PDB.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "common/Angles.h"
#include "io/GDB.h"
#include "numeric/SVD.h"

namespace {

using orvex::kPi;
const double kMissingAngle = 9999.0;       // dihedral of a residue with a missing atom
const double kSSBondMaxDist = 2.5;         // SG-SG distance (A) of a disulfide bond
const int kSSBondMinSeparation = 4;        // residues between two bonded cysteines, at least

}  // namespace

double PDB::getDist(const Vec3 a, const Vec3 b) {
    const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

double PDB::getDist(const CORdata& a, const CORdata& b) { return getDist(a.Coord, b.Coord); }

double PDB::getBondAngle(const Vec3 a, const Vec3 b, const Vec3 c) {
    const double u[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    const double v[3] = {c[0] - b[0], c[1] - b[1], c[2] - b[2]};
    const double cx = u[1] * v[2] - u[2] * v[1], cy = u[2] * v[0] - u[0] * v[2], cz = u[0] * v[1] - u[1] * v[0];
    const double cross = std::sqrt(cx * cx + cy * cy + cz * cz);
    const double dot = u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
    return std::atan2(cross, dot) * 180.0 / kPi;
}

double PDB::getBondAngle(const CORdata& a, const CORdata& b, const CORdata& c) {
    return getBondAngle(a.Coord, b.Coord, c.Coord);
}

CORdata PDB::setBondAngle(const CORdata& a, const CORdata& b, const CORdata& c, double angle) {
    CORdata moved = c;
    double u[3] = {a.Coord[0] - b.Coord[0], a.Coord[1] - b.Coord[1], a.Coord[2] - b.Coord[2]};
    const double w[3] = {c.Coord[0] - b.Coord[0], c.Coord[1] - b.Coord[1], c.Coord[2] - b.Coord[2]};
    const double lu = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    const double r = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    if (lu == 0.0 || r == 0.0) return moved;  // no plane to move in
    for (double& x : u) x /= lu;
    const double along = w[0] * u[0] + w[1] * u[1] + w[2] * u[2];
    double p[3] = {w[0] - along * u[0], w[1] - along * u[1], w[2] - along * u[2]};
    double lp = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    if (lp < 1e-12 * r) {
        // c on the a-b line: any plane through it will do; take the axis least aligned with u
        int k = 0;
        for (int i = 1; i < 3; i++)
            if (std::fabs(u[i]) < std::fabs(u[k])) k = i;
        double e[3] = {0, 0, 0};
        e[k] = 1.0;
        p[0] = e[0] - u[k] * u[0];
        p[1] = e[1] - u[k] * u[1];
        p[2] = e[2] - u[k] * u[2];
        lp = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    }
    const double t = angle * kPi / 180.0;
    for (int i = 0; i < 3; i++) moved.Coord[i] = b.Coord[i] + r * (std::cos(t) * u[i] + std::sin(t) * p[i] / lp);
    moved.X = static_cast<float>(moved.Coord[0]);
    moved.Y = static_cast<float>(moved.Coord[1]);
    moved.Z = static_cast<float>(moved.Coord[2]);
    return moved;
}

double PDB::getDihedralAngle(const Vec3 a, const Vec3 b, const Vec3 c, const Vec3 d) {
    const double b1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double b2[3] = {c[0] - b[0], c[1] - b[1], c[2] - b[2]};
    const double b3[3] = {d[0] - c[0], d[1] - c[1], d[2] - c[2]};
    auto cross = [](const double* x, const double* y, double* out) {
        out[0] = x[1] * y[2] - x[2] * y[1];
        out[1] = x[2] * y[0] - x[0] * y[2];
        out[2] = x[0] * y[1] - x[1] * y[0];
    };
    auto dot = [](const double* x, const double* y) { return x[0] * y[0] + x[1] * y[1] + x[2] * y[2]; };
    double n1[3], n2[3];
    cross(b1, b2, n1);
    cross(b2, b3, n2);
    const double y = std::sqrt(dot(b2, b2)) * dot(b1, n2);
    const double x = dot(n1, n2);
    return std::atan2(y, x) * 180.0 / kPi;
}

double PDB::getDihedralAngle(const CORdata& a, const CORdata& b, const CORdata& c, const CORdata& d) {
    return getDihedralAngle(a.Coord, b.Coord, c.Coord, d.Coord);
}

double PDB::dihedralOf(int conf, int resA, const char* a, int resB, const char* b, int resC, const char* c,
                       int resD, const char* d) const {
    const CORdata A = getEntry(conf, resA, a), B = getEntry(conf, resB, b);
    const CORdata C = getEntry(conf, resC, c), D = getEntry(conf, resD, d);
    if (!A.atomIndex || !B.atomIndex || !C.atomIndex || !D.atomIndex) return kMissingAngle;
    return getDihedralAngle(A, B, C, D);
}

double PDB::getPhi(int conf, int res) const { return dihedralOf(conf, res - 1, "C", res, "N", res, "CA", res, "C"); }

double PDB::getPsi(int conf, int res) const { return dihedralOf(conf, res, "N", res, "CA", res, "C", res + 1, "N"); }

double PDB::getOmega(int conf, int res) const {
    return dihedralOf(conf, res, "CA", res, "C", res + 1, "N", res + 1, "CA");
}

static std::string residueNameOf(const PDB& pdb, int conf, int res) {
    auto c = pdb.residLists.find(conf);
    if (c == pdb.residLists.end()) return std::string();
    auto r = c->second.find(res);
    return r == c->second.end() ? std::string() : GDB::str_toupper(r->second);
}

double PDB::getChi1(int conf, int res) const {
    const std::string name = residueNameOf(*this, conf, res);
    const char* gamma = "CG";
    if (name == "CYS") gamma = "SG";
    else if (name == "SER") gamma = "OG";
    else if (name == "THR") gamma = "OG1";
    else if (name == "ILE" || name == "VAL") gamma = "CG1";
    return dihedralOf(conf, res, "N", res, "CA", res, "CB", res, gamma);
}

double PDB::getChi2(int conf, int res) const {
    const std::string name = residueNameOf(*this, conf, res);
    const char* gamma = "CG";
    const char* delta = nullptr;
    if (name == "ILE") {
        gamma = "CG1";
        delta = "CD1";
    } else if (name == "LEU" || name == "PHE" || name == "TYR" || name == "TRP") {
        delta = "CD1";
    } else if (name == "ASN" || name == "ASP") {
        delta = "OD1";
    } else if (name == "HIS") {
        delta = "ND1";
    } else if (name == "MET") {
        delta = "SD";
    } else if (name == "ARG" || name == "GLN" || name == "GLU" || name == "LYS" || name == "PRO") {
        delta = "CD";
    }
    if (!delta) return kMissingAngle;
    return dihedralOf(conf, res, "CA", res, "CB", res, gamma, res, delta);
}

bool PDB::isSSBonded(int conf, int res) const {
    const CORdata sg = getEntry(conf, res, "SG");
    if (!sg.atomIndex) return false;
    auto c = residLists.find(conf);
    if (c == residLists.end()) return false;
    for (const auto& kv : c->second) {
        if (std::abs(kv.first - res) < kSSBondMinSeparation) continue;
        const CORdata other = getEntry(conf, kv.first, "SG");  // only cysteines carry an SG
        if (other.atomIndex && getDist(sg, other) <= kSSBondMaxDist) return true;
    }
    return false;
}

int PDB::svd_(double** a, int m, int n, double* w, double** v) {
    return SVD::getInstance()->SingValDecomp(a, m, n, w, v);
}

// Least-squares superposition (Kabsch): H = sum (b - b_c)^T (a - a_c) = U diag(w) V^T; the row-vector
// rotation taking b onto a is M = U D V^T, D flipping the smallest singular direction when
// det(U V^T) < 0 so that M stays a proper rotation.
static double superpose(PDB& pdb, const std::vector<std::array<double, 3>>& A,
                        const std::vector<std::array<double, 3>>& B) {
    const size_t n = std::min(A.size(), B.size());
    pdb.a_c.clear();
    pdb.b_c.clear();
    pdb.rot_m.clear();
    if (n == 0) return 0.0;
    double ca[3] = {0, 0, 0}, cb[3] = {0, 0, 0};
    for (size_t k = 0; k < n; k++)
        for (int i = 0; i < 3; i++) {
            ca[i] += A[k][i];
            cb[i] += B[k][i];
        }
    for (int i = 0; i < 3; i++) {
        ca[i] /= static_cast<double>(n);
        cb[i] /= static_cast<double>(n);
        pdb.a_c[i] = ca[i];
        pdb.b_c[i] = cb[i];
    }
    std::array<double, 9> h{}, v{};
    std::array<double, 3> w{};
    for (size_t k = 0; k < n; k++)
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) h[i * 3 + j] += (B[k][i] - cb[i]) * (A[k][j] - ca[j]);
    double* hRows[3] = {&h[0], &h[3], &h[6]};
    double* vRows[3] = {&v[0], &v[3], &v[6]};
    pdb.svd_(hRows, 3, 3, w.data(), vRows);  // h now holds U
    auto det3 = [](const double* m) {
        return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
               m[2] * (m[3] * m[7] - m[4] * m[6]);
    };
    double d[3] = {1, 1, 1};
    if (det3(h.data()) * det3(v.data()) < 0) {
        int k = 0;
        for (int i = 1; i < 3; i++)
            if (w[i] < w[k]) k = i;
        d[k] = -1;
    }
    double M[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            M[i][j] = 0;
            for (int k = 0; k < 3; k++) M[i][j] += h[i * 3 + k] * d[k] * v[j * 3 + k];
            pdb.rot_m[i][j] = M[i][j];
        }
    double sum = 0;
    for (size_t k = 0; k < n; k++)
        for (int j = 0; j < 3; j++) {
            double x = -(A[k][j] - ca[j]);
            for (int i = 0; i < 3; i++) x += (B[k][i] - cb[i]) * M[i][j];
            sum += x * x;
        }
    return std::sqrt(sum / static_cast<double>(n));
}

double PDB::rmsd(const DoubleD2& a, const DoubleD2& b, int n) {
    std::vector<std::array<double, 3>> A, B;
    auto take = [n](const DoubleD2& m, std::vector<std::array<double, 3>>& out) {
        for (const auto& kv : m) {
            if (static_cast<int>(out.size()) >= n) break;
            std::array<double, 3> p{};
            for (int i = 0; i < 3; i++) {
                auto it = kv.second.find(i);
                if (it != kv.second.end()) p[i] = it->second;
            }
            out.push_back(p);
        }
    };
    take(a, A);
    take(b, B);
    return superpose(*this, A, B);
}

double PDB::rmsd(const std::vector<CORdata>& a, const std::vector<CORdata>& b) {
    std::vector<std::array<double, 3>> A, B;
    for (const CORdata& e : a) A.push_back({e.Coord[0], e.Coord[1], e.Coord[2]});
    for (const CORdata& e : b) B.push_back({e.Coord[0], e.Coord[1], e.Coord[2]});
    return superpose(*this, A, B);
}

// ---------------------------------------------------------------- vector helpers

// The class's own vector helpers: those in double precision are the library's.
void PDB::Vec3Zero(Vec3 v) { ::Vec3Zero(v); }

void PDB::Vec3Copy(Vec3 dst, const Vec3 src) { ::Vec3Copy(dst, src); }

float PDB::Vec3Abs(const Vec3 v) { return static_cast<float>(std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2])); }

float PDB::Vec3DiffAbs(const Vec3 a, const Vec3 b) { return static_cast<float>(getDist(a, b)); }

void PDB::Vec3Norm(Vec3 v) {
    const float len = Vec3Abs(v);
    for (int i = 0; i < 3; i++) v[i] /= len;
}

void PDB::Vec3Scale(Vec3 v, float s) {
    for (int i = 0; i < 3; i++) v[i] *= s;
}

void PDB::Vec3Add(Vec3 a, const Vec3 b) { ::Vec3Add(a, b); }

void PDB::Vec3Sub(Vec3 a, const Vec3 b) { ::Vec3Sub(a, b); }

float PDB::Vec3Scalar(const Vec3 a, const Vec3 b) { return static_cast<float>(a[0] * b[0] + a[1] * b[1] + a[2] * b[2]); }

void PDB::Vec3Cross(Vec3 a, const Vec3 b) { ::Vec3Cross(a, b); }

void PDB::Mat3VecMult(Vec3 v, const Mat3 M) { ::Mat3VecMult(v, M); }

int PDB::sgn(float x) { return x < 0 ? -1 : 1; }

float PDB::arccos_(float x) { return static_cast<float>(orvex::clampedArccos(x)); }

double PDB::r_sign(float a, float b) {
    const double m = std::fabs(static_cast<double>(a));
    return b >= 0 ? m : -m;
}
