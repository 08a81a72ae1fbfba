// The shape-based tensor mode (-shapeTensor) as a user runs it: every printed tensor line of the
// ubiquitin ensemble against the shape tensor computed here from the coordinates, a prolate
// ellipsoid of atoms, the scale of couplings simulated from a known multiple of the shape tensor,
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
        if (w.size() < 7) continue;
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
    if (is("HA", "CA")) return constant(gH, gC, 1.107);
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

void expectPrinted(const std::array<double, 3>& printed, const std::array<double, 3>& expected, const std::string& what) {
    for (int k = 0; k < 3; k++) EXPECT_NEAR(printed[k], expected[k], 1.5e-5) << what << " value " << k;
}

}  // namespace

// Ubiquitin, 20 models, with its measured backbone couplings: one line per model, each the shape
// tensor of that model (residues 1 to 70, the table's range) scaled by least squares to the
// couplings back-calculated from that model alone. The whole listing goes to standard output.
TEST(ShapeTensorCli, EnsembleTensorsAgreeWithIndependentComputation) {
    TempDir dir;
    const std::string pdb = kExamples + "2MJB.pdb", table = kExamples + "2mjb_set500_backbone.tab";
    RunResult r = runOrvex({"-pdb", pdb, "-inD", table, "-shapeTensor"}, dir.path());
    ASSERT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, "Loading PDB file " + pdb +
                         ", residues 1 to 76 conformer #20, atom #1232\nLoading DC file " + table +
                         ", 305 couplings found\nBuilding couplings ... 305 couplings validated\n");
    ASSERT_EQ(r.out.rfind(kHeader, 0), 0u) << r.out;
    std::smatch m;
    const std::string rest = r.out.substr(std::string(kHeader).size());
    ASSERT_TRUE(std::regex_search(rest, m, kReferenceLine, std::regex_constants::match_continuous)) << rest;
    EXPECT_EQ(rest.compare(m.length(), 1, "\n"), 0);
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\n\n\tRunning time \\(main\\): [0-9.e+-]+ seconds\n$")));
    EXPECT_FALSE(testutil::fileExists(dir.file("outD.tab")));   // the mode writes no table

    const auto printed = tensorLines(r.out);
    const AtomModels atoms = readAtoms(pdb);
    const knowntensor::Models named = knowntensor::readModels(pdb);
    const std::vector<Row> rows = readRows(table);
    ASSERT_EQ(printed.size(), 20u);
    ASSERT_EQ(rows.size(), 305u);
    int model = 0;
    for (const auto& [number, modelAtoms] : atoms) {
        const ShapeTensor shape = shapeTensor(gyration(modelAtoms, 1, 70));
        const knowntensor::M3 S = shape.matrix();
        double sumCalc2 = 0, sumObsCalc = 0;
        for (const Row& row : rows) {
            const auto& m1 = named.at(number);
            const double calc =
                absDI(row) * knowntensor::projection(m1.at({row.resI, row.nameI}), m1.at({row.resJ, row.nameJ}), S);
            sumCalc2 += calc * calc;
            sumObsCalc += row.d * calc;
        }
        expectPrinted(printed[model], shape.printed(sumObsCalc / sumCalc2), "model " + std::to_string(number));
        model++;
    }
}

// Atoms filling a prolate ellipsoid give an axially symmetric tensor, and N-H couplings simulated
// from 1e-3 times (3 cos^2 b - 1)/2 (b the angle to the long axis) scale it to S_X = S_Y = -0.5e-3,
// S_Z = 1e-3. The file ends with a padded TER record inside the selected residues: counted as an
// atom at the origin, it would pull the centre away and break the symmetry.
TEST(ShapeTensorCli, ProlateEllipsoidGivesAxialTensorAlongItsLongAxis) {
    TempDir dir;
    const Ellipsoid e = prolateEllipsoid();
    testutil::writeFile(dir.file("ellipsoid.pdb"), e.pdb);
    std::string table = "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n"
                        "FORMAT %5d %6s %6s %5d %6s %6s %20.14f\n";
    const double dmax = knowntensor::constant(knowntensor::gH, knowntensor::gN, 1.041);
    for (size_t k = 0; k < e.nh.size(); k++) {
        double u[3], len = 0, c = 0;
        for (int i = 0; i < 3; i++) len += std::pow(u[i] = e.nh[k].second[i] - e.nh[k].first[i], 2);
        for (int i = 0; i < 3; i++) c += u[i] * e.longAxis[i] / std::sqrt(len);
        char row[128];
        std::snprintf(row, sizeof row, "%5d %6s %6s %5d %6s %6s %20.14f\n", static_cast<int>(k + 1), "GLY", "N",
                      static_cast<int>(k + 1), "GLY", "H", dmax * 1e-3 * (3 * c * c - 1) / 2);
        table += row;
    }
    testutil::writeFile(dir.file("nh.tab"), table);

    RunResult r = runOrvex({"-pdb", "ellipsoid.pdb", "-inD", "nh.tab", "-shapeTensor"}, dir.path());
    ASSERT_EQ(r.status, 1) << r.err;
    const auto printed = tensorLines(r.out);
    ASSERT_EQ(printed.size(), 1u) << r.out;
    expectPrinted(printed[0], {-0.5, -0.5, 1.0}, "ellipsoid");
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
