// The shape-based tensor mode (-shapeTensor) as a user runs it: every printed tensor line of the
// ubiquitin ensemble against the shape tensor computed here from the coordinates, the scale of couplings simulated from a known multiple of the shape tensor,
// the residue selection, and the runs that compute nothing.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/KnownTensor.h"
#include "common/ShapeReference.h"
#include "common/TestUtil.h"

using testutil::RunResult;
using testutil::runOrvex;
using testutil::TempDir;
using namespace shapetest;

namespace {

const std::string kExamples = std::string(ORVEX_SOURCE_DIR) + "/examples/";
const char* const kHeader = "\nOrvex Mode: Structure Shape Based Tensor.\n";
const std::regex kReferenceLine("         \\([^()\n]+\\([0-9]{4}\\)\\)\n");
const std::regex kRunningTime("\tRunning time \\(main\\): [0-9.e+-]+ seconds\n");

// One coupling of a table: the two atoms (names as the structure file gives them) and the value.
struct Row {
    int resI, resJ;
    std::string nameI, nameJ;
    double d;
};

std::vector<Row> readRows(const std::string& path) {
    std::vector<Row> rows;
    for (const auto& w : resulttable::rows(testutil::readFile(path))) {
        if (w.size() < 7 || w[0][0] == '#') continue;
        rows.push_back({std::stoi(w[0]), std::stoi(w[3]), w[2], w[5], std::stod(w[6])});
    }
    return rows;
}

// |DI| of the backbone classes at their standard distances.
double absDI(const Row& r) {
    using namespace knowntensor;
    auto is = [&r](const char* a, const char* b) {
        return (r.nameI == a && r.nameJ == b) || (r.nameI == b && r.nameJ == a);
    };
    if (is("N", "H")) return constant(gH, gN, 1.041);
    if (is("N", "C")) return constant(gN, gC, 1.329);
    if (is("C", "H")) return constant(gC, gH, 2.085);
    if (is("CA", "C")) return constant(gC, gC, 1.525);
    if (is("HA", "CA") || is("HA#", "CA")) return constant(gH, gC, 1.107);
    ADD_FAILURE() << "no class for " << r.nameI << "-" << r.nameJ;
    return 0;
}

// The numbers of the "Tensor S_XYZ" lines, checked to be printed in the program's format.
std::vector<std::array<double, 3>> tensorLines(const std::string& out) {
    std::vector<std::array<double, 3>> lines;
    for (const std::string& line : testutil::splitLines(out)) {
        if (line.rfind("Tensor S_XYZ", 0) != 0) continue;
        int c = 0;
        std::array<double, 3> v{};
        EXPECT_EQ(std::sscanf(line.c_str(), "Tensor S_XYZ (*e3) for conformer #%d: %lf %lf %lf", &c, &v[0], &v[1], &v[2]), 4)
            << line;
        char again[128];
        std::snprintf(again, sizeof again, "Tensor S_XYZ (*e3) for conformer #%3d: %8.5f  %8.5f  %8.5f ", c, v[0], v[1],
                      v[2]);
        EXPECT_EQ(line, again);
        EXPECT_EQ(c, static_cast<int>(lines.size()) + 1);
        lines.push_back(v);
    }
    return lines;
}

// The coupling of one row under the order matrix S in one model: |DI| u.S.u summed over the pairs
// (a glycine's HA# stands for HA2 and HA3).
double rowCoupling(const Row& row, const knowntensor::Models::mapped_type& model, const knowntensor::M3& S) {
    const std::vector<std::string> namesJ =
        row.nameJ == "HA#" ? std::vector<std::string>{"HA2", "HA3"} : std::vector<std::string>{row.nameJ};
    double sum = 0;
    for (const std::string& j : namesJ)
        sum += absDI(row) * knowntensor::projection(model.at({row.resI, row.nameI}), model.at({row.resJ, j}), S);
    return sum;
}

void expectPrinted(const std::array<double, 3>& printed, const std::array<double, 3>& expected, const std::string& what) {
    for (int k = 0; k < 3; k++) EXPECT_NEAR(printed[k], expected[k], 1.5e-5) << what << " value " << k;
}

// Each printed line is the shape tensor of one model (the atoms of the table's residue range)
// scaled by least squares to the couplings back-calculated from that model alone; the whole listing
// goes to standard output and no table is written. Returns the error stream.
std::string expectEnsembleLines(const std::string& pdb, const std::string& table, size_t models) {
    TempDir dir;
    RunResult r = runOrvex({"-pdb", pdb, "-inD", table, "-shapeTensor"}, dir.path());
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out.rfind(kHeader, 0), 0u) << r.out;
    std::smatch m;
    const std::string rest = r.out.substr(std::string(kHeader).size());
    EXPECT_TRUE(std::regex_search(rest, m, kReferenceLine, std::regex_constants::match_continuous)) << rest;
    EXPECT_EQ(rest.compare(m.length(), 1, "\n"), 0);
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\n\n\tRunning time \\(main\\): [0-9.e+-]+ seconds\n$")));
    EXPECT_FALSE(testutil::fileExists(dir.file("outD.tab")));

