// The score of the variable-weight ensemble fit. For a vector of conformer weights, every
// medium's order matrix is solved by SVD against the weight-averaged coefficients of its working
// couplings, each coupling class of each medium gets its Q factor, and the score is their average
// less the weight penalty. The per-conformer coefficients of a medium are built once into one
// contiguous block, so that an evaluation is one weighted sum over that block plus one 5-column
// solve per medium, without allocating.
#pragma once

#include <vector>

#include "couplings/DipolarCouplingData.h"
#include "numeric/SVD2.h"
#include "tensor/DTensor.h"

class VWFitEnsemble {
public:
    // At most this many conformers (weights).
    static constexpr int kMaxConformers = 500;
    // Saupe elements of one medium's tensor.
    static constexpr int kParams = 5;

    // Agreement of one medium at the weights last evaluated with evaluateAll.
    struct MediumStats {
        int n = 0, nV = 0;         // working and validation couplings
        double rms = 0, rmsV = 0;  // RMS of the weighted residuals (d - dCalc) * wCalc
        double q = 0, qV = 0;      // Q: the mean of the Q factors of the medium's coupling classes
    };

    // media[m] and tensors[m] belong to the caller and must outlive the ensemble; only the
    // couplings' dCalc and the tensors' Saupe, Da, Dr and axes are written. `conformers` weights;
    // a pair whose conformer number is conformerNumbers[c] belongs to weight c (a coupling that
    // records no conformer numbers has its pair c in conformer c). `classes`: the coupling classes
    // that each get their own Q (the fit's CouplingClassList).
    VWFitEnsemble(std::vector<std::vector<DipolarCouplingData>>& media, std::vector<DTensor>& tensors, int conformers,
                  const std::vector<int>& conformerNumbers, const std::vector<int>& classes);
    VWFitEnsemble(const VWFitEnsemble&) = delete;
    VWFitEnsemble& operator=(const VWFitEnsemble&) = delete;

    // A working coupling: selected, valid, measured value at most 900 Hz, weight not 0, atoms on
    // both ends. A validation coupling: the same with selected_v instead of selected.
    static bool isWorking(const DipolarCouplingData& dc);
    static bool isValidation(const DipolarCouplingData& dc);
    // The classes of the working couplings of all media, ascending.
    static std::vector<int> classesInUse(const std::vector<std::vector<DipolarCouplingData>>& media);
    // Share of the first conformer when its weight is held fixed: min(0.9, 0.05 conformers / 20).
    static double firstWeightShare(int conformers);

    int conformerCount() const { return conformers_; }
    int mediumCount() const { return static_cast<int>(media_.size()); }
    int workingCount(int m) const { return media_[m].nWork; }
    int validationCount(int m) const { return media_[m].nValid; }

    // Score of the raw weights w (conformerCount values): the mean of the Q factors over the media
    // and, with byClass, their coupling classes (one Q per medium over all its working couplings
    // otherwise), less C * s^0.1 / (number of media) with s the sum of the squared normalised
    // weights in single precision. The normalised weights are |w| / sum |w| (equal weights when all
    // are 0); with firstFixed the first one is firstWeightShare and the others share the rest.
    double score(const double* w, double C, bool firstFixed, bool byClass);
    // The same score, and then every coupling of the media with atoms receives its dCalc from
    // these weights and the medium statistics are formed.
    double evaluateAll(const double* w, double C, bool firstFixed, bool byClass);

    // Of the last evaluation: the mean Q, the L2 norm of the normalised weights, and the
    // normalised weights themselves.
    double meanQ() const { return meanQ_; }
    double l2Norm() const { return l2Norm_; }
    const std::vector<double>& weights() const { return weights_; }
    const MediumStats& stats(int m) const { return media_[m].stats; }
    // Number of evaluations (score and evaluateAll) made so far.
    long evaluations() const { return evaluations_; }

private:
    // One medium. Rows: its working couplings in list order, then its other couplings with atoms.
    struct Medium {
        std::vector<DipolarCouplingData>* list = nullptr;
        DTensor* tensor = nullptr;
        int nWork = 0, nRows = 0, nValid = 0;
        std::vector<int> pos;            // list index of each row
        // Per-conformer coefficients, conformer-major: coef[(c nRows + r) 5 + k] is
        // sum over the pairs p of row r in conformer c of wi[p] Ai[p][k].
        std::vector<double> coef;
        std::vector<double> h, absDI, d, wCalc;   // row weight h, |DI|, observed value, table weight
        std::vector<char> absFlag, validation;
        std::vector<int> slot;           // the row's coupling class, as an index into slotClasses_
        std::vector<double> avg;         // the weighted coefficients of every row (nRows x 5)
        std::vector<double> calc;        // back-calculated value of every row
        std::vector<double> design, b;   // the weighted system, at least 5 rows (zero rows below)
        SVD2 solver;
        MediumStats stats;
    };
    // Per-class sums of one set of rows.
    struct ClassSums {
        std::vector<double> e2, di;
        std::vector<int> n;
        void reset();
        void add(int slot, double diff, double absDI);
        // Mean of the Q factors of the classes present (0 when none), for the tensor Da, Dr;
        // sumQ and countQ receive the sum and number of those Q factors.
        double meanQ(double da, double dr, double& sumQ, int& countQ) const;
    };

    std::vector<Medium> media_;
    std::vector<int> slotClasses_;   // the classes given, then any other class of the rows
    int conformers_ = 0;
    std::vector<double> weights_;    // normalised weights of the last evaluation
    // The conformers of non-zero weight, with conformers * normalised weight: the factor of
    // their blocks in the weighted sum (activeCount_ of them in use; sized once).
    std::vector<int> active_;
    std::vector<double> multiplier_;
    int activeCount_ = 0;
    ClassSums sums_, sumsV_;
    double meanQ_ = 0, l2Norm_ = 0;
    long evaluations_ = 0;

    // Rows, coefficient block and buffers of a medium whose list and tensor are set; numbers: the
    // conformer numbers, ascending.
    void buildMedium(Medium& md, const std::vector<int>& numbers);
    void normalise(const double* w, bool firstFixed);
    // The weighted coefficients of the first `rows` rows, the medium's tensor solved from the
    // working rows and the back-calculated values of those rows.
    void fitMedium(Medium& md, int rows);
    double finishScore(double sumQ, int countQ, double C);
    double run(const double* w, double C, bool firstFixed, bool byClass, bool all);
};
