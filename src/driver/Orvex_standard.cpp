// The standard analysis run (no mode option): load the structure, prepare one tensor per
// conformer for -multiTensor, read or generate the couplings, select and build them, then
// hand them to the route that the tensor's tensorMode chooses (routes in Orvex_svd.cpp,
// Orvex_givenTensor.cpp, Orvex_multiTensor.cpp, Orvex_maxsub.cpp, Orvex_nonlinear.cpp).
#include <cstdio>

#include "common/Constants.h"
#include "driver/Orvex.h"
#include "fit/SVDWorkData.h"

void Orvex::readCouplingTable() {
    dcDataList.readDC(inDCFileName, dTensor);
    if (verbose) dcDataList.verb = true;
    dcCount = dcDataList.dcCount;
    segFIRST = dcDataList.segFIRST;
    segLAST = dcDataList.segLAST;
}

int Orvex::simDC() {
    if (isRefPDBfrmVALL) return -1;
    workSize = 0;
    if (!inDCFileName.empty()) readCouplingTable();
    return simDC(segFIRST, segLAST, allowFixedDI, excludeMode);
}

int Orvex::simDC(int first, int last, int allowFixed, int exclude) {
    segFIRST = first;
    segLAST = last;
    allowFixedDI = allowFixed;
    excludeMode = exclude;
    workSize = 0;
    const bool dipolarWave = dTensor.tensorMode == orvex::kTensorModeDipolarWave;  // needs no structure
    if (!isRefPDBfrmVALL && inPDBFileName.empty() && !dipolarWave) return -1;

    const bool loadedNow = !dipolarWave && loadStructure();
    if (multiTensorMode) prepareTensorsPerConformer(loadedNow);
    if (!obtainCouplings(first, last)) return -1;
    dcDataList.selectDC(first, last, resSelectionVec_Working, resSelectionVec_Validation,
                        Same_Selection_Working_Validation);
    if (!dipolarWave) dcDataList.buildDC(pdbList, allowFixedDI != 0, pdbResIDOffset);
    return runRoute();
}

// Loads the structure file unless structures are already there or come from the fragment
// database, and announces it. Returns whether it loaded one.
bool Orvex::loadStructure(FILE* announceTo) {
    if (pdbCount > 0 || isRefPDBfrmVALL) return false;
    PDB pdb;
    pdb.isLoaded = pdb.loadPDB(inPDBFileName);
    std::fprintf(announceTo, "Loading PDB file %s, residues %d to %d conformer #%d, atom #%d\n",
                 inPDBFileName.c_str(), pdb.r1, pdb.rN, pdb.conformer_count, pdb.atomCount(1));
    pdbCount += pdb.conformer_count;
    pdbList.push_back(std::move(pdb));
    return true;
}

// -multiTensor: one tensor per conformer, the first one being the working tensor.
void Orvex::prepareTensorsPerConformer(bool loadedNow) {
    if (!loadedNow) {
        nTensors = pdbCount;
    } else if (pdbCount == 1) {
        multiTensorMode = false;
        nTensors = 1;
        std::fprintf(stderr, "Warning :: Only 1 conformer found, switch multi-Tensor multi-Conformer mode to "
                             "normal mode\n");
        // Normal mode means the ordinary single-tensor fit and table: the working tensor is not
        // marked for the multi-tensor layout, whose per-tensor columns that fit never fills.
        return;
    } else {
        nTensors = pdbCount;
        if (nTensors >= 4)
            std::fprintf(stderr,
                         "Warning :: %d conformers found, multi-Tensor multi-Conformer mode with > 3 "
                         "tensors is generally not recommended.\n",
                         nTensors);
    }
    dTensors.back() = dTensor;
    dTensors.front().fitMode = orvex::kFitModeMultiTensor;
    dTensor.fitMode = orvex::kFitModeMultiTensor;
    for (int k = 1; k < nTensors; k++) {
        DTensor fresh;
        fresh.initTensor(1);
        dTensors.push_back(fresh);
    }
}

// The couplings of the run: generated from the structure for the requested classes when no
// table is named (only with -fixed or -saupe), else read from the table unless already read.
// The run's residue range follows what was generated or read. False when there is nothing to do.
bool Orvex::obtainCouplings(int& first, int& last) {
    if (inDCFileName.empty()) {
        if (!runOptions.generateCouplings || DCTypeListInt.empty()) return false;
        dcDataList.createEmptyDCList(DCTypeListInt, dTensor, pdbList);
        if (!pdbList.empty()) {
            segFIRST = first = pdbList[0].r1;
            segLAST = last = pdbList[0].rN;
        }
    } else if (dcCount < 1) {
        readCouplingTable();
        first = segFIRST;
        last = segLAST;
    }
    return true;
}

int Orvex::runRoute() {
    DTensor& t = dTensor;
    switch (t.tensorMode) {
    case orvex::kTensorModeSvd:
        t.saupe.fill(0);
        t.dSaupe.fill(1.0);
        return runSvdRoute();
    case orvex::kTensorModeGivenSaupe:
        t.dSaupe.fill(1.0);
        return runSvdRoute();
    case orvex::kTensorModeSteric:
    case orvex::kTensorModeElectrostatic:
        return runSvdRoute();  // only the maximal-subset search computes anything there
    case orvex::kTensorModeNonlinear:
    case orvex::kTensorModeGridSearch:
    case orvex::kTensorModeFixed:
    case orvex::kTensorModeDipolarWave:
        return runNonlinearFit();
    default:
        return 1;  // nothing to compute
    }
}

int Orvex::runSvdRoute() {
    SVDWorkData svd;
    if (runOptions.maxSubset.requested()) return runMaxSubset(svd, runOptions.maxSubset);
    if (dTensor.tensorMode == orvex::kTensorModeSvd)
        return multiTensorMode ? runMultiTensorFit(svd) : runSvdFit(svd);
    if (dTensor.tensorMode == orvex::kTensorModeGivenSaupe) return runGivenSaupe(svd);
    return 1;
}

int Orvex::simDC(int first, int last, int, int allowFixed, int exclude) {
    if (!isRefPDBfrmVALL) return -1;
    workSize = 0;
    return simDC(first, last, allowFixed, exclude);
}

int Orvex::simDC(std::vector<int> ranges, std::vector<int> refRanges, int allowFixed, int exclude) {
    if (!isRefPDBfrmVALL || ranges.size() != refRanges.size()) return -1;
    initDC();
    int first = orvex::kRangeFirstUnset, last = orvex::kRangeLastUnset;
    for (size_t i = 0; i < ranges.size(); i += 2) {
        if (i + 1 >= ranges.size()) return -1;
        bool ordered = ranges[i + 1] >= ranges[i];
        bool sameLength = ranges[i + 1] - ranges[i] == refRanges[i + 1] - refRanges[i];
        if (!ordered || !sameLength) {
            std::fputs(" Segment indices not match! \n", stderr);
            return -1;
        }
        if (ranges[i] < first) first = ranges[i];
        if (ranges[i + 1] > last) last = ranges[i + 1];
    }
    return simDC(first, last, allowFixed, exclude);
}
