// Residual chemical shift anisotropy mode (-rcsa, -inRCSA, -outRCSA, the -N_csa_/-H_csa_/-C_csa_
// options): mode 1 fits the alignment tensor to the RCSA records of a table by SVD; mode 2
// (a coupling table, -inD) fits the tensor to the couplings and back-calculates the RCSA
// records from it. With both an RCSA table and -inD, mode 1 runs and then mode 2; both write
// the RCSA result table (-outRCSA), so it holds mode 2's values in the end.
// The mode's own lines go to standard output, its announcement of the structure among them
// (the standard run announces the structure on the error stream).
#include <cstdio>

#include "driver/CmdArgParser.h"
#include "driver/Orvex.h"
#include "fit/SVDWorkData.h"

int Orvex::simRCSA() {
    const CmdArgParser& p = *CmdArgParser::getInstance();
    rcsaMode = true;
    const std::string inName = p.isValidArg("inRCSA") ? p.getArgValueS("inRCSA") : "inRCSA.tab";
    const std::string outName = p.isValidArg("outRCSA") ? p.getArgValueS("outRCSA") : "outRCSA.tab";
    rcsaDataList.outRCSAFileName = outName;
    if (!inName.empty()) rcsaDataList.readRCSA(inName, dTensor);

    loadStructure(stdout);
    if (!pdbList.empty()) rcsaDataList.setStructure(pdbList[0]);

    readCsaTensorOptions(p);
    const DTensor options = dTensor;   // mode 2's coupling fit starts from the options again
    if (!rcsaDataList.rcsaList.empty()) fitRCSA(outName);   // mode 1 needs records read
    if (!inDCFileName.empty()) backCalculateRCSA(options, outName);
    return 1;
}

void Orvex::readCsaTensorOptions(const CmdArgParser& p) {
    DTensor& t = dTensor;
    // per nucleus: option prefix, heading, the echo format of its angle, the tensor's values
    struct Nucleus {
        const char* prefix;
        const char* heading;
        const char* betaFormat;
        double* beta;
        double* dii;
    };
    const Nucleus nuclei[3] = {
        {"N", " 15N CSA tensor components: ", "  beta_N: %5.1f\t", &t.beta_N, t.N_dii},
        {"H", " 1H CSA tensors components: ", "  beta_H: %5.1f\t", &t.beta_H, t.H_dii},
        {"C", " 13C' CSA tensors components: ", "  beta_C: %5.1f\t", &t.beta_C, t.C_dii},
    };
    for (const Nucleus& n : nuclei) {
        const std::string prefix = std::string(n.prefix) + "_csa_";
        for (int k = 0; k < 3; k++) {
            const std::string name = prefix + "d" + std::to_string(k + 1) + std::to_string(k + 1);
            if (p.isValidArg(name)) n.dii[k] = p.getArgValueD(name);
        }
        if (p.isValidArg(prefix + "beta")) *n.beta = p.getArgValueD(prefix + "beta");
    }

    std::printf("\nLoading CSA tensors parameters: ");
    for (const Nucleus& n : nuclei) {
        std::fputs(n.heading, stdout);
        std::printf(n.betaFormat, *n.beta);
        for (int k = 0; k < 3; k++) std::printf(" d%d%d: %6.2f\t", k + 1, k + 1, n.dii[k]);
        std::printf("\n");
    }
}

void Orvex::fitRCSA(const std::string& outName) {
    RCSAListData& list = rcsaDataList;
    // the residue range is the RCSA table's own
    list.selectRCSA(list.segFIRST, list.segLAST, resSelectionVec_Working, resSelectionVec_Validation,
                    Same_Selection_Working_Validation);
    list.buildRCSA(pdbList, dTensor);
    std::printf("\nRunning RCSA fit ... ");
    SVDWorkData svd;
    svd.simD(list.rcsaList, pdbCount, dTensor);
    dTensor.eulerCount = dTensor.saupe2euler();
    list.reportRCSA(outName, 1, dTensor, svd.svdCount);
}

void Orvex::backCalculateRCSA(const DTensor& options, const std::string& outName) {
    std::printf("\nDC file found ...\n");
    std::printf("Calculating Alignment Tensor from Fitting DC Data ...\n\n");
    // The couplings are fitted and reported in coupling order: -rcsa has set isRCSA, which
    // would read their Saupe vector as an RCSA one.
    dTensor = options;
    dTensor.isRCSA = false;
    readCouplingTable();
    dcDataList.selectDC(segFIRST, segLAST, resSelectionVec_Working, resSelectionVec_Validation,
                        Same_Selection_Working_Validation);
    dcDataList.buildDC(pdbList, allowFixedDI != 0, pdbResIDOffset);
    std::printf("Running DC fit ... ");
    SVDWorkData svd;
    svd.simD(dcDataList.dcList, pdbCount, dTensor);
    dTensor.eulerCount = dTensor.saupe2euler();
    dTensors.clear();
    dTensors.push_back(dTensor);
    dcDataList.reportDC(outDCFileName, 1, dTensors, svd.svdCount);

    // The same tensor in RCSA order: (Szz, Sxx - Syy, ...) -> (Syy, Szz, ...), Sxy, Sxz, Syz kept;
    // the principal values, Da, Dr and angles stay those of the coupling fit.
    DTensor& t = dTensor;
    t.isRCSA = true;
    const double szz = t.saupe[0], sxxMinusSyy = t.saupe[1];
    t.saupe[0] = -(szz + sxxMinusSyy) / 2;
    t.saupe[1] = szz;
    std::printf("\nCalculating RCSA Data from Alignment Tensor ...\n\n");
    for (RCSA_Data& r : rcsaDataList.rcsaList)
        if (r.valid == 1) r.calcRCSA(t.saupe.data());
    rcsaDataList.reportRCSA(outName, 1, t, svd.svdCount);
}
