// Alignment-tensor orthogonalization of two or more media (-orth, with -inDs and -pdb): one
// SVD-fitted tensor per medium, normalised to Da = 10; the SVD T = U S V' of the set of tensors;
// the mutually orthogonal tensors; and the couplings recombined into "dOrth_%d.tab", one per set.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/Constants.h"
#include "common/Fail.h"
#include "common/ResidueNumber.h"
#include "driver/CmdArgParser.h"
#include "driver/Orvex.h"
#include "fit/SVDWorkData.h"
#include "io/RunFiles.h"
#include "numeric/SVD.h"

namespace {

constexpr int kComponents = 5;       // Saupe elements of one tensor
constexpr double kNormDa = 10.0;     // every medium's tensor is scaled to this Da
constexpr double kPresentTest = 1e-6;   // an orthogonal tensor is shown when |sum of its components| > this

typedef std::array<double, kComponents> Components;

// Dipolar constant of each class relative to the N-H one (21585.2 / |DI|), the W column of the
// orthogonalized tables, by class code; classes without an entry read 0.
double classFactor(int cls) {
    static const std::map<int, double> factors = {{1, 1.0},    {2, 1.0},   {3, 3.238}, {4, 0.485},
                                                  {5, 10.923}, {6, 8.273}, {7, 0.485}, {8, 1.0},
                                                  {9, 5.037},  {10, 5.037}, {11, 1.0}};
    auto it = factors.find(cls);
    return it == factors.end() ? 0.0 : it->second;
}

// A tensor in the coordinates of the tensor set: (Szz, (Sxx-Syy)/√3, 2 Sxy/√3, 2 Sxz/√3, 2 Syz/√3)
// divided by Da/10. Scalar products of these are proportional to those of the full order matrices.
Components normalisedRow(const DTensor& t) {
    const double f = t.da / kNormDa;
    const double g = f * orvex::kSqrt3;
    return {t.saupe[0] / f, t.saupe[1] / g, 2 * t.saupe[2] / g, 2 * t.saupe[3] / g, 2 * t.saupe[4] / g};
}

// The Saupe vector of a tensor given in those coordinates.
Components saupeOf(const Components& c) {
    const double h = orvex::kSqrt3 / 2;
    return {c[0], c[1] * orvex::kSqrt3, c[2] * h, c[3] * h, c[4] * h};
}

double dot(const Components& a, const Components& b) {
    double s = 0;
    for (int i = 0; i < kComponents; i++) s += a[i] * b[i];
    return s;
}

// T (rows x 5) = left * diag(w) * right^T. The singular values are not sorted.
struct TensorSetSvd {
    std::vector<Components> left;
    Components w{};
    std::array<Components, kComponents> right{};
};

TensorSetSvd decompose(const std::vector<Components>& T) {
    TensorSetSvd d;
    d.left = T;
    std::vector<double*> a, v;
    for (Components& row : d.left) a.push_back(row.data());
    for (Components& row : d.right) v.push_back(row.data());
    SVD::getInstance()->SingValDecomp(a.data(), static_cast<int>(T.size()), kComponents, d.w.data(), v.data());
    return d;
}

// The columns of the left factor that carry the sets: all five when there are five media or more;
// otherwise the columns that belong to the zero rows added below the n media are dropped, leaving n
// columns in their order. Chosen: those are the 5 - n columns with the most weight in the zero rows
// (marking rows and columns by elements of magnitude 1 would also drop a medium whose tensor is
// orthogonal to all the others).
std::vector<int> setColumns(const TensorSetSvd& d, int nMedia) {
    std::vector<int> columns;
    for (int j = 0; j < kComponents; j++) columns.push_back(j);
    if (nMedia >= kComponents) return columns;
    std::array<double, kComponents> weight{};
    for (int j = 0; j < kComponents; j++)
        for (int i = nMedia; i < kComponents; i++) weight[j] += d.left[i][j] * d.left[i][j];
    std::stable_sort(columns.begin(), columns.end(), [&weight](int a, int b) { return weight[a] < weight[b]; });
    columns.resize(nMedia);
    std::sort(columns.begin(), columns.end());
    return columns;
}

// One coupling of the orthogonalized tables: a class and residue observed once in every medium.
struct OrthCoupling {
    int resI = 0, resJ = 0;
    std::string resNameI, resNameJ, atomI, atomJ;
    double w = 0;                   // class factor
    std::vector<double> observed;   // 10 d / Da_HN of each medium
    std::vector<double> sets;       // D of each orthogonalized set
};

// The residue that keys a coupling's group: that of atom I of its class, which its line names.
// Reading that works: HN_C listed C first (C of residue i-1, HN of residue i) is keyed by its HN's
// residue i; keyed by the C's residue its line would name HN(i-1)-C(i-2), and it would never meet
// the same coupling listed HN first in another medium.
// Groups every coupling of every medium (measured or not) by (class, residue number of atom I)
// and collects the normalised observations of a group in medium order; a group whose collection
// holds exactly as many values as there are media is written, in class and residue order. Lines of
// a named class take their atom names from the class name cut at its "_" and residue J from the
// class (one below for HN_C and N_C); unclassified couplings are written from their first
// coupling, and so is CH3 (chosen: its name has no "_" to cut at). Residue names are those the
// tables give for each residue number.
std::vector<OrthCoupling> groupCouplings(const std::vector<DCListData>& lists, const std::vector<double>& daHz) {
    struct Group {
        const DipolarCouplingData* first = nullptr;
        std::vector<double> observed;
    };
    const size_t n = lists.size();
    std::map<std::pair<int, int>, Group> groups;
    std::map<int, std::string> resNames;
    for (size_t k = 0; k < n; k++) {
        for (const DipolarCouplingData& dc : lists[k].dcList) {
            resNames[dc.resIDI] = dc.resNameI;
            resNames[dc.resIDJ] = dc.resNameJ;
            Group& g = groups[{dc.CLASS, dc.resIDI}];
            if (!g.first) g.first = &dc;
            g.observed.push_back(kNormDa * dc.d / daHz[k]);
        }
    }
    std::vector<OrthCoupling> out;
    for (const auto& entry : groups) {
        const Group& g = entry.second;
        if (g.observed.size() != n) continue;
        OrthCoupling c;
        const int cls = entry.first.first;
        const std::string name = cls > 0 && cls < 12 ? DCTypeList[cls] : "";
        const size_t cut = name.find('_');
        if (cut != std::string::npos) {
            c.resI = entry.first.second;
            c.resJ = cls == 3 || cls == 6 ? orvex::residueOffset(c.resI, -1) : c.resI;
            c.atomI = name.substr(0, cut);
            c.atomJ = name.substr(cut + 1, 3);
        } else {
            c.resI = g.first->resIDI;
            c.resJ = g.first->resIDJ;
            c.atomI = g.first->atomNameI;
            c.atomJ = g.first->atomNameJ;
        }
        c.resNameI = resNames[c.resI];
        c.resNameJ = resNames[c.resJ];
        c.w = classFactor(cls);
        c.observed = g.observed;
        out.push_back(c);
    }
    return out;
}

// ---- listings on standard output ----

void printTensorSet(FILE* out, const std::vector<Components>& T) {
    std::fputs("\n\nSaupe Alignment Tensor Components Set T (normalized to 10Hz): \n", out);
    std::fputs("#Medium    Szz (Sxx-Syy)/√3     2*Sxy/√3     2*Sxz/√3     2*Syz/√3 \n", out);
    for (size_t i = 0; i < T.size(); i++) {
        std::fprintf(out, "%1d ", static_cast<int>(i + 1));
        for (double x : T[i]) std::fprintf(out, "%12.3f ", x);
        std::fputs("\n", out);
    }
}

// Signed cosines between the media's tensors.
void printScalarProducts(FILE* out, const std::vector<Components>& T, int nMedia) {
    std::fputs("\n\nNormalized Scalar Products of Above Alignment Tensors: \n", out);
    std::fputs("  ", out);
    for (int j = 0; j < nMedia; j++) std::fprintf(out, "       #%1d", j + 1);
    std::fputs("\n", out);
    for (int i = 0; i < nMedia; i++) {
        std::fprintf(out, "#%1d ", i + 1);
        for (int j = 0; j < nMedia; j++)
            std::fprintf(out, "%8.3f ", dot(T[i], T[j]) / std::sqrt(dot(T[i], T[i])) / std::sqrt(dot(T[j], T[j])));
        std::fputs("\n", out);
    }
}

void printRows(FILE* out, const Components* rows, size_t count) {
    for (size_t i = 0; i < count; i++) {
        for (double x : rows[i]) std::fprintf(out, "%8.3f ", x);
        std::fputs("\n", out);
    }
}

// The factors as users know them: the left factor is shown as "V", the right one as "U".
void printDecomposition(FILE* out, const TensorSetSvd& d) {
    std::fputs("\n\nApplying SVD to Tensor Components Set T = U*S*V'...\n", out);
    std::fputs(" Unitary Matrix V: \n", out);
    printRows(out, d.left.data(), d.left.size());
    std::fputs(" Unitary Matrix U: \n", out);
    printRows(out, d.right.data(), d.right.size());
    std::fputs(" Diagonal Matrix S: \n", out);
    printRows(out, &d.w, 1);
    std::fputs("\n", out);
}

// Orthogonal tensor j is w[j] times column j of the right factor; rows are components, columns
// the tensors present, then each tensor's Da and rhombicity (in the units of the set, Da 10).
void printOrthogonalTensors(FILE* out, const TensorSetSvd& d) {
    std::vector<Components> tensors;
    for (int j = 0; j < kComponents; j++) {
        Components c;
        for (int i = 0; i < kComponents; i++) c[i] = d.w[j] * d.right[i][j];
        double sum = 0;
        for (double x : c) sum += x;
        if (std::fabs(sum) > kPresentTest) tensors.push_back(c);
    }
    static const char* const labels[kComponents] = {"         Szz", "(Sxx-Syy)/√3", "    2*Sxy/√3", "    2*Sxz/√3",
                                                    "    2*Syz/√3"};
    std::fputs("\nSaupe Alignment Tensor Components from Orthogonalizing Above Tensors:\n", out);
    std::fputs("             Tensor1  Tensor2  Tensor3  Tensor4  Tensor5", out);
    // each row starts on a line of its own, as the Da and Rh rows do
    for (int i = 0; i < kComponents; i++) {
        std::fprintf(out, "\n%12s", labels[i]);
        for (const Components& c : tensors) std::fprintf(out, "%8.3f ", c[i]);
    }
    std::vector<double> da, rh;
    for (const Components& c : tensors) {
        DTensor scratch;
        const Components s = saupeOf(c);
        std::copy(s.begin(), s.end(), scratch.saupe.begin());
        scratch.saupe2principal();
        da.push_back(scratch.da);
        rh.push_back(scratch.da != 0 ? scratch.dr / scratch.da : 0.0);
    }
    std::fputs("\n          Da", out);
    for (double x : da) std::fprintf(out, "%8.3f ", x);
    std::fputs("\n          Rh", out);
    for (double x : rh) std::fprintf(out, "%8.3f ", x);
    std::fputs("\n", out);
}

void printConversionMatrix(FILE* out, const std::vector<std::vector<double>>& C) {
    std::fputs("\nConversion Matrix 1/(V'): \n", out);
    for (const auto& row : C) {
        for (double x : row) std::fprintf(out, "%8.3f ", x);
        std::fputs("\n", out);
    }
}

// ---- the orthogonalized tables ----

void writeSet(FILE* out, const std::vector<OrthCoupling>& couplings, size_t set) {
    std::fputs("VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J  D W\n", out);
    std::fputs("FORMAT %4d %4s %4s %4d %4s %4s %9.3f  %.3f\n\n", out);
    for (const OrthCoupling& c : couplings)
        std::fprintf(out, " %4d %4s %4s %4d %4s %4s %9.3f  %.3f\n", c.resI, c.resNameI.c_str(), c.atomI.c_str(),
                     c.resJ, c.resNameJ.c_str(), c.atomJ.c_str(), c.sets[set], c.w);
}

void printSummary(FILE* out, const std::vector<OrthCoupling>& couplings, int nMedia, int nSets) {
    std::fputs("\nSummary of orthogonalized RDC sets:\n", out);
    std::fputs("D_TYPE RES", out);
    for (int k = 0; k < nMedia; k++) std::fprintf(out, "  obsD_#%1d", k + 1);
    std::fputs("     ", out);
    for (int j = 0; j < nSets; j++) std::fprintf(out, "  orthD_#%1d", j + 1);
    std::fputs("\n", out);
    for (const OrthCoupling& c : couplings) {
        std::fprintf(out, "%6s %3d ", (c.atomI + "-" + c.atomJ).c_str(), c.resI);
        for (double x : c.observed) std::fprintf(out, "%8.3f ", x);
        std::fputs("  => ", out);
        for (double x : c.sets) std::fprintf(out, "%9.3f ", x);
        std::fputs("\n", out);
    }
}

}  // namespace

