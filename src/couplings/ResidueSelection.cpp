// Residue selections: maps from pairs of first and last residue, and their printed text.
#include "couplings/ResidueSelection.h"

#include <cstdio>

namespace residue_selection {

void buildMap(int first, int last, std::vector<int>& pairs, std::map<int, int>& map) {
    if (pairs.size() % 2 == 1) {
        std::fputs("WARNING:: residue selection syntax error ... last value will be removed ... \n", stderr);
        pairs.pop_back();
    }
    for (int r = first; r <= last; r++) map[r] = pairs.empty() ? 1 : 0;
    if (pairs.empty()) {
        pairs = {first, last};
        return;
    }
    for (size_t k = 0; k + 1 < pairs.size(); k += 2)
        for (int r = pairs[k]; r <= pairs[k + 1]; r++) map[r] = 1;
}

bool isMarked(const std::map<int, int>& map, int res) {
    auto it = map.find(res);
    return it != map.end() && it->second != 0;
}

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
