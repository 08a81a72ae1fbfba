// The ensemble fit's score: blocks of per-conformer coefficients, the weighted sum, one order
// matrix per medium, Q factors per coupling class, the weight penalty.
#include "fit/VWFitEnsemble.h"

#include <algorithm>
#include <cmath>

#include "common/Constants.h"
#include "fit/SVDWorkData.h"

namespace {

bool hasAtoms(const DipolarCouplingData& dc) { return dc.atomICount != 0 && dc.atomJCount != 0; }

// The usable couplings: valid, measured value at most 900 Hz, weight not 0, atoms on both ends.
bool isUsable(const DipolarCouplingData& dc) {
    return dc.valid == 1 && dc.d <= orvex::kFitMaxD && dc.w != 0 && hasAtoms(dc);
}

// Position of `value` in the ascending list, -1 when absent.
int indexIn(const std::vector<int>& sorted, int value) {
    auto it = std::lower_bound(sorted.begin(), sorted.end(), value);
    return it != sorted.end() && *it == value ? static_cast<int>(it - sorted.begin()) : -1;
}

}  // namespace

bool VWFitEnsemble::isWorking(const DipolarCouplingData& dc) { return dc.selected == 1 && isUsable(dc); }

bool VWFitEnsemble::isValidation(const DipolarCouplingData& dc) { return dc.selected_v == 1 && isUsable(dc); }

std::vector<int> VWFitEnsemble::classesInUse(const std::vector<std::vector<DipolarCouplingData>>& media) {
    std::vector<int> classes;
    for (const auto& list : media)
        for (const DipolarCouplingData& dc : list)
            if (isWorking(dc)) classes.push_back(dc.CLASS);
    std::sort(classes.begin(), classes.end());
    classes.erase(std::unique(classes.begin(), classes.end()), classes.end());
    return classes;
}

// Chosen: a fixed first weight keeps this share of the population (its equal share at 20
// conformers, more for larger ensembles, never above 90 %); the other conformers share the rest.
double VWFitEnsemble::firstWeightShare(int conformers) { return std::min(0.9, 0.05 * conformers / 20.0); }

VWFitEnsemble::VWFitEnsemble(std::vector<std::vector<DipolarCouplingData>>& media, std::vector<DTensor>& tensors,
                             int conformers, const std::vector<int>& conformerNumbers, const std::vector<int>& classes)
    : slotClasses_(classes), conformers_(conformers), weights_(conformers, 0.0),
      active_(conformers, 0), multiplier_(conformers, 0.0) {
    // every other class a coupling of the media has gets a slot after the given ones
    for (const auto& list : media)
        for (const DipolarCouplingData& dc : list)
            if (std::find(slotClasses_.begin(), slotClasses_.end(), dc.CLASS) == slotClasses_.end())
                slotClasses_.push_back(dc.CLASS);
    std::vector<int> numbers = conformerNumbers;
    std::sort(numbers.begin(), numbers.end());
    media_.resize(media.size());
    for (size_t m = 0; m < media.size(); m++) {
        media_[m].list = &media[m];
        media_[m].tensor = &tensors[m];
        buildMedium(media_[m], numbers);
    }
    for (ClassSums* s : {&sums_, &sumsV_}) {
        s->e2.assign(slotClasses_.size(), 0.0);
        s->di.assign(slotClasses_.size(), 0.0);
        s->n.assign(slotClasses_.size(), 0);
    }
}

void VWFitEnsemble::buildMedium(Medium& md, const std::vector<int>& numbers) {
    const std::vector<DipolarCouplingData>& list = *md.list;
    for (size_t i = 0; i < list.size(); i++)
        if (isWorking(list[i])) md.pos.push_back(static_cast<int>(i));
    md.nWork = static_cast<int>(md.pos.size());
    for (size_t i = 0; i < list.size(); i++)
        if (!isWorking(list[i]) && list[i].valid == 1 && hasAtoms(list[i])) md.pos.push_back(static_cast<int>(i));
    md.nRows = static_cast<int>(md.pos.size());

    const size_t rowLen = static_cast<size_t>(md.nRows) * kParams;
    md.coef.assign(static_cast<size_t>(conformers_) * rowLen, 0.0);
    const int nSolve = std::max(md.nWork, kParams);
    md.design.assign(static_cast<size_t>(nSolve) * kParams, 0.0);
    md.b.assign(nSolve, 0.0);
    for (int r = 0; r < md.nRows; r++) {
        const DipolarCouplingData& dc = list[md.pos[r]];
        for (size_t p = 0; p < dc.Ai.size() && p < dc.wi.size(); p++) {
            const int c = dc.pairConformer.empty() ? static_cast<int>(p) : indexIn(numbers, dc.pairConformer[p]);
            if (c < 0 || c >= conformers_) continue;
            double* block = &md.coef[c * rowLen + static_cast<size_t>(r) * kParams];
            for (int k = 0; k < kParams; k++) block[k] += dc.wi[p] * dc.Ai[p][k];
        }
        double f, h, row[kParams], rhs;
        SVDWorkData::rowWeights(dc, f, h);
        if (r < md.nWork) {
            SVDWorkData::fitRow(dc, row, rhs);   // the right-hand side of the order-matrix fit
            md.b[r] = rhs;
        }
        md.h.push_back(h);
        md.absDI.push_back(std::fabs(dc.diCalc));
        md.d.push_back(dc.d);
        md.wCalc.push_back(dc.wCalc);
        md.absFlag.push_back(dc.absFlag == 1);
        md.validation.push_back(isValidation(dc));
        if (isValidation(dc)) md.nValid++;
        md.slot.push_back(static_cast<int>(std::find(slotClasses_.begin(), slotClasses_.end(), dc.CLASS) -
                                           slotClasses_.begin()));
    }
    md.avg.assign(rowLen, 0.0);
    md.calc.assign(md.nRows, 0.0);
}

