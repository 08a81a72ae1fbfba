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

#include "common/LeastSquaresReference.h"
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
        std::vector<std::array<double, 5>> avg;
        std::vector<double> rows, rhs;   // rows flat, five columns
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
            for (int p = 0; p < 5; p++) rows.push_back(h * a[p]);
            rhs.push_back(c.d / sigma[k][j]);
        }
        const std::vector<double> x = lsref::normalEquations(rows, rhs, static_cast<int>(rhs.size()), 5).x;
        const std::array<double, 5> s = {x[0], x[1], x[2], x[3], x[4]};
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

// Two media of tensors kS1 and kS2 simulated from the mixture of conformers 2, 5 and 9 of the
// ten peptide conformers, written to a folder and read back.
const M3 kS1 = knowntensor::tensorMatrix(5e-4, 2e-4, 30, 50, 70);
const M3 kS2 = knowntensor::tensorMatrix(-3e-4, -0.6e-4, -40, 110, 15);
const std::vector<double> kMixture = {0, 0.5, 0, 0, 0.3, 0, 0, 0, 0.2, 0};

struct TwoMedia {
    testutil::TempDir dir;
    peptide::Models models;
    std::vector<std::vector<Coupling>> tables;
    Media media;
    TwoMedia() {
        testutil::writeFile(dir.file("models.pdb"), peptide::pdbText());
        models = knowntensor::readModels(dir.file("models.pdb"));
        tables = {peptide::simulate(models, kMixture, kS1), peptide::simulate(models, kMixture, kS2)};
        media = load(dir, peptide::pdbText(), tables);
    }
};

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
