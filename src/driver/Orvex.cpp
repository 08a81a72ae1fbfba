// The application object: defaults, the option set read from the command line, and the
// usage text.
#include "driver/Orvex.h"

#include <cstdio>

#include "common/Fail.h"
#include "driver/CmdArgParser.h"

Orvex::Orvex() { initDC(); }

Orvex::Orvex(const std::string& inDC) : inDCFileName(inDC), inDCTitle(inDC) { initDC(); }

Orvex::Orvex(const std::string& inDC, int keepDI) : keepDIFlag(keepDI), inDCFileName(inDC), inDCTitle(inDC) {
    initDC();
}

Orvex::Orvex(const std::string& inDC, int keepDI, const std::string& inPDB)
    : keepDIFlag(keepDI), inDCFileName(inDC), inDCTitle(inDC), inPDBFileName(inPDB), inPDBTitle(inPDB) {
    initDC();
}

Orvex::Orvex(const std::string& inDC, int keepDI, const std::string& inPDB, int resIDOffset)
    : keepDIFlag(keepDI), inDCFileName(inDC), inDCTitle(inDC), inPDBFileName(inPDB), inPDBTitle(inPDB),
      pdbResIDOffset(resIDOffset) {
    initDC();
}

Orvex::~Orvex() = default;

void Orvex::initDC() {
    dTensor.initTensor(1);
    dTensors.push_back(dTensor);
    multiTensorMode = false;
    rcsaMode = false;
    dcCount = 0;
    pdbCount = 0;
    grid_step = 5;
}

namespace {

[[noreturn]] void missingValueOption(const char* valueOption, const char* fixedOption) {
    fail(-1, std::string("Error:: '-") + valueOption + "' option is not found when '-" + fixedOption +
                 "' option is used ! \n");
}

}  // namespace

