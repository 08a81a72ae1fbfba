// Couplings of the examples built as the program builds them, and those of the maximal-subset
// tests: the 305 backbone couplings of
// examples/2mjb_set500_backbone.tab (N-H, N-C, C-HN, CA-C, CA-HA of ubiquitin, residues 1-70)
// built against examples/2MJB_model1.pdb, every value replaced by the one a known tensor gives,
// and the N-H couplings of five residues spread over the chain moved by 10-15 Hz.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "couplings/DCListData.h"
#include "io/PDB.h"

namespace maxsubscenario {

const std::array<double, 5> kSaupe = {4.1e-4, -7.3e-4, 2.2e-4, -3.1e-4, 1.7e-4};

struct Outlier {
    int residue;
    double shift;   // Hz, added to the residue's N-H coupling
};
const std::vector<Outlier> kOutliers = {{5, 10.0}, {18, -12.5}, {33, 15.0}, {48, -11.0}, {63, 13.5}};

inline bool isOutlier(int residue) {
    for (const Outlier& o : kOutliers)
        if (o.residue == residue) return true;
    return false;
}

inline std::string examples() { return std::string(ORVEX_SOURCE_DIR) + "/examples/"; }

// A coupling table built against a structure file and selected from `first` to `last` (all
// residues by default), the messages swallowed.
inline DCListData builtCouplings(const std::string& pdbPath, const std::string& tablePath, int first = 9999,
                                 int last = -9999) {
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    std::vector<PDB> pdbs(1);
    EXPECT_TRUE(pdbs[0].loadPDB(pdbPath)) << pdbPath;
    DCListData list;
    DTensor t;
    list.readDC(tablePath, t);
    if (first > last) first = list.segFIRST, last = list.segLAST;
    list.selectDC(first, last, {}, {}, true);
    list.buildDC(pdbs, true, 0);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return list;
}

// The example table built against model 1.
inline DCListData exampleCouplings(int first = 9999, int last = -9999) {
    return builtCouplings(examples() + "2MJB_model1.pdb", examples() + "2mjb_set500_backbone.tab", first, last);
}

inline bool isNH(const DipolarCouplingData& dc) {
    return (dc.atomNameI == "N" && dc.atomNameJ == "HN") || (dc.atomNameI == "HN" && dc.atomNameJ == "N");
}

// The values of kSaupe, with the outliers' N-H couplings moved when `withOutliers`.
inline DCListData simulated(bool withOutliers = true, int first = 9999, int last = -9999) {
    DCListData list = exampleCouplings(first, last);
    for (DipolarCouplingData& dc : list.dcList) {
        if (dc.valid != 1) continue;
        dc.calcDC(kSaupe.data(), 5);
        dc.d = dc.dCalc;
        if (!withOutliers || !isNH(dc)) continue;
        for (const Outlier& o : kOutliers)
            if (dc.resIDI == o.residue) dc.d += o.shift;
    }
    return list;
}

// The couplings as a table a user could give (values to 1e-6 Hz).
inline std::string tableText(const DCListData& list) {
    std::string text = "VARS RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J D\n"
                       "FORMAT %5d %6s %6s %5d %6s %6s %12.6f\n";
    char row[200];
    for (const DipolarCouplingData& dc : list.dcList) {
        std::snprintf(row, sizeof row, "%5d %6s %6s %5d %6s %6s %12.6f\n", dc.resIDI, dc.resNameI.c_str(),
                      dc.atomNameI.c_str(), dc.resIDJ, dc.resNameJ.c_str(), dc.atomNameJ.c_str(), dc.d);
        text += row;
    }
    return text;
}

}  // namespace maxsubscenario