void VWFitEnsemble::normalise(const double* w, bool firstFixed) {
    const int n = conformers_;
    const int first = firstFixed && n > 1 ? 1 : 0;   // weights sharing the free part
    const double fixedShare = first ? firstWeightShare(n) : 0.0;
    double total = 0;
    for (int c = first; c < n; c++) total += std::fabs(w[c]);
    if (first) weights_[0] = fixedShare;
    for (int c = first; c < n; c++) {
        // Chosen: all weights 0 (only reachable by Powell's unbounded steps) reads as equal weights.
        const double share = total > 0 ? std::fabs(w[c]) / total : 1.0 / (n - first);
        weights_[c] = (1.0 - fixedShare) * share;
    }
    double sq = 0;
    activeCount_ = 0;
    for (int c = 0; c < n; c++) {
        sq += weights_[c] * weights_[c];
        if (weights_[c] == 0) continue;
        active_[activeCount_] = c;
        multiplier_[activeCount_++] = n * weights_[c];
    }
    l2Norm_ = std::sqrt(sq);
}

void VWFitEnsemble::fitMedium(Medium& md, int rows) {
    const size_t len = static_cast<size_t>(rows) * kParams;
    const size_t stride = static_cast<size_t>(md.nRows) * kParams;
    double* __restrict acc = md.avg.data();
    std::fill(acc, acc + len, 0.0);
    // The one O(conformers x couplings) step: the weighted sum of the blocks of the conformers of
    // non-zero weight, added in conformer order, eight blocks per pass over the sum (then four,
    // then one), so that the sum is loaded and stored once per eight blocks read.
    const double* coef = md.coef.data();
    const double* u = multiplier_.data();
    const int* active = active_.data();
    int a = 0;
    for (; a + 8 <= activeCount_; a += 8) {
        const double* __restrict s0 = coef + active[a] * stride;
        const double* __restrict s1 = coef + active[a + 1] * stride;
        const double* __restrict s2 = coef + active[a + 2] * stride;
        const double* __restrict s3 = coef + active[a + 3] * stride;
        const double* __restrict s4 = coef + active[a + 4] * stride;
        const double* __restrict s5 = coef + active[a + 5] * stride;
        const double* __restrict s6 = coef + active[a + 6] * stride;
        const double* __restrict s7 = coef + active[a + 7] * stride;
        const double u0 = u[a], u1 = u[a + 1], u2 = u[a + 2], u3 = u[a + 3];
        const double u4 = u[a + 4], u5 = u[a + 5], u6 = u[a + 6], u7 = u[a + 7];
        for (size_t i = 0; i < len; i++)
            acc[i] = acc[i] + u0 * s0[i] + u1 * s1[i] + u2 * s2[i] + u3 * s3[i] + u4 * s4[i] + u5 * s5[i] +
                     u6 * s6[i] + u7 * s7[i];
    }
    for (; a + 4 <= activeCount_; a += 4) {
        const double* __restrict s0 = coef + active[a] * stride;
        const double* __restrict s1 = coef + active[a + 1] * stride;
        const double* __restrict s2 = coef + active[a + 2] * stride;
        const double* __restrict s3 = coef + active[a + 3] * stride;
        const double u0 = u[a], u1 = u[a + 1], u2 = u[a + 2], u3 = u[a + 3];
        for (size_t i = 0; i < len; i++) acc[i] = acc[i] + u0 * s0[i] + u1 * s1[i] + u2 * s2[i] + u3 * s3[i];
    }
    for (; a < activeCount_; a++) {
        const double* __restrict s0 = coef + active[a] * stride;
        const double u0 = u[a];
        for (size_t i = 0; i < len; i++) acc[i] += u0 * s0[i];
    }

    DTensor& t = *md.tensor;
    for (int r = 0; r < md.nWork; r++)
        for (int k = 0; k < kParams; k++) md.design[r * kParams + k] = acc[r * kParams + k] * md.h[r];
    double s[kParams];
    md.solver.svdLSMat(md.design.data(), md.b.data(), std::max(md.nWork, kParams), kParams, s, nullptr, 1);
    for (int k = 0; k < kParams; k++) t.saupe[k] = s[k];
    t.eulerCount = t.saupe2euler();

    for (int r = 0; r < rows; r++) {
        const double* row = acc + r * kParams;
        double sum = 0;
        for (int k = 0; k < kParams; k++) sum += row[k] * s[k];
        md.calc[r] = md.absDI[r] * sum;
    }
}

