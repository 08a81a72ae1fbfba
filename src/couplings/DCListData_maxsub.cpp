// The result table of the maximal-subset search and culling: the selected residues and their
// runs, a per-residue MAXSUB_DC line under the sequence, the fit statistics and tensor block, and
// one row per valid coupling with its residue's score and its selection.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "common/Constants.h"
#include "common/Modes.h"
#include "common/ResidueNumber.h"
#include "couplings/DCListData.h"

namespace {

// Project home, as in the first line of every result table.
const char* const kOrvexWebAddress = "https://github.com/orvex-nmr/orvex";
// Residues per pair of SEQUENCE and MAXSUB_DC lines.
constexpr int kSequencePiece = 100;

// The selected residues (ascending) with consecutive runs joined: "%d" opens the first run,
// "-%d, %d" closes a run and opens the next, "-%d" closes the last, so that a run of one
// residue reads "8-8": 3 4 5 8 10 11 gives "3-5, 8-8, 10-11".
std::string residueRuns(const std::vector<int>& ids) {
    std::string text;
    if (ids.empty()) return text;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d", ids[0]);
    text += buf;
    for (size_t i = 1; i < ids.size(); i++) {
        if (orvex::isResidueAt(ids[i], ids[i - 1], 1)) continue;
        std::snprintf(buf, sizeof buf, "-%d, %d", ids[i - 1], ids[i]);
        text += buf;
    }
    std::snprintf(buf, sizeof buf, "-%d", ids.back());
    return text + buf;
}

// MAXSUB_DC character of a residue: '-' without usable couplings (no score), the integer part
// of |score| (at most 9) when selected, 'x' when not selected.
char residueMark(int residue, const std::vector<int>& ids, const std::map<int, double>& scores) {
    const auto score = scores.find(residue);
    if (score == scores.end()) return '-';
    if (std::find(ids.begin(), ids.end(), residue) == ids.end()) return 'x';
    const double a = std::fabs(score->second);
    return static_cast<char>('0' + (a < 9 ? static_cast<int>(a) : 9));
}

}  // namespace

bool DCListData::isMaxSubsetUsable(const DipolarCouplingData& dc) {
    return dc.valid == 1 && dc.d <= orvex::kFitMaxD && dc.w != 0;
}

int DCListData::countMaxSubset() const {
    int n = 0;
    for (const DipolarCouplingData& dc : dcList)
        if (isMaxSubsetUsable(dc) && dc.selected == 1) n++;
    return n;
}

