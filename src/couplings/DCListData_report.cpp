// Coupling lists: fit statistics (RMS, Q factors, correlation) of the working, validation
// and jackknife sets, and the result table with its statistics and tensor blocks.
#include <cmath>
#include <cstdio>
#include <string>

#include "common/Constants.h"
#include "common/Modes.h"
#include "couplings/DCListData.h"
#include "couplings/ResidueSelection.h"
#include "couplings/ResultTable.h"
#include "io/RunFiles.h"

using result_table::SetSums;
using result_table::tensorBlock;
#include "io/FormattedText.h"

namespace {

bool takesPart(const DipolarCouplingData& dc) {
    return dc.valid && dc.d <= orvex::kUnmeasured && dc.w > 0 && dc.dCalc <= orvex::kUnmeasured;
}

}  // namespace

// ---------------------------------------------------------------- statistics

int DCListData::getStatAll(const DTensor& tensor) {
    rms = chi2 = rms_v = chi2_v = rms_jk = chi2_jk = 0;
    nD_v = 0;
    SetSums work, valid, jk;
    double q2 = 0;
    for (const DipolarCouplingData& dc : dcList) {
        if (!takesPart(dc)) continue;
        double diff = dc.absFlag == 1 ? std::fabs(dc.d) - std::fabs(dc.dCalc) : dc.d - dc.dCalc;
        double e = diff * dc.wCalc;
        double x = dc.d * dc.wCalc, y = dc.dCalc * dc.wCalc;
        if (dc.selected) {
            work.add(x, y, e);
            rms += e * e;
            chi2 += e * e;
        }
        if (dc.selected_v) {
            valid.add(x, y, e);
            nD_v++;
            rms_v += e * e;
            chi2_v += e * e;
        }
        if (dc.selected) {
            double ejk = (dc.d - dc.dCalc_jk) * dc.wCalc;
            jk.add(x, dc.dCalc_jk * dc.wCalc, ejk);
            rms_jk += ejk * ejk;
            chi2_jk += ejk * ejk;
            q2 += ejk * ejk / ((4 * dc.da_jk * dc.da_jk + 3 * dc.dr_jk * dc.dr_jk) / 5);
        }
    }
    if (work.n == 0) return 0;

    // Q normalised by the tensor magnitude as an N-H coupling, Da_HN = 21585.2 Da
    result_table::daNormalisedQ(*this, work, valid, tensor, orvex::kDmaxNHAbs);
    if (jk.n > 0) qfactor_jk = std::sqrt(q2 / jk.n) / orvex::kDmaxNHAbs;

    for (const DipolarCouplingData& dc : dcList) {
        if (!takesPart(dc)) continue;
        double x = dc.d * dc.wCalc, y = dc.dCalc * dc.wCalc;
        if (dc.selected) {
            work.addCentred(x, y);
            jk.addCentred(x, dc.dCalc_jk * dc.wCalc);
        }
        if (dc.selected_v) valid.addCentred(x, y);
    }

    result_table::finishStatistics(*this, work, valid, jk, tensor);
    return work.n;
}

