// The application: option set with its defaults, the usage text, and the analysis modes
// (standard run, tensor orthogonalization, shape tensor, ensemble fit, RCSA fit). Each mode,
// and each route of the standard run, lives in its own file, listed below with the options
// that lead there.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/Modes.h"
#include "common/Types.h"
#include "couplings/DCListData.h"
#include "couplings/RCSAListData.h"
#include "io/GDB.h"
#include "io/PDB.h"
#include "tensor/DTensor.h"

class CmdArgParser;
class FitWorkData;
class SVDWorkData;

// Settings of the maximal-subset search, read from the command line (-maxSub, -culling,
// -maxSubDCut, -level, -w12, -culling_Q, -culling_percent); reals pass through single precision.
struct MaxSubsetOptions {
    bool maxSub = false;             // -maxSub given
    bool soloSet = false;            // -maxSub with exactly the value "+": the solo-set search, else culling
    bool culling = false;            // -culling given
    double dCut = 3.0;               // -maxSubDCut
    int searchLevel = 9999;          // -level, truncated toward zero
    double tau = 0.1;                // -w12
    double culling_Q = 0.1;          // -culling_Q
    double culling_percent = 0;      // -culling_percent
    bool requested() const { return maxSub || culling; }
};

// Options that only the standard run's steps and routes read, taken from the command line once
// by setArgs, so that the run itself does not consult the parser.
struct StandardRunOptions {
    bool generateCouplings = false;   // -fixed or -saupe: couplings may be generated without a table
    MaxSubsetOptions maxSubset;
    std::string plotFile;             // -plot FILE.svg (an extension): the plot of the fit; "" for none
    double vwfitC = 0;                // -vwfit_C: coefficient C of the ensemble fit's weight penalty
};

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
    int excludeMode = orvex::kExcludeModeLarger;
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
    StandardRunOptions runOptions;

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

    // ---- modes, chosen by the program entry (Orvex_main.cpp) ----
    // standard run, no mode option (Orvex_standard.cpp); the last two forms serve the fragment search
    int simDC();
    int simDC(int first, int last, int allowFixedDI, int excludeMode);
    int simDC(int first, int last, int unused, int allowFixedDI, int excludeMode);
    int simDC(std::vector<int> ranges, std::vector<int> refRanges, int allowFixedDI, int excludeMode);
    int DC_orth();                            // -orth (Orvex_orth.cpp)
    int simDC_shapeTensor_multiconfomers();   // -shapeTensor (Orvex_shape.cpp)
    int vwFit_multi();                        // -vwfit, -vwfit_cv_multi (Orvex_vwfit.cpp)
    int simRCSA();                            // -rcsa (Orvex_rcsa.cpp)

    // -plot given and no route drew the plot: says so on the error stream (Orvex_plot.cpp).
    void warnIfPlotNotDrawn() const;

private:
    // ---- routes of the standard run, chosen by runRoute from the tensor's tensorMode and the
    // options; each returns the run's result ----
    // tensorMode 1 (default, -svd): SVD fit of one tensor with its jackknife (Orvex_svd.cpp)
    int runSvdFit(SVDWorkData& svd);
    // tensorMode 1 with -multiTensor and several conformers: one tensor per conformer (Orvex_multiTensor.cpp)
    int runMultiTensorFit(SVDWorkData& svd);
    // -maxSub or -culling, with tensorMode 1, 2, 6 or 7: maximal-subset search (Orvex_maxsub.cpp)
    int runMaxSubset(SVDWorkData& svd, const MaxSubsetOptions& options);
    // tensorMode 2 (-saupe, -align): back-calculation from five Saupe values (Orvex_givenTensor.cpp)
    int runGivenSaupe(SVDWorkData& svd);
    // tensorMode 5 (-fixed with -da -rh -rx -ry -rz): the couplings back-calculated from the fixed
    // tensor before the nonlinear route hands them on (Orvex_givenTensor.cpp)
    void backCalculateFixedTensor();
    // tensorMode 3, 4, 5, 8 (-fit, -fit_nlls, -fit_lm, -fit_pw, -fit_gs, -fit_sa, -fit_sa_lm, -vwfit_cv,
    // -fit_dw, -nofixed, the fixed-parameter options, -fixed) (Orvex_nonlinear.cpp)
    int runNonlinearFit();
    // -plot FILE.svg (an extension; Orvex_plot.cpp): every route calls this once after its result
    // table, with the list, level, tensors and coupling count it handed to the table (maxSubset:
    // the maximal-subset table, whose left-out residues are marked). Does nothing without -plot
    // or for an empty list; a file that cannot be written gets a warning and the run goes on.
    void writePlotIfAsked(DCListData& list, const std::vector<DTensor>& tensors, int level, int nSVD,
                          bool maxSubset = false);
    bool plotDrawn = false;   // a route reached writePlotIfAsked with couplings to draw
    // fitMode 7 and 8 of the nonlinear route: the single-medium ensemble fit on the work object
    // (Orvex_vwfit.cpp); false when it refused to run (too many conformers).
    bool runEnsembleFit(FitWorkData& fit);
    // -saStep1..3, -vwfitCount then -saTryCount, -saPowell, -nosaPowell into t: the rows the option
    // table applies when saFitFlag is set, which the ensemble fit also applies for -vwfit_cv_multi.
    void readAnnealingOptions(const CmdArgParser& p, DTensor& t);

    // steps of the tensor orthogonalization, -orth (Orvex_orth.cpp)
    // The coupling tables named by -inDs; ends the run with the usage text unless there are two or more.
    StringList orthMediaFiles();
    // Medium k (1-based): reads fileName into list with the fresh tensor t, selects by the residue
    // range and excludeMode, builds against the loaded structure, SVD-fits t and prints its block.
    void fitOrthMedium(int k, const std::string& fileName, DCListData& list, DTensor& t);
    // ---- the RCSA mode (Orvex_rcsa.cpp) ----
    // -N_csa_d11 ... -C_csa_beta: the chemical-shift tensors given replace the tensor's values;
    // all values are echoed.
    void readCsaTensorOptions(const CmdArgParser& p);
    // mode 1: the RCSA records fitted by SVD and written to outName
    void fitRCSA(const std::string& outName);
    // mode 2: the couplings fitted by SVD and written, the RCSA records back-calculated from
    // that tensor and written to outName
    void backCalculateRCSA(const DTensor& options, const std::string& outName);

    // setArgs reads the option tables in this order (later rows overwrite earlier ones): start and
    // file options, tensor start values and limits, method and jackknife options, remaining options
    // (with the residue selections and the fixed-parameter pins), then the standard run's own options.
    void readStartAndFileOptions(const CmdArgParser& p);
    void readTensorStartOptions(const CmdArgParser& p);
    void readMethodOptions(const CmdArgParser& p);
    void readRemainingOptions(const CmdArgParser& p);
    void readSelectionOptions(const CmdArgParser& p);
    void readFixedParameterOptions(const CmdArgParser& p);
    void readStandardRunOptions(const CmdArgParser& p);

    // steps of the standard run (Orvex_standard.cpp)
    // (announced on the error stream, or on `announceTo`)
    bool loadStructure(FILE* announceTo = stderr);
    void prepareTensorsPerConformer(bool loadedNow);
    bool obtainCouplings(int& first, int& last);
    void readCouplingTable();
    int runRoute();
    int runSvdRoute();
};

// The program entry (steps of a run); `main` only hands its arguments to this.
int mainOrvex(int argc, char** argv);
