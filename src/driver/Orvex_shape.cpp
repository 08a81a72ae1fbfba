// Alignment tensor predicted from the shape of the molecule (-shapeTensor): per conformer, the
// gyration tensor of the atoms of the selected residues is turned into an order matrix, scaled to
// the measured couplings by least squares and printed as its principal values; then every coupling
// is back-calculated as the average over the conformers' tensors. No table is written.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/Constants.h"
#include "common/Modes.h"
#include "couplings/ResidueSelection.h"
#include "couplings/ResultTable.h"
#include "driver/Orvex.h"

namespace {

// The selected residues: the pairs (first, last) of `pairs`, or first..last when there are none
// (the pairs then become that one pair). An odd last value is ignored.
residue_selection::Marks selectResidues(std::vector<int>& pairs, int first, int last) {
    if (pairs.empty()) {
        pairs.push_back(first);
        pairs.push_back(last);
    } else if (pairs.size() % 2 == 1) {
        std::fputs("WARNING:: residue selection syntax error ... last value will be removed ... \n", stdout);
    }
    return residue_selection::marksOf(pairs);
}

// Centre and gyration tensor G[i][j] = sum (x_i - c_i)(x_j - c_j) (not divided by the count) of
// the atoms of one conformer in the selected residues. Padded TER records stand for no atom.
// Returns the number of atoms.
int gyrationTensor(const PDB& pdb, int conf, const residue_selection::Marks& selected, Mat3 G) {
    auto inSelection = [&selected](const CORdata& a) { return !a.terRecord && selected.contains(a.resNum); };
    Vec3 centre;
    Vec3Zero(centre);
    int count = 0;
    pdb.forEachAtom(conf, [&](const CORdata& a) {
        if (!inSelection(a)) return;
        Vec3Add(centre, a.Coord);
        count++;
    });
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) G[i][j] = 0;
    if (count == 0) return 0;
    // the mean, with 1/count taken in single precision
    Vec3Scale(centre, 1.0f / static_cast<float>(count));
    pdb.forEachAtom(conf, [&](const CORdata& a) {
        if (!inSelection(a)) return;
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++) G[i][j] += (a.Coord[i] - centre[i]) * (a.Coord[j] - centre[j]);
    });
    return count;
}

// The weights that back-calculate a coupling from conformer c (0-based) of `conformers` alone: 1 for
// the pairs of that conformer, 0 for the others. Reading adopted: with one weight per pair index a
// coupling with several pairs in each conformer (a methylene pseudo-atom, idealised methyl protons)
// would take the wrong pairs, so when every conformer holds the same number of pairs their order is
// followed: a methylene pseudo-atom ("HB#", "HB2|HB3") holds its pairs proton by proton, each over
// the conformers in turn; every other coupling holds them conformer by conformer. Otherwise pair c
// alone gets the weight.
std::vector<double> conformerWeights(const DipolarCouplingData& dc, int c, int conformers) {
    const int pairs = static_cast<int>(dc.vi.size());
    std::vector<double> w(pairs, 0.0);
    if (conformers < 1 || pairs % conformers != 0) {
        if (c < pairs) w[c] = 1.0;
        return w;
    }
    const bool methylene = dc.isMethyl == 0 && (dc.atomNameI + dc.atomNameJ).find_first_of("#|") != std::string::npos;
    for (int k = 0; k < pairs; k++) {
        const int conformer = methylene ? k % conformers : k / (pairs / conformers);
        if (conformer == c) w[k] = 1.0;
    }
    return w;
}

// Whether a coupling takes part in the scaling and the final back-calculation. Reading adopted:
// an unmeasured coupling (value above 9000) is left out of the scaling too, as it is of every fit;
// its placeholder would otherwise dominate the least-squares scale.
bool takesPart(const DipolarCouplingData& dc) { return dc.valid == 1 && dc.selected == 1; }
bool scales(const DipolarCouplingData& dc) { return takesPart(dc) && dc.d <= orvex::kUnmeasured; }

}  // namespace

int Orvex::simDC_shapeTensor_multiconfomers() {
    if (inDCFileName.empty()) return -1;
    loadStructure();
    DTensor working;
    working.initTensor(1);
    working.tensorMode = orvex::kTensorModeShape;
    // Read with the run's tensor, so that options read into it (-useMethylCC, -keepSmallExpError)
    // apply here as in the standard run.
    if (dcCount < 1) readCouplingTable();
    dcDataList.buildDC(pdbList, allowFixedDI != 0, 0);
    const residue_selection::Marks selected = selectResidues(resSelectionVec_Working, segFIRST, segLAST);

    // The mode's listing goes to standard output, with the results.
    std::printf("\nOrvex Mode: Structure Shape Based Tensor.\n         (%s)\n\n", result_table::kShapeTensorReference);

    // Reading adopted: dTensors is emptied first, so that it holds exactly one tensor per
    // conformer, in conformer order, as the final back-calculation pairs them with the couplings'
    // atom pairs.
    dTensors.clear();
    std::vector<DipolarCouplingData>& couplings = dcDataList.dcList;
    const PDB& pdb = pdbList.front();
    int c = 0;
    // Conformers in file order; c counts them from 1 (the MODEL numbers of a file need not).
    for (const auto& conformer : pdb.Conformers) {
        c++;
        Mat3 G;
        const int atoms = gyrationTensor(pdb, conformer.first, selected, G);
        working.pdbGyratioTensor2saupe(G, 1.0);
        Mat4 rotation;
        working.principalFrame(rotation);

        double sumCalc2 = 0, sumObsCalc = 0;
        for (const DipolarCouplingData& dc : couplings) {
            if (!scales(dc)) continue;
            DipolarCouplingData copy = dc;
            copy.calcDC(rotation, working.da, working.dr, conformerWeights(dc, c - 1, pdbCount));
            sumCalc2 += copy.dCalc * copy.dCalc;
            sumObsCalc += dc.d * copy.dCalc;
        }
        // Chosen behaviour: a conformer without atoms in the selection gets a zero tensor, and a
        // shape that no coupling can scale keeps its unscaled tensor; both are reported.
        if (atoms == 0) {
            std::fprintf(stderr, "WARNING:: conformer #%d has no atom in the selected residues: zero tensor\n", c);
        } else if (sumCalc2 > 0) {
            working.pdbGyratioTensor2saupe(G, sumObsCalc / sumCalc2);
        } else {
            std::fprintf(stderr, "WARNING:: no coupling to scale the tensor of conformer #%d to: printed unscaled\n",
                         c);
        }
        dTensors.push_back(working);
        std::printf("Tensor S_XYZ (*e3) for conformer #%3d: %8.5f  %8.5f  %8.5f \n", c, 1000 * working.sXYZ[0],
                    1000 * working.sXYZ[1], 1000 * working.sXYZ[2]);
    }
    std::printf("\n");
    std::fflush(stdout);

    for (DipolarCouplingData& dc : couplings)
        if (takesPart(dc)) dc.calcDC(dTensors);
    return 1;
}
