// Pieces of the result tables shared by the coupling and RCSA lists: the project address of
// the first line, the sums behind the fit statistics, the tensor text block and the
// tensor-mode block.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

#include "common/Modes.h"
#include "tensor/DTensor.h"

namespace result_table {

// Project home printed in the first line of every result table.
extern const char* const kOrvexWebAddress;
// The published method of the shape-based tensor (a tensor from the molecule's gyration tensor),
// cited by the shape mode and by the tensor-mode block of its tables.
extern const char* const kShapeTensorReference;

// Sums of one set of couplings or records: observed x and calculated y (both weighted) and
// residuals e; then, centred on the means of x and y, Sxx, Syy and Sxy.
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

// Statistics of a coupling or RCSA list (List: its fields rms, rms_v, rms_jk, slope, corr_r,
// qfactor and their twins, nD_v) from the sums of its working, validation and jackknife sets.

// Q normalised by the tensor magnitude: RMS / sqrt((scale Da)^2 (4 + 3 Rh^2) / 5), Rh = |Dr/Da|.
template <class List>
void daNormalisedQ(List& l, const SetSums& work, const SetSums& valid, const DTensor& t, double scale) {
    const double daScaled = t.da * scale;
    const double R = t.da == 0 ? 0 : std::fabs(t.dr / t.da);
    const double N = daScaled * daScaled * (4 + 3 * R * R);
    if (N == 0) {
        l.qfactor_norm = l.qfactor_norm_v = 0;
        return;
    }
    l.qfactor_norm = std::sqrt(5 * work.sumE2 / (work.n * N));
    if (l.nD_v > 0) l.qfactor_norm_v = std::sqrt(5 * valid.sumE2 / (l.nD_v * N));
}

// Once the centred sums are complete: the RMS values from the accumulated squares, slopes and
// correlations, the Q factors against the spread of the observed values, and for one tensor
// per conformer (fitMode 9) those Q factors in place of the normalised ones.
template <class List>
void finishStatistics(List& l, const SetSums& work, const SetSums& valid, const SetSums& jk, const DTensor& t) {
    if (jk.n > 0) {
        l.rms_jk = std::sqrt(l.rms_jk / jk.n);
        if (jk.spread()) {
            l.slope_jk = jk.Sxy / jk.Sxx;
            l.corr_r_jk = jk.Sxy / std::sqrt(jk.Sxx * jk.Syy);
        }
        if (t.fitMode == orvex::kFitModeMultiTensor) l.qfactor_jk = l.rms_jk / std::sqrt(jk.Sxx / jk.n);
    }
    l.rms = std::sqrt(l.rms / work.n);
    if (work.spread()) {
        l.slope = work.Sxy / work.Sxx;
        l.corr_r = work.Sxy / std::sqrt(work.Sxx * work.Syy);
    }
    if (l.nD_v > 0) {
        l.rms_v = std::sqrt(l.rms_v / l.nD_v);
        if (valid.spread()) {
            l.slope_v = valid.Sxy / valid.Sxx;
            l.corr_r_v = valid.Sxy / std::sqrt(valid.Sxx * valid.Syy);
        }
    }
    l.qfactor = work.Sxx != 0 ? std::sqrt(work.sumE2 / work.Sxx) : 0;
    l.qfactor_v = valid.Sxx != 0 ? std::sqrt(valid.sumE2 / valid.Sxx) : 0;
    if (t.fitMode == orvex::kFitModeMultiTensor) {
        l.qfactor_norm = l.qfactor;
        l.qfactor_norm_v = l.qfactor_v;
    }
}

// The tensor text block of one tensor. reportTensor records the rotation it reports in mRot;
// that happens on a copy, so the tensor handed to the table is left as it was.
std::string tensorBlock(const DTensor& t, int level);

// The "DATA TENSOR_MODE" block of the tensor's tensorMode (multi: the multi-tensor layout;
// pdbCount: the number of conformer weights a variable-weight fit prints).
void writeTensorModeBlock(FILE* fp, const DTensor& t, bool multi, int pdbCount);
// The block of a nonlinear fit (tensorMode 3 outside the variable-weight fits): the
// "FIT_NONLIN" lines, the rotations and the ranges.
void writeNonlinearFitBlock(FILE* fp, const DTensor& t);

}  // namespace result_table
