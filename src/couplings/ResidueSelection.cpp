// Residue selections: marked residue ranges from pairs of first and last residue, and their
// printed text.
#include "couplings/ResidueSelection.h"

#include <algorithm>
#include <cstdio>

namespace residue_selection {

void Marks::add(int a, int b) {
    if (a <= b) ranges_.emplace_back(a, b);
}

void Marks::finish() {
    std::sort(ranges_.begin(), ranges_.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto& r : ranges_) {
        // compared in long long: a range ending at INT_MAX has no next residue
        if (!merged.empty() && static_cast<long long>(r.first) <= static_cast<long long>(merged.back().second) + 1)
            merged.back().second = std::max(merged.back().second, r.second);
        else
            merged.push_back(r);
    }
    ranges_ = std::move(merged);
}

bool Marks::contains(int res) const {
    // the last range starting at or before res
    auto it = std::upper_bound(ranges_.begin(), ranges_.end(), res,
                               [](int value, const std::pair<int, int>& r) { return value < r.first; });
    return it != ranges_.begin() && res <= std::prev(it)->second;
}

void buildMap(int first, int last, std::vector<int>& pairs, Marks& marks) {
    if (pairs.size() % 2 == 1) {
        std::fputs("WARNING:: residue selection syntax error ... last value will be removed ... \n", stderr);
        pairs.pop_back();
    }
    if (pairs.empty()) pairs = {first, last};
    marks = marksOf(pairs);
}

Marks marksOf(const std::vector<int>& pairs) {
    Marks marks;
    for (size_t k = 0; k + 1 < pairs.size(); k += 2) marks.add(pairs[k], pairs[k + 1]);
    marks.finish();
    return marks;
}

bool isMarked(const Marks& marks, int res) { return marks.contains(res); }

std::string text(const std::vector<int>& pairs) {
    std::string out;
    char buf[64];
    for (size_t k = 0; k + 1 < pairs.size(); k += 2) {
        std::snprintf(buf, sizeof buf, "%d to %d  ", pairs[k], pairs[k + 1]);
        out += buf;
    }
    return out;
}

}  // namespace residue_selection
