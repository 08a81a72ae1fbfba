// RCSA lists: fit statistics of the working, validation and jackknife sets, and the result
// table with its statistics and tensor blocks (the coupling table's layout with one row per
// record).
#include <cmath>
#include <cstdio>
#include <string>

#include "common/Constants.h"
#include "common/Modes.h"
#include "common/ResidueNumber.h"
#include "io/RunFiles.h"
#include "couplings/RCSAListData.h"
#include "couplings/ResidueSelection.h"
#include "couplings/ResultTable.h"

using result_table::SetSums;

namespace {

// Scale of Da in the Q factor: Da * 1000 (a coupling Q uses Da * 21585.2).
constexpr double kDaScale = 1000.0;

bool takesPart(const RCSA_Data& r) {
    return r.valid && r.d <= orvex::kUnmeasured && r.w > 0 && r.dCalc <= orvex::kUnmeasured;
}

// e^2 / sigma^2, or nothing for a record without uncertainty.
double chi2Term(double e2, double sigma) { return sigma != 0 ? e2 / (sigma * sigma) : 0.0; }

}  // namespace

// ---------------------------------------------------------------- statistics

int RCSAListData::getStatAll(const DTensor& tensor) {
    rms = chi2 = rms_v = chi2_v = rms_jk = chi2_jk = 0;
    nD_v = 0;
    SetSums work, valid, jk;
    for (const RCSA_Data& r : rcsaList) {
        if (!takesPart(r)) continue;
        const double diff = r.absFlag == 1 ? std::fabs(r.d) - std::fabs(r.dCalc) : r.d - r.dCalc;
        const double e = diff * r.wCalc;
        const double x = r.d * r.wCalc, y = r.dCalc * r.wCalc;
        const double wc2 = r.wCalc * r.wCalc;
        if (r.selected) {
            work.add(x, y, e);
            rms += e * e * wc2;
            chi2 += chi2Term(e * e, r.sigmaCalc);
        }
        if (r.selected_v) {
            valid.add(x, y, e);
            nD_v++;
            rms_v += e * e * wc2;
            chi2_v += chi2Term(e * e, r.sigmaCalc);
        }
        // the jackknife predictions of every record that takes part, selected or not
        const double ejk = (r.d - r.dCalc_jk) * r.wCalc;
        jk.add(x, r.dCalc_jk * r.wCalc, ejk);
        rms_jk += ejk * ejk * wc2;
        chi2_jk += chi2Term(ejk * ejk, r.sigmaCalc);
    }
    if (work.n == 0) return 0;

    result_table::daNormalisedQ(*this, work, valid, tensor, kDaScale);
    if (jk.n > 0) qfactor_jk = std::sqrt(jk.sumE2 / jk.n) / orvex::kDmaxNHAbs;

    for (const RCSA_Data& r : rcsaList) {
        if (!takesPart(r)) continue;
        const double x = r.d * r.wCalc, y = r.dCalc * r.wCalc;
        if (r.selected) work.addCentred(x, y);
        if (r.selected_v) valid.addCentred(x, y);
        jk.addCentred(x, r.dCalc_jk * r.wCalc);
    }

    result_table::finishStatistics(*this, work, valid, jk, tensor);
    return work.n;
}

void RCSAListData::writeStatAll(FILE* fp, const DTensor& t, int level, int nSVD) {
    const std::string selection = residue_selection::text(resSelectionVec_Working);
    std::fprintf(fp, Same_Selection_Working_Validation ? "# Statistics of Fit Working and Validation Datasets\n"
                                                       : "# Statistics of Fit Working Dataset\n");
    std::fprintf(fp, "DATA SELECTION  %s\t# Residues Selection for Fit\n", selection.c_str());
    std::fprintf(fp, "DATA N_SVD      %d\t# Number of Couplings for SVD Fit\n", nSVD);
    std::fprintf(fp, "DATA RMS        %.3f\n", rms);
    std::fprintf(fp, "DATA Chi2       %.3f\n", chi2);
    std::fprintf(fp, "DATA Q_FACTOR   %.3f\n", qfactor_norm);
    std::fprintf(fp, "DATA CORR_R     %.3f\n", corr_r);
    std::fprintf(fp, "DATA CORR_SLOPE %.3f\n\n", slope);
    if (!Same_Selection_Working_Validation) {
        const std::string validation = residue_selection::text(resSelectionVec_Validation);
        std::fprintf(fp, "# Statistics of Fit Validation Dataset\n");
        std::fprintf(fp, "DATA SELECTION_V  %s\t# Residues Selection for Validation\n", validation.c_str());
        std::fprintf(fp, "DATA N_V          %d\t# Number of Couplings for Validation\n", nD_v);
        std::fprintf(fp, "DATA RMS_V        %.3f\n", rms_v);
        std::fprintf(fp, "DATA Chi2_V       %.3f\n", chi2_v);
        std::fprintf(fp, "DATA Q_FACTOR_V   %.3f\n", qfactor_norm_v);
        std::fprintf(fp, "DATA CORR_R_V     %.3f\n", corr_r_v);
        std::fprintf(fp, "DATA CORR_SLOPE_V %.3f\n\n", slope_v);
    }
    if (level != 0 && t.fitFlag_JK) {
        std::fprintf(fp, "# Statistics of 'JackKnifed' Validation \n");
        std::fprintf(fp, "DATA SELECTION_JK FIRST TO LAST\t# Residues Selection for JackKnifed Fit\n");
        std::fprintf(fp, "DATA RMS_JK        %.3f\n", rms_jk);
        std::fprintf(fp, "DATA Chi2_JK       %.3f\n", chi2_jk);
        std::fprintf(fp, "DATA Q_FACTOR_JK   %.3f\n", qfactor_jk);
        std::fprintf(fp, "DATA CORR_R_JK     %.3f\n", corr_r_jk);
        std::fprintf(fp, "DATA CORR_SLOPE_JK %.3f\n\n", slope_jk);
    }
}

