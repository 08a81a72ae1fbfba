// Coupling lists: fit statistics (RMS, Q factors, correlation) of the working, validation
// and jackknife sets, and the result table with its statistics and tensor blocks.
#include <cmath>
#include <cstdio>
#include <string>

#include "common/Constants.h"
#include "common/Modes.h"
#include "couplings/DCListData.h"
#include "io/FormattedText.h"

namespace {

// Project home printed in the first line of every result table.
const char* const kOrvexWebAddress = "https://github.com/orvex-nmr/orvex";

// Sums of one set of couplings: observed x and calculated y (both weighted) and residuals.
struct SetSums {
    int n = 0;
    double sumX = 0, sumY = 0, sumE2 = 0;
    double Sxx = 0, Syy = 0, Sxy = 0;
    void add(double x, double y, double e) {
        n++;
        sumX += x;
        sumY += y;
        sumE2 += e * e;
    }
    void addCentred(double x, double y) {
        double dx = x - sumX / n, dy = y - sumY / n;
        Sxx += dx * dx;
        Syy += dy * dy;
        Sxy += dx * dy;
    }
    bool spread() const { return Sxx != 0 && Syy != 0; }
};

// The tensor text block of one tensor. reportTensor records the rotation it reports in mRot;
// that happens on a copy, so the tensors handed to the table are left as they were.
std::string tensorBlock(const DTensor& t, int level) {
    DTensor shown = t;
    return shown.reportTensor(level);
}

bool takesPart(const DipolarCouplingData& dc) {
    return dc.valid && dc.d <= orvex::kUnmeasured && dc.w > 0 && dc.dCalc <= orvex::kUnmeasured;
}

std::string selectionText(const std::vector<int>& pairs) {
    std::string text;
    char buf[64];
    for (size_t k = 0; k + 1 < pairs.size(); k += 2) {
        std::snprintf(buf, sizeof buf, "%d to %d  ", pairs[k], pairs[k + 1]);
        text += buf;
    }
    return text;
}

void writeRotationLines(FILE* fp, const DTensor& t) {
    std::fprintf(fp, "DATA ROT_XYZ % 8.2f % 8.2f % 8.2f\n", t.psi, t.theta, t.phi);
    std::fprintf(fp, "\n");
    std::fprintf(fp, "DATA PSI \t% 8.2f\n", t.psi);
    std::fprintf(fp, "DATA THETA       % 8.2f\n", t.theta);
    std::fprintf(fp, "DATA PHI \t% 8.2f\n", t.phi);
    if (t.psiAdd != 0 || t.thetaAdd != 0 || t.phiAdd != 0) {
        std::fprintf(fp, "\n");
        std::fprintf(fp, "DATA PSI_ADD     % 8.2f\n", t.psiAdd);
        std::fprintf(fp, "DATA THETA_ADD   % 8.2f\n", t.thetaAdd);
        std::fprintf(fp, "DATA PHI_ADD     % 8.2f\n", t.phiAdd);
    }
}

void writeRangeLines(FILE* fp, const DTensor& t, bool withRotations) {
    std::fprintf(fp, "\n");
    std::fprintf(fp, "DATA DA_RANGE    % .4e % .4e\n", t.daMin, t.daMax);
    if (t.rhFlag == 1)
        std::fprintf(fp, "DATA RH_RANGE    % .3f      % .3f\n", t.rhMin, t.rhMax);
    else
        std::fprintf(fp, "DATA DR_RANGE    % .4e % .4e\n", t.drMin, t.drMax);
    if (withRotations) {
        std::fprintf(fp, "\n");
        std::fprintf(fp, "DATA PSI_RANGE   % 8.2f % 8.2f\n", t.psiMin, t.psiMax);
        std::fprintf(fp, "DATA THETA_RANGE % 8.2f % 8.2f\n", t.thetaMin, t.thetaMax);
        std::fprintf(fp, "DATA PHI_RANGE   % 8.2f % 8.2f\n", t.phiMin, t.phiMax);
    }
}

void writeTensorModeBlock(FILE* fp, const DTensor& t, bool multi, int pdbCount) {
    switch (t.tensorMode) {
    case orvex::kTensorModeSvd:
        std::fprintf(fp, "\n");
        std::fprintf(fp, multi ? "DATA TENSOR_MODE Multiple Tensor Multi-Conformer SVD \n\n"
                               : "DATA TENSOR_MODE SVD (Order Matrix Method)\n\n");
        break;
    case orvex::kTensorModeGivenSaupe:
        std::fprintf(fp, "\n");
        std::fprintf(fp, "DATA TENSOR_MODE SAUPE");
        std::fprintf(fp, " (Fixed Saupe Values)\n\n");
        break;
    case orvex::kTensorModeNonlinear:
        if (t.fitMode == orvex::kFitModeVwfit || t.fitMode == orvex::kFitModeVwfitCv) {
            std::fprintf(fp, "DATA TENSOR_MODE VWFIT");
            std::fprintf(fp, " (Variable weights ensemble fit)\n");
            std::fprintf(fp, "\n");
            std::fprintf(fp, "DATA VWFIT_W ");
            int count = std::min(pdbCount, 500);
            for (int i = 0; i < count; i++) {
                std::fprintf(fp, " %6.3f ", std::fabs(t.VWfit_w[i]));
                if ((i + 1) % 10 == 0 && i + 1 < count) std::fprintf(fp, "\nDATA VWFIT_W ");
            }
            std::fprintf(fp, "\n");
        } else {
            std::fprintf(fp, "#\n");
            std::fprintf(fp, "# 13. Values for RX=PSI RY=THETA RZ=PHI are the actual XYZ\n");
            std::fprintf(fp, "#     rotations applied, also given in ROT_XYZ.\n");
            std::fprintf(fp, "\n");
            std::fprintf(fp, "DATA TENSOR_MODE FIT_NONLIN");
            std::fprintf(fp, " (Variation of Da, Dr or Rh, or Rotations)\n");
            std::fprintf(fp, "DATA BEST_ITER   % 8d\n", t.bestIter);
            std::fprintf(fp, "\n");
            writeRotationLines(fp, t);
            writeRangeLines(fp, t, true);
        }
        break;
    case orvex::kTensorModeGridSearch:
        std::fprintf(fp, "#\n");
        std::fprintf(fp, "# 13. Values for RX=PSI RY=THETA RZ=PHI are extracted from the\n");
        std::fprintf(fp, "#     grid search rotation matrix, also given in ROT_XYZ.\n");
        std::fprintf(fp, "DATA TENSOR_MODE GRIDSEARCH");
        std::fprintf(fp, " (Grid Search Over Rotations)\n");
        writeRotationLines(fp, t);
        std::fprintf(fp, "DATA GRID_STEP %.1f DEGREES\n", t.gridStep);
        writeRangeLines(fp, t, false);
        break;
    case orvex::kTensorModeFixed:
        std::fprintf(fp, "#\n");
        std::fprintf(fp, "# 13. Values for RX=PSI RY=THETA RZ=PHI are the actual\n");
        std::fprintf(fp, "#     XYZ rotations applied, also given in ROT_XYZ.\n");
        std::fprintf(fp, "DATA TENSOR_MODE FIXED");
        std::fprintf(fp, t.rhFlag == 1 ? " (Fixed Da and Rhombicity, Fixed Rotations)\n"
                                       : " (Fixed Da and Dr, Fixed Rotations)\n");
        writeRotationLines(fp, t);
        break;
    case orvex::kTensorModeSteric:
        std::fprintf(fp, "DATA TENSOR_MODE STERIC (Steric Alignment Prediction)\n\n");
        break;
    case orvex::kTensorModeElectrostatic:
        std::fprintf(fp, "DATA TENSOR_MODE ELECTROSTATIC (Electrostatic Alignment Prediction)\n\n");
        break;
    case orvex::kTensorModeDipolarWave:
        std::fprintf(fp, "DATA TENSOR_MODE FIT_DIPOLAR_WAVE\n\n");
        std::fprintf(fp, "# (Variation of RU0, THETA_AVE, PHI_AVE, Da, Dr or Rh)\n");
        std::fprintf(fp, "#\n");
        std::fprintf(fp, "# D = Da*( (3cos(theta)*cos(theta)-1 + 1.5*dr*(1-cos(theta)*cos(theta))*cos(2*phi) ) ) \n");
        std::fprintf(fp, "# with\n");
        std::fprintf(fp, "#     cos(theta) = cos(theta_ave)*cos(delta) -sin(theta_ave)*sin(delta)*cos(Ru-Ru0) \n");
        std::fprintf(fp, "#     phi   = phi_ave + arcsin( sin(delta)*sin(Ru-Ru0)/sqrt(1-cos(theta)*cos(theta)) ) \n");
        std::fprintf(fp, "#     Ru    = 2*PI*n/3.6, phase of residue n\n");
        std::fprintf(fp, "#     delta : angle between N-H and helix-axis\n");
        std::fprintf(fp, "# (dipolar waves: Mesleh et al., J. Am. Chem. Soc. 124, 4206 (2002))\n");
        std::fprintf(fp, "DATA RU0        % 8.2f\n", t.Ru0);
        std::fprintf(fp, "DATA THETA_AVE  % 8.2f\n", t.thetaAve);
        std::fprintf(fp, "DATA PHI_AVE    % 8.2f\n", t.phiAve);
        std::fprintf(fp, "\nDATA DELTA_HN  %8.2f\n", t.expC);
        break;
    case orvex::kTensorModeShape:
        std::fprintf(fp, "DATA TENSOR_MODE HYDRODYNAMIC SHAPE (Order Matrix Method)\n");
        std::fprintf(fp, "# (tensor from the gyration tensor of the molecular shape: Almond & Axelsen, "
                         "J. Am. Chem. Soc. 124, 9986 (2002))\n");
        std::fprintf(fp, "\n");
        break;
    default:
        break;
    }
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

    // Q normalised by the tensor magnitude: RMS / sqrt(DaHz^2 (4 + 3 Rh^2) / 5)
    double daHz = tensor.da * orvex::kDmaxNHAbs;
    double R = tensor.da == 0 ? 0 : std::fabs(tensor.dr / tensor.da);
    double N = daHz * daHz * (4 + 3 * R * R);
    if (N == 0) {
        qfactor_norm = qfactor_norm_v = 0;
    } else {
        qfactor_norm = std::sqrt(5 * work.sumE2 / (work.n * N));
        if (nD_v > 0) qfactor_norm_v = std::sqrt(5 * valid.sumE2 / (nD_v * N));
    }
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

    if (jk.n > 0) {
        rms_jk = std::sqrt(rms_jk / jk.n);
        if (jk.spread()) {
            slope_jk = jk.Sxy / jk.Sxx;
            corr_r_jk = jk.Sxy / std::sqrt(jk.Sxx * jk.Syy);
        }
        if (tensor.fitMode == orvex::kFitModeMultiTensor) qfactor_jk = rms_jk / std::sqrt(jk.Sxx / jk.n);
    }
    rms = std::sqrt(rms / work.n);
    if (work.spread()) {
        slope = work.Sxy / work.Sxx;
        corr_r = work.Sxy / std::sqrt(work.Sxx * work.Syy);
    }
    if (nD_v > 0) {
        rms_v = std::sqrt(rms_v / nD_v);
        if (valid.spread()) {
            slope_v = valid.Sxy / valid.Sxx;
            corr_r_v = valid.Sxy / std::sqrt(valid.Sxx * valid.Syy);
        }
    }
    // Q normalised by the spread of the observed couplings
    qfactor = work.Sxx != 0 ? std::sqrt(work.sumE2 / work.Sxx) : 0;
    qfactor_v = valid.Sxx != 0 ? std::sqrt(valid.sumE2 / valid.Sxx) : 0;
    if (tensor.fitMode == orvex::kFitModeMultiTensor) {
        qfactor_norm = qfactor;
        qfactor_norm_v = qfactor_v;
    }
    return work.n;
}

void DCListData::writeStatAll(FILE* fp, const DTensor& t, int level, bool noDaNorm, int nSVD) {
    const bool maxSub = level == 9 && t.byRes;
    const std::string selection = selectionText(resSelectionVec_Working);
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
        const std::string validation = selectionText(resSelectionVec_Validation);
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

int DCListData::writeDC(const std::string& outName, const std::string& title, int level, int,
                        const std::vector<DTensor>& tensors, int nSVD) {
    if (dcList.empty() || tensors.empty()) return 0;
    FILE* fp = stdout;
    if (!outName.empty()) {
        fp = std::fopen(outName.c_str(), "w");
        if (!fp) {
            std::fprintf(stderr, "DC Error opening output file %s\n", outName.c_str());
            fp = stdout;
        }
    }
    const DTensor& t0 = tensors[0];
    const bool multi = t0.fitMode == orvex::kFitModeMultiTensor || t0.tensorMode == orvex::kTensorModeShape;
    getStatAll(t0);
    const int lev = t0.fitFlag_JK ? level : 0;

    std::fprintf(fp, "# Orvex Dipolar Coupling Calculation. %s\n", kOrvexWebAddress);
    if (!title.empty()) std::fprintf(fp, "# %s\n\n", title.c_str());
    std::fprintf(fp, "DATA N_PDB     %d\t# Number of conformers\n", pdbCount);
    std::fprintf(fp, "DATA N         %d\t# Number of Valid Couplings\n\n", validCount);
    writeStatAll(fp, t0, lev, multi, nSVD);
    writeTensorModeBlock(fp, t0, multi, pdbCount);

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
            std::fprintf(fp, "%4d %4s %4s %4d %4s %4s %9.2f %9.3f %9.3f %9.3f  %.3f %.3f  %.3f  %9.3f", dc.resIDI,
                         rnI, anI, dc.resIDJ, rnJ, anJ, dc.diCalc, dc.d, dc.dCalc, dDiff, dc.sigma, dds, dc.w,
                         dc.dCalc_jk);
            for (size_t k = 0; k < tensors.size(); k++) {
                double da = k < 10 ? dc.da_jk_multiTensor[k] : 0, dr = k < 10 ? dc.dr_jk_multiTensor[k] : 0;
                std::fprintf(fp, " %9.3f %9.3f", orvex::kDmaxNH * da, dr / da);
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
