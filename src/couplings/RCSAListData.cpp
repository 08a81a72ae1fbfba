// RCSA lists: reading tables, working/validation selections and building the records against
// a structure. Statistics and result tables are in RCSAListData_report.cpp.
#include "couplings/RCSAListData.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/Constants.h"
#include "common/Fail.h"
#include "couplings/ResidueSelection.h"
#include "io/GDB.h"

namespace {

long toInt(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

double toReal(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

std::string cell(const GDB_Entry& row, const char* column) {
    auto it = row.find(column);
    return it == row.end() ? std::string() : it->second;
}

}  // namespace

void RCSAListData::readRCSA(const std::string& fileName, DTensor& tensor) {
    if (fileName.empty()) fail(0, "[Error] Input RCSA file is not specified\n");
    inRCSAFileName = fileName;
    segFIRST = orvex::kRangeFirstUnset;
    segLAST = orvex::kRangeLastUnset;
    GDB table(fileName);
    const bool hasIndex = table.getTabVar("INDEX") >= 0;
    const bool hasABS = table.getTabVar("ABS") >= 0;
    const bool hasD = table.getTabVar("D") >= 0;
    const bool hasDD = table.getTabVar("DD") >= 0;
    const bool hasW = table.getTabVar("W") >= 0;
    // The columns S and FC are allowed in the table but not read.

    seqStr = table.getData("SEQUENCE");
    tensor.daRef = toInt(table.getData("DA_REF"));
    tensor.drRef = toInt(table.getData("DR_REF"));
    tensor.psiRef = toInt(table.getData("PSI_REF"));
    tensor.thetaRef = toInt(table.getData("THETA_REF"));
    tensor.phiRef = toInt(table.getData("PHI_REF"));
    tensor.dcRMS = 0;
    dcCount = table.getEntryCount();
    maxCount = 0;
    dMinRes = 1000000;
    dMaxRes = -999999;
    rcsaList.clear();
    validCount = 0;

    int measured = 0;
    double sumSquares = 0;
    for (int row = 1; row <= dcCount; row++) {
        const GDB_Entry e = table.getEntry(row);
        RCSA_Data r;
        r.id = hasIndex ? static_cast<int>(toInt(cell(e, "INDEX"))) : row;
        r.absFlag = hasABS ? static_cast<int>(toInt(cell(e, "ABS"))) : 0;
        r.d = hasD ? toReal(cell(e, "D")) : 99999;
        r.sigma = hasDD ? toReal(cell(e, "DD")) : 1.0;
        r.w = hasW ? toReal(cell(e, "W")) : 1.0;
        r.resID = static_cast<int>(toInt(cell(e, "RESID")));
        r.resName = cell(e, "RESNAME");
        r.atomName = cell(e, "ATOMNAME");
        if (r.atomName == "H") r.atomName = "HN";
        r.CLASS = RCSA_Data::classOf(r.atomName);
        r.count = r.valid = r.selected = r.selected_v = 1;
        r.wCalc = r.w;
        r.sigmaCalc = r.sigma;
        r.diCalc = r.di;

        if (r.d <= orvex::kUnmeasured) {
            measured++;
            sumSquares += (r.d * r.w) * (r.d * r.w);
        }
        dMinRes = std::min(dMinRes, r.resID);
        dMaxRes = std::max(dMaxRes, r.resID);
        if (r.valid) validCount++;
        maxCount++;
        rcsaList.push_back(std::move(r));
    }

    // kept as users' scripts expect: "coouplings"
    std::fprintf(stderr, "Loading RCSA file %s, %d coouplings found\n", fileName.c_str(), measured);
    if (segLAST == orvex::kRangeLastUnset) segLAST = dMaxRes;
    if (segFIRST == orvex::kRangeFirstUnset) segFIRST = dMinRes;
    tensor.dcRMS = measured > 0 ? std::sqrt(sumSquares / measured) : 0;
    maxCount += 45;
    if (pdbCount <= 0) pdbCount = 1;
}

int RCSAListData::selectRCSA(int first, int last, std::vector<int> working, std::vector<int> validation,
                             bool same) {
    workingResSelection.clear();
    validationResSelection.clear();
    residue_selection::buildMap(first, last, working, workingResSelection);
    residue_selection::buildMap(first, last, validation, validationResSelection);
    resSelectionVec_Working = working;
    resSelectionVec_Validation = validation;
    Same_Selection_Working_Validation = same;
    return selectRCSA(first, last, workingResSelection, validationResSelection);
}

int RCSAListData::selectRCSA(int, int, const residue_selection::Marks& working, const residue_selection::Marks& validation) {
    for (RCSA_Data& r : rcsaList) {
        r.selected = r.selected_v = 1;
        if (r.d > orvex::kUnmeasured) {
            r.selected = r.selected_v = 0;
            continue;
        }
        if (!residue_selection::isMarked(working, r.resID)) r.selected = 0;
        if (!residue_selection::isMarked(validation, r.resID)) r.selected_v = 0;
    }
    return 1;
}

void RCSAListData::setStructure(const PDB& pdb) {
    inPDBFileName = pdb.PDBfileName;
    pdbR1 = pdb.r1;
    pdbRN = pdb.rN;
}

void RCSAListData::buildRCSA(const std::vector<PDB>& pdbs, DTensor& tensor) {
    if (pdbs.empty() || pdbs[0].isNull()) fail(0, "No PDB structure loaded ...\n");
    pdbCount = 0;
    for (const PDB& p : pdbs) pdbCount += p.conformer_count;
    if (pdbCount <= 0) pdbCount = 1;
    setStructure(pdbs[0]);
    validCount = 0;
    for (RCSA_Data& r : rcsaList) {
        // As in the coupling list, a record the build skips is left invalid and without a
        // calculated value, so that no statistic or table row takes it for a built one.
        r.dCalc = orvex::kUnmeasuredValue;
        r.ddc = orvex::kUnmeasuredValue;
        r.diCalc = r.di;
        r.wCalc = r.w;
        r.sigmaCalc = r.sigma;
        r.valid = 0;
        if (r.selected != 1) continue;   // only the working records are built
        r.buildRCSA(pdbs[0], tensor);
        if (r.valid) validCount++;
    }
    std::fprintf(stderr, "Building rcsa  ... %d rcsa data validated\n", validCount);
}