void VWFitEnsemble::ClassSums::reset() {
    std::fill(e2.begin(), e2.end(), 0.0);
    std::fill(di.begin(), di.end(), 0.0);
    std::fill(n.begin(), n.end(), 0);
}

void VWFitEnsemble::ClassSums::add(int slot, double diff, double absDI) {
    e2[slot] += diff * diff;
    di[slot] += absDI;
    n[slot]++;
}

// The Q of a class: the RMS deviation of its couplings divided by the tensor magnitude of the
// class, |Da| times its dipolar constant, times sqrt((4 + 3 Rh^2) / 5) (0 for a zero tensor).
// Chosen: the dipolar constant of a class is the mean |DI| of its couplings (they differ only
// when the DI comes from each structure's distances), so that every class is normalised by its
// own magnitude however the table weights its rows.
double VWFitEnsemble::ClassSums::meanQ(double da, double dr, double& sumQ, int& countQ) const {
    const double rh = da != 0 ? std::fabs(dr / da) : 0.0;
    const double shape = std::sqrt((4 + 3 * rh * rh) / 5);
    double sum = 0;
    int count = 0;
    for (size_t i = 0; i < n.size(); i++) {
        if (n[i] == 0) continue;
        const double rms = std::sqrt(e2[i] / n[i]);
        const double magnitude = std::fabs(da) * (di[i] / n[i]) * shape;
        sum += magnitude != 0 ? rms / magnitude : 0.0;
        count++;
    }
    sumQ += sum;
    countQ += count;
    return count > 0 ? sum / count : 0.0;
}

double VWFitEnsemble::finishScore(double sumQ, int countQ, double C) {
    // Reading adopted: the mean runs over the Q factors that exist, so that a medium without
    // working couplings, or a class missing from one medium, contributes nothing instead of a 0
    // that would pull the mean down.
    meanQ_ = countQ > 0 ? sumQ / countQ : 0.0;
    // Chosen: the penalty takes the normalised weights (the raw ones have no scale of their own).
    float s = 0;
    for (double w : weights_) s += static_cast<float>(w) * static_cast<float>(w);
    const double nMedia = media_.empty() ? 1.0 : static_cast<double>(media_.size());
    return meanQ_ - C * std::pow(static_cast<double>(s), 0.1) / nMedia;
}

double VWFitEnsemble::run(const double* w, double C, bool firstFixed, bool byClass, bool all) {
    evaluations_++;
    normalise(w, firstFixed);
    double sumQ = 0;
    int countQ = 0;
    for (Medium& md : media_) {
        if (md.nWork == 0 && !all) continue;
        fitMedium(md, all ? md.nRows : md.nWork);
        sums_.reset();
        for (int r = 0; r < md.nWork; r++) {
            const double diff = md.absFlag[r] ? std::fabs(md.d[r]) - std::fabs(md.calc[r]) : md.d[r] - md.calc[r];
            sums_.add(byClass ? md.slot[r] : 0, diff, md.absDI[r]);
        }
        const DTensor& t = *md.tensor;
        const double q = md.nWork > 0 ? sums_.meanQ(t.da, t.dr, sumQ, countQ) : 0.0;
        if (!all) continue;

        // every row's value into its coupling, and the medium's statistics
        MediumStats& st = md.stats;
        st = MediumStats();
        st.n = md.nWork;
        st.q = q;
        sumsV_.reset();
        double e2 = 0, e2V = 0;
        for (int r = 0; r < md.nRows; r++) {
            (*md.list)[md.pos[r]].dCalc = md.calc[r];
            const double diff = md.absFlag[r] ? std::fabs(md.d[r]) - std::fabs(md.calc[r]) : md.d[r] - md.calc[r];
            const double e = diff * md.wCalc[r];
            if (r < md.nWork) e2 += e * e;
            if (md.validation[r]) {
                e2V += e * e;
                st.nV++;
                sumsV_.add(byClass ? md.slot[r] : 0, diff, md.absDI[r]);
            }
        }
        double unusedSum = 0;
        int unusedCount = 0;
        st.rms = st.n > 0 ? std::sqrt(e2 / st.n) : 0.0;
        st.rmsV = st.nV > 0 ? std::sqrt(e2V / st.nV) : 0.0;
        st.qV = sumsV_.meanQ(t.da, t.dr, unusedSum, unusedCount);
    }
    return finishScore(sumQ, countQ, C);
}

double VWFitEnsemble::score(const double* w, double C, bool firstFixed, bool byClass) {
    return run(w, C, firstFixed, byClass, false);
}

double VWFitEnsemble::evaluateAll(const double* w, double C, bool firstFixed, bool byClass) {
    return run(w, C, firstFixed, byClass, true);
}
