// The application object: defaults, the option set read from the command line, and the
// usage text.
#include "driver/Orvex.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "common/Constants.h"
#include "common/Fail.h"
#include "common/RunSeed.h"
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

// The parser queries the option rows use: presence, value text, real (through single
// precision, as the parser converts it) and integer.
struct Options {
    const CmdArgParser& p;
    bool has(const char* name) const { return p.isValidArg(name); }
    std::string text(const char* name) const { return p.getArgValueS(name); }
    double real(const char* name) const { return static_cast<double>(p.getArgValueD(name)); }
    int integer(const char* name) const { return p.getArgValueI(name); }
    // A real value truncated toward zero. Our choice where the conversion alone would be undefined:
    // values beyond int's range are held at its ends, and a value that is no number reads as 0.
    int truncated(const char* name) const {
        const double v = real(name);
        if (std::isnan(v)) return 0;
        if (v >= 2147483648.0) return std::numeric_limits<int>::max();
        if (v <= -2147483649.0) return std::numeric_limits<int>::min();
        return static_cast<int>(v);
    }
    // Rows that each copy a real value into a field when their option is given, in row order.
    void reals(std::initializer_list<std::pair<const char*, double*>> rows) const {
        for (const auto& [name, field] : rows)
            if (has(name)) *field = real(name);
    }
};

[[noreturn]] void missingValueOption(const char* valueOption, const char* fixedOption) {
    fail(-1, std::string("Error:: '-") + valueOption + "' option is not found when '-" + fixedOption +
                 "' option is used ! \n");
}

// -daMin and -daMax: "Auto" switches the automatic sign on and leaves the limit alone; a number
// switches it off and sets the limit.
void readDaLimit(const Options& o, const char* name, DTensor& t, double& limit) {
    if (!o.has(name)) return;
    if (o.text(name) == "Auto") {
        t.autoSignFlag = 1;
    } else {
        t.autoSignFlag = 0;
        limit = o.real(name);
    }
}

}  // namespace

void Orvex::setArgs(ArgList) {
    const CmdArgParser& p = *CmdArgParser::getInstance();
    readStartAndFileOptions(p);
    readTensorStartOptions(p);
    readMethodOptions(p);
    readRemainingOptions(p);
    readStandardRunOptions(p);
}

void Orvex::readStartAndFileOptions(const CmdArgParser& p) {
    const Options o{p};
    if (o.has("help") || o.has("version")) printSyntax();
    if (o.has("pdb")) {
        inPDBFileName = o.text("pdb");
        inPDBTitle = inPDBFileName;
        isRefPDBfrmVALL = 0;
    }
    if (o.has("inD")) inDCFileName = inDCTitle = o.text("inD");
    if (o.has("in")) inDCFileName = inDCTitle = o.text("in");
    if (o.has("inDTitle")) inDCTitle = o.text("inDTitle");
    outDCFileName = "outD.tab";
    if (o.has("out")) outDCFileName = o.text("out");
    if (o.has("outD")) outDCFileName = o.text("outD");
    pdbResIDOffset = 0;
    segFIRST = orvex::kRangeFirstUnset;
    segLAST = orvex::kRangeLastUnset;
    if (o.has("excl")) excludeMode = orvex::kExcludeModeBoth;
    if (o.has("incl")) excludeMode = orvex::kExcludeModeEither;
    if (o.has("inclAll")) excludeMode = orvex::kExcludeModeEither;
    if (o.has("inclMin")) excludeMode = orvex::kExcludeModeSmaller;
    if (o.has("inclMax")) excludeMode = orvex::kExcludeModeLarger;
    if (o.has("fixedDI")) {
        allowFixedDI = 1;
        dcDataList.diFixedFlag = 1;
    }
    if (o.has("nofixedDI")) {
        allowFixedDI = 0;
        dcDataList.diFixedFlag = 0;
    }
    if (o.has("keepDI")) {
        keepDIFlag = 1;
        dcDataList.keepDIFlag = true;
        dcDataList.diFixedFlag = 1;
    }
    if (o.has("nokeepDI")) {
        keepDIFlag = 0;
        dcDataList.keepDIFlag = false;
        dcDataList.diFixedFlag = 0;
    }
    if (o.has("verbose") || o.has("verb")) verbose = 1;
    if (o.has("keepSmallExpError") || o.has("keepDD")) dTensor.allowTinyDD = true;
}