void DCListData::writeStatAll(FILE* fp, const DTensor& t, int level, bool noDaNorm, int nSVD) {
    const bool maxSub = level == 9 && t.byRes;
    const std::string selection = residue_selection::text(resSelectionVec_Working);
    if (!GeneratedFromStructure) {
        std::fprintf(fp, Same_Selection_Working_Validation ? "# Statistics of Fit Working and Validation Datasets\n"
                                                           : "# Statistics of Fit Working Dataset\n");
        if (maxSub)
            std::fprintf(fp, "DATA SELECTION  'Same as RES_MAXSUB'\n");
        else
            std::fprintf(fp, "DATA SELECTION  %s\t # Residues Selection for Fit\n", selection.c_str());
        std::fprintf(fp, "DATA N_SVD      %d\t# Number of Couplings for SVD Fit\n", nSVD);
        std::fprintf(fp, "DATA RMS        %.3f\n", rms);
        std::fprintf(fp, "DATA Chi2       %.3f\n", chi2);
        if (!(noDaNorm && t.tensorMode != orvex::kTensorModeShape))
            std::fprintf(fp, "DATA Q_FACTOR   %.4f\n", qfactor_norm);
        std::fprintf(fp, "DATA Q_X_FACTOR %.5f\n", qfactor);
        std::fprintf(fp, "DATA CORR_R     %.3f\n", corr_r);
        std::fprintf(fp, "DATA CORR_SLOPE %.3f\n\n", slope);
    }
    if (!Same_Selection_Working_Validation) {
        const std::string validation = residue_selection::text(resSelectionVec_Validation);
        std::fprintf(fp, "# Statistics of Fit Validation Dataset\n");
        std::fprintf(fp, "DATA SELECTION_V  %s\t# Residues Selection for Validation\n", validation.c_str());
        std::fprintf(fp, "DATA N_V          %d\t# Number of Couplings for Validation\n", nD_v);
        std::fprintf(fp, "DATA RMS_V        %.3f\n", rms_v);
        std::fprintf(fp, "DATA Chi2_V       %.3f\n", chi2_v);
        if (!noDaNorm) std::fprintf(fp, "DATA Q_FACTOR_V   %.4f\n", qfactor_norm_v);
        std::fprintf(fp, "DATA Q_X_FACTOR_V %.5f\n", qfactor_v);
        std::fprintf(fp, "DATA CORR_R_V     %.3f\n", corr_r_v);
        std::fprintf(fp, "DATA CORR_SLOPE_V %.3f\n\n", slope_v);
    }
    if (level != 0 && t.fitFlag_JK && t.tensorMode != orvex::kTensorModeShape) {
        std::fprintf(fp, "# Statistics of 'JackKnifed' Validation \n");
        if (maxSub)
            std::fprintf(fp, "DATA SELECTION     'Same as RES_MAXSUB'\n");
        else
            std::fprintf(fp, "DATA SELECTION  %s\t # Residues Selection for Fit\n", selection.c_str());
        std::fprintf(fp, t.byRes ? "DATA JK_MODE       RESIDUE\n" : "DATA JK_MODE       COUPLING\n");
        std::fprintf(fp, "DATA N_JK          %d\n", t.N_JK);
        std::fprintf(fp, "DATA RMS_JK        %.3f\n", rms_jk);
        std::fprintf(fp, "DATA Chi2_JK       %.3f\n", chi2_jk);
        if (noDaNorm) {
            std::fprintf(fp, "DATA Q_X_FACTOR_JK %.5f\n", qfactor_jk);
        } else {
            std::fprintf(fp, "DATA Q_FACTOR_JK   %.4f\n", qfactor_jk);
            std::fprintf(fp, "DATA Q_X_FACTOR_JK %.4f\n", qfactor_jk * rms / rms_jk);
        }
        std::fprintf(fp, "DATA CORR_R_JK     %.3f\n", corr_r_jk);
        std::fprintf(fp, "DATA CORR_SLOPE_JK %.3f\n\n", slope_jk);
    }
}

// ---------------------------------------------------------------- result table

bool DCListData::multiTensorLayout(const DTensor& t) {
    return t.fitMode == orvex::kFitModeMultiTensor || t.tensorMode == orvex::kTensorModeShape;
}

FILE* DCListData::openResultFile(const std::string& outName) {
    if (outName.empty()) return stdout;
    return run_files::openTable(outName, "DC");
}

