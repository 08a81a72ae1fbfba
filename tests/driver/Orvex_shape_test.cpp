// The shape-based tensor mode in-process: the tensors it keeps (one per conformer, in conformer
// order, along the shape's axes), the selection it leaves, and the final back-calculation as the
// average over the conformers' own tensors, each checked against the shape tensors computed here.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/KnownTensor.h"
#include "common/ShapeReference.h"
#include "common/TestUtil.h"
#include "driver/Orvex.h"

using namespace shapetest;

namespace {

const std::string kExamples = std::string(ORVEX_SOURCE_DIR) + "/examples/";

// Runs the mode on the two files with its listing captured; returns the listing.
std::string runShapeMode(Orvex& app, const std::string& pdb, const std::string& table) {
    app.inPDBFileName = pdb;
    app.inDCFileName = table;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(app.simDC_shapeTensor_multiconfomers(), 1);
    testing::internal::GetCapturedStderr();
    return testing::internal::GetCapturedStdout();
}

}  // namespace

// The ellipsoid's one tensor has its unique axis (the largest principal value, last after
// sorting) along the long axis; the couplings simulated from the ideal axial tensor are
// back-calculated exactly; the empty selection becomes the table's range.
TEST(ShapeTensorMode, EllipsoidTensorAxisAndBackCalculation) {
    testutil::TempDir dir;
    const Ellipsoid e = prolateEllipsoid();
    testutil::writeFile(dir.file("e.pdb"), e.pdb);
    std::string table = "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n"
                        "FORMAT %5d %6s %6s %5d %6s %6s %20.14f\n";
    const double dmax = knowntensor::constant(knowntensor::gH, knowntensor::gN, 1.041), k = 2e-3;
    std::vector<double> expected;
    for (size_t i = 0; i < e.nh.size(); i++) {
        double u[3], len = 0, c = 0;
        for (int a = 0; a < 3; a++) len += std::pow(u[a] = e.nh[i].second[a] - e.nh[i].first[a], 2);
        for (int a = 0; a < 3; a++) c += u[a] * e.longAxis[a] / std::sqrt(len);
        expected.push_back(dmax * k * (3 * c * c - 1) / 2);
        char row[128];
        std::snprintf(row, sizeof row, "%5d GLY N %5d GLY H %20.14f\n", static_cast<int>(i + 1),
                      static_cast<int>(i + 1), expected.back());
        table += row;
    }
    testutil::writeFile(dir.file("nh.tab"), table);

    Orvex app;
    runShapeMode(app, dir.file("e.pdb"), dir.file("nh.tab"));
    ASSERT_EQ(app.dTensors.size(), 1u);
    const DTensor& t = app.dTensors[0];
    EXPECT_NEAR(t.sXYZ[2], k, 1e-14);
    EXPECT_NEAR(t.sXYZ[0], -k / 2, 1e-14);
    EXPECT_NEAR(t.sXYZ[1], -k / 2, 1e-14);
    double along = 0;
    for (int a = 0; a < 3; a++) along += t.vv[2][a] * e.longAxis[a];
    EXPECT_NEAR(std::fabs(along), 1.0, 1e-9);
    EXPECT_EQ(app.resSelectionVec_Working, (std::vector<int>{1, static_cast<int>(e.nh.size())}));

    ASSERT_EQ(app.dcDataList.dcList.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++)
        EXPECT_NEAR(app.dcDataList.dcList[i].dCalc, expected[i], 1e-9 * (1 + std::fabs(expected[i]))) << "coupling " << i + 1;
}

// Three conformers: each coupling's final value is the average over the conformers of its bond
// under that conformer's own scaled shape tensor (pairs and tensors in conformer order).
TEST(ShapeTensorMode, EnsembleBackCalculationAveragesOwnTensors) {
    const std::string pdb = kExamples + "2MJB_models1-3.pdb", table = kExamples + "2mjb_set502_pf1.tab";
    Orvex app;
    const std::string listing = runShapeMode(app, pdb, table);
    ASSERT_EQ(app.dTensors.size(), 3u) << listing;

    const AtomModels atoms = readAtoms(pdb);
    const knowntensor::Models named = knowntensor::readModels(pdb);
    const DCListData& list = app.dcDataList;
    std::vector<knowntensor::M3> scaled;
    for (const auto& [number, modelAtoms] : atoms) {
        const ShapeTensor shape = shapeTensor(gyration(modelAtoms, list.segFIRST, list.segLAST));
        const knowntensor::M3 S = shape.matrix();
        double sumCalc2 = 0, sumObsCalc = 0;
        for (const DipolarCouplingData& dc : list.dcList) {
            const auto& m = named.at(number);
            const std::string nameI = dc.atomNameI == "HN" ? "H" : dc.atomNameI;
            const std::string nameJ = dc.atomNameJ == "HN" ? "H" : dc.atomNameJ;
            const double calc = std::fabs(dc.diCalc) *
                                knowntensor::projection(m.at({dc.resIDI, nameI}), m.at({dc.resIDJ, nameJ}), S);
            sumCalc2 += calc * calc;
            sumObsCalc += dc.d * calc;
        }
        knowntensor::M3 T = S;
        for (auto& row : T)
            for (double& v : row) v *= sumObsCalc / sumCalc2;
        scaled.push_back(T);
    }
    for (const DipolarCouplingData& dc : list.dcList) {
        double average = 0;
        for (size_t c = 0; c < scaled.size(); c++) {
            const auto& m = named.at(static_cast<int>(c + 1));
            const std::string nameI = dc.atomNameI == "HN" ? "H" : dc.atomNameI;
            const std::string nameJ = dc.atomNameJ == "HN" ? "H" : dc.atomNameJ;
            average += std::fabs(dc.diCalc) *
                       knowntensor::projection(m.at({dc.resIDI, nameI}), m.at({dc.resIDJ, nameJ}), scaled[c]) / 3;
        }
        EXPECT_NEAR(dc.dCalc, average, 1e-7 * (1 + std::fabs(average))) << dc.resIDI << " " << dc.atomNameI;
    }
}
