// Pieces of the result tables shared by the coupling and RCSA lists (see the header).
#include "couplings/ResultTable.h"

#include <algorithm>
#include <cmath>

#include "common/Modes.h"

namespace result_table {

const char* const kOrvexWebAddress = "https://github.com/orvex-nmr/orvex";
const char* const kShapeTensorReference = "Almond & Axelsen, J. Am. Chem. Soc. 124, 9986-9987 (2002)";

std::string tensorBlock(const DTensor& t, int level) {
    DTensor shown = t;
    return shown.reportTensor(level);
}

namespace {

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

}  // namespace

void writeNonlinearFitBlock(FILE* fp, const DTensor& t) {
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
            writeNonlinearFitBlock(fp, t);
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
        std::fprintf(fp, "# (dipolar waves: Mesleh et al., J. Am. Chem. Soc. 124, 4206-4207 (2002); "
                         "Mesleh & Opella, J. Magn. Reson. 163, 288-299 (2003))\n");
        std::fprintf(fp, "DATA RU0        % 8.2f\n", t.Ru0);
        std::fprintf(fp, "DATA THETA_AVE  % 8.2f\n", t.thetaAve);
        std::fprintf(fp, "DATA PHI_AVE    % 8.2f\n", t.phiAve);
        std::fprintf(fp, "\nDATA DELTA_HN  %8.2f\n", t.expC);
        break;
    case orvex::kTensorModeShape:
        std::fprintf(fp, "DATA TENSOR_MODE HYDRODYNAMIC SHAPE (Order Matrix Method)\n");
        std::fprintf(fp, "# (tensor from the gyration tensor of the molecular shape: %s)\n", kShapeTensorReference);
        std::fprintf(fp, "\n");
        break;
    default:
        break;
    }
}

}  // namespace result_table
