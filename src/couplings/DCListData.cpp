// Coupling lists: reading tables, generating couplings from a structure, building them
// against it, the class and DI rules, and the working/validation selections.
#include "couplings/DCListData.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <utility>

#include "common/Constants.h"
#include "common/Fail.h"
#include "common/ResidueNumber.h"
#include "couplings/ResidueSelection.h"
#include "common/LargeBuffer.h"
#include "io/GDB.h"
#include "io/NumberText.h"

const char* const DCTypeList[12] = {"NONE",  "HN_N",  "HN_HA", "HN_C",  "HN_CA", "N_CA",
                                    "N_C",   "HA_CA", "HA_HB", "CA_CB", "C_CA",  "CH3"};

namespace {

// Standard internuclear distance of a class, A; 0 for classes measured on the structure.
double standardDistance(int dcClass) {
    switch (dcClass) {
    case 1: return 1.041;
    case 3: return 2.085;
    case 5: return 1.458;
    case 6: return 1.329;
    case 7: return 1.107;
    case 10: return 1.525;
    case 11: return 1.117;
    case 12: return 1.107;
    default: return 0;
    }
}

double gyromagneticRatio(const std::string& atomName) {
    switch (atomName.empty() ? '\0' : atomName[0]) {
    case 'C': return orvex::kGammaC;
    case 'D': return orvex::kGammaD;
    case 'F': return orvex::kGammaF;
    case 'H': return orvex::kGammaH;
    case 'N': return orvex::kGammaN;
    case 'P': return orvex::kGammaP;
    default:
        std::fprintf(stderr, "Dipolar Interaction - Unknown atom %s.\n", atomName.c_str());
        return 1.0;
    }
}

bool isAmideH(const std::string& name) { return name == "HN" || name == "H"; }

bool startsWith(const std::string& s, char c) { return !s.empty() && s[0] == c; }

long toInt(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

// A table cell read as strtol / strtod read it.
long toInt(std::string_view cell) { return parseLong(cell); }
double toReal(std::string_view cell) { return parseDouble(cell); }

// Whether every number of the row that takes part in a fit is finite and of a size whose square
// cannot overflow (kTableNumberMax); otherwise one warning naming the file line and the first
// such cell, and the row is left out.
template <size_t N>
bool usableRow(const std::string& fileName, const GDBRows& rows, int row,
               const std::pair<int, const char*> (&columns)[N]) {
    for (const auto& column : columns) {
        if (column.first < 0) continue;
        const std::string_view text = rows.cell(row, column.first);
        if (isUsableNumber(parseDouble(text), kTableNumberMax)) continue;
        std::fprintf(stderr, "DC Warning: %s line %d: %s %.*s is not a finite number up to %g in size; coupling left out\n",
                     fileName.c_str(), rows.line(row), column.second, static_cast<int>(text.size()), text.data(),
                     kTableNumberMax);
        return false;
    }
    return true;
}

// Minimum uncertainty of a coupling: its DI relative to the amide N-H constant, at most 2.
double minimumUncertainty(double di) {
    double u = static_cast<float>(std::fabs(di / orvex::kDmaxNH));
    return u >= 2.0 ? 2.0 : u;
}

}  // namespace

// ---------------------------------------------------------------- class and DI rules

double DCListData::findVariableDI(double distance, int resIDI, const std::string& resNameI,
                                  const std::string& atomNameI, int resIDJ, const std::string&,
                                  const std::string& atomNameJ, bool standard, int& dcClass) {
    diFixedFlag = 1;
    int cls = 0;
    const std::string& a = atomNameI;
    const std::string& b = atomNameJ;
    auto pair = [&a, &b](bool (*isFirst)(const std::string&), const char* second) {
        return (isFirst(a) && b == second) || (isFirst(b) && a == second);
    };
    if (resIDI == resIDJ) {
        if (pair(isAmideH, "N"))
            cls = 1;
        else if (pair([](const std::string& n) { return n == "HA" || n == "HA#"; }, "CA"))
            cls = 7;
        else if (pair([](const std::string& n) { return n == "HA"; }, "HB"))
            cls = 8;
        else if (pair([](const std::string& n) { return n == "CA"; }, "CB"))
            cls = 9;
        else if (pair([](const std::string& n) { return n == "N"; }, "CA"))
            cls = 5;
        else if (pair([](const std::string& n) { return n == "C"; }, "CA"))
            cls = 10;
        else if (isDCMethyl(resNameI, a, b))
            cls = 11;
    } else if (orvex::isResidueAt(resIDJ, resIDI, 1) && a == "C" && isAmideH(b)) {
        cls = 3;
    } else if (orvex::isResidueAt(resIDJ, resIDI, -1) && isAmideH(a) && b == "C") {
        cls = 3;
    } else if (orvex::isResidueAt(resIDJ, resIDI, -1) && a == "N" && b == "C") {
        cls = 6;
    }

    double invR3;
    double standardR = standardDistance(cls);
    if (standardR > 0 && standard) {
        invR3 = 1.0 / (standardR * standardR * standardR);
    } else {
        diFixedFlag = 0;
        invR3 = distance < 0.01 ? 999999.9999999999 : 1.0 / (distance * distance * distance);
    }
    double di = gyromagneticRatio(a) * orvex::kDIPrefactor * gyromagneticRatio(b) * invR3;
    diVal = di;
    diClass = cls;
    dcClass = cls;
    return di;
}

int DCListData::isDCMethyl(const std::string& resName, const std::string& atomNameI,
                           const std::string& atomNameJ) const {
    const std::string *h, *c;
    if (startsWith(atomNameI, 'H') && atomNameI.size() > 2 && startsWith(atomNameJ, 'C')) {
        h = &atomNameI;
        c = &atomNameJ;
    } else if (startsWith(atomNameJ, 'H') && atomNameJ.size() > 2 && startsWith(atomNameI, 'C')) {
        h = &atomNameJ;
        c = &atomNameI;
    } else {
        return 0;
    }
    auto is = [&resName](const char* three, const char* one) { return resName == three || resName == one; };
    auto carbonWith = [c, h](const char* carbon, const char* proton) { return *c == carbon && *h == proton; };
    if (is("ALA", "A")) return *c == "CB" && (*h == "HB#" || h->find("HB") != std::string::npos);
    if (is("ILE", "I"))
        return carbonWith("CD", "HD1") || carbonWith("CD1", "HD1#") || carbonWith("CG2", "HG2#");
    if (is("LEU", "L")) return carbonWith("CD1", "HD1#") || carbonWith("CD2", "HD2#");
    if (is("MET", "M")) return carbonWith("CE", "HE#");
    if (is("THR", "T")) return carbonWith("CG2", "HG2#");
    if (is("VAL", "V")) return carbonWith("CG1", "HG1#") || carbonWith("CG2", "HG2#");
    return 0;
}

StringList DCListData::getMethylNames(const std::string& resName, const std::string& atomNameI,
                                      const std::string& atomNameJ) const {
    StringList names;
    if (!isDCMethyl(resName, atomNameI, atomNameJ)) return names;
    const std::string& proton = startsWith(atomNameI, 'H') ? atomNameI : atomNameJ;
    std::string prefix = proton.substr(0, proton.find('#'));
    for (const char* k : {"1", "2", "3"}) names.push_back(prefix + k);
    return names;
}

// ---------------------------------------------------------------- reading a table

void DCListData::readDC(const std::string& fileName, DTensor& tensor) {
    if (fileName.empty()) fail(0, "[Error] Input DC file is not specified\n");
    inDCFileName = fileName;
    diFixedFlag = 1;
    segFIRST = orvex::kRangeFirstUnset;
    segLAST = orvex::kRangeLastUnset;
    GDB table;
    GDBRows rows;
    table.loadGDB(fileName, rows);
    // the column of each cell a coupling reads (-1 when absent: an empty cell)
    const int colIndex = table.getCellColumn("INDEX"), colResI = table.getCellColumn("RESID_I"),
              colResNameI = table.getCellColumn("RESNAME_I"), colAtomI = table.getCellColumn("ATOMNAME_I"),
              colResJ = table.getCellColumn("RESID_J"), colResNameJ = table.getCellColumn("RESNAME_J"),
              colAtomJ = table.getCellColumn("ATOMNAME_J"), colD = table.getCellColumn("D"),
              colDI = table.getCellColumn("DI"), colDD = table.getCellColumn("DD"),
              colUncertainty = table.getCellColumn("UNCERTAINTY"), colW = table.getCellColumn("W"),
              colS = table.getCellColumn("S"), colFC = table.getCellColumn("FC"), colABS = table.getCellColumn("ABS"),
              colChainI = table.getCellColumn("CHAINNAME_I"), colChainJ = table.getCellColumn("CHAINNAME_J");
    const bool hasIndex = colIndex >= 0, hasD = colD >= 0, hasDI = colDI >= 0, hasDD = colDD >= 0,
               hasUncertainty = colUncertainty >= 0, hasW = colW >= 0, hasS = colS >= 0, hasFC = colFC >= 0,
               hasABS = colABS >= 0;
    if (!hasDI) keepDIFlag = false;

    seqStr = table.getData("SEQUENCE");
    tensor.daRef = toInt(table.getData("DA_REF"));
    tensor.drRef = toInt(table.getData("DR_REF"));
    tensor.psiRef = toInt(table.getData("PSI_REF"));
    tensor.thetaRef = toInt(table.getData("THETA_REF"));
    tensor.phiRef = toInt(table.getData("PHI_REF"));
    tensor.dcRMS = 0;
    Methyl_CC = tensor.methylCCFlag;
    dcCount = rows.rowCount();
    maxCount = 0;
    dMinRes = 1000000;
    dMaxRes = -999999;
    dcList.clear();
    dcList.reserve(dcCount);
    adviseLargeBuffer(dcList.data(), dcList.capacity() * sizeof(DipolarCouplingData));
    DCTypeListInt.clear();
    validCount = 0;

    // the numbers of a row that take part in a fit, checked before the row becomes a coupling
    const std::pair<int, const char*> fitNumbers[] = {{colD, "D"},   {colW, "W"}, {colDD, "DD"},
                                                      {colUncertainty, "UNCERTAINTY"}, {colDI, "DI"},
                                                      {colS, "S"},   {colFC, "FC"}};
    int measured = 0;
    double sumSquares = 0;
    const int rowCount = dcCount;
    for (int row = 1; row <= rowCount; row++) {
        auto cell = [&rows, row](int column) { return rows.cell(row, column); };
        if (!usableRow(fileName, rows, row, fitNumbers)) continue;
        DipolarCouplingData& dc = dcList.emplace_back();
        dc.id = hasIndex ? static_cast<int>(toInt(cell(colIndex))) : row;
        dc.resIDI = static_cast<int>(toInt(cell(colResI)));
        dc.resNameI = cell(colResNameI);
        dc.atomNameI = cell(colAtomI);
        dc.resIDJ = static_cast<int>(toInt(cell(colResJ)));
        dc.resNameJ = cell(colResNameJ);
        dc.atomNameJ = cell(colAtomJ);
        if (dc.atomNameI == "H") dc.atomNameI = "HN";
        if (dc.atomNameJ == "H") dc.atomNameJ = "HN";
        dc.d = hasD ? toReal(cell(colD)) : 99999;
        dc.di = hasDI ? toReal(cell(colDI)) : 0;
        double readSigma = 0;
        if (hasDD)
            readSigma = toReal(cell(colDD));
        else if (hasUncertainty)
            readSigma = toReal(cell(colUncertainty));
        if (hasW) dc.w = toReal(cell(colW));
        dc.s = hasS ? toReal(cell(colS)) : 1.0;
        dc.fc = hasFC ? toReal(cell(colFC)) : 1.0;
        dc.absFlag = hasABS ? static_cast<int>(toInt(cell(colABS))) : 0;
        dc.chainNameI = cell(colChainI);
        dc.chainNameJ = cell(colChainJ);

        if (dc.d <= orvex::kUnmeasured) {
            measured++;
            sumSquares += (dc.d * dc.w) * (dc.d * dc.w);
        }

        int cls = 0;
        findVariableDI(0, dc.resIDI, dc.resNameI, dc.atomNameI, dc.resIDJ, dc.resNameJ, dc.atomNameJ, true, cls);
        if (!hasW) dc.w = std::fabs(orvex::kDmaxNH / diVal);
        if (keepDIFlag && dc.di != 0) {
            dc.diFixedFlag = 1;
        } else if (diFixedFlag == 1) {
            dc.di = diVal;
            dc.diFixedFlag = 1;
        } else {
            dc.diFixedFlag = 0;
        }
        double u = minimumUncertainty(dc.di);
        if (!hasDD && !hasUncertainty)
            dc.sigma = u;
        else
            dc.sigma = tensor.allowTinyDD ? readSigma : std::max(readSigma, u);
        dc.sigmaCalc = (hasDD || hasUncertainty) ? readSigma : dc.sigma;
        dc.wCalc = dc.w;
        dc.diCalc = dc.di;

        dc.CLASS = diClass;
        if (std::find(DCTypeListInt.begin(), DCTypeListInt.end(), diClass) == DCTypeListInt.end())
            DCTypeListInt.push_back(diClass);
        dc.isMethyl = dc.resIDI == dc.resIDJ ? isDCMethyl(dc.resNameI, dc.atomNameI, dc.atomNameJ) : 0;
        dc.isMethylCC = Methyl_CC;

        dMinRes = std::min({dMinRes, dc.resIDI, dc.resIDJ});
        dMaxRes = std::max({dMaxRes, dc.resIDI, dc.resIDJ});
        validCount++;
        maxCount++;
    }

    dcCount = static_cast<int>(dcList.size());
    std::fprintf(stderr, "Loading DC file %s, %d couplings found\n", fileName.c_str(), measured);
    if (segLAST == orvex::kRangeLastUnset) segLAST = dMaxRes;
    if (segFIRST == orvex::kRangeFirstUnset) segFIRST = dMinRes;
    tensor.dcRMS = measured > 0 ? std::sqrt(sumSquares / measured) : 0;
    maxCount += 45;
    if (pdbCount <= 0) pdbCount = 1;
}

// ---------------------------------------------------------------- generating couplings

void DCListData::createEmptyDCList(std::vector<int> classes, DTensor&, const std::vector<PDB>& pdbs) {
    if (pdbs.empty() || pdbs[0].isNull()) fail(0, "No PDB structure loaded ...\n");
    if (classes.empty()) fail(0, "[Error] DC type(s) must be specified\n");
    GeneratedFromStructure = true;
    const PDB& pdb = pdbs[0];
    auto resName = [&pdb](int res) {
        auto it = pdb.residList.find(res);
        return it == pdb.residList.end() ? std::string() : it->second;
    };

    // Every number r1..rN is visited, also those the structure lacks: their couplings have no
    // atoms and are announced as such when built (the output follows the structure's residue
    // span). The walk counts in long long so that rN = INT_MAX ends it. A numbering with more
    // than a million missing numbers (a damaged file: residues 1 and 2000000000) would make
    // billions of such couplings: there only the residues present are visited, with one warning.
    constexpr long long kMaxMissingResidues = 1000000;
    const auto firstPresent = pdb.residList.lower_bound(pdb.r1);
    const long long present = std::distance(firstPresent, pdb.residList.upper_bound(pdb.rN));
    const long long span = pdb.rN >= pdb.r1 ? static_cast<long long>(pdb.rN) - pdb.r1 + 1 : 0;
    const bool presentOnly = span - present > kMaxMissingResidues;
    if (presentOnly)
        std::fprintf(stderr,
                     "DC Warning: residues %d to %d of the structure leave %lld numbers without a residue; "
                     "couplings are generated for the %lld residues present only\n",
                     pdb.r1, pdb.rN, span - present, present);
    long long made = 0;
    auto madeId = [&made] { return made >= INT_MAX ? INT_MAX : static_cast<int>(++made); };
    for (int code : classes) {
        auto next = firstPresent;
        for (long long residue = pdb.r1; residue <= pdb.rN; residue++) {
            if (presentOnly) {
                if (next == pdb.residList.end() || next->first > pdb.rN) break;
                residue = next->first;
                ++next;
            }
            const int i = static_cast<int>(residue);
            const std::string name = resName(i);
            int resI = i, resJ = i;
            const char *atomI = nullptr, *atomJ = nullptr;
            switch (code) {
            case 1:
                if (name == "PRO") continue;
                atomI = "HN", atomJ = "N";
                break;
            case 3:
                if (i == pdb.r1 || name == "PRO") continue;
                resI = i - 1, atomI = "C", atomJ = "HN";   // i > r1: no overflow
                break;
            case 5: atomI = "N", atomJ = "CA"; break;
            case 6:
                if (i == pdb.r1) continue;
                resI = i - 1, atomI = "C", atomJ = "N";
                break;
            case 7: atomI = "HA", atomJ = "CA"; break;
            case 8: atomI = "HA", atomJ = "HB"; break;
            case 9: atomI = "CA", atomJ = "CB"; break;
            case 10: atomI = "C", atomJ = "CA"; break;
            case 12: atomI = "HB", atomJ = "CB"; break;
            default: continue;
            }
            DipolarCouplingData dc;
            dc.id = madeId();
            dc.resIDI = resI;
            dc.resIDJ = resJ;
            dc.resNameI = resName(resI);
            dc.resNameJ = name;
            dc.atomNameI = atomI;
            dc.atomNameJ = atomJ;
            dc.rIJ = standardDistance(code);
            int cls = 0;
            dc.di = dc.diCalc = findVariableDI(0, dc.resIDI, dc.resNameI, dc.atomNameI, dc.resIDJ, dc.resNameJ,
                                               dc.atomNameJ, true, cls);
            dc.CLASS = cls;
            // A pair without a standard distance (C(i-1)-N(i) in this order, HB-CB) must take
            // its DI from the structure when built, not keep the placeholder of distance 0.
            dc.diFixedFlag = diFixedFlag;
            dc.isMethylCC = Methyl_CC;
            dcList.push_back(std::move(dc));
        }
    }
    dcCount = made > INT_MAX ? INT_MAX : static_cast<int>(made);
    std::fprintf(stderr, "%d couplings generated ... \n", dcCount);
}

// ---------------------------------------------------------------- building

void DCListData::buildDC(const std::vector<PDB>& pdbs, bool standard, int) {
    if (pdbs.empty() || pdbs[0].isNull()) fail(0, "No PDB structure loaded ...\n");
    pdbCount = 0;
    for (const PDB& p : pdbs) pdbCount += p.conformer_count;
    if (pdbCount <= 0) pdbCount = 1;
    inPDBFileName = pdbs[0].PDBfileName;
    pdbR1 = pdbs[0].r1;
    pdbRN = pdbs[0].rN;
    pdbSequence.clear();
    for (const auto& one : pdbs[0].residListOne)
        if (one.first >= pdbR1 && one.first <= pdbRN && !one.second.empty())
            pdbSequence.emplace_hint(pdbSequence.end(), one.first, one.second[0]);
    validCount = 0;

    std::vector<AtomPair> pairs;  // one buffer for the matched pairs of every coupling
    pairs.reserve(pdbs[0].conformer_count);
    for (DipolarCouplingData& dc : dcList) {
        dc.atomICount = 0;
        dc.dCalc = 9999;
        dc.ddc = 9999;
        dc.diCalc = dc.di;
        dc.wCalc = dc.w;
        dc.sigmaCalc = dc.sigma;
        dc.valid = 0;
        if (!dc.selected && !dc.selected_v) continue;
        dc.buildDC(pdbs[0], pairs);
        if (!dc.valid) continue;

        if (!(dc.diFixedFlag == 1 && standard && dc.di != 0)) {
            int cls = 0;
            double di = findVariableDI(dc.rIJ, dc.resIDI, dc.resNameI, dc.atomNameI, dc.resIDJ, dc.resNameJ,
                                       dc.atomNameJ, standard, cls);
            dc.diCalc = keepDIFlag ? dc.di : di;
            dc.diFixedFlag = diFixedFlag;
            dc.CLASS = cls;
        }
        // The minimum uncertainty and the default weight follow the coupling's own DI.
        if (dc.sigma == 0) dc.sigma = std::min(std::fabs(dc.diCalc / orvex::kDmaxNH), 1.0);
        if (dc.w > 0 && dc.w < 0.01) dc.w = dc.wCalc = std::fabs(orvex::kDmaxNH / dc.diCalc);
        validCount++;
    }
    std::fprintf(stderr, "Building couplings ... %d couplings validated\n", validCount);
}

// ---------------------------------------------------------------- selections

int DCListData::selectDC(int first, int last, std::vector<int> working, std::vector<int> validation, bool same) {
    workingResSelection.clear();
    validationResSelection.clear();
    residue_selection::buildMap(first, last, working, workingResSelection);
    residue_selection::buildMap(first, last, validation, validationResSelection);
    resSelectionVec_Working = working;
    resSelectionVec_Validation = validation;
    Same_Selection_Working_Validation = same;
    return selectDC(first, last, workingResSelection, validationResSelection);
}

int DCListData::selectDC(int, int, const residue_selection::Marks& working, const residue_selection::Marks& validation) {
    for (DipolarCouplingData& dc : dcList) {
        dc.selected = dc.selected_v = 1;
        if (dc.d > orvex::kUnmeasured && !GeneratedFromStructure) {
            dc.selected = dc.selected_v = 0;
            continue;
        }
        int key = std::max(dc.resIDI, dc.resIDJ);   // a coupling belongs to its later residue
        if (!residue_selection::isMarked(working, key)) dc.selected = 0;
        if (!residue_selection::isMarked(validation, key)) dc.selected_v = 0;
    }
    return 1;
}

int DCListData::selectDC(int first, int last, int mode) {
    int count = 0;
    for (DipolarCouplingData& dc : dcList) {
        bool inI = dc.resIDI >= first && dc.resIDI <= last;
        bool inJ = dc.resIDJ >= first && dc.resIDJ <= last;
        int lo = std::min(dc.resIDI, dc.resIDJ), hi = std::max(dc.resIDI, dc.resIDJ);
        bool inRange;
        switch (mode) {
        case 1: inRange = inI && inJ; break;
        case 2: inRange = inI || inJ; break;
        case 3: inRange = lo >= first && lo <= last; break;
        default: inRange = hi >= first && hi <= last; break;
        }
        dc.selected = dc.d <= orvex::kUnmeasured && inRange ? 1 : 0;
        count += dc.selected;
    }
    std::fprintf(stderr, "Evalulating couplings ... %d couplings validated\n", count);
    return count;
}
