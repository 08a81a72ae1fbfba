// The application: option set with its defaults, the usage text, and the analysis modes
// (standard run, tensor orthogonalization, shape tensor, ensemble fit, RCSA fit).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "common/Types.h"
#include "couplings/DCListData.h"
#include "couplings/RCSAListData.h"
#include "io/GDB.h"
#include "io/PDB.h"
#include "tensor/DTensor.h"

// One score of the fragment search (fragment database scoring; no mode reaches it).
struct mfrScore {
    double score = 0;
};

class Orvex {
public:
    // ---- numerical settings and working tensors ----
    int grid_step = 5;
    bool svd_mfr_flag = false;
    std::vector<int> resSelectionVec_Working;
    std::vector<int> resSelectionVec_Validation;
    bool Same_Selection_Working_Validation = true;
    DTensor dTensor;
    std::vector<DTensor> dTensors;
    DCListData dcDataList;
    RCSAListData rcsaDataList;
    std::map<int, std::map<double, mfrScore>> mfrScores;
    std::vector<PDB> pdbList;

    // ---- fragment and chemical-shift scoring data (no mode reaches them) ----
    GDB csRefTab;
    std::map<int, std::map<std::string, double>> csRefVal, csDbVal;
    std::map<int, std::string> seqRef, seqDb;
    std::map<int, std::map<double, int>> csScoreHistogram, svdScoreHistogram;
    std::map<int, int> csScoreCount, svdScoreCount;
    std::map<int, double> csScoreCuts, svdScoreCuts;
    double csScoreCut = 0, svdScoreCut = 0;

    // ---- counters, ranges and switches ----
    std::vector<int> DCTypeListInt;   // coupling classes to generate without a table
    int dcCount = 0;
    int pdbCount = 0;
    int segFIRST = 9999, segLAST = -9999;
    int excludeMode = 4;
    int allowFixedDI = 1;
    int keepDIFlag = 0;
    int verbose = 0;
    int isRefPDBfrmVALL = 0;
    int workSize = 0;
    std::string inDCFileName, inDCTitle;
    std::string outDCFileName;
    std::string inPDBFileName, inPDBTitle;
    int pdbResIDOffset = 0;
    bool multiTensorMode = false;
    int nTensors = 1;
    bool rcsaMode = false;

    Orvex();
    Orvex(const std::string& inDC);
    Orvex(const std::string& inDC, int keepDI);
    Orvex(const std::string& inDC, int keepDI, const std::string& inPDB);
    Orvex(const std::string& inDC, int keepDI, const std::string& inPDB, int resIDOffset);
    virtual ~Orvex();

    void initDC();
    // Reads every option from the process-wide parser; the map given is not consulted.
    void setArgs(ArgList args);

    [[noreturn]] void printSyntax();
    void printSyntax_orth(int full);
    void printSyntax_rcsa(int full);

    // ---- modes ----
    int simDC();
    int simDC(int first, int last, int allowFixedDI, int excludeMode);
    int simDC(int first, int last, int unused, int allowFixedDI, int excludeMode);
    int simDC(std::vector<int> ranges, std::vector<int> refRanges, int allowFixedDI, int excludeMode);
    int DC_orth();
    int simDC_shapeTensor_multiconfomers();
    int vwFit_multi();
    int simRCSA();
};

// The program entry (steps of a run); `main` only hands its arguments to this.
int mainOrvex(int argc, char** argv);