void Orvex::readTensorStartOptions(const CmdArgParser& p) {
    const Options o{p};
    DTensor& t = dTensor;
    if (o.has("da")) t.da = o.real("da");
    readDaLimit(o, "daMin", t, t.daMin);
    readDaLimit(o, "daMax", t, t.daMax);
    if (o.has("daFixed")) {
        if (!o.has("da")) missingValueOption("da", "daFixed");
        t.da = t.daMin = t.daMax = o.real("da");
    }
    o.reals({{"drMin", &t.drMin}, {"drMax", &t.drMax}});
    if (o.has("drFixed")) {
        if (!o.has("dr")) missingValueOption("dr", "drFixed");
        t.dr = o.real("dr");
        t.rh = t.dr / t.da;
        t.drMin = t.drMax = t.dr;
    }
    o.reals({{"rh", &t.rh}, {"rhMin", &t.rhMin}, {"rhMax", &t.rhMax}});
    if (o.has("rhFixed")) {
        if (!o.has("rh")) missingValueOption("rh", "rhFixed");
        t.rh = o.real("rh");
        t.rhMin = t.rhMax = t.rh;
        t.dr = t.rh * t.da;
    }
    if (o.has("rxFixed")) {
        if (!o.has("rx")) missingValueOption("rx", "rxFixed");
        t.psi = t.psiMin = t.psiMax = o.real("rx");
    }
    if (o.has("ryFixed")) {
        if (!o.has("ry")) missingValueOption("ry", "ryFixed");
        t.theta = t.thetaMin = t.thetaMax = o.real("ry");
    }
    if (o.has("rzFixed")) {
        if (!o.has("rz")) missingValueOption("rz", "rzFixed");
        t.phi = t.phiMin = t.phiMax = o.real("rz");
    }
    // with -fit_dw the start angles are also the helix's average angles and phase
    if (o.has("phi")) {
        t.phi = o.real("phi");
        if (o.has("fit_dw")) t.phiAve = t.phi;
    }
    if (o.has("theta")) {
        t.theta = o.real("theta");
        if (o.has("fit_dw")) t.thetaAve = t.theta;
    }
    if (o.has("psi")) {
        t.psi = o.real("psi");
        if (o.has("fit_dw")) t.Ru0 = t.psi;
    }
    o.reals({{"phiMin", &t.phiMin},
             {"thetaMin", &t.thetaMin},
             {"psiMin", &t.psiMin},
             {"phiMax", &t.phiMax},
             {"thetaMax", &t.thetaMax},
             {"psiMax", &t.psiMax}});
}

namespace {

// -fixed: all five tensor values are needed, otherwise the run becomes a nonlinear fit; the
// values are taken whether given or not (a missing one reads as -9999).
void readFixedTensor(const Options& o, DTensor& t) {
    t.tensorMode = orvex::kTensorModeFixed;
    if (!o.has("da") || !o.has("rh") || !o.has("rx") || !o.has("ry") || !o.has("rz")) {
        std::fputs(
            "[Error]:: Fixed Mode (-fixed) Must Have All Five Tensors (-da -rh -rx -ry -rz) Specified! \n",
            stderr);
        std::fputs("[Error]:: Switched To A Nonlinear Fit Mode (-fit)! \n", stderr);
        t.tensorMode = orvex::kTensorModeNonlinear;
    }
    t.fitMode = orvex::kFitModeNlls;
    t.psi = o.real("rx");
    t.theta = o.real("ry");
    t.phi = o.real("rz");
    t.da = o.real("da");
    if (o.has("rh")) {
        t.rh = o.real("rh");
        t.dr = t.da * t.rh;
    }
    if (o.has("dr")) {
        t.dr = o.real("dr");
        t.rh = t.dr / t.da;
    }
}

// Coupling classes generated from the structure when -fixed or -saupe come without a table,
// in this order: HN-N, HA-CA, HB-CB, HN to the preceding C, N to the preceding C, CA-C.
std::vector<int> classesToGenerate(const Options& o) {
    static const std::pair<const char*, int> kClassOptions[] = {{"classHN,N", 1},   {"classHA,CA", 7},
                                                                {"classHB,CB", 12}, {"classHN,C-1", 3},
                                                                {"classN,C-1", 6},  {"classCA,C", 10}};
    std::vector<int> classes;
    for (const auto& [name, code] : kClassOptions)
        if (o.has(name)) classes.push_back(code);
    if (classes.empty())
        fail(-1,
             "[Error]:: Errors found to generate couplings with Fixed Mode (-fixed) or Saupe Mode (-saupe) \n"
             "[Error]:: At least one RDC class (see below) must be specified when input RDC table is not "
             "provided (-inD):\n"
             "          -classHN,N, -classHA,CA, -classHB,CB, classHN,C-1, classN,C-1, classCA,C\n");
    return classes;
}

// -fit_dw: the helix's dipolar wave, with its own names for the angle options.
void readDipolarWave(const Options& o, DTensor& t) {
    t.saFitFlag = 1;
    t.expResOffset = 13;
    t.tensorMode = orvex::kTensorModeDipolarWave;
    t.fitMode = orvex::kFitModeDipolarWave;
    t.expC = 15.8;
    t.expCMin = 9.0;
    t.expCMax = 18.0;
    o.reals({{"expC", &t.expC}, {"expCMin", &t.expCMin}, {"expCMax", &t.expCMax}});
    if (o.has("expOff")) t.expResOffset = o.truncated("expOff");
    o.reals({{"ru0", &t.psi},
             {"ru0Min", &t.psiMin},
             {"ru0Max", &t.psiMax},
             {"thetaA", &t.theta},
             {"thetaAMin", &t.thetaMin},
             {"thetaAMax", &t.thetaMax},
             {"phiA", &t.phi},
             {"phiAMin", &t.phiMin},
             {"phiAMax", &t.phiMax}});
}

void setNonlinear(DTensor& t, int fitMode) {
    t.tensorMode = orvex::kTensorModeNonlinear;
    t.fitMode = fitMode;
}

}  // namespace