int DCListData::writeDC(const std::string& outName, const std::string& title, int level, int,
                        const std::vector<DTensor>& tensors, int nSVD) {
    if (dcList.empty() || tensors.empty()) return 0;
    FILE* fp = openResultFile(outName);
    const DTensor& t0 = tensors[0];
    const bool multi = multiTensorLayout(t0);
    getStatAll(t0);
    const int lev = t0.fitFlag_JK ? level : 0;

    std::fprintf(fp, "# Orvex Dipolar Coupling Calculation. %s\n", result_table::kOrvexWebAddress);
    if (!title.empty()) std::fprintf(fp, "# %s\n\n", title.c_str());
    std::fprintf(fp, "DATA N_PDB     %d\t# Number of conformers\n", pdbCount);
    std::fprintf(fp, "DATA N         %d\t# Number of Valid Couplings\n\n", validCount);
    writeStatAll(fp, t0, lev, multi, nSVD);
    result_table::writeTensorModeBlock(fp, t0, multi, pdbCount);

    const char* columns;
    const char* format;
    if (GeneratedFromStructure) {
        columns = " RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J  DI D DDS\n";
        format = " %4d %4s %4s %4d %4s %4s %9.2f %9.3f %9.3f \n";
    } else if (lev == 2) {
        columns = " RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J  DI D_OBS D D_DIFF DD THETA PHI DDTHETA "
                  "DDPHI DDS W\n";
        format = " %4d %4s %4s %4d %4s %4s %9.2f %9.3f %9.3f %9.3f %9.3f %8.3f %8.3f %8.3f %8.3f %8.3f  %.3f\n";
    } else if (lev == 1) {
        columns = " RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J     DI    D_OBS        D   D_DIFF     "
                  "D_JK    Da_JK Rh_JK    DD   DDS     W\n";
        format = "   %7d       %9s       %10s     %7d       %9s       %10s    %6d    %8.3f    %8.3f    %8.3f    "
                 "%8.3f    %8.3f %5.2f %5.2f %5.2f %5.2f\n";
    } else {
        columns = " RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J     DI    D_OBS        D   D_DIFF     "
                  "DD   DDS     W\n";
        format = " %7d %9s %10s %7d %9s %10s %6d %8.3f %8.3f %8.3f %5.2f %5.2f %5.2f\n";
    }

    std::string multiFormat;
    if (multi) {
        for (size_t k = 0; k < tensors.size(); k++) {
            std::fprintf(fp, "\n");
            std::fprintf(fp, "# Tensor for structural model #%d\n", static_cast<int>(k + 1));
            std::fputs(tensorBlock(tensors[k], lev).c_str(), fp);
            std::fprintf(fp, "\n");
        }
        std::fprintf(fp, "VARS");
        if (GeneratedFromStructure) {
            std::fputs(columns, fp);
        } else {
            std::fprintf(fp, " RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J  DI D_OBS D D_DIFF DD DDS W D_JK");
            for (size_t k = 0; k < tensors.size(); k++)
                std::fprintf(fp, " Da_JK_%d Rh_JK_%d", static_cast<int>(k + 1), static_cast<int>(k + 1));
            std::fprintf(fp, " NSP_TENSORS\n");
            multiFormat = "%4d %4s %4s %4d %4s %4s %9.2f %9.3f %9.3f %9.3f  %.3f %.3f  %.3f  %9.3f";
            for (size_t k = 0; k < tensors.size(); k++) multiFormat += " %9.3f %9.3f";
            multiFormat += " %9.3f";
        }
    } else {
        if (t0.tensorMode == orvex::kTensorModeDipolarWave) {
            std::fprintf(fp, "\n");
            std::fprintf(fp, "DATA Da        % e\n", t0.da);
            std::fprintf(fp, "DATA Dr        % e\n", t0.dr);
            std::fprintf(fp, "\n");
            std::fprintf(fp, "DATA Da_HN        %8.3f\n", orvex::kDmaxNHAbs * t0.da);
            std::fprintf(fp, "DATA Rhombicity   %8.3f\n", t0.rh);
            std::fprintf(fp, "\n\n");
        } else {
            std::fputs(tensorBlock(t0, 1).c_str(), fp);
        }
        std::fprintf(fp, "\n#  DDS: expected RDC impact for 1 degree structural noise \n");
        std::fprintf(fp, "#       calculated from sqrt[(DD_THETA^2+DD_PHI^2)/2], where \n");
        std::fprintf(fp, "#       DD_THETA is structural noise from THETA angle  \n");
        std::fprintf(fp, "#       DD_PHI is structural noise from PHI angle (normalized by sine of THETA angle)  \n");
        std::fprintf(fp, "#       (DD_THETA and DD_PHI values are listed only when an additional '-verb' option is "
                         "used)\n");
        std::fprintf(fp, "\n");
        std::fprintf(fp, "VARS");
        std::fputs(columns, fp);
    }

    // The FORMAT line ends with exactly one line end: the single-tensor formats carry theirs.
    std::fprintf(fp, "FORMAT");
    if (!multiFormat.empty()) {
        std::fputs(multiFormat.c_str(), fp);
        std::fprintf(fp, "\n");
    } else {
        std::fputs(format, fp);
    }

    for (const DipolarCouplingData& dc : dcList) {
        if (dc.valid == 0 && t0.tensorMode != orvex::kTensorModeDipolarWave) continue;
        const double dDiff = dc.d <= orvex::kFitMaxD && dc.dCalc <= orvex::kFitMaxD ? dc.d - dc.dCalc : 9999;
        const double dds = std::sqrt((dc.dtheta * dc.dtheta + dc.dphi * dc.dphi) / 2);
        const char *rnI = dc.resNameI.c_str(), *anI = dc.atomNameI.c_str();
        const char *rnJ = dc.resNameJ.c_str(), *anJ = dc.atomNameJ.c_str();
        if (GeneratedFromStructure) {
            printFormatted(fp, " %4d %4s %4s %4d %4s %4s %9.2f %9.3f %9.3f\n", dc.resIDI, rnI, anI, dc.resIDJ,
                           rnJ, anJ, dc.diCalc, dc.dCalc, dds);
        } else if (multi) {
            // No value recorded prints 9999: a coupling that no jackknife trial left out (the
            // fit marks its NSP 9999) has no D_JK, Da_JK, Rh_JK; a coupling keeps Da and Dr of
            // its first 10 tensors only.
            const bool hasTrial = !(dc.tensor_jk_multiTensor_nsp > orvex::kUnmeasured);
            std::fprintf(fp, "%4d %4s %4s %4d %4s %4s %9.2f %9.3f %9.3f %9.3f  %.3f %.3f  %.3f  %9.3f", dc.resIDI,
                         rnI, anI, dc.resIDJ, rnJ, anJ, dc.diCalc, dc.d, dc.dCalc, dDiff, dc.sigma, dds, dc.w,
                         hasTrial ? dc.dCalc_jk : orvex::kUnmeasuredValue);
            for (size_t k = 0; k < tensors.size(); k++) {
                if (hasTrial && k < dc.da_jk_multiTensor.size()) {
                    const double da = dc.da_jk_multiTensor[k], dr = dc.dr_jk_multiTensor[k];
                    std::fprintf(fp, " %9.3f %9.3f", orvex::kDmaxNH * da, dr / da);
                } else {
                    std::fprintf(fp, " %9.3f %9.3f", orvex::kUnmeasuredValue, orvex::kUnmeasuredValue);
                }
            }
            std::fprintf(fp, " %9.3f\n", dc.tensor_jk_multiTensor_nsp);
        } else if (lev == 2) {
            printFormatted(fp,
                           " %4d %4s %4s %4d %4s %4s  %9.2f %9.3f %9.3f %9.3f %8.3f %8.3f %8.3f %8.3f %8.3f %8.3f %.3f\n",
                           dc.resIDI, rnI, anI, dc.resIDJ, rnJ, anJ, dc.diCalc, dc.d, dc.dCalc, dDiff, dc.sigma,
                           dc.theta, dc.phi, dc.dtheta, dc.dphi, dds, dc.w);
        } else if (lev == 1) {
            printFormatted(fp,
                           "     %7d %9s %10s %7d %9s %10s %6.0f %8.3f %8.3f %8.3f %8.3f %8.3f %5.2f %5.2f %5.2f %5.2f\n",
                           dc.resIDI, rnI, anI, dc.resIDJ, rnJ, anJ, dc.diCalc, dc.d, dc.dCalc, dDiff, dc.dCalc_jk,
                           orvex::kDmaxNH * dc.da_jk, dc.dr_jk / dc.da_jk, dc.sigma, dds, dc.w);
        } else if (lev == 0) {
            printFormatted(fp, " %4d %4s %4s %4d %4s %4s  %9.2f %9.3f %9.3f %9.3f %.3f %.3f %.3f\n", dc.resIDI, rnI,
                           anI, dc.resIDJ, rnJ, anJ, dc.diCalc, dc.d, dc.dCalc, dDiff, dc.sigma, dds, dc.w);
        }
    }
    if (fp != stdout) std::fclose(fp);
    return 0;
}