    const auto printed = tensorLines(r.out);
    const AtomModels atoms = readAtoms(pdb);
    const knowntensor::Models named = knowntensor::readModels(pdb);
    const std::vector<Row> rows = readRows(table);
    int first = 9999, last = -9999;
    for (const Row& row : rows) first = std::min({first, row.resI, row.resJ}), last = std::max({last, row.resI, row.resJ});
    EXPECT_EQ(printed.size(), models);
    size_t model = 0;
    for (const auto& [number, modelAtoms] : atoms) {
        if (model >= printed.size()) break;
        const ShapeTensor shape = shapeTensor(gyration(modelAtoms, first, last));
        double sumCalc2 = 0, sumObsCalc = 0;
        for (const Row& row : rows) {
            const double calc = rowCoupling(row, named.at(number), shape.matrix());
            sumCalc2 += calc * calc;
            sumObsCalc += row.d * calc;
        }
        expectPrinted(printed[model], shape.printed(sumObsCalc / sumCalc2), pdb + " model " + std::to_string(number));
        model++;
    }
    return r.err;
}

}  // namespace

// Ubiquitin, 20 models, with its measured backbone couplings (residues 1 to 70); the fusion peptide
// 2LWA (residues 2 to 23), 3 models, whose glycine CA-HA# couplings have two pairs in each model: each model's own
// pairs are back-calculated for its scale. The final average over the three tensors pairs tensors
// with pairs, and says so for the couplings whose pairs outnumber the tensors.
TEST(ShapeTensorCli, EnsembleTensorsAgreeWithIndependentComputation) {
    const std::string pdb = kExamples + "2MJB.pdb", table = kExamples + "2mjb_set500_backbone.tab";
    EXPECT_EQ(expectEnsembleLines(pdb, table, 20),
              "Loading PDB file " + pdb + ", residues 1 to 76 conformer #20, atom #1232\nLoading DC file " + table +
                  ", 305 couplings found\nBuilding couplings ... 305 couplings validated\n");

    const std::string err = expectEnsembleLines(kExamples + "2lwa_3models.pdb", kExamples + "2lwa.inp", 3);
    const std::string mismatch = "calcDC() Error: inconsistent number of conformers and tensors.\n";
    size_t count = 0;
    for (size_t at = err.find(mismatch); at != std::string::npos; at = err.find(mismatch, at + 1)) count++;
    EXPECT_EQ(count, 5u) << err;   // the five glycine CA-HA# couplings
}

// Couplings simulated on one model from k times its shape tensor give back k: the printed values
// are k times the unscaled principal values. A selection (-select 5 60 70) uses its complete pairs
// only, after one warning on standard output.
TEST(ShapeTensorCli, ScaleOfSimulatedCouplingsAndSelection) {
    TempDir dir;
    const std::string pdb = kExamples + "2MJB_model1.pdb";
    const knowntensor::Models models = knowntensor::readModels(pdb);
    const std::vector<knowntensor::Kind> kinds = {{"N", "H", 0, knowntensor::constant(knowntensor::gH, knowntensor::gN, 1.041)},
                                                  {"HA", "CA", 0, knowntensor::constant(knowntensor::gH, knowntensor::gC, 1.107)}};
    const AtomModels atoms = readAtoms(pdb);
    const double k = -1.7e-3;
    struct Case {
        std::vector<std::string> select;
        int first, last;   // the selected residues; without -select the table's range
    };
    for (const Case& c : {Case{{}, 1, 76}, Case{{"-select", "5", "60", "70"}, 5, 60}}) {
        const ShapeTensor shape = shapeTensor(gyration(atoms.at(1), c.first, c.last));
        knowntensor::M3 S = shape.matrix();
        for (auto& row : S)
            for (double& v : row) v *= k;
        const int n = knowntensor::writeSimulated(dir.file("sim.tab"), models, kinds, {S}, true,
                                                  knowntensor::residueNames(pdb));
        ASSERT_GT(n, 100);
        int lo = 9999, hi = -9999;
        for (const Row& row : readRows(dir.file("sim.tab"))) lo = std::min(lo, row.resI), hi = std::max(hi, row.resI);
        ASSERT_EQ(std::make_pair(lo, hi), std::make_pair(1, 76));   // the table's range: residues 1 to 76
        std::vector<std::string> args = {"-pdb", pdb, "-inD", "sim.tab", "-shapeTensor"};
        args.insert(args.end(), c.select.begin(), c.select.end());
        RunResult r = runOrvex(args, dir.path());
        ASSERT_EQ(r.status, 1) << r.err;
        const std::string warning = "WARNING:: residue selection syntax error ... last value will be removed ... \n";
        EXPECT_EQ(r.out.find(warning) != std::string::npos, !c.select.empty()) << r.out;
        EXPECT_EQ(r.out.find(warning), r.out.rfind(warning));
        const auto printed = tensorLines(r.out);
        ASSERT_EQ(printed.size(), 1u);
        expectPrinted(printed[0], shape.printed(k), "selection " + std::to_string(c.first));
    }
}

// Without a coupling table nothing is computed or printed; a structure file that cannot be read
// stops the run when the couplings are built.
TEST(ShapeTensorCli, RunsThatComputeNothing) {
    TempDir dir;
    RunResult r = runOrvex({"-pdb", kExamples + "2MJB_model1.pdb", "-shapeTensor"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(std::regex_match(r.out, kRunningTime)) << r.out;
    EXPECT_EQ(r.err, "");

    r = runOrvex({"-pdb", "absent.pdb", "-inD", kExamples + "2mjb_set500_backbone.tab", "-shapeTensor"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("No PDB structure loaded ...\n"), std::string::npos) << r.err;
}
