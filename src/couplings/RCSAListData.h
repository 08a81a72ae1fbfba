// The RCSA records of one alignment medium (RCSA mode): reading tables, working/validation
// selections, building against a structure, statistics and result tables. The twin of the
// coupling list, with the differences noted at each member.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "couplings/RCSA_Data.h"
#include "couplings/ResidueSelection.h"
#include "io/PDB.h"
#include "tensor/DTensor.h"

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
    residue_selection::Marks workingResSelection, validationResSelection;
    std::vector<int> resSelectionVec_Working, resSelectionVec_Validation;
    bool Same_Selection_Working_Validation = true;
    std::string inRCSAFileName, outRCSAFileName, inPDBFileName;
    // Residue range (r1, rN) of the structure, for the report title; the structures themselves
    // stay with their owner.
    int pdbR1 = 0, pdbRN = 0;
    std::string seqStr;
    bool verb = false;

    RCSAListData() = default;
    RCSAListData(const RCSAListData&) = default;
    RCSAListData(RCSAListData&&) = default;
    RCSAListData& operator=(const RCSAListData&) = default;
    RCSAListData& operator=(RCSAListData&&) = default;
    virtual ~RCSAListData() = default;

    // ---- input, selection, building ----
    // Reads an RCSA table (columns INDEX, ABS, D, DD, W, RESID, RESNAME, ATOMNAME); the tensor
    // receives the reference values and dcRMS. An empty name ends the program (status 0).
    void readRCSA(const std::string& fileName, DTensor& tensor);
    // The coupling list's selections with the key residue resID; an unmeasured record (above
    // 9000) is in neither set.
    int selectRCSA(int first, int last, std::vector<int> working, std::vector<int> validation, bool same);
    int selectRCSA(int first, int last, const residue_selection::Marks& working, const residue_selection::Marks& validation);
    // Records the structure the records are built against: its name and residue range.
    void setStructure(const PDB& pdb);
    // Builds every working record (selected) against the first structure; the others are left
    // invalid. No structure ends the program (status 0).
    void buildRCSA(const std::vector<PDB>& pdbs, DTensor& tensor);

    // ---- statistics and result tables (RCSAListData_report.cpp) ----
    // The coupling statistics with these differences: rms accumulates e^2 wCalc^2 and chi2
    // e^2 / sigmaCalc^2; the jackknife runs over every record that takes part, selected or not,
    // with qfactor_jk = sqrt(mean ejk^2) / 21585.2; the Q factor is normalised by Da * 1000.
    // Returns the number of working records.
    int getStatAll(const DTensor& tensor);
    void writeStatAll(FILE* out, const DTensor& tensor, int level, int nSVD);
    int writeRCSA(const std::string& outName, const std::string& title, int level, int unused,
                  const DTensor& tensor, int nSVD);
    int reportRCSA(const std::string& outName, int level, const DTensor& tensor, int nSVD);
};
