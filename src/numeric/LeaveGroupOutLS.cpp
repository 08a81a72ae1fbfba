// Leave-group-out least squares by prefix and suffix triangular factors (see the header).
// A factor is k rows of k + 1 doubles, row-major: [R | c] with R upper triangular. Adding a
// row [a_r | b_r] rotates it into the factor column by column (Givens); the last column is
// carried along but never annihilated, so the residual norm is not kept.
#include "numeric/LeaveGroupOutLS.h"

#include <algorithm>
#include <cmath>

namespace {

// sqrt(a^2 + b^2) without overflow or underflow in the squares.
double hypot2(double a, double b) {
    a = std::fabs(a);
    b = std::fabs(b);
    if (a > b) {
        const double t = b / a;
        return a * std::sqrt(1.0 + t * t);
    }
    if (b == 0.0) return 0.0;
    const double t = a / b;
    return b * std::sqrt(1.0 + t * t);
}

}  // namespace

int LeaveGroupOutLS::run(const double* a, const double* b, int n, int k, const int* group, int nTrials) {
    return runGroups(
        a, b, n, k, nTrials, [](int i) { return i; }, [group](int i) { return group[i]; });
}

int LeaveGroupOutLS::run(const double* a, const double* b, int k, const int* rows, const int* group,
                         int nList, int nTrials) {
    return runGroups(
        a, b, nList, k, nTrials, [rows](int i) { return rows[i]; }, [group](int i) { return group[i]; });
}

const double* LeaveGroupOutLS::covariance(int g) const {
    return covRun_ ? &cov_[static_cast<size_t>(g) * k_ * k_] : nullptr;
}

template <class RowOf, class GroupOf>
int LeaveGroupOutLS::runGroups(const double* a, const double* b, int count, int k, int nTrials, RowOf rowOf,
                               GroupOf groupOf) {
    if (k < 2 || count < 0 || nTrials < 0) return -1;
    for (int i = 0; i < count; i++)
        if (groupOf(i) >= nTrials) return -1;
    k_ = k;
    w_ = k + 1;
    nTrials_ = nTrials;
    a_ = a;
    b_ = b;
    covRun_ = fullCovariance;

    // The rows in use, in the order given, then bucketed by trial: count, start offsets,
    // place, shift back.
    used_.clear();
    usedGroup_.clear();
    for (int i = 0; i < count; i++) {
        if (groupOf(i) < 0) continue;
        used_.push_back(rowOf(i));
        usedGroup_.push_back(groupOf(i));
    }
    const int nUsed = static_cast<int>(used_.size());
    first_.assign(nTrials + 1, 0);
    for (int i = 0; i < nUsed; i++) first_[usedGroup_[i] + 1]++;
    for (int g = 0; g < nTrials; g++) first_[g + 1] += first_[g];
    order_.resize(nUsed);
    for (int i = 0; i < nUsed; i++) order_[first_[usedGroup_[i]]++] = used_[i];
    for (int g = nTrials; g > 0; g--) first_[g] = first_[g - 1];
    first_[0] = 0;

    const size_t kk = static_cast<size_t>(k) * k;
    x_.resize(nTrials * static_cast<size_t>(k));
    var_.resize(nTrials * static_cast<size_t>(k));
    rank_.resize(nTrials);
    if (covRun_) cov_.resize(nTrials * kk);
    cvm_.resize(kk);
    if (nTrials == 0) return 0;

    if (nUsed < directFactor * k) {
        const int rows = std::max(nUsed, k);
        rk_.assign(static_cast<size_t>(rows) * k, 0.0);
        ck_.assign(rows, 0.0);
        for (int g = 0; g < nTrials; g++) solveDirect(g);
        return 0;
    }

    const size_t fs = static_cast<size_t>(k) * w_;   // doubles per factor
    const int B = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(nTrials))));
    const int nBlocks = (nTrials + B - 1) / B;
    checkpoints_.resize(nBlocks * fs);
    prefixes_.resize(B * fs);
    suffix_.resize(fs);
    trial_.resize(fs);
    row_.resize(w_);
    rk_.resize(kk);
    ck_.resize(k);

    // Forward: the prefix factor at the start of every block.
    double* running = prefixes_.data();
    std::fill(running, running + fs, 0.0);
    for (int j = 0; j < nBlocks; j++) {
        std::copy(running, running + fs, &checkpoints_[j * fs]);
        for (int g = j * B; g < std::min((j + 1) * B, nTrials); g++) addGroup(running, g);
    }

    // Backward: the suffix grows by one group per trial; the block's prefixes are rebuilt.
    std::fill(suffix_.begin(), suffix_.end(), 0.0);
    for (int j = nBlocks - 1; j >= 0; j--) {
        const int g0 = j * B;
        const int len = std::min(B, nTrials - g0);
        std::copy(&checkpoints_[j * fs], &checkpoints_[j * fs] + fs, prefixes_.data());
        for (int i = 1; i < len; i++) {
            double* P = &prefixes_[i * fs];
            std::copy(P - fs, P, P);
            addGroup(P, g0 + i - 1);
        }
        for (int i = len - 1; i >= 0; i--) {
            solveTrial(g0 + i, &prefixes_[i * fs]);
            addGroup(suffix_.data(), g0 + i);
        }
    }
    return 0;
}