StringList Orvex::orthMediaFiles() {
    const CmdArgParser& p = *CmdArgParser::getInstance();
    if (!p.isValidArg("inDs")) printSyntax_orth(1);
    StringList files = p.getArgValueSS("inDs");
    if (files.size() < 2) {
        std::fputs("## Require coupling data from at least two alignment media! \n", stderr);
        printSyntax_orth(1);
    }
    return files;
}

void Orvex::fitOrthMedium(int k, const std::string& fileName, DCListData& list, DTensor& t) {
    t.initTensor(1);
    std::printf("\nRDC set # %d\t%s:\n", k, fileName.c_str());
    list.readDC(fileName, t);
    dcCount = list.dcCount;
    segFIRST = list.segFIRST;
    segLAST = list.segLAST;
    list.selectDC(segFIRST, segLAST, excludeMode);
    list.buildDC(pdbList, allowFixedDI != 0, 0);

    std::printf("Perform SVD fit to %s... \n", inPDBFileName.c_str());
    SVDWorkData svd;
    svd.simD(list.dcList, pdbCount, t);   // ends the run (status 0) when nothing can be fitted
    t.eulerCount = t.saupe2euler();
    const double daHz = orvex::kDmaxNHAbs * t.da;
    const double rh = t.da != 0 ? t.dr / t.da : 0.0;
    std::printf("Saupe Alignment Tensor Components (fitted to %s) : \n", inPDBFileName.c_str());
    std::puts("        Szz     Sxx-Syy         Sxy         Sxz         Syz    Da_HN Rhombicity");
    for (double s : t.saupe) std::printf(" %10.3e ", s);
    std::printf(" %7.3f %10.3f\n", daHz, rh);
    // chosen: a tensor of zero size cannot be scaled to Da 10; say so instead of printing nan
    if (t.da == 0)
        fail(0, "## RDC set # " + std::to_string(k) + " gives a zero alignment tensor: it cannot be normalized! \n");
}

