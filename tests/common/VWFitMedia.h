// Media of the ensemble-fit tests: a structure and simulated tables written to a folder and read
// by the program's own readers (the couplings as the fit receives them), and the score of a weight
// vector recomputed from the coordinates: rows averaged here from the unit vectors of the models,
// the order matrix from the 5 x 5 normal equations, and each class's Q from the Frobenius norm of
// the order matrix (|Da| sqrt((4 + 3 Rh^2) / 5) = sqrt(2 |S|^2 / 15)), with no eigenvalues.
#pragma once

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "common/PeptideEnsemble.h"
#include "common/TestUtil.h"
#include "couplings/DCListData.h"
#include "io/PDB.h"
#include "tensor/DTensor.h"

namespace vwfitmedia {

using knowntensor::M3;
using peptide::Coupling;

struct Media {
    std::vector<PDB> pdbs;
    std::vector<DCListData> lists;
    std::vector<std::vector<DipolarCouplingData>> couplings;   // as the fit receives them
    std::vector<DTensor> tensors;
    std::vector<int> numbers;                                   // conformer numbers
    int conformers() const { return pdbs.front().conformer_count; }
};

// Writes the structure and one table per medium into dir and reads them as the program does,
// selecting the residues `working` (pairs; empty: all) for the fit.
inline Media load(const testutil::TempDir& dir, const std::string& pdbText,
                  const std::vector<std::vector<Coupling>>& tables, const std::vector<int>& working = {}) {
    Media m;
    testutil::writeFile(dir.file("ens.pdb"), pdbText);
    m.pdbs.emplace_back();
    m.pdbs.back().isLoaded = m.pdbs.back().loadPDB(dir.file("ens.pdb"));
    for (const auto& conf : m.pdbs.back().Conformers) m.numbers.push_back(conf.first);
    for (size_t k = 0; k < tables.size(); k++) {
        const std::string name = dir.file("m" + std::to_string(k) + ".tab");
        testutil::writeFile(name, peptide::tableText(tables[k]));
        m.lists.emplace_back();
        m.tensors.emplace_back();
        DCListData& list = m.lists.back();
        list.readDC(name, m.tensors.back());
        list.selectDC(list.segFIRST, list.segLAST, working, working, true);
        list.buildDC(m.pdbs, true, 0);
        m.couplings.push_back(list.dcList);
    }
    return m;
}

// The order matrix of a Saupe vector (Szz, Sxx - Syy, Sxy, Sxz, Syz) and its squared norm.
inline double saupeNorm2(const double s[5]) {
    const double xx = -(s[0] - s[1]) / 2, yy = -(s[0] + s[1]) / 2, zz = s[0];
    return xx * xx + yy * yy + zz * zz + 2 * (s[2] * s[2] + s[3] * s[3] + s[4] * s[4]);
}

// Least squares min sum_j (row_j . s - rhs_j)^2 by the normal equations (Gauss-Jordan with
// partial pivoting).
inline std::array<double, 5> solve5(const std::vector<std::array<double, 5>>& rows, const std::vector<double>& rhs) {
    double a[5][6] = {};
    for (size_t j = 0; j < rows.size(); j++)
        for (int p = 0; p < 5; p++) {
            for (int q = 0; q < 5; q++) a[p][q] += rows[j][p] * rows[j][q];
            a[p][5] += rows[j][p] * rhs[j];
        }
    for (int c = 0; c < 5; c++) {
        int piv = c;
        for (int r = c + 1; r < 5; r++)
            if (std::fabs(a[r][c]) > std::fabs(a[piv][c])) piv = r;
        for (int q = 0; q < 6; q++) std::swap(a[c][q], a[piv][q]);
        for (int r = 0; r < 5; r++) {
            if (r == c) continue;
            const double f = a[r][c] / a[c][c];
            for (int q = c; q < 6; q++) a[r][q] -= f * a[c][q];
        }
    }
    std::array<double, 5> s;
    for (int p = 0; p < 5; p++) s[p] = a[p][5] / a[p][p];
    return s;
}

// The five orientation functions of the unit vector along I - J in one model (false when an
// atom is missing there).
inline bool orientation(const peptide::Models& models, int model, const Coupling& c, std::array<double, 5>& f) {
    const auto& atoms = models.at(model);
    auto i = atoms.find({c.resI, c.kind.nameI}), j = atoms.find({c.resJ, c.kind.nameJ});
    if (i == atoms.end() || j == atoms.end()) return false;
    const peptide::Xyz u = peptide::unit(peptide::sub(i->second, j->second));
    const double x = u[0], y = u[1], z = u[2];
    f = {(3 * z * z - 1) / 2, (x * x - y * y) / 2, 2 * x * y, 2 * z * x, 2 * z * y};
    return true;
}

struct Reference {
    double score = 0, meanQ = 0;
    std::vector<double> mediumQ;   // per medium: the mean of its class Qs
    std::vector<std::array<double, 5>> saupe;
};

// The score of raw weights w for the media (tables[k] with the row uncertainties sigma[k][j] that
// the program assigned): normalised weights |w| / sum |w|, rows sum_m w_m f_m, each row scaled by
// |DI| / sigma against d / sigma, Q per class (or per medium with byClass false) and the penalty
// C (sum w^2)^0.1 / media.
inline Reference referenceScore(const peptide::Models& models, const std::vector<std::vector<Coupling>>& tables,
                                const std::vector<std::vector<double>>& sigma, const std::vector<double>& w, double C,
                                bool byClass) {
    double total = 0;
    for (double v : w) total += std::fabs(v);
    std::vector<double> wn;
    for (double v : w) wn.push_back(std::fabs(v) / total);
    Reference ref;
    double sumQ = 0;
    int countQ = 0;
    for (size_t k = 0; k < tables.size(); k++) {
        std::vector<std::array<double, 5>> avg, rows;
        std::vector<double> rhs;
        for (size_t j = 0; j < tables[k].size(); j++) {
            const Coupling& c = tables[k][j];
            std::array<double, 5> a{}, f;
            int m = 0;
            for (const auto& model : models) {
                if (orientation(models, model.first, c, f))
                    for (int p = 0; p < 5; p++) a[p] += wn[m] * f[p];
                m++;
            }
            avg.push_back(a);
            const double h = c.kind.absDI / sigma[k][j];
            std::array<double, 5> row;
            for (int p = 0; p < 5; p++) row[p] = h * a[p];
            rows.push_back(row);
            rhs.push_back(c.d / sigma[k][j]);
        }
        const std::array<double, 5> s = solve5(rows, rhs);
        ref.saupe.push_back(s);
        const double shape = std::sqrt(2 * saupeNorm2(s.data()) / 15);
        std::map<int, std::vector<double>> e2, di;   // class -> squared deviations, |DI|
        for (size_t j = 0; j < tables[k].size(); j++) {
            const Coupling& c = tables[k][j];
            double calc = 0;
            for (int p = 0; p < 5; p++) calc += avg[j][p] * s[p];
            calc *= c.kind.absDI;
            const int key = byClass ? c.kind.classCode : 0;
            e2[key].push_back((c.d - calc) * (c.d - calc));
            di[key].push_back(c.kind.absDI);
        }
        double mediumSum = 0;
        for (const auto& cls : e2) {
            double se = 0, sd = 0;
            for (double v : cls.second) se += v;
            for (double v : di[cls.first]) sd += v;
            const double n = static_cast<double>(cls.second.size());
            const double q = std::sqrt(se / n) / ((sd / n) * shape);
            mediumSum += q;
            sumQ += q;
            countQ++;
        }
        ref.mediumQ.push_back(mediumSum / e2.size());
    }
    ref.meanQ = sumQ / countQ;
    double s2 = 0;
    for (double v : wn) s2 += v * v;
    ref.score = ref.meanQ - C * std::pow(s2, 0.1) / tables.size();
    return ref;
}

// The uncertainties the program assigned to the couplings of each medium, in table order.
inline std::vector<std::vector<double>> sigmas(const Media& m) {
    std::vector<std::vector<double>> out;
    for (const auto& list : m.couplings) {
        out.emplace_back();
        for (const DipolarCouplingData& dc : list) out.back().push_back(dc.sigma);
    }
    return out;
}

}  // namespace vwfitmedia