namespace {

// "DC: <table> PDB: <structure> Residues <first> to <last>, <count> total."
std::string runTitle(const DCListData& list) {
    const int r1 = list.pdbR1, rN = list.pdbRN;
    char buf[2048];
    std::snprintf(buf, sizeof buf, "DC: %s PDB: %s Residues %d to %d, %d total.", list.inDCFileName.c_str(),
                  list.inPDBFileName.c_str(), r1, rN, rN - r1 + 1);
    return buf;
}

}  // namespace

int DCListData::reportDC(const std::string& outName, int level, const std::vector<DTensor>& tensors, int nSVD) {
    if (dcList.empty() || tensors.empty()) return 0;
    std::string title =
        tensors[0].tensorMode == orvex::kTensorModeDipolarWave ? "Orvex: Dipolar Wave Fitting." : runTitle(*this);
    writeDC(outName, title, level, level, tensors, nSVD);
    std::fprintf(stderr, "REMARK %s\n", title.c_str());
    std::fprintf(stderr, "REMARK D_N:  %d D_RMS:  %.3f D_CHI2:  %.3f\n", validCount, rms, chi2);
    return 0;
}

int DCListData::reportDC_multi(const std::string& outName, const std::vector<DTensor>& tensors, int nSVD) {
    if (dcList.empty() || tensors.empty()) return 0;
    std::string title = runTitle(*this);
    writeDC(outName, title, 1, 1, tensors, nSVD);
    std::fprintf(stderr, "REMARK %s\n", title.c_str());
    std::fprintf(stderr, "REMARK D_N:  %d D_RMS:  %.3f D_CHI2:  %.3f\n", validCount, rms, chi2);
    return 0;
}
