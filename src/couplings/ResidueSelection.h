// Residue selections of the coupling and RCSA lists: pairs of first and last residue turned
// into a residue map, and the text the result tables print for them.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace residue_selection {

// Marks residues first..last in `map`: all with 1 when `pairs` is empty (the list then becomes
// the one pair first, last), otherwise 0 except the residues inside a pair (a to b inclusive).
// An odd list loses its last value, with a warning on the error stream.
void buildMap(int first, int last, std::vector<int>& pairs, std::map<int, int>& map);

// Whether the map marks residue `res` with a non-zero value.
bool isMarked(const std::map<int, int>& map, int res);

// "%d to %d  " for every pair.
std::string text(const std::vector<int>& pairs);

}  // namespace residue_selection
