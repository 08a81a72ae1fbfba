// Leave-group-out least squares: the solutions of many systems that each leave one group of
// rows out of one weighted n x k system, in O(n k^2 + K k^3) instead of K full solves.
#pragma once

#include <cstddef>
#include <vector>

#include "numeric/SVD2.h"

// Rows r = 0..n-1 of a flat row-major n x k design a with right-hand sides b belong to groups
// (trials) 0..K-1; trial g solves the system of every row outside group g exactly as
// SVD2::svdLSMat solves it (singular values below 1e-6 of the largest dropped, the 1e-22 rules
// of the covariance; a system of fewer than k rows reads as padded with zero rows).
//
// Method: the augmented rows [a | b] are reduced by Givens rotations to k x (k+1) triangular
// factors [R | c]. A forward pass stores the factor of groups 0..g-1 (the prefix) at every
// B-th group, B = ceil(sqrt(K)); a backward pass keeps the running factor of groups
// g+1..K-1 (the suffix), recomputes the prefixes inside each block of B groups from its
// stored one, and merges prefix and suffix into trial g's factor. Orthogonal
// transformations only (A^T A is never formed) and nothing is ever removed from a factor,
// so nothing can lose definiteness. R_g has the singular values and right vectors of the
// trial system and c_g = Q^T b, so svdLSMat(R_g, c_g) gives the trial's solution
// V diag(1/w) U^T c_g and covariance V diag(1/w^2) V^T. Memory: 2 sqrt(K) factors.
//
// With few rows for the columns (fewer than directFactor * k rows in use) a k x k SVD per
// trial costs more than solving the trial's own rows, and each trial's rows are gathered and
// solved by svdLSMat instead, zero rows appended up to max(rows in use, k).
class LeaveGroupOutLS {
public:
    // Also keep the full k x k covariance of every trial (K k^2 doubles); otherwise only
    // its diagonal.
    bool fullCovariance = false;
    // Trials are solved from their own rows when fewer than directFactor * k rows are in
    // use (0: always from the factors).
    int directFactor = 2;

    // All n rows; group[r] is the trial that leaves row r out, or negative for a row that
    // takes part in no system at all (a row mask). Returns 0, or -1 (nothing solved) for
    // k < 2, a negative size or a group number not below nTrials.
    int run(const double* a, const double* b, int n, int k, const int* group, int nTrials);
    // Listed rows only: rows[i] indexes a and b, group[i] is its trial (negative: unused),
    // i = 0..nList-1. Same returns.
    int run(const double* a, const double* b, int k, const int* rows, const int* group, int nList,
            int nTrials);

    // Results of the last successful run, by trial g = 0..trials()-1.
    int trials() const { return nTrials_; }
    int columns() const { return k_; }
    const double* solution(int g) const { return &x_[static_cast<std::size_t>(g) * k_]; }
    // Diagonal of the covariance (k values).
    const double* variance(int g) const { return &var_[static_cast<std::size_t>(g) * k_]; }
    // Full covariance, k x k row-major; null unless fullCovariance was set for the run.
    const double* covariance(int g) const;
    // Singular values kept (not dropped) in trial g.
    int rank(int g) const { return rank_[g]; }
    // The rows trial g leaves out (indices into a and b), in the order given.
    int leftOutCount(int g) const { return first_[g + 1] - first_[g]; }
    const int* leftOut(int g) const { return order_.data() + first_[g]; }

private:
    int k_ = 0, w_ = 0, nTrials_ = 0;  // columns, factor width k + 1, trials
    const double* a_ = nullptr;
    const double* b_ = nullptr;
    bool covRun_ = false;
    std::vector<int> first_, order_;   // rows of trial g: order_[first_[g] .. first_[g+1])
    std::vector<int> used_, usedGroup_;   // rows in use in the given order, and their trials
    std::vector<double> checkpoints_, prefixes_, suffix_, trial_, row_;
    std::vector<double> rk_, ck_, cvm_;   // the trial's system and its covariance
    std::vector<double> x_, var_, cov_;
    std::vector<int> rank_;
    SVD2 svd_;

    template <class RowOf, class GroupOf>
    int runGroups(const double* a, const double* b, int count, int k, int nTrials, RowOf rowOf,
                  GroupOf groupOf);
    void addRow(double* R, double* row, int start);
    void addGroup(double* R, int g);
    void solveTrial(int g, const double* prefix);
    void solveDirect(int g);
    void keepSolution(int g);
};
