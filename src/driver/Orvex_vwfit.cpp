// Variable-weight ensemble fit of conformer populations over one or more media (-vwfit,
// -vwfit_cv_multi; reads -inDs or -inD, -pdb, -select, -select_valid, -saStep1..3, -vwfitCount,
// -saTryCount, -saPowell/-nosaPowell, -vwfit_C, -outTitle), and the standard run's fit modes 7
// and 8 (-vwfit_cv), the single-medium form.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "common/Modes.h"
#include "driver/CmdArgParser.h"
#include "driver/Orvex.h"
#include "fit/FitWorkData.h"
#include "fit/VWFitEnsemble.h"

namespace {

// Chosen default of -outTitle: the tables are outD_1_vwfit.tab, outD_2_vwfit.tab, ...
const char* const kDefaultOutTitle = "vwfit";

std::vector<int> conformerNumbers(const std::vector<PDB>& pdbs) {
    std::vector<int> numbers;
    if (!pdbs.empty())
        for (const auto& conf : pdbs.front().Conformers) numbers.push_back(conf.first);
    return numbers;
}

int conformersOfFirst(const std::vector<PDB>& pdbs) { return pdbs.empty() ? 0 : pdbs.front().conformer_count; }

int countIf(const std::vector<DipolarCouplingData>& list, bool (*role)(const DipolarCouplingData&)) {
    int n = 0;
    for (const DipolarCouplingData& dc : list) n += role(dc) ? 1 : 0;
    return n;
}

}  // namespace

bool Orvex::runEnsembleFit(FitWorkData& fit) {
    fit.conformerNumbers = conformerNumbers(pdbList);
    fit.wPenalty = runOptions.vwfitC;
    const int n = conformersOfFirst(pdbList);
    const int done = dTensor.fitMode == orvex::kFitModeVwfitCv ? fit.vwfit_SA_LM_CV(n) : fit.vwfit_SA_LM(n);
    return done == 0;
}

int Orvex::vwFit_multi() {
    const CmdArgParser& p = *CmdArgParser::getInstance();
    StringList files;
    if (p.isValidArg("inDs"))
        files = p.getArgValueSS("inDs");
    else if (!inDCFileName.empty())
        files.push_back(inDCFileName);
    if (files.empty()) {
        std::fflush(stdout);
        std::fputs("No couplings file specified! Quit ..\n", stderr);
        return -1;
    }
    const std::string title =
        p.isValidArg("outTitle") && !p.getArgValueS("outTitle").empty() ? p.getArgValueS("outTitle") : kDefaultOutTitle;
    // Every medium starts from the working tensor with the trial settings; the result tables mark
    // the fit with the VWFIT block, also for -vwfit_cv_multi alone (which selects no fit mode).
    DTensor settings = dTensor;
    readAnnealingOptions(p, settings);
    settings.tensorMode = orvex::kTensorModeNonlinear;
    settings.fitMode = orvex::kFitModeVwfit;

    loadStructure();
    const int num_PDB = conformersOfFirst(pdbList);
    // Validation mode: a validation selection that differs from the working one.
    const bool validationMode =
        !Same_Selection_Working_Validation && resSelectionVec_Validation != resSelectionVec_Working;

    const size_t nMedia = files.size();
    std::vector<DCListData> lists(nMedia, dcDataList);   // the list settings of the run, no couplings
    std::vector<DTensor> tensors(nMedia, settings);
    std::vector<std::vector<DipolarCouplingData>> media(nMedia);
    for (size_t k = 0; k < nMedia; k++) {
        DCListData& list = lists[k];
        std::printf("\nRDC set # %d\n", static_cast<int>(k + 1));
        std::fflush(stdout);
        list.readDC(files[k], tensors[k]);
        list.selectDC(list.segFIRST, list.segLAST, resSelectionVec_Working, resSelectionVec_Validation,
                      Same_Selection_Working_Validation);
        list.buildDC(pdbList, allowFixedDI != 0, pdbResIDOffset);
        const int working = countIf(list.dcList, VWFitEnsemble::isWorking);
        if (validationMode) {
            std::printf("%d couplings selected for fitting tensor ... \n", working);
            std::printf("%d couplings selected for validation ... \n", countIf(list.dcList, VWFitEnsemble::isValidation));
        } else {
            std::printf("%d couplings selected for fitting tensor and validation ... \n", working);
        }
        media[k] = list.dcList;
    }
    std::printf(validationMode ? "\nStarting VWFit (validation mode) ... \n\n" : "\nStarting VWFit (standard mode) ... \n\n");

    FitWorkData fit(media, tensors, pdbCount);
    fit.conformerNumbers = conformerNumbers(pdbList);
    fit.wPenalty = runOptions.vwfitC;
    if (fit.vwfit_SA_LM_CV_multi_topN_2(num_PDB) != 0) return -1;

    for (size_t k = 0; k < nMedia; k++) {
        const int set = static_cast<int>(k + 1);
        char name[1024];
        std::snprintf(name, sizeof name, "outD_%d_%s.tab", set, title.c_str());
        std::printf("\nWriting output to %s\t for set # %d\n", name, set);
        std::fflush(stdout);
        lists[k].dcList = std::move(fit.dcLists[k]);
        const std::vector<DTensor> fitted{fit.dTensors[k]};
        lists[k].reportDC(name, 0, fitted, lists[k].validCount);
    }
    return 1;
}