void LeaveGroupOutLS::addRow(double* R, double* row, int start) {
    for (int j = start; j < k_; j++) {
        const double xj = row[j];
        if (xj == 0.0) continue;
        double* Rj = R + static_cast<size_t>(j) * w_;
        const double r = hypot2(Rj[j], xj);
        const double c = Rj[j] / r;
        const double s = xj / r;
        Rj[j] = r;
        row[j] = 0.0;
        for (int l = j + 1; l < w_; l++) {
            const double t = Rj[l];
            const double xl = row[l];
            Rj[l] = c * t + s * xl;
            row[l] = c * xl - s * t;
        }
    }
}

void LeaveGroupOutLS::addGroup(double* R, int g) {
    for (int p = first_[g]; p < first_[g + 1]; p++) {
        const int r = order_[p];
        std::copy(a_ + static_cast<size_t>(r) * k_, a_ + static_cast<size_t>(r + 1) * k_, row_.begin());
        row_[k_] = b_[r];
        addRow(R, row_.data(), 0);
    }
}

// Trial g: prefix and suffix merged (the suffix's row i starts at column i), then the k x k
// system [R | c] solved as svdLSMat solves it.
void LeaveGroupOutLS::solveTrial(int g, const double* prefix) {
    const size_t fs = static_cast<size_t>(k_) * w_;
    std::copy(prefix, prefix + fs, trial_.begin());
    for (int i = 0; i < k_; i++) {
        const double* S = &suffix_[static_cast<size_t>(i) * w_];
        std::copy(S + i, S + w_, row_.begin() + i);
        addRow(trial_.data(), row_.data(), i);
    }
    for (int i = 0; i < k_; i++) {
        std::copy(&trial_[i * w_], &trial_[i * w_] + k_, &rk_[static_cast<size_t>(i) * k_]);
        ck_[i] = trial_[i * w_ + k_];
    }
    svd_.svdLSMat(rk_.data(), ck_.data(), k_, k_, &x_[static_cast<size_t>(g) * k_], cvm_.data(), 1);
    keepSolution(g);
}

// Trial g from its own rows, in the order given, then zero rows (rk_ and ck_ are sized for
// max(rows in use, k) rows and zero beyond what is filled).
void LeaveGroupOutLS::solveDirect(int g) {
    int n = 0;
    for (size_t i = 0; i < used_.size(); i++) {
        if (usedGroup_[i] == g) continue;
        const int r = used_[i];
        std::copy(a_ + static_cast<size_t>(r) * k_, a_ + static_cast<size_t>(r + 1) * k_,
                  &rk_[static_cast<size_t>(n) * k_]);
        ck_[n++] = b_[r];
    }
    std::fill(rk_.begin() + static_cast<size_t>(n) * k_, rk_.end(), 0.0);
    std::fill(ck_.begin() + n, ck_.end(), 0.0);
    const int rows = static_cast<int>(ck_.size());
    svd_.svdLSMat(rk_.data(), ck_.data(), rows, k_, &x_[static_cast<size_t>(g) * k_], cvm_.data(), 1);
    keepSolution(g);
}

// The covariance and rank of the solve just made for trial g.
void LeaveGroupOutLS::keepSolution(int g) {
    double* v = &var_[static_cast<size_t>(g) * k_];
    int kept = 0;
    for (int j = 0; j < k_; j++) {
        v[j] = cvm_[static_cast<size_t>(j) * k_ + j];
        if (svd_.ww[j + 1] != 0.0) kept++;
    }
    rank_[g] = kept;
    if (covRun_) std::copy(cvm_.begin(), cvm_.end(), &cov_[static_cast<size_t>(g) * k_ * k_]);
}