// ---------------------------------------------------------------- result table

int RCSAListData::writeRCSA(const std::string& outName, const std::string& title, int level, int,
                            const DTensor& t, int nSVD) {
    if (rcsaList.empty()) return 0;   // as for couplings, an empty list writes nothing
    FILE* fp = stdout;
    if (!outName.empty()) fp = run_files::openTable(outName, "RCSA");
    getStatAll(t);
    const int lev = t.fitFlag_JK ? level : 0;

    std::fprintf(fp, "# RCSA Calculation. %s\n", result_table::kOrvexWebAddress);
    if (!title.empty()) std::fprintf(fp, "# %s\n\n", title.c_str());
    std::fprintf(fp, "DATA N_PDB     %d\t# Number of conformers\n", pdbCount);
    std::fprintf(fp, "DATA N         %d\t# Number of Valid RCSA Data\n\n", validCount);
    writeStatAll(fp, t, lev, nSVD);

    switch (t.tensorMode) {
    case orvex::kTensorModeSvd:
    case orvex::kTensorModeGivenSaupe:
    case orvex::kTensorModeFixed:
    case orvex::kTensorModeSteric:
    case orvex::kTensorModeElectrostatic:
        result_table::writeTensorModeBlock(fp, t, false, pdbCount);
        break;
    case orvex::kTensorModeNonlinear:   // whatever the fit mode
        result_table::writeNonlinearFitBlock(fp, t);
        break;
    case orvex::kTensorModeShape:
        std::fprintf(fp, "DATA TENSOR_MODE WTLS (Order Matrix Method)\n\n");
        break;
    default:
        break;
    }
    std::fputs(result_table::tensorBlock(t, 1).c_str(), fp);

    // columns and FORMAT text with the jackknife prediction (level 1) or without (level 0)
    const bool withJk = lev == 1;
    std::fputs("VARS   ", fp);
    std::fputs(withJk ? " RESID RESNAME ATOMNAME  D_OBS D D_DIFF D_JK  DD W\n"
                      : " RESID RESNAME ATOMNAME  D_OBS D D_DIFF DD W\n", fp);
    std::fputs("FORMAT ", fp);
    std::fputs(withJk ? " %4d %4s %4s  %9.3f %9.3f %9.3f %9.3f %.3f  %.3f\n\n"
                      : " %4d %4s %4s  %9.3f %9.3f %9.3f %.3f  %.3f\n\n", fp);
    // rows: RESID RESNAME ATOMNAME, D_OBS D D_DIFF (D_JK) with four decimals, DD W with three
    for (const RCSA_Data& r : rcsaList) {
        if (r.selected != 1 || r.valid != 1) continue;
        const double dDiff = r.d <= orvex::kFitMaxD && r.dCalc <= orvex::kFitMaxD ? r.d - r.dCalc : 9999;
        if (withJk)
            std::fprintf(fp, " %4d %4s %4s  %9.4f %9.4f %9.4f %9.4f %.3f %.3f\n", r.resID, r.resName.c_str(),
                         r.atomName.c_str(), r.d, r.dCalc, dDiff, r.dCalc_jk, r.sigma, r.w);
        else
            std::fprintf(fp, " %4d %4s %4s  %9.4f %9.4f %9.4f %.3f %.3f\n", r.resID, r.resName.c_str(),
                         r.atomName.c_str(), r.d, r.dCalc, dDiff, r.sigma, r.w);
    }
    if (fp != stdout) std::fclose(fp);
    return 0;
}

int RCSAListData::reportRCSA(const std::string& outName, int level, const DTensor& tensor, int nSVD) {
    if (rcsaList.empty()) return 0;
    char buf[2048];
    std::snprintf(buf, sizeof buf, "RCSA: %s PDB: %s Residues %d to %d, %d total.", inRCSAFileName.c_str(),
                  inPDBFileName.c_str(), pdbR1, pdbRN, orvex::residueSpan(pdbR1, pdbRN));
    const std::string title = buf;
    writeRCSA(outName, title, level, level, tensor, nSVD);
    std::fprintf(stderr, "REMARK %s\n", title.c_str());
    std::fprintf(stderr, "REMARK D_N:  %d D_RMS:  %.3f D_CHI2:  %.3f\n", validCount, rms, chi2);
    return 0;
}