int DCListData::reportDC_maxSub(const std::string& outName, double, const DTensor& t, double score,
                                const std::vector<int>& ids, const std::map<int, double>& scores) {
    FILE* fp = openResultFile(outName);
    const int nSelected = countMaxSubset();   // also the statistics' N_SVD
    std::string selection;
    char buf[64];
    for (size_t k = 0; k + 1 < resSelectionVec_Working.size(); k += 2) {
        std::snprintf(buf, sizeof buf, "%d to %d  ", resSelectionVec_Working[k], resSelectionVec_Working[k + 1]);
        selection += buf;
    }
    getStatAll(t);

    std::fprintf(fp, "# Orvex Dipolar Coupling Calculation. %s\n", kOrvexWebAddress);
    std::fprintf(fp, "# MaxSub/Culling mode to generate a max subset of the fitted RDCs.\n\n");
    std::fprintf(fp, "REMARK MaxSubDC:: inD: %s PDB: %s Residues %d to %d, %d total.\n", inDCFileName.c_str(),
                 inPDBFileName.c_str(), pdbR1, pdbRN, orvex::residueSpan(pdbR1, pdbRN));
    std::fprintf(fp, "DATA N_PDB       %3d\t# Number of conformers\n", pdbCount);
    std::fprintf(fp, "DATA N_DC_TOTAL  %3d\t# Total number of RDC\n", static_cast<int>(dcList.size()));
    std::fprintf(fp, "DATA SELECTION   %s\t# Residue selection \n\n", selection.c_str());
    std::fprintf(fp, "DATA N_DC_MAXSUB   %3d\t# Number of MaxSub selected RDC\n", nSelected);
    std::fprintf(fp, "DATA N_RES_MAXSUB  %3d\t# Number of MaxSub selectd residues\n", static_cast<int>(ids.size()));
    std::fprintf(fp, "DATA RES_MAXSUB    %s\t\n# MaxSub selectd residues\n\n", residueRuns(ids).c_str());
    std::fprintf(fp, "DATA MAXSUB_SCORE   %.3f\n\n", score);

    std::fprintf(fp, "#    MAXSUB_DC: Residue Specific MaxSub Set.\n");
    std::fprintf(fp, "#            -: residues with no input RDC data.\n");
    std::fprintf(fp, "#        [0-9]: residues selected in MaxSub set (rounded 'D_DIFF_RES' value).\n");
    std::fprintf(fp, "#            x: residues not selected in MaxSub set.\n#\n");
    // the residues of the structure, with their one-letter codes from it
    // (counted in long long: pdbRN may be the largest int)
    for (long long first = pdbR1; first <= pdbRN; first += kSequencePiece) {
        const long long last = std::min<long long>(first + kSequencePiece - 1, pdbRN);
        std::string letters, marks;
        for (long long r = first; r <= last; r++) {
            auto one = pdbSequence.find(static_cast<int>(r));
            letters += one == pdbSequence.end() ? 'X' : one->second;
            marks += residueMark(static_cast<int>(r), ids, scores);
        }
        std::fprintf(fp, "DATA SEQUENCE   %s\n", letters.c_str());
        std::fprintf(fp, "DATA MAXSUB_DC  %s\n\n", marks.c_str());
    }

    writeStatAll(fp, t, 9, false, nSelected);
    std::fprintf(fp, "\n");
    std::fprintf(fp, "DATA TENSOR_MODE MAXSUB SVD (Order Matrix Method)\n\n");
    DTensor shown = t;   // the report records its rotation in the tensor
    std::fputs(shown.reportTensor(1).c_str(), fp);
    std::fprintf(fp, "\n#  DDS: expected RDC impact for 1 degree structural noise \n");
    std::fprintf(fp, "#       calculated from sqrt[(DD_THETA^2+DD_PHI^2)/2], where \n");
    std::fprintf(fp, "#       DD_THETA is structural noise from THETA angle  \n");
    std::fprintf(fp, "#       DD_PHI is structural noise from PHI angle (normalized by sine of THETA angle)  \n");
    std::fprintf(fp, "\n");

    std::fprintf(fp, "VARS   %s", " RESID_I RESNAME_I ATOMNAME_I RESID_J RESNAME_J ATOMNAME_J  DI D_OBS D D_DIFF D_JK "
                                  "DA_JK RH_JK DD DDS D_DIFF_RES  W  MAXSUB\n");
    std::fprintf(fp, "FORMAT %s", " %4d %4s %4s %4d %4s %4s  %9.2f %9.4f %9.4f %9.4f %9.4f %9.4f %9.4f %9.4f %9.4f "
                                  "%9.4f  %.3f  %1d\n\n");
    for (const DipolarCouplingData& dc : dcList) {
        if (dc.valid == 0 && t.tensorMode != orvex::kTensorModeDipolarWave) continue;
        const double dDiff = dc.d <= orvex::kFitMaxD && dc.dCalc <= orvex::kFitMaxD ? dc.d - dc.dCalc : 9999;
        const bool selected = dc.selected == 1;
        const double daJk = selected ? orvex::kDmaxNH * dc.da_jk : 9999;
        const double rhJk = selected ? dc.dr_jk / dc.da_jk : 9999;
        const double dds = std::sqrt((dc.dtheta * dc.dtheta + dc.dphi * dc.dphi) / 2);
        // a residue without usable couplings has no score: 9999, the mark of a missing value
        const auto residueScore = scores.find(std::max(dc.resIDI, dc.resIDJ));
        const double dDiffRes = residueScore == scores.end() ? 9999 : residueScore->second;
        std::fprintf(fp,
                     " %4d %4s %4s %4d %4s %4s  %9.2f %9.4f %9.4f %9.4f %9.4f %9.4f %9.4f %9.4f %9.4f %9.4f  %.3f  "
                     "%1d\n",
                     dc.resIDI, dc.resNameI.c_str(), dc.atomNameI.c_str(), dc.resIDJ, dc.resNameJ.c_str(),
                     dc.atomNameJ.c_str(), dc.diCalc, dc.d, dc.dCalc, dDiff, dc.dCalc_jk, daJk, rhJk, dc.sigma, dds,
                     dDiffRes, dc.w, dc.selected);
    }
    if (fp != stdout) std::fclose(fp);
    if (!dcList.empty())
        std::fprintf(stderr, "REMARK D_N:  %d D_RMS:  %.3f D_CHI2:  %.3f\n", validCount, rms, chi2);
    return 0;
}
