// Residue selections of the coupling and RCSA lists: pairs of first and last residue turned
// into the set of residues they mark, and the text the result tables print for them.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace residue_selection {

// The residues a selection marks, kept as sorted, merged ranges: a selection costs what its
// pairs cost, not what the residue numbers span (1 to 2147483647 is one range).
class Marks {
public:
    void clear() { ranges_.clear(); }
    // Marks residues a..b inclusive (none when a > b); call finish() after the last range.
    void add(int a, int b);
    void finish();
    bool contains(int res) const;
    bool empty() const { return ranges_.empty(); }

private:
    std::vector<std::pair<int, int>> ranges_;
};

// Marks the residues of `pairs`: first..last when `pairs` is empty (the list then becomes the
// one pair first, last), otherwise the residues inside a pair (a to b inclusive), also those
// outside first..last. An odd list loses its last value, with a warning on the error stream.
void buildMap(int first, int last, std::vector<int>& pairs, Marks& marks);

// The residues inside the pairs (a to b inclusive) of `pairs`; an odd last value is ignored.
Marks marksOf(const std::vector<int>& pairs);

// Whether the selection marks residue `res`.
bool isMarked(const Marks& marks, int res);

// "%d to %d  " for every pair.
std::string text(const std::vector<int>& pairs);

}  // namespace residue_selection