void Orvex::readMethodOptions(const CmdArgParser& p) {
    const Options o{p};
    DTensor& t = dTensor;
    if (o.has("rcsa")) {
        t.tensorMode = orvex::kTensorModeSvd;
        t.isRCSA = true;
    }
    if (o.has("svd")) {
        t.tensorMode = orvex::kTensorModeSvd;
        t.fitFlag_JK = 1;
    }
    if (o.has("JK")) t.fitFlag_JK = 1;
    t.byRes = true;
    if (o.has("jkByRes")) t.byRes = true;
    if (o.has("jkByCoupling")) t.byRes = false;
    if (o.has("JK_level")) t.byRes = o.text("JK_level") != "C";
    if (o.has("noJK") || o.has("noJackknifed")) t.fitFlag_JK = 0;
    if (o.has("saupe")) {
        t.tensorMode = orvex::kTensorModeGivenSaupe;
        std::vector<float> values = p.getArgValueDD("saupe");
        if (values.size() != 5) fail(-1, "[Error] Saupe input must be 5 elements \n");
        for (int i = 0; i < 5; i++)
            t.saupe[i] = values[i];
    }
    if (o.has("align")) t.tensorMode = orvex::kTensorModeGivenSaupe;
    if (o.has("fit")) t.tensorMode = orvex::kTensorModeNonlinear;
    if (o.has("fixed")) readFixedTensor(o, t);
    // "-in" is the same option as "-inD" and counts as a table too.
    if ((o.has("fixed") || o.has("saupe")) && !o.has("inD") && !o.has("in"))
        DCTypeListInt = classesToGenerate(o);
    if (o.has("nofixed")) t.tensorMode = orvex::kTensorModeNonlinear;
    if (o.has("fit_nlls")) setNonlinear(t, orvex::kFitModeNlls);
    if (o.has("fit_lm")) setNonlinear(t, orvex::kFitModeLm);
    if (o.has("fit_pw")) setNonlinear(t, orvex::kFitModePowell);
    if (o.has("fit_gs") || o.has("fit")) {
        grid_step = 5;
        setNonlinear(t, orvex::kFitModeGridSearch);
        if (o.has("gs_step")) grid_step = o.truncated("gs_step");
    }
    if (o.has("vwfit")) {
        t.saFitFlag = 1;
        setNonlinear(t, orvex::kFitModeVwfit);
    }
    if (o.has("vwfit_cv")) {
        t.saFitFlag = 1;
        setNonlinear(t, orvex::kFitModeVwfitCv);
    }
    if (o.has("fit_sa_lm")) {
        t.saFitFlag = 1;
        setNonlinear(t, orvex::kFitModeSaLm);
    }
    if (o.has("fit_sa")) {
        t.tensorMode = orvex::kTensorModeNonlinear;
        t.saFitFlag = 1;
    }
    if (o.has("fit_dw")) readDipolarWave(o, t);
}

void Orvex::readAnnealingOptions(const CmdArgParser& p, DTensor& t) {
    const Options o{p};
    if (o.has("saStep1")) t.saItStep1 = o.integer("saStep1");
    if (o.has("saStep2")) t.saItStep2 = o.integer("saStep2");
    if (o.has("saStep3")) t.saItStep3 = o.integer("saStep3");
    if (o.has("vwfitCount")) t.saTryCount = o.integer("vwfitCount");
    if (o.has("saTryCount")) t.saTryCount = o.integer("saTryCount");
    if (o.has("saPowell")) t.saPowellFlag = 1;
    if (o.has("nosaPowell")) t.saPowellFlag = 0;
}

