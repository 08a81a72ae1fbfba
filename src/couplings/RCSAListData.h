// The RCSA records of one alignment medium (RCSA mode).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "couplings/RCSA_Data.h"

class RCSAListData {
public:
    std::vector<RCSA_Data> rcsaList;
    int dcCount = 0, pdbCount = 0, validCount = 0, maxCount = 0;
    int dMinRes = 1000000, dMaxRes = -999999;
    int segFIRST = 9999, segLAST = -9999;
    double diVal = 0;
    double qfactor = 0, qfactor_norm = 0, corr_r = 0, rms = 0, chi2 = 0, slope = 0;
    double qfactor_v = 0, qfactor_norm_v = 0, corr_r_v = 0, rms_v = 0, chi2_v = 0, slope_v = 0;
    double qfactor_jk = 0, qfactor_norm_jk = 0, corr_r_jk = 0, rms_jk = 0, chi2_jk = 0, slope_jk = 0;
    int nD_v = 0;
    std::map<int, int> workingResSelection, validationResSelection;
    std::vector<int> resSelectionVec_Working, resSelectionVec_Validation;
    bool Same_Selection_Working_Validation = true;
    std::string inRCSAFileName, outRCSAFileName, inPDBFileName;
    // Residue range (r1, rN) of the first structure built against, for the report title; the
    // structures themselves stay with their owner.
    int pdbR1 = 0, pdbRN = 0;
    std::string seqStr;
    bool verb = false;

    RCSAListData() = default;
    RCSAListData(const RCSAListData&) = default;
    RCSAListData(RCSAListData&&) = default;
    RCSAListData& operator=(const RCSAListData&) = default;
    RCSAListData& operator=(RCSAListData&&) = default;
    virtual ~RCSAListData() = default;
};
