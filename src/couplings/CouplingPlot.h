// The plot of a coupling fit (-plot FILE.svg, an extension): observed against calculated
// couplings with the fit statistics of the result table, and both along the sequence with one
// row per coupling class, as one self-contained SVG file. compute() gathers what the result
// table shows; write() draws it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "couplings/DCListData.h"
#include "tensor/DTensor.h"

class CouplingPlot {
public:
    // The set a coupling of the table belongs to: the fit (the working set, also when it is in
    // the validation set as well), only the validation set (given apart from the working one),
    // or neither (outside both selections, left out of a maximal subset, or with a weight that
    // keeps it out of the statistics).
    enum class Set { Working, Validation, Neither };

    // One row of the result table with a calculated value.
    struct Point {
        int dcClass = 0;
        int residue = 0;        // the later residue of the pair, as the residue selections count it
        double obs = 0;         // D_OBS, Hz
        bool measured = true;   // D_OBS is a value (not above 900 Hz): the point is in the upper panel
        double calc = 0;        // D, Hz
        double jk = 0;          // D_JK, Hz
        Set set = Set::Neither;
    };

    // The statistics of one set as the result table's statistics block prints them.
    struct Figures {
        bool shown = false;     // the block is in the table
        bool showsQ = true;     // with its Q_FACTOR line
        int n = 0;              // N_SVD (working) or N_V (validation)
        double rms = 0, q = 0, qx = 0, r = 0;   // RMS, Q_FACTOR, Q_X_FACTOR, CORR_R
    };

    std::vector<Point> points;      // in list order
    std::vector<int> classes;       // class codes of the points, ascending
    int rowsWithoutCalc = 0;        // table rows whose D is not a value to plot (NaN, above 900 Hz)
    bool jackknife = false;         // D_JK exists: a jackknife ran
    Figures working, validation;
    bool markLeftOut = false;       // the maximal-subset search: residues left out are marked
    std::vector<int> leftOut;       // those residues, ascending
    int firstResidue = 0, lastResidue = 0;   // the residue axis
    std::string tableName, structureName;    // named in the file's description

    // Gathers the plot of `list` after a route wrote its result table with `level`, `tensors`
    // and the coupling count `nSVD`; `maxSubset`: the table of the maximal-subset search (the
    // jackknife always ran; residues with a usable coupling outside the subset are left out).
    // Recomputes the list's statistics exactly as the table does, so the figures are the table's.
    void compute(DCListData& list, const std::vector<DTensor>& tensors, int level, int nSVD, bool maxSubset);

    // Writes the SVG document.
    void write(FILE* out) const;

    // Name of a coupling class in the legend and the element classes: the DCTypeList name,
    // "HB_CB" for code 12, else "CLASS_<code>".
    static std::string className(int code);
};
