// Pieces of the result tables shared by the coupling and RCSA lists: the project address of
// the first line, the sums behind the fit statistics, the tensor text block and the
// tensor-mode block.
#pragma once

#include <cstdio>
#include <string>

#include "tensor/DTensor.h"

namespace result_table {

// Project home printed in the first line of every result table.
extern const char* const kOrvexWebAddress;

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