void Orvex::setArgs(ArgList) {
    const CmdArgParser& p = *CmdArgParser::getInstance();
    auto has = [&p](const char* name) { return p.isValidArg(name); };
    auto text = [&p](const char* name) { return p.getArgValueS(name); };
    auto real = [&p](const char* name) { return static_cast<double>(p.getArgValueD(name)); };
    auto integer = [&p](const char* name) { return p.getArgValueI(name); };
    DTensor& t = dTensor;

    // ---- start and file options ----
    if (has("help") || has("version")) printSyntax();
    if (has("pdb")) {
        inPDBFileName = text("pdb");
        inPDBTitle = inPDBFileName;
        isRefPDBfrmVALL = 0;
    }
    if (has("inD")) inDCFileName = inDCTitle = text("inD");
    if (has("in")) inDCFileName = inDCTitle = text("in");
    if (has("inDTitle")) inDCTitle = text("inDTitle");
    outDCFileName = "outD.tab";
    if (has("out")) outDCFileName = text("out");
    if (has("outD")) outDCFileName = text("outD");
    pdbResIDOffset = 0;
    segFIRST = 9999;
    segLAST = -9999;
    if (has("excl")) excludeMode = 1;
    if (has("incl")) excludeMode = 2;
    if (has("inclAll")) excludeMode = 2;
    if (has("inclMin")) excludeMode = 3;
    if (has("inclMax")) excludeMode = 4;
    if (has("fixedDI")) {
        allowFixedDI = 1;
        dcDataList.diFixedFlag = 1;
    }
    if (has("nofixedDI")) {
        allowFixedDI = 0;
        dcDataList.diFixedFlag = 0;
    }
    if (has("keepDI")) {
        keepDIFlag = 1;
        dcDataList.keepDIFlag = true;
        dcDataList.diFixedFlag = 1;
    }
    if (has("nokeepDI")) {
        keepDIFlag = 0;
        dcDataList.keepDIFlag = false;
        dcDataList.diFixedFlag = 0;
    }
    if (has("verbose") || has("verb")) verbose = 1;
    if (has("keepSmallExpError") || has("keepDD")) t.allowTinyDD = true;

    // ---- tensor start values and limits ----
    if (has("da")) t.da = real("da");
    if (has("daMin")) {
        if (text("daMin") == "Auto") {
            t.autoSignFlag = 1;
        } else {
            t.autoSignFlag = 0;
            t.daMin = real("daMin");
        }
    }
    if (has("daMax")) {
        if (text("daMax") == "Auto") {
            t.autoSignFlag = 1;
        } else {
            t.autoSignFlag = 0;
            t.daMax = real("daMax");
        }
    }
    if (has("daFixed")) {
        if (!has("da")) missingValueOption("da", "daFixed");
        t.da = t.daMin = t.daMax = real("da");
    }
    if (has("drMin")) t.drMin = real("drMin");
    if (has("drMax")) t.drMax = real("drMax");
    if (has("drFixed")) {
        if (!has("dr")) missingValueOption("dr", "drFixed");
        t.dr = real("dr");
        t.rh = t.dr / t.da;
        t.drMin = t.drMax = t.dr;
    }
    if (has("rh")) t.rh = real("rh");
    if (has("rhMin")) t.rhMin = real("rhMin");
    if (has("rhMax")) t.rhMax = real("rhMax");
    if (has("rhFixed")) {
        if (!has("rh")) missingValueOption("rh", "rhFixed");
        t.rh = real("rh");
        t.rhMin = t.rhMax = t.rh;
        t.dr = t.rh * t.da;
    }
    if (has("rxFixed")) {
        if (!has("rx")) missingValueOption("rx", "rxFixed");
        t.psi = t.psiMin = t.psiMax = real("rx");
    }
    if (has("ryFixed")) {
        if (!has("ry")) missingValueOption("ry", "ryFixed");
        t.theta = t.thetaMin = t.thetaMax = real("ry");
    }
    if (has("rzFixed")) {
        if (!has("rz")) missingValueOption("rz", "rzFixed");
        t.phi = t.phiMin = t.phiMax = real("rz");
    }
    if (has("phi")) {
        t.phi = real("phi");
        if (has("fit_dw")) t.phiAve = t.phi;
    }
    if (has("theta")) {
        t.theta = real("theta");
        if (has("fit_dw")) t.thetaAve = t.theta;
    }
    if (has("psi")) {
        t.psi = real("psi");
        if (has("fit_dw")) t.Ru0 = t.psi;
    }
    if (has("phiMin")) t.phiMin = real("phiMin");
    if (has("thetaMin")) t.thetaMin = real("thetaMin");
    if (has("psiMin")) t.psiMin = real("psiMin");
    if (has("phiMax")) t.phiMax = real("phiMax");
    if (has("thetaMax")) t.thetaMax = real("thetaMax");
    if (has("psiMax")) t.psiMax = real("psiMax");

    // ---- method and jackknife options ----
    if (has("rcsa")) {
        t.tensorMode = 1;
        t.isRCSA = true;
    }
    if (has("svd")) {
        t.tensorMode = 1;
        t.fitFlag_JK = 1;
    }
    if (has("JK")) t.fitFlag_JK = 1;
    t.byRes = true;
    if (has("jkByRes")) t.byRes = true;
    if (has("jkByCoupling")) t.byRes = false;
    if (has("JK_level")) t.byRes = text("JK_level") != "C";
    if (has("noJK") || has("noJackknifed")) t.fitFlag_JK = 0;
    if (has("saupe")) {
        t.tensorMode = 2;
        std::vector<float> values = p.getArgValueDD("saupe");
        if (values.size() != 5) fail(-1, "[Error] Saupe input must be 5 elements \n");
        for (int i = 0; i < 5; i++) t.saupe[i] = values[i];
    }
    if (has("align")) t.tensorMode = 2;
    if (has("fit")) t.tensorMode = 3;
    if (has("fixed")) {
        t.tensorMode = 5;
        if (!has("da") || !has("rh") || !has("rx") || !has("ry") || !has("rz")) {
            std::fputs("[Error]:: Fixed Mode (-fixed) Must Have All Five Tensors (-da -rh -rx -ry -rz) Specified! \n",
                       stderr);
            std::fputs("[Error]:: Switched To A Nonlinear Fit Mode (-fit)! \n", stderr);
            t.tensorMode = 3;
        }
        t.fitMode = 1;
        t.psi = real("rx");
        t.theta = real("ry");
        t.phi = real("rz");
        t.da = real("da");
        if (has("rh")) {
            t.rh = real("rh");
            t.dr = t.da * t.rh;
        }
        if (has("dr")) {
            t.dr = real("dr");
            t.rh = t.dr / t.da;
        }
    }
    // Couplings are generated from the structure when no table is given. "-in" is the
    // same option as "-inD" and counts as a table too.
    if ((has("fixed") || has("saupe")) && !has("inD") && !has("in")) {
        DCTypeListInt.clear();
        if (has("classHN,N")) DCTypeListInt.push_back(1);
        if (has("classHA,CA")) DCTypeListInt.push_back(7);
        if (has("classHB,CB")) DCTypeListInt.push_back(12);
        if (has("classHN,C-1")) DCTypeListInt.push_back(3);
        if (has("classN,C-1")) DCTypeListInt.push_back(6);
        if (has("classCA,C")) DCTypeListInt.push_back(10);
        if (DCTypeListInt.empty())
            fail(-1,
                 "[Error]:: Errors found to generate couplings with Fixed Mode (-fixed) or Saupe Mode (-saupe) \n"
                 "[Error]:: At least one RDC class (see below) must be specified when input RDC table is not "
                 "provided (-inD):\n"
                 "          -classHN,N, -classHA,CA, -classHB,CB, classHN,C-1, classN,C-1, classCA,C\n");
    }
    if (has("nofixed")) t.tensorMode = 3;
    if (has("fit_nlls")) {
        t.tensorMode = 3;
        t.fitMode = 1;
    }
    if (has("fit_lm")) {
        t.tensorMode = 3;
        t.fitMode = 2;
    }
    if (has("fit_pw")) {
        t.tensorMode = 3;
        t.fitMode = 4;
    }
    if (has("fit_gs") || has("fit")) {
        grid_step = 5;
        t.tensorMode = 3;
        t.fitMode = 5;
        if (has("gs_step")) grid_step = static_cast<int>(real("gs_step"));
    }
    if (has("vwfit")) {
        t.saFitFlag = 1;
        t.tensorMode = 3;
        t.fitMode = 7;
    }
    if (has("vwfit_cv")) {
        t.saFitFlag = 1;
        t.tensorMode = 3;
        t.fitMode = 8;
    }
    if (has("fit_sa_lm")) {
        t.saFitFlag = 1;
        t.tensorMode = 3;
        t.fitMode = 3;
    }
    if (has("fit_sa")) {
        t.tensorMode = 3;
        t.saFitFlag = 1;
    }
    if (has("fit_dw")) {
        t.saFitFlag = 1;
        t.expResOffset = 13;
        t.tensorMode = 8;
        t.fitMode = 6;
        t.expC = 15.8;
        t.expCMin = 9.0;
        t.expCMax = 18.0;
        if (has("expC")) t.expC = real("expC");
        if (has("expCMin")) t.expCMin = real("expCMin");
        if (has("expCMax")) t.expCMax = real("expCMax");
        if (has("expOff")) t.expResOffset = static_cast<int>(real("expOff"));
        if (has("ru0")) t.psi = real("ru0");
        if (has("ru0Min")) t.psiMin = real("ru0Min");
        if (has("ru0Max")) t.psiMax = real("ru0Max");
        if (has("thetaA")) t.theta = real("thetaA");
        if (has("thetaAMin")) t.thetaMin = real("thetaAMin");
        if (has("thetaAMax")) t.thetaMax = real("thetaAMax");
        if (has("phiA")) t.phi = real("phiA");
        if (has("phiAMin")) t.phiMin = real("phiAMin");
        if (has("phiAMax")) t.phiMax = real("phiAMax");
    }

    // ---- remaining options ----
    if (t.saFitFlag == 1) {
        if (has("saStep1")) t.saItStep1 = integer("saStep1");
        if (has("saStep2")) t.saItStep2 = integer("saStep2");
        if (has("saStep3")) t.saItStep3 = integer("saStep3");
        if (has("vwfitCount")) t.saTryCount = integer("vwfitCount");
        if (has("saTryCount")) t.saTryCount = integer("saTryCount");
        if (has("saPowell")) t.saPowellFlag = 1;
        if (has("nosaPowell")) t.saPowellFlag = 0;
    }
    t.methylCCFlag = has("useMethylCC") ? 1 : 0;
    if (has("methylCC")) t.methylCCFlag = 1;
    multiTensorMode = false;
    nTensors = 1;
    if (has("multiTensor")) {
        multiTensorMode = true;
        if (has("nTensors")) nTensors = integer("nTensors");
    }
    Same_Selection_Working_Validation = true;
    if (has("select")) {
        resSelectionVec_Working = p.getArgValueII("select");
        if (has("select_valid")) {
            resSelectionVec_Validation = p.getArgValueII("select_valid");
            Same_Selection_Working_Validation = false;
        } else {
            resSelectionVec_Validation = resSelectionVec_Working;
        }
    } else if (has("select_valid")) {
        resSelectionVec_Validation = p.getArgValueII("select_valid");
        Same_Selection_Working_Validation = false;
    }
    svd_mfr_flag = false;
    if (has("svd_mfr")) svd_mfr_flag = true;

    // Every fixed-parameter option pins its start value and selects the nonlinear fit.
    auto pinRotations = [&t]() {
        t.psiMin = t.psiMax = t.psi;
        t.thetaMin = t.thetaMax = t.theta;
        t.phiMin = t.phiMax = t.phi;
    };
    if (has("dadr") || has("dadrFixed")) {
        t.tensorMode = 3;
        t.daMin = t.daMax = t.da;
        t.drMin = t.drMax = t.dr;
    }
    if (has("rot") || has("rotFixed")) {
        t.tensorMode = 3;
        pinRotations();
    }
    if (has("rotdr") || has("rotdrFixed")) {
        t.tensorMode = 3;
        t.drMin = t.drMax = t.dr;
        pinRotations();
    }
    if (has("rotrh") || has("rotrhFixed")) {
        t.tensorMode = 3;
        t.rhFlag = 1;
        t.rhMin = t.rhMax = t.rh;
        pinRotations();
    }
    if (has("rxFixed")) {
        t.tensorMode = 3;
        t.psiMin = t.psiMax = t.psi;
    }
    if (has("ryFixed")) {
        t.tensorMode = 3;
        t.thetaMin = t.thetaMax = t.theta;
    }
    if (has("rzFixed")) {
        t.tensorMode = 3;
        t.phiMin = t.phiMax = t.phi;
    }
    if (has("daFixed")) {
        t.tensorMode = 3;
        t.daMin = t.daMax = t.da;
    }
    if (has("drFixed")) {
        t.tensorMode = 3;
        t.drMin = t.drMax = t.dr;
    }
    if (has("rhFixed")) {
        t.tensorMode = 3;
        t.rhFlag = 1;
        t.rhMin = t.rhMax = t.rh;
    }
}
