// The standard analysis run: load the structure, read or generate the couplings, select
// and build them, determine or apply the alignment tensor, write the result table.
#include <cstdio>

#include "common/Constants.h"
#include "driver/CmdArgParser.h"
#include "driver/Orvex.h"
#include "fit/SVDWorkData.h"

namespace {

// Back-calculation needs a valid, selected coupling with atoms on both sides.
bool canBackCalculate(const DipolarCouplingData& dc) {
    return dc.valid == 1 && dc.selected == 1 && dc.atomICount != 0 && dc.atomJCount != 0;
}

}  // namespace

int Orvex::simDC() {
    if (isRefPDBfrmVALL) return -1;
    workSize = 0;
    if (!inDCFileName.empty()) {
        dcDataList.readDC(inDCFileName, dTensor);
        if (verbose) dcDataList.verb = true;
        dcCount = dcDataList.dcCount;
        segFIRST = dcDataList.segFIRST;
        segLAST = dcDataList.segLAST;
    }
    return simDC(segFIRST, segLAST, allowFixedDI, excludeMode);
}

int Orvex::simDC(int first, int last, int allowFixed, int exclude) {
    segFIRST = first;
    segLAST = last;
    allowFixedDI = allowFixed;
    excludeMode = exclude;
    workSize = 0;
    DTensor& t = dTensor;
    if (!isRefPDBfrmVALL && inPDBFileName.empty() && t.tensorMode != 8) return -1;

    // ---- structure ----
    bool loadedNow = false;
    if (pdbCount <= 0 && t.tensorMode != 8 && !isRefPDBfrmVALL) {
        loadedNow = true;
        PDB pdb;
        pdb.isLoaded = pdb.loadPDB(inPDBFileName);
        std::fprintf(stderr, "Loading PDB file %s, residues %d to %d conformer #%d, atom #%d\n",
                     inPDBFileName.c_str(), pdb.r1, pdb.rN, pdb.conformer_count, pdb.atomCount(1));
        pdbCount += pdb.conformer_count;
        pdbList.push_back(std::move(pdb));
    }

    // ---- one tensor per conformer ----
    if (multiTensorMode) {
        if (!loadedNow) {
            nTensors = pdbCount;
        } else if (pdbCount == 1) {
            multiTensorMode = false;
            nTensors = 1;
            std::fprintf(stderr, "Warning :: Only 1 conformer found, switch multi-Tensor multi-Conformer mode to "
                                 "normal mode\n");
        } else {
            nTensors = pdbCount;
            if (nTensors >= 4)
                std::fprintf(stderr, "Warning :: %d conformers found, multi-Tensor multi-Conformer mode with > 3 "
                                     "tensors is generally not recommended.\n",
                             nTensors);
        }
        dTensors.back() = dTensor;
        dTensors.front().fitMode = 9;
        dTensor.fitMode = 9;
        for (int k = 1; k < nTensors; k++) {
            DTensor fresh;
            fresh.initTensor(1);
            dTensors.push_back(fresh);
        }
    }

    // ---- couplings ----
    const CmdArgParser& args = *CmdArgParser::getInstance();
    if (inDCFileName.empty()) {
        bool simulate = args.isValidArg("fixed") || args.isValidArg("saupe");
        if (!simulate || DCTypeListInt.empty()) return -1;
        dcDataList.createEmptyDCList(DCTypeListInt, dTensor, pdbList);
        if (!pdbList.empty()) {
            segFIRST = first = pdbList[0].r1;
            segLAST = last = pdbList[0].rN;
        }
    } else if (dcCount < 1) {
        dcDataList.readDC(inDCFileName, dTensor);
        if (verbose) dcDataList.verb = true;
        dcCount = dcDataList.dcCount;
        segFIRST = first = dcDataList.segFIRST;
        segLAST = last = dcDataList.segLAST;
    }

    // ---- selection and building ----
    dcDataList.selectDC(first, last, resSelectionVec_Working, resSelectionVec_Validation,
                        Same_Selection_Working_Validation);
    if (t.tensorMode != 8) dcDataList.buildDC(pdbList, allowFixedDI != 0, pdbResIDOffset);

    std::vector<DipolarCouplingData>& couplings = dcDataList.dcList;
    switch (t.tensorMode) {
    case 1:
        t.saupe.fill(0);
        t.dSaupe.fill(1.0);
        break;
    case 2:
        t.dSaupe.fill(1.0);
        break;
    case 3:
    case 4:
    case 8:
        // the nonlinear fits are not available yet
        return -1;
    case 5: {
        // fixed tensor: Saupe elements from Da, rhombicity and angles, no minimiser
        t.euler2saupe2();
        t.eulerCount = t.saupe2euler();
        for (DipolarCouplingData& dc : couplings)
            if (canBackCalculate(dc)) dc.calcDC(t.saupe.data(), 5);
        dTensors.clear();
        dTensors.push_back(t);
        if (!outDCFileName.empty()) dcDataList.reportDC(outDCFileName, 0, dTensors, dcDataList.validCount);
        return 1;
    }
    case 6:
    case 7:
        break;
    default:
        return 1;
    }

    // ---- SVD route ----
    if (args.isValidArg("maxSub") || args.isValidArg("culling")) return -1;   // not available yet
    SVDWorkData svd;
    if (t.tensorMode == 1) {
        if (multiTensorMode) return -1;   // the multi-tensor fit is not available yet
        svd.simD(couplings, pdbCount, t);
        if (t.eulerFlag == 1) {
            t.eulerCount = t.saupe2euler();
            dTensors.clear();
            dTensors.push_back(t);
        }
        if (!outDCFileName.empty()) dcDataList.reportDC(outDCFileName, 1, dTensors, svd.svdCount);
    } else if (t.tensorMode == 2) {
        t.eulerCount = t.saupe2euler();
        Mat4 rotation;
        Mat4Copy(rotation, t.vv);
        Mat4Transp(rotation);
        for (DipolarCouplingData& dc : couplings)
            if (canBackCalculate(dc)) dc.calcDC(rotation, t.da, t.dr);
        dTensors.clear();
        dTensors.push_back(t);
        if (!outDCFileName.empty()) dcDataList.reportDC(outDCFileName, 0, dTensors, svd.svdCount);
    }
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