void Orvex::readRemainingOptions(const CmdArgParser& p) {
    const Options o{p};
    DTensor& t = dTensor;
    if (t.saFitFlag == 1) readAnnealingOptions(p, t);
    t.methylCCFlag = o.has("useMethylCC") ? 1 : 0;
    if (o.has("methylCC")) t.methylCCFlag = 1;
    multiTensorMode = false;
    nTensors = 1;
    if (o.has("multiTensor")) {
        multiTensorMode = true;
        if (o.has("nTensors")) nTensors = o.integer("nTensors");
    }
    readSelectionOptions(p);
    // extension -seed N: the k-th seeding of the random generator in this run uses N + k
    if (o.has("seed")) {
        char* end = nullptr;
        const std::string value = o.text("seed");
        const long base = std::strtol(value.c_str(), &end, 10);
        if (end == value.c_str()) fail(-1, "Error:: '-seed' needs a whole number, e.g. -seed 7 \n");
        RunSeed::set(base);
    }
    svd_mfr_flag = false;
    if (o.has("svd_mfr")) svd_mfr_flag = true;
    readFixedParameterOptions(p);
}

void Orvex::readSelectionOptions(const CmdArgParser& p) {
    Same_Selection_Working_Validation = true;
    if (p.isValidArg("select")) {
        resSelectionVec_Working = p.getArgValueII("select");
        resSelectionVec_Validation = resSelectionVec_Working;
    }
    if (p.isValidArg("select_valid")) {
        resSelectionVec_Validation = p.getArgValueII("select_valid");
        Same_Selection_Working_Validation = false;
    }
}

// Every fixed-parameter option pins the start value as it stands after all earlier rows and
// selects the nonlinear fit, after -fixed, -saupe or -fit_dw have set theirs.
void Orvex::readFixedParameterOptions(const CmdArgParser& p) {
    const Options o{p};
    DTensor& t = dTensor;
    auto pinRotations = [&t]() {
        t.psiMin = t.psiMax = t.psi;
        t.thetaMin = t.thetaMax = t.theta;
        t.phiMin = t.phiMax = t.phi;
    };
    if (o.has("dadr") || o.has("dadrFixed")) {
        t.tensorMode = orvex::kTensorModeNonlinear;
        t.daMin = t.daMax = t.da;
        t.drMin = t.drMax = t.dr;
    }
    if (o.has("rot") || o.has("rotFixed")) {
        t.tensorMode = orvex::kTensorModeNonlinear;
        pinRotations();
    }
    if (o.has("rotdr") || o.has("rotdrFixed")) {
        t.tensorMode = orvex::kTensorModeNonlinear;
        t.drMin = t.drMax = t.dr;
        pinRotations();
    }
    if (o.has("rotrh") || o.has("rotrhFixed")) {
        t.tensorMode = orvex::kTensorModeNonlinear;
        t.rhFlag = 1;
        t.rhMin = t.rhMax = t.rh;
        pinRotations();
    }
    if (o.has("rxFixed")) {
        t.tensorMode = orvex::kTensorModeNonlinear;
        t.psiMin = t.psiMax = t.psi;
    }
    if (o.has("ryFixed")) {
        t.tensorMode = orvex::kTensorModeNonlinear;
        t.thetaMin = t.thetaMax = t.theta;
    }
    if (o.has("rzFixed")) {
        t.tensorMode = orvex::kTensorModeNonlinear;
        t.phiMin = t.phiMax = t.phi;
    }
    if (o.has("daFixed")) {
        t.tensorMode = orvex::kTensorModeNonlinear;
        t.daMin = t.daMax = t.da;
    }
    if (o.has("drFixed")) {
        t.tensorMode = orvex::kTensorModeNonlinear;
        t.drMin = t.drMax = t.dr;
    }
    if (o.has("rhFixed")) {
        t.tensorMode = orvex::kTensorModeNonlinear;
        t.rhFlag = 1;
        t.rhMin = t.rhMax = t.rh;
    }
}

// Options the standard run reads beyond the option tables: whether couplings may be generated,
// the maximal-subset settings (applied to the tensor only on that route), and the plot file.
void Orvex::readStandardRunOptions(const CmdArgParser& p) {
    const Options o{p};
    runOptions.generateCouplings = o.has("fixed") || o.has("saupe");
    MaxSubsetOptions& m = runOptions.maxSubset;
    m.maxSub = o.has("maxSub");
    m.soloSet = m.maxSub && o.text("maxSub") == "+";
    m.culling = o.has("culling");
    if (o.has("level")) m.searchLevel = o.truncated("level");
    o.reals({{"maxSubDCut", &m.dCut}, {"w12", &m.tau}, {"culling_Q", &m.culling_Q},
             {"culling_percent", &m.culling_percent}});
    // -plot FILE.svg, an extension: the routes draw their fit there
    if (o.has("plot")) {
        runOptions.plotFile = o.text("plot");
        if (runOptions.plotFile.empty()) fail(-1, "[Error]:: '-plot' needs the name of the SVG file to write\n");
    }
    o.reals({{"vwfit_C", &runOptions.vwfitC}});
}
