// The couplings of one alignment medium: reading tables, generating couplings from a
// structure, building them, working/validation selections, statistics and result tables.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/Types.h"
#include "couplings/DipolarCouplingData.h"
#include "couplings/ResidueSelection.h"
#include "io/PDB.h"
#include "tensor/DTensor.h"

// Coupling class names indexed by class code (code 12, HB-CB, has no name).
extern const char* const DCTypeList[12];

class DCListData {
public:
    std::vector<DipolarCouplingData> dcList;
    int dcCount = 0;
    int pdbCount = 0;
    int validCount = 0;
    int maxCount = 0;
    int dMinRes = 1000000, dMaxRes = -999999;
    int segFIRST = 9999, segLAST = -9999;
    int diFixedFlag = 1;
    int diClass = 0;
    double diVal = 0;
    double qfactor = 0, qfactor_norm = 0, corr_r = 0, rms = 0, chi2 = 0, slope = 0;
    double qfactor_v = 0, qfactor_norm_v = 0, corr_r_v = 0, rms_v = 0, chi2_v = 0, slope_v = 0;
    double qfactor_jk = 0, corr_r_jk = 0, rms_jk = 0, chi2_jk = 0, slope_jk = 0;
    int nD_v = 0;
    residue_selection::Marks workingResSelection, validationResSelection;
    std::vector<int> resSelectionVec_Working, resSelectionVec_Validation;
    bool Same_Selection_Working_Validation = true;
    std::string inDCFileName, outDCFileName, inPDBFileName;
    // Residue range (r1, rN) of the first structure built against, for the report title; the
    // structures themselves stay with their owner.
    int pdbR1 = 0, pdbRN = 0;
    std::string seqStr;
    std::vector<int> DCTypeListInt;
    bool keepDIFlag = false;
    bool verb = false;
    bool GeneratedFromStructure = false;
    int Methyl_CC = 1;

    DCListData() = default;
    DCListData(const DCListData&) = default;
    DCListData(DCListData&&) = default;
    DCListData& operator=(const DCListData&) = default;
    DCListData& operator=(DCListData&&) = default;
    virtual ~DCListData() = default;

    // ---- input, generation, building ----
    void readDC(const std::string& fileName, DTensor& tensor);
    void createEmptyDCList(std::vector<int> classes, DTensor& tensor, const std::vector<PDB>& pdbs);
    void buildDC(const std::vector<PDB>& pdbs, bool standardDistance, int unused);

    // ---- selections ----
    int selectDC(int first, int last, std::vector<int> working, std::vector<int> validation, bool same);
    int selectDC(int first, int last, const residue_selection::Marks& working, const residue_selection::Marks& validation);
    int selectDC(int first, int last, int mode);

    // ---- class and DI rules ----
    double findVariableDI(double distance, int resIDI, const std::string& resNameI, const std::string& atomNameI,
                          int resIDJ, const std::string& resNameJ, const std::string& atomNameJ,
                          bool standardDistance, int& dcClass);
    int isDCMethyl(const std::string& resName, const std::string& atomNameI, const std::string& atomNameJ) const;
    StringList getMethylNames(const std::string& resName, const std::string& atomNameI,
                              const std::string& atomNameJ) const;

    // ---- statistics and result tables ----
    int getStatAll(const DTensor& tensor);
    void writeStatAll(FILE* out, const DTensor& tensor, int level, bool noDaNorm, int nSVD);
    int writeDC(const std::string& outName, const std::string& title, int level, int unused,
                const std::vector<DTensor>& tensors, int nSVD);
    int reportDC(const std::string& outName, int level, const std::vector<DTensor>& tensors, int nSVD);
    int reportDC_multi(const std::string& outName, const std::vector<DTensor>& tensors, int nSVD);
    // The multi-tensor layout of the result table (fitMode 9 or tensorMode 10), which is also the
    // statistics block's noDaNorm flag.
    static bool multiTensorLayout(const DTensor& t);

    // ---- maximal-subset result table (DCListData_maxsub.cpp) ----
    // One-letter codes of the residues of the first structure built against, by residue number
    // (a number it lacks is printed 'X'); set by buildDC.
    std::map<int, char> pdbSequence;
    // The result table of the maximal-subset search and culling: the selected residues (ids), the
    // residue scores, the overall score and the final fit in t, with one row per valid coupling.
    // Written to outName, or to standard output when it cannot be opened. Returns 0.
    int reportDC_maxSub(const std::string& outName, double dCut, const DTensor& t, double score,
                        const std::vector<int>& ids, const std::map<int, double>& scores);
    // A coupling the maximal-subset search counts: valid, measured (not above 900 Hz), weight not 0.
    static bool isMaxSubsetUsable(const DipolarCouplingData& dc);
    // The usable couplings selected in the subset: the table's N_DC_MAXSUB and N_SVD.
    int countMaxSubset() const;
    // The file a result table goes to (DCListData_report.cpp): the named one opened for writing,
    // or standard output for an empty name or, after "DC Error opening output file <name>", for
    // one that cannot be opened.
    static FILE* openResultFile(const std::string& outName);
};
