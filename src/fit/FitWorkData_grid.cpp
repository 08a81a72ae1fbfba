// The grid-search tensor fit (-fit, -fit_gs): every orientation of a cubic grid over psi, theta
// and phi is evaluated with the current Da and Dr, each local minimum of the grid is refined by
// Levenberg-Marquardt, and the best refinement is refined once more with all parameters.
#include <cmath>
#include <cstdio>
#include <vector>

#include "common/Modes.h"
#include "fit/FitCostFunctions.h"
#include "fit/FitWorkData.h"
#include "numeric/LM.h"

namespace {

// Levenberg-Marquardt on the block's residuals from x; the result replaces x. The block's dRMS is
// then the RMS at the result (the solver's last evaluation is always at its final parameters).
void refine(double* x, FitArgs& a) {
    LM lm(fitFuncResidual, &a, a.cCnt, a.xcCnt, x);
    for (int i = 0; i < a.cCnt; i++) x[i] = lm.parms[i];
}

// The grid needs psi, theta and phi of the first tensor in the first three places.
bool anglesLead(const int* type, int count) {
    return count >= 3 && type[0] == FitWorkData::angleType(0, 0) && type[1] == FitWorkData::angleType(0, 1) &&
           type[2] == FitWorkData::angleType(0, 2);
}

// The orientation grid: (n + 2)^3 cells, the inner n^3 for the orientations, the outer layer
// holding the starting reference so that every inner cell has 26 neighbours.
class OrientationGrid {
public:
    OrientationGrid(int n, double fill) : n_(n), side_(n + 2), cells_(static_cast<size_t>(side_) * side_ * side_, fill) {}
    double& at(int i, int j, int k) { return cells_[(static_cast<size_t>(i) * side_ + j) * side_ + k]; }
    // Strictly below all 26 neighbours.
    bool isLocalMinimum(int i, int j, int k) {
        const double v = at(i, j, k);
        for (int di = -1; di <= 1; di++)
            for (int dj = -1; dj <= 1; dj++)
                for (int dk = -1; dk <= 1; dk++)
                    if ((di || dj || dk) && !(v < at(i + di, j + dj, k + dk))) return false;
        return true;
    }
    int steps() const { return n_; }

private:
    int n_, side_;
    std::vector<double> cells_;
};

}  // namespace

int FitWorkData::fitDCAlign_GS_Powell(int grid_step) {
    const int cCnt = buildTensorParameters(true);
    FitArgs& args = makeArgs(cCnt, residualCount());
    args.nlls_fit_mode = orvex::kFitModeGridSearch;
    double* x = cg.data();
    dRMS = fitFunc(x, &args);
    if (grid_step > 0) findBestStartingTrial_GridSearch_allMinima(grid_step, x, &args, 0);
    refine(x, args);
    dRMS = fitFunc(x, &args);
    for (DTensor& t : dTensors) t.euler2saupe2();
    dRMS = fitFunc(x, &args);
    storeFittedAngles();
    return 0;
}

int FitWorkData::findBestStartingTrial_GridSearch_allMinima(int gs, double* x, FitArgs* aData, double offset) {
    FitArgs& a = *aData;
    if (gs == 0 || a.dTensors == nullptr || a.dTensors->empty()) return 0;
    if (!anglesLead(cType.data(), paramCount)) {
        // the grid would write angles into other parameters: the refinement alone goes on
        std::fputs("Warning :: grid search skipped: it needs psi, theta and phi free\n", stderr);
        return 0;
    }
    Mat4 M;
    Mat4Ident(M);
    a.pdb3dCoordTransformNcalcDC(M);

    refine(x, a);
    double reference = a.dRMS;
    double bestAngles[3] = {x[0], x[1], x[2]};

    // Misfit compared in the search: every cell holds the RMS of its orientation (the square root
    // of the weighted sum of squares over the couplings used), like the reference and the
    // refinements, which leave the RMS in dRMS; a cell's plain sum of squares would be compared
    // with an RMS and almost never come out below it.
    const int used = a.usedCouplingCount();
    auto rms = [used](double sumOfSquares) { return used > 0 ? std::sqrt(sumOfSquares / used) : 0.0; };

    OrientationGrid grid(static_cast<int>(360.0 / gs), reference);
    const int n = grid.steps();
    for (int i = 1; i <= n; i++)
        for (int j = 1; j <= n; j++)
            for (int k = 1; k <= n; k++) {
                const double psi = (i - 1) * gs, theta = (j - 1) * gs, phi = (k - 1) * gs;
                Mat4Ident(M);
                if (psi != 0 || theta != 0 || phi != 0) m4AppendRotation(M, psi + offset, theta + offset, phi + offset);
                grid.at(i, j, k) = rms(a.sumOfSquaresUnder(M));
            }

    for (int i = 1; i <= n; i++)
        for (int j = 1; j <= n; j++)
            for (int k = 1; k <= n; k++) {
                if (!(grid.at(i, j, k) < reference) || !grid.isLocalMinimum(i, j, k)) continue;
                x[0] = (i - 1) * gs;
                x[1] = (j - 1) * gs;
                x[2] = (k - 1) * gs;
                refine(x, a);
                if (a.dRMS < reference) {
                    reference = a.dRMS;
                    for (int c = 0; c < 3; c++) bestAngles[c] = x[c];
                }
            }

    for (int c = 0; c < 3; c++) x[c] = bestAngles[c];
    fitFunc(x, &a);
    return 0;
}