int Orvex::DC_orth() {
    workSize = 0;
    std::fputs("\n######################################", stderr);
    std::fputs("\n### Orvex - Tensors Orthogonalization ###", stderr);
    std::fputs("\n######################################\n", stderr);
    std::fputs("\n", stderr);
    const StringList files = orthMediaFiles();
    const int n = static_cast<int>(files.size());

    if (!dTensors.empty()) dTensors.pop_back();
    loadStructure();

    std::vector<DCListData> lists(n);
    std::vector<DTensor> tensors(n);
    std::vector<double> daHz(n);
    const int rows = std::max(n, kComponents);
    std::vector<Components> T(rows, Components{});   // rows below the media stay zero
    for (int k = 0; k < n; k++) {
        fitOrthMedium(k + 1, files[k], lists[k], tensors[k]);
        daHz[k] = orvex::kDmaxNHAbs * tensors[k].da;
        T[k] = normalisedRow(tensors[k]);
    }
    printTensorSet(stdout, T);
    printScalarProducts(stdout, T, n);

    const TensorSetSvd d = decompose(T);
    printDecomposition(stdout, d);
    printOrthogonalTensors(stdout, d);

    // C[k][j]: the left factor's element for medium k and set j; set j of a coupling is
    // sum_k C[k][j] times its normalised observation in medium k.
    std::printf("\n\nGenerating Orthogonalized RDC Datasets ...\n");
    const std::vector<int> columns = setColumns(d, n);
    const int nSets = static_cast<int>(columns.size());
    std::vector<std::vector<double>> C(n, std::vector<double>(nSets));
    for (int k = 0; k < n; k++)
        for (int j = 0; j < nSets; j++) C[k][j] = d.left[k][columns[j]];
    printConversionMatrix(stdout, C);

    std::vector<OrthCoupling> couplings = groupCouplings(lists, daHz);
    for (OrthCoupling& c : couplings) {
        c.sets.assign(nSets, 0.0);
        for (int j = 0; j < nSets; j++)
            for (int k = 0; k < n; k++) c.sets[j] += C[k][j] * c.observed[k];
    }
    for (int j = 0; j < nSets; j++) {
        char name[32];
        std::snprintf(name, sizeof name, "dOrth_%d.tab", j + 1);
        // chosen: each announcement ends its line
        std::printf("generating orthogonalized RDC set %d... saved to file %s\n", j + 1, name);
        FILE* out = run_files::openTable(name, "DC");
        writeSet(out, couplings, j);
        if (out != stdout) std::fclose(out);
    }
    printSummary(stdout, couplings, n, nSets);
    return 1;
}
